// Chooses the downloader variant for a DownloadType.
#include "download/curl_downloader.h"
#include "download/mt_curl_downloader.h"
#include "install/download_installer.h"
#ifdef _WIN32
#include "download/win_downloader.h"
#endif

std::unique_ptr<CDownloader> CDownloadInstaller::CreateDefaultDownloader(int downloadType, DownloadCallback handler,
                                                                         const std::wstring& url,
                                                                         const std::wstring& packagePath) {
    switch (downloadType) {
#ifdef _WIN32
    case 2:
        return std::make_unique<CWinDownloader>(std::move(handler), url, packagePath);
#endif
    case 3:
        return std::make_unique<CMTCurlDownloader>(std::move(handler), url, packagePath);
    default:
        return std::make_unique<CCurlDownloader>(std::move(handler), url, packagePath);
    }
}
