// Demo product package for the Velqor web installer.
//
// Install mode (the package command line):
//   velqor-demo-package.exe /S -console=show -version=1.0.0 -adminact=B
//       -authorizationact=B -dsc=B -ssc=B [-inslang="L"] [extra] [-instdir="F"] [/D=F]
// installs the demo product into F: "Velqor.exe" (this program, which in that
// name prints the product's name), its uninstaller "uninst.ep" (this program
// again) and "set.ini", printing the installer's progress protocol.
//
// Uninstall mode (any command line with "_?=", which is last and unquoted):
//   uninst.ep /S -adminact=B -authorizationact=B -console=show _?=F
// removes those files from F.
//
// Steering for tests: VELQOR_DEMO_MODE (or the file "velqor-demo-mode.txt"
// beside the program) holds comma-separated behaviours; "un-X" applies X only
// in uninstall mode, "in-X" only in install mode:
//   fail       verdict State=Fail              error     Error=<Chinese text>
//   crash      ends abruptly without a verdict noverdict  ends normally without a verdict
//   hang       prints one line, then waits until killed
//   flood      200 KB of unrelated lines before the record
//   straddle   record lines and multi-byte text cut by 1024-byte read boundaries
//   gbk        Encode=936 and a GBK Message line     utf8  a UTF-8 Message line
//   oneshot    the record and the verdict in one write
//   nolf       the final State line without a line feed
//   more       more output after the verdict line
//   silent     prints nothing and ends
//   early      (uninstall) State=Success first, the removal 0.3 s later, then
//              the file "<record>.uninstall.done"
//   stay       (product) keeps running until killed
//   errflood   1 MiB to standard error before the verdict
//   afterflood 1 MiB of unrelated lines on standard output after the verdict
//   stdin      reads standard input to its end before the verdict, then
//              writes the byte count to "<record>.stdin"
//   orphan     (uninstall) first starts a program that inherits its output
//              and keeps it open until "<record>.orphan.release" exists (at
//              most two minutes; it then writes "<record>.orphan.lingered")
//   linger     after the verdict keeps running (with its output open) until
//              the file "<record>.release" exists (at most two minutes), then
//              writes "<record>.lingered" and ends
// The command line received is written to VELQOR_DEMO_RECORD (or
// "velqor-demo-cmdline.txt" beside the program; ".uninstall" appended in
// uninstall mode): the raw line, then one argument per line, UTF-8.
//
// Product mode (the program named "Velqor.exe"): prints "Velqor 1.0.0", writes
// its command line to "<record>.product" the same way (the record path of the
// folder it runs from), and ends, or with "stay" waits until killed. The
// installer starts the product through the desktop shell, so it does not
// inherit the installer's environment: the package leaves the record path in
// "velqor-demo-record.txt" beside the product for it.
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/sysinfo.h"
#include "utils/text.h"
#include "utils/time.h"

namespace {

void WriteOut(const std::string& bytes) {
#ifdef _WIN32
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                nullptr);
#else
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = ::write(1, bytes.data() + off, bytes.size() - off);
        if (n <= 0) break;
        off += static_cast<size_t>(n);
    }
#endif
}

void WriteErr(const std::string& bytes) {
#ifdef _WIN32
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                nullptr);
#else
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = ::write(2, bytes.data() + off, bytes.size() - off);
        if (n <= 0) break;
        off += static_cast<size_t>(n);
    }
#endif
}

// 1 MiB of numbered lines that mean nothing to the installer.
std::string Megabyte(const char* what) {
    std::string text;
    for (int i = 0; text.size() < 1024 * 1024; ++i) text += std::string(what) + " line " + std::to_string(i) + "\n";
    return text;
}

// Reads standard input to its end and records how many bytes came.
void ReadStdin(const std::wstring& record) {
    size_t total = 0;
    char buf[4096];
#ifdef _WIN32
    DWORD n = 0;
    while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buf, sizeof buf, &n, nullptr) && n > 0) total += n;
#else
    ssize_t n;
    while ((n = ::read(0, buf, sizeof buf)) > 0) total += static_cast<size_t>(n);
#endif
    Utils::WriteFileBytes(record + L".stdin", std::to_string(total) + "\n");
}

