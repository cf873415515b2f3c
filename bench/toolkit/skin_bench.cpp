// Times opening the skin archive, unpacking it and building the main layout,
// against named baselines: copying the archive bytes (for opening) and parsing
// the main layout's XML with pugixml alone (for building the control tree).
#include <pugixml.hpp>

#include <chrono>
#include <cstdio>
#include <functional>

#include "toolkit/archive.h"
#include "toolkit/markup.h"
#include "ui/sequence_controls.h"
#include "utils/fs.h"
#include "utils/text.h"

namespace {
double MicrosPerRun(int runs, const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) f();
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count() / runs;
}
}  // namespace

int main() {
    std::string bytes;
    if (!Utils::ReadFileBytes(Utils::Utf8ToWide(VELQOR_SKIN_ARCHIVE), bytes)) {
        std::fprintf(stderr, "cannot read %s\n", VELQOR_SKIN_ARCHIVE);
        return 1;
    }
    std::printf("skin archive: %zu bytes\n", bytes.size());
    volatile size_t sink = 0;
    const double copy = MicrosPerRun(200, [&] { std::string c = bytes; sink = sink + c.size(); });
    const double open = MicrosPerRun(200, [&] { sink = sink + (toolkit::SkinArchive::Open(bytes) != nullptr); });
    std::printf("open archive: %.1f us (baseline copy of the bytes: %.1f us, ratio %.1f)\n", open, copy, open / copy);

    auto archive = toolkit::SkinArchive::Open(bytes);
    size_t unpacked = 0;
    for (auto& name : archive->Names()) unpacked += static_cast<size_t>(archive->FileSize(name));
    const double unpack = MicrosPerRun(20, [&] {
        auto a = toolkit::SkinArchive::Open(bytes);
        std::string out;
        for (auto& name : a->Names()) a->ReadFile(name, out);
        sink = sink + out.size();
    });
    std::printf("open and unpack all %zu files (%zu bytes): %.1f us\n", archive->Names().size(), unpacked, unpack);

    std::string markup;
    archive->ReadFile(L"MainWnd.xml", markup);
    const double parse = MicrosPerRun(500, [&] {
        pugi::xml_document doc;
        sink = sink + static_cast<bool>(doc.load_buffer(markup.data(), markup.size()));
    });
    const double build = MicrosPerRun(500, [&] {
        toolkit::LayoutDocument doc;
        toolkit::BuildLayout(markup, CreateSkinControl, doc, nullptr);
        doc.root->SetPos(toolkit::Rect{0, 0, 600, 400});
        sink = sink + doc.window.fonts.size();
    });
    std::printf("build and lay out the main layout: %.1f us (baseline pugixml parse only: %.1f us, ratio %.1f)\n",
                build, parse, build / parse);
    return 0;
}
