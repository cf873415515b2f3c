#pragma once
// The URL-moniker downloader (Windows only): URLDownloadToFileW writes the file
// itself; CBindCallback turns its progress reports into DL_CODE_PROGRESS.
// Three attempts, no MD5 check; a run that succeeded is not repeated, a failed
// one can be started again.
#include <windows.h>
#include <urlmon.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/cancel_token.h"
#include "download/downloader.h"
#include "download/restartable_worker.h"

// COM interfaces have no virtual destructor; this object is never deleted
// through one (it lives inside its downloader).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CBindCallback : public IBindStatusCallbackEx, public IHttpNegotiate {
public:
    CBindCallback() = default;
    virtual ~CBindCallback();
    CBindCallback(const CBindCallback&) = delete;
    CBindCallback& operator=(const CBindCallback&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP OnStartBinding(DWORD reserved, IBinding* binding) override;
    STDMETHODIMP GetPriority(LONG* priority) override;
    STDMETHODIMP OnLowResource(DWORD reserved) override;
    STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText) override;
    STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR error) override;
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* bindInfo) override;
    STDMETHODIMP OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* object) override;
    STDMETHODIMP GetBindInfoEx(DWORD* flags, BINDINFO* bindInfo, DWORD* bindFlags, DWORD* reserved) override;
    STDMETHODIMP BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved, LPWSTR* additional) override;
    STDMETHODIMP OnResponse(DWORD status, LPCWSTR responseHeaders, LPCWSTR requestHeaders,
                            LPWSTR* additional) override;

    void SetCallback(DownloadCallback callback) { m_callback = std::move(callback); }
    void Cancel() { m_cancel = true; }
    // The binding's own verdict (OnStopBinding), the HTTP status and the
    // redirect targets seen, for the attempt since the last BeginAttempt.
    void BeginAttempt() {
        m_stopResult = S_OK;
        m_httpStatus = 0;
        std::lock_guard<std::mutex> lock(m_redirectLock);
        m_redirects.clear();
    }
    HRESULT StopResult() const { return m_stopResult; }
    // The URLs the attempt was redirected to, oldest first.
    std::vector<std::wstring> Redirects() const;
    DWORD HttpStatus() const { return m_httpStatus; }

private:
    DownloadCallback m_callback;
    std::atomic<bool> m_cancel{false};
    IBinding* m_binding = nullptr;
    std::atomic<HRESULT> m_stopResult{S_OK};
    std::atomic<DWORD> m_httpStatus{0};
    mutable std::mutex m_redirectLock;
    std::vector<std::wstring> m_redirects;
};
#pragma GCC diagnostic pop

class CWinDownloader : public CDownloader {
public:
    CWinDownloader(DownloadCallback callback, std::wstring url, std::wstring path,
                   const DownloaderSettings& settings = {});
    // Aborts a download in progress at its next progress report and waits for
    // the worker; no notification is sent once destruction has begun.
    ~CWinDownloader() override;
    void Start() override;

private:
    void Run();
    void Notify(int code, double value, const wchar_t* text);

    CBindCallback m_bindCallback;
    DownloadCallback m_callback;
    std::wstring m_path;
    std::wstring m_url;
    DownloadDelays m_delays;
    download_detail::CancelToken m_cancel;
    std::atomic<bool> m_started{false};
    download_detail::RestartableWorker m_runs;
};
