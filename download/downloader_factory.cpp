// Chooses the downloader variant for a DownloadType.
#include "download/downloader_factory.h"

#include "download/curl_downloader.h"
#include "download/mt_curl_downloader.h"
#ifdef _WIN32
#include "download/win_downloader.h"
#endif

std::unique_ptr<CDownloader> CreateDownloader(int downloadType, DownloadCallback handler, const std::wstring& url,
                                              const std::wstring& packagePath, const DownloaderSettings& settings) {
    switch (downloadType) {
#ifdef _WIN32
    case 2:
        return std::make_unique<CWinDownloader>(std::move(handler), url, packagePath, settings);
#endif
    case 3:
        return std::make_unique<CMTCurlDownloader>(std::move(handler), url, packagePath, settings);
    default:
        return std::make_unique<CCurlDownloader>(std::move(handler), url, packagePath, settings);
    }
}

DownloaderFactory MakeDownloaderFactory(DownloaderSettings settings) {
    return [settings = std::move(settings)](int downloadType, DownloadCallback handler, const std::wstring& url,
                                            const std::wstring& packagePath) {
        return CreateDownloader(downloadType, std::move(handler), url, packagePath, settings);
    };
}
