#include "download/win_downloader.h"

#include <objbase.h>

#include "utils/log.h"
#include "utils/system_library_win.h"
#include "utils/text.h"

CBindCallback::~CBindCallback() {
    m_cancel = true;
    m_callback = nullptr;
}

STDMETHODIMP CBindCallback::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback) ||
        IsEqualIID(riid, IID_IBindStatusCallbackEx))
        *object = static_cast<IBindStatusCallbackEx*>(this);
    else if (IsEqualIID(riid, IID_IHttpNegotiate))
        *object = static_cast<IHttpNegotiate*>(this);
    return *object ? S_OK : E_NOINTERFACE;
}
// The object lives inside its downloader: no reference counting.
STDMETHODIMP_(ULONG) CBindCallback::AddRef() { return 0; }
STDMETHODIMP_(ULONG) CBindCallback::Release() { return 0; }

STDMETHODIMP CBindCallback::OnStartBinding(DWORD, IBinding* binding) {
    m_binding = binding;
    return E_NOTIMPL;
}

STDMETHODIMP CBindCallback::GetPriority(LONG*) { return E_NOTIMPL; }
STDMETHODIMP CBindCallback::OnLowResource(DWORD) { return E_NOTIMPL; }

STDMETHODIMP CBindCallback::OnProgress(ULONG progress, ULONG progressMax, ULONG status, LPCWSTR text) {
    if (m_cancel) return E_ABORT;
    if (status == BINDSTATUS_REDIRECTING && text) {
        std::lock_guard<std::mutex> lock(m_redirectLock);
        m_redirects.emplace_back(text);
    }
    if (progressMax == 0) return S_OK;
    if (m_callback) m_callback(DL_CODE_PROGRESS, static_cast<double>(progress) / progressMax, L"");
    return S_OK;
}

std::vector<std::wstring> CBindCallback::Redirects() const {
    std::lock_guard<std::mutex> lock(m_redirectLock);
    return m_redirects;
}

STDMETHODIMP CBindCallback::OnStopBinding(HRESULT result, LPCWSTR) {
    m_stopResult = result;
    return S_OK;
}

// Every run fetches from the server: a copy in WinINet's cache may be of an
// older package (or of a failed run), and the package is written nowhere but
// the destination file.
STDMETHODIMP CBindCallback::GetBindInfo(DWORD* flags, BINDINFO* bindInfo) {
    if (flags) *flags |= BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE;
    if (bindInfo) bindInfo->dwCodePage = 65001;
    return S_OK;
}

STDMETHODIMP CBindCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
STDMETHODIMP CBindCallback::OnObjectAvailable(REFIID, IUnknown*) { return E_NOTIMPL; }
STDMETHODIMP CBindCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additional) {
    if (additional) *additional = nullptr;
    return S_OK;
}

// An error status is a failed attempt: without this the moniker saves the
// server's error page as the package and reports success.
STDMETHODIMP CBindCallback::OnResponse(DWORD status, LPCWSTR, LPCWSTR, LPWSTR* additional) {
    if (additional) *additional = nullptr;
    m_httpStatus = status;
    if (status >= 400) {
        DEBUG_LOG(L"URLDownloadToFileW: HTTP status %u\r\n", static_cast<unsigned>(status));
        return E_ABORT;
    }
    return S_OK;
}

STDMETHODIMP CBindCallback::GetBindInfoEx(DWORD*, BINDINFO*, DWORD*, DWORD*) { return E_NOTIMPL; }

