#pragma once
// A fresh folder under the platform's temp folder, removed with everything in
// it when the object goes.
#include <atomic>
#include <filesystem>
#include <string>

#include "utils/fs.h"
#include "utils/sysinfo.h"
#include "utils/text.h"
#include "utils/process.h"
#include "utils/time.h"

namespace testing_support {

class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        m_path = Utils::JoinPath(Utils::GetSpecialFolder(Utils::SpecialFolder::Temp),
                                 L"velqor-test-" + std::to_wstring(Utils::CurrentProcessId()) + L"-" +
                                     std::to_wstring(++counter) + L"-" + Utils::NewGuidString().substr(0, 8));
        Utils::MakeDirectory(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::u8path(Utils::NativePathUtf8(m_path)), ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return Utils::JoinPath(m_path, name); }

private:
    std::wstring m_path;
};

}  // namespace testing_support
