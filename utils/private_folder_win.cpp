// The private folder on Windows: created with a protected DACL (no inherited
// entries) that gives SYSTEM and Administrators full control and everyone
// else (Authenticated Users) read and execute only; its random name comes from
// RtlGenRandom (advapi32's SystemFunction036, a KnownDLL).
#include <windows.h>
#include <sddl.h>

#include <cwchar>
#include <memory>
#include <string>

#include "utils/private_folder.h"

extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

namespace Utils {

namespace {

struct LocalFreeDeleter {
    void operator()(void* p) const { ::LocalFree(p); }
};

std::wstring ErrorText(const wchar_t* what) {
    wchar_t text[96];
    std::swprintf(text, 96, L"%ls failed (error %lu)", what, ::GetLastError());
    return text;
}

}  // namespace

PrivateFolder::PrivateFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) {
        m_error = ErrorText(L"GetTempPathW");
        return;
    }
    unsigned char random[8] = {};
    if (!SystemFunction036(random, sizeof random)) {
        m_error = L"no random name";
        return;
    }
    wchar_t name[24];
    std::swprintf(name, 24, L"vq-%02x%02x%02x%02x%02x%02x%02x%02x", random[0], random[1], random[2], random[3],
                  random[4], random[5], random[6], random[7]);
    std::wstring path = std::wstring(temp) + name;

    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;AU)", SDDL_REVISION_1, &sd, nullptr)) {
        m_error = ErrorText(L"ConvertStringSecurityDescriptorToSecurityDescriptorW");
        return;
    }
    std::unique_ptr<void, LocalFreeDeleter> owned(sd);
    SECURITY_ATTRIBUTES sa{sizeof(sa), sd, FALSE};
    // Fails when anything already stands at the path: nothing prepared by
    // someone else is reused.
    if (!::CreateDirectoryW(path.c_str(), &sa)) {
        m_error = ErrorText(L"CreateDirectoryW");
        return;
    }
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        m_error = L"the new folder is a reparse point";
        ::RemoveDirectoryW(path.c_str());
        return;
    }
    m_path = path;
}

PrivateFolder::~PrivateFolder() {
    if (m_path.empty()) return;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((m_path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ::DeleteFileW((m_path + L"\\" + found.cFileName).c_str());
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(m_path.c_str());
}

}  // namespace Utils