namespace {

// Drops WinINet's cached copy of the URL, if any. The package is wanted in the
// destination file only, never a second time in the cache, and never from it.
// Wine's URLDownloadToFileW ignores the bind flags above and answers from the
// cache (seen with Wine 8: a second run never reached the server, the copy was
// filed under the redirect target's URL); on Windows this finds nothing to do.
// wininet.dll is loaded from System32 only, when first needed.
void ForgetCachedCopy(const std::wstring& url) {
    using DeleteEntry = BOOL(WINAPI*)(LPCWSTR);
    static const DeleteEntry deleteEntry = [] {
        HMODULE wininet = Utils::LoadSystemLibrary(L"wininet.dll");
        // Kept loaded for the life of the process, like urlmon's own reference.
        return wininet ? reinterpret_cast<DeleteEntry>(
                             reinterpret_cast<void*>(GetProcAddress(wininet, "DeleteUrlCacheEntryW")))
                       : nullptr;
    }();
    if (deleteEntry) deleteEntry(url.c_str());
}

}  // namespace

CWinDownloader::CWinDownloader(DownloadCallback callback, std::wstring url, std::wstring path,
                               const DownloaderSettings& settings)
    : m_callback(std::move(callback)), m_path(std::move(path)), m_url(std::move(url)), m_delays(settings.delays) {}

CWinDownloader::~CWinDownloader() {
    m_cancel.Cancel();
    m_bindCallback.Cancel();
    m_runs.Stop();
}

void CWinDownloader::Start() {
    if (m_cancel.IsCancelled()) return;
    // Progress goes through the bind callback's own copy; a guard keeps it
    // quiet once destruction has begun.
    DownloadCallback callback = m_callback;
    download_detail::CancelToken* cancel = &m_cancel;
    m_bindCallback.SetCallback([callback, cancel](int code, double value, const wchar_t* text) {
        if (!cancel->IsCancelled() && callback) callback(code, value, text);
    });
    // A run that succeeded is not repeated; after a failed one (the network
    // tip's "重新安装") the download is made again.
    if (!m_started.exchange(true)) m_runs.Start(L"ABDEF", [this] { Run(); });
}

void CWinDownloader::Notify(int code, double value, const wchar_t* text) {
    if (m_cancel.IsCancelled()) return;
    if (m_callback) m_callback(code, value, text);
}

void CWinDownloader::Run() {
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Notify(DL_CODE_START, 1.0, L"");
    if (m_path.empty()) Notify(DL_CODE_FAIL, 1.0, L"");
    std::wstring u = m_url.rfind(L"file:///", 0) == 0 ? m_url : Utils::UrlEncode(m_url);
    const bool http = u.rfind(L"http://", 0) == 0 || u.rfind(L"https://", 0) == 0;
    HRESULT hr = E_FAIL;
    for (int attempt = 0; attempt < 3; ++attempt) {
        ForgetCachedCopy(u);
        m_bindCallback.BeginAttempt();
        hr = URLDownloadToFileW(nullptr, u.c_str(), m_path.c_str(), 0, &m_bindCallback);
        for (const auto& target : m_bindCallback.Redirects()) ForgetCachedCopy(target);
        ForgetCachedCopy(u);
        // A success counts only with the server's own 2xx answer to this
        // attempt: Wine's moniker reports success for an attempt whose every
        // connection was dropped, with a file taken from a failed earlier one.
        DWORD status = m_bindCallback.HttpStatus();
        if (hr == S_OK && (FAILED(m_bindCallback.StopResult()) || (http && (status < 200 || status > 299)))) {
            DEBUG_LOG(L"URLDownloadToFileW reported success without one (binding 0x%08X, HTTP status %u)\r\n",
                      static_cast<unsigned>(m_bindCallback.StopResult()), static_cast<unsigned>(status));
            hr = INET_E_DOWNLOAD_FAILURE;
        }
        if (hr == S_OK) {
            Notify(DL_CODE_SUCCESS, 0.0, L"URLDownloadToFile");
            break;
        }
        DEBUG_LOG(L"URLDownloadToFileW failed: 0x%08X\r\n", static_cast<unsigned>(hr));
        if (!m_cancel.SleepFor(m_delays.monikerRetryMs)) break;
        if (attempt == 2) {
            // Cleared before the notification, whose receiver may start again.
            m_started = false;
            Notify(DL_CODE_FAIL, static_cast<double>(static_cast<int32_t>(hr)), L"URLDownloadToFile");
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
}