// Keeps running until the test releases it (or two minutes have passed).
void Linger(const std::wstring& record) {
    for (int i = 0; i < 2400 && !Utils::FileExists(record + L".release"); ++i) Utils::SleepMs(50);
    Utils::WriteFileBytes(record + L".lingered", "done\n");
}

// Starts a copy of this program that holds the standard streams it inherits
// and waits (see "orphan"); this program goes on at once.
void StartOrphan(const std::wstring& record) {
    Utils::SetEnv(L"VELQOR_DEMO_ORPHAN", record + L".orphan");
#ifdef _WIN32
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    std::wstring cmd = L"\"" + Utils::GetModulePath() + L"\"";
    PROCESS_INFORMATION pi{};
    if (::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
#else
    if (::fork() == 0) {
        Linger(record + L".orphan");
        std::_Exit(0);
    }
#endif
    Utils::SetEnv(L"VELQOR_DEMO_ORPHAN", L"");
}

void Line(const std::wstring& text) { WriteOut(Utils::WideToUtf8(text) + "\n"); }

std::set<std::string> Modes(bool uninstall) {
    std::wstring raw;
    if (!Utils::GetEnv(L"VELQOR_DEMO_MODE", raw)) {
        std::string bytes;
        if (Utils::ReadFileBytes(Utils::JoinPath(Utils::ParentPath(Utils::GetModulePath()), L"velqor-demo-mode.txt"),
                                 bytes))
            raw = Utils::Utf8ToWide(bytes);
    }
    std::set<std::string> modes;
    std::string all = Utils::WideToUtf8(raw);
    size_t start = 0;
    while (start <= all.size()) {
        size_t comma = all.find(',', start);
        if (comma == std::string::npos) comma = all.size();
        std::string token = all.substr(start, comma - start);
        while (!token.empty() && (token.back() == ' ' || token.back() == '\n' || token.back() == '\r'))
            token.pop_back();
        while (!token.empty() && token.front() == ' ') token.erase(0, 1);
        if (token.rfind("un-", 0) == 0) {
            if (uninstall) modes.insert(token.substr(3));
        } else if (token.rfind("in-", 0) == 0) {
            if (!uninstall) modes.insert(token.substr(3));
        } else if (!token.empty()) {
            modes.insert(token);
        }
        start = comma + 1;
    }
    return modes;
}

constexpr wchar_t kRecordPathFile[] = L"velqor-demo-record.txt";

// product: the product reads the path the package left beside it first (the
// environment it got is the desktop shell's, possibly another run's).
std::wstring RecordPath(bool uninstall, bool product = false) {
    std::wstring path;
    const std::wstring folder = Utils::ParentPath(Utils::GetModulePath());
    std::string left;
    if (product && Utils::ReadFileBytes(Utils::JoinPath(folder, kRecordPathFile), left)) path = Utils::Utf8ToWide(left);
    if (path.empty() && (!Utils::GetEnv(L"VELQOR_DEMO_RECORD", path) || path.empty()))
        path = Utils::JoinPath(folder, L"velqor-demo-cmdline.txt");
    if (uninstall) path += L".uninstall";
    return path;
}

void Record(const std::wstring& raw, const std::vector<std::wstring>& args, const std::wstring& path) {
    std::string text = Utils::WideToUtf8(raw) + "\n";
    for (const auto& a : args) text += Utils::WideToUtf8(a) + "\n";
    Utils::WriteFileBytes(path, text);
}

bool MakeFolders(const std::wstring& path) {
    if (path.empty() || Utils::DirectoryExists(path)) return !path.empty();
    std::wstring parent = Utils::ParentPath(path);
    if (!parent.empty() && parent != path && !Utils::DirectoryExists(parent)) MakeFolders(parent);
    return Utils::MakeDirectory(path);
}

// The value of "-key=..." among the arguments, or empty.
bool ArgValue(const std::vector<std::wstring>& args, const std::wstring& key, std::wstring& value) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].rfind(key, 0) == 0) {
            value = args[i].substr(key.size());
            return true;
        }
    }
    return false;
}

[[noreturn]] void HangForever() {
    for (;;) Utils::SleepMs(1000);
}

