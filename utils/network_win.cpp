#include <windows.h>
#include <netlistmgr.h>
#include <objbase.h>

#include "utils/network.h"
#include "utils/log.h"

namespace Utils {

int32_t CheckNetwork() {
    static const CLSID kClsid = {0xDCB00C01, 0x570F, 0x4A9B, {0x8D, 0x69, 0x19, 0x9F, 0xDB, 0xA5, 0x72, 0x3B}};
    static const IID kIid = {0xDCB00000, 0x570F, 0x4A9B, {0x8D, 0x69, 0x19, 0x9F, 0xDB, 0xA5, 0x72, 0x3B}};
    INetworkListManager* manager = nullptr;
    // 23 = in-process server | in-process handler | local server | remote server.
    HRESULT hr = CoCreateInstance(kClsid, nullptr, 23, kIid, reinterpret_cast<void**>(&manager));
    if (FAILED(hr) || !manager) return 0;
    NLM_CONNECTIVITY connectivity = NLM_CONNECTIVITY_DISCONNECTED;
    if (FAILED(manager->GetConnectivity(&connectivity))) connectivity = NLM_CONNECTIVITY_DISCONNECTED;
    int32_t flags = static_cast<int32_t>(connectivity) & 0xFFFF;
    int32_t status = 0;
    if (flags == 0) {
        DEBUG_LOG(L"GetConnectivity %d\r\n", flags);
        status = 1;
    } else {
        VARIANT_BOOL connected = VARIANT_FALSE;
        if (FAILED(manager->IsConnectedToInternet(&connected))) connected = VARIANT_FALSE;
        if (connected == VARIANT_FALSE) {
            DEBUG_LOG(L"get_IsConnectedToInternet:%d\r\n", static_cast<int>(connected));
            status = 2;
        }
    }
    manager->Release();
    CoFreeUnusedLibraries();
    return flags + status * 65536;
}

}  // namespace Utils
