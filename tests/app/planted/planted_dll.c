/* A DLL to plant beside an executable under the name of a system DLL: when
 * any process loads it, it leaves "<its file name>.marker" in the folder that
 * VELQOR_PLANTED_MARKERS names (beside itself without it), then lets the
 * load go on. Only kernel32 is used, so that it loads anywhere. */
#include <windows.h>

__declspec(dllexport) int VelqorPlanted(void) { return 42; }

static void LeaveMarker(HINSTANCE self) {
    wchar_t path[MAX_PATH * 2];
    wchar_t module[MAX_PATH];
    DWORD n = GetModuleFileNameW(self, module, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const wchar_t* name = module;
    for (const wchar_t* p = module; *p; ++p)
        if (*p == L'\\' || *p == L'/') name = p + 1;
    DWORD len = GetEnvironmentVariableW(L"VELQOR_PLANTED_MARKERS", path, MAX_PATH);
    if (len == 0 || len >= MAX_PATH) {
        len = (DWORD)(name - module);
        lstrcpynW(path, module, (int)len + 1);
    } else {
        path[len++] = L'\\';
        path[len] = L'\0';
    }
    lstrcatW(path, name);
    lstrcatW(path, L".marker");
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(h, module, n * sizeof(wchar_t), &written, NULL);
        CloseHandle(h);
    }
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) LeaveMarker(self);
    return TRUE;
}