std::string GbkMessage() { return std::string("Message=\xB0\xB2\xD7\xB0\xCD\xEA\xB3\xC9\xA3\xAC\xBB\xB6\xD3\xAD\xCA\xB9\xD3\xC3") + "Velqor\n"; }

int Uninstall(const std::wstring& raw, const std::set<std::string>& modes) {
    std::wstring folder = raw.substr(raw.find(L"_?=") + 3);
    if (modes.count("silent")) return 0;
    Line(L"Encode=UTF8");
    Line(L"Progress=0.2");
    if (modes.count("hang")) HangForever();
    if (modes.count("errflood")) WriteErr(Megabyte("uninstall error"));
    if (modes.count("orphan")) StartOrphan(RecordPath(true));
    if (modes.count("stdin")) ReadStdin(RecordPath(true));
    if (modes.count("linger")) {
        Line(L"State=Success");
        if (modes.count("afterflood")) WriteOut(Megabyte("after the verdict"));
        Linger(RecordPath(true));
        return 0;
    }
    if (modes.count("crash")) std::_Exit(3);
    if (modes.count("error")) {
        Line(L"Error=卸载失败：文件被占用");
        return 1;
    }
    if (modes.count("fail")) {
        Line(L"State=Fail");
        if (modes.count("more")) Line(L"Progress=0.9");
        return 1;
    }
    // "early": the verdict first, the work afterwards (then a ".done" record).
    const bool early = modes.count("early") != 0;
    if (early) Line(L"State=Success");
    if (early) Utils::SleepMs(300);
    for (const wchar_t* name : {L"Velqor.exe", L"uninst.ep", L"set.ini", kRecordPathFile})
        Utils::RemoveFile(Utils::JoinPath(folder, name));
    Utils::RemoveEmptyDirectory(folder);
    Line(L"Progress=1");
    if (!modes.count("noverdict") && !early) Line(L"State=Success");
    if (early) Utils::WriteFileBytes(RecordPath(true) + L".done", "done\n");
    return 0;
}

int Install(const std::wstring& raw, const std::vector<std::wstring>& args, const std::set<std::string>& modes) {
    // The fixed part of the command line must be there, in this order.
    static const wchar_t* const kFixed[] = {L"/S", L"-console=show", L"-version=1.0.0", L"-adminact=",
                                            L"-authorizationact=", L"-dsc=", L"-ssc="};
    for (size_t i = 0; i < std::size(kFixed); ++i) {
        if (args.size() <= i + 1 || args[i + 1].rfind(kFixed[i], 0) != 0) {
            Line(L"Error=unexpected command line: " + raw);
            return 2;
        }
    }
    if (modes.count("silent")) return 0;
    std::wstring folder;
    size_t d = raw.find(L" /D=");
    if (d != std::wstring::npos) {
        folder = raw.substr(d + 4);
    } else if (!ArgValue(args, L"-instdir=", folder)) {
        folder = Utils::ParentPath(Utils::GetModulePath());
    }
    std::string out = "Encode=UTF8\n";
    if (modes.count("gbk")) out = "Encode=936\n";
    if (!modes.count("oneshot") && !modes.count("straddle")) {
        WriteOut(out);
        out.clear();
    }
    auto emit = [&](const std::string& bytes) {
        out += bytes;
        if (!modes.count("oneshot") && !modes.count("straddle")) {
            WriteOut(out);
            out.clear();
        }
    };
    auto emitLine = [&](const std::wstring& text) { emit(Utils::WideToUtf8(text) + "\n"); };

    emitLine(L"Progress=0.1");
    if (modes.count("hang")) HangForever();
    if (modes.count("errflood")) WriteErr(Megabyte("install error"));
    if (modes.count("stdin")) ReadStdin(RecordPath(false));
    if (modes.count("flood")) {
        std::string noise;
        for (int i = 0; noise.size() < 200 * 1024; ++i) noise += "Noise line " + std::to_string(i) + " of the flood\n";
        emit(noise);
    }
    if (modes.count("crash")) std::_Exit(3);
    if (modes.count("error")) {
        emitLine(L"Error=磁盘空间不足，无法安装");
        if (!out.empty()) WriteOut(out);
        return 1;
    }

    MakeFolders(folder);
    const std::wstring self = Utils::GetModulePath();
    const std::wstring exe = Utils::JoinPath(folder, L"Velqor.exe");
    const std::wstring uninst = Utils::JoinPath(folder, L"uninst.ep");
    bool copied = Utils::CopyFileTo(self, exe, true) && Utils::CopyFileTo(self, uninst, true);
    Utils::IniWriteString(Utils::JoinPath(folder, L"set.ini"), L"Uninstall", L"IsOverride", L"true");
    std::wstring record;
    if (Utils::GetEnv(L"VELQOR_DEMO_RECORD", record) && !record.empty())
        Utils::WriteFileBytes(Utils::JoinPath(folder, kRecordPathFile), Utils::WideToUtf8(record));
    emitLine(L"Progress=0.6");
    if (!copied) {
        emitLine(L"Error=cannot write " + folder);
        if (!out.empty()) WriteOut(out);
        return 1;
    }
    if (modes.count("straddle")) {
        // Pad so that the next line starts 10 bytes before a 1024-byte boundary.
        size_t pos = out.size();
        size_t target = ((pos / 1024) + 1) * 1024 - 10;
        if (target < pos + 8) target += 1024;
        emit("Pad=" + std::string(target - pos - 5, 'x') + "\n");
    }
    emitLine(L"InstPath=" + folder);
    emitLine(L"InstallVersion=1.0.0");
    if (modes.count("straddle")) {
        // A UTF-8 message whose three-byte characters run across the next boundary.
        size_t pos = out.size();
        size_t target = ((pos / 1024) + 1) * 1024 - 1 - std::string("Message=").size();
        if (target < pos + 8) target += 1024;
        emit("Pad=" + std::string(target - pos - 5, 'y') + "\n");
        emitLine(L"Message=欢迎使用安装完成的产品");
    }
    if (modes.count("utf8")) emitLine(L"Message=安装完成，欢迎使用Velqor");
    if (modes.count("gbk")) emit(GbkMessage());
    emitLine(L"ExePath=" + exe);
    emitLine(L"UninstEp=" + uninst);
    // The demo product has no web page: an empty start page makes the installer
    // open none, so a demo or test run never leaves the machine.
    emitLine(L"StartUrl=");
    emitLine(modes.count("autostart") ? L"StartupStyle=AutoStartup" : L"StartupStyle=UserStartup");
    emitLine(L"TopShowDetention=500");
    emitLine(L"Progress=1");
    if (modes.count("fail")) {
        emitLine(L"State=Fail");
    } else if (!modes.count("noverdict")) {
        if (modes.count("nolf"))
            emit("State=Success");
        else
            emitLine(L"State=Success");
    }
    if (modes.count("more")) emitLine(L"Message=after the verdict");
    if (!out.empty()) WriteOut(out);
    if (modes.count("afterflood")) WriteOut(Megabyte("after the verdict"));
    if (modes.count("linger")) Linger(RecordPath(false));
    return 0;
}

}  // namespace

int main() {
#ifndef _WIN32
    // A write to an output nobody reads any more fails, as it does on Windows,
    // instead of ending the program.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::wstring orphan;
    if (Utils::GetEnv(L"VELQOR_DEMO_ORPHAN", orphan) && !orphan.empty()) {
        Linger(orphan);
        return 0;
    }
    const std::wstring raw = Utils::GetProcessCommandLine();
    const std::vector<std::wstring> args = Utils::SplitCommandLine(raw);
    const std::wstring self = Utils::GetModulePath();
    if (Utils::ToLower(Utils::FileNameOf(self)) == L"velqor.exe") {
        Line(L"Velqor 1.0.0");
        Record(raw, args, RecordPath(false, true) + L".product");
        if (Modes(false).count("stay")) HangForever();
        return 0;
    }
    const bool uninstall = raw.find(L"_?=") != std::wstring::npos;
    Record(raw, args, RecordPath(uninstall));
    const std::set<std::string> modes = Modes(uninstall);
    return uninstall ? Uninstall(raw, modes) : Install(raw, args, modes);
}
