#pragma once
// The downloader variant for a DownloadType.
#include <memory>
#include <string>

#include "download/downloader.h"

// 2 the URL moniker (Windows), 3 multi-part, anything else single-stream.
std::unique_ptr<CDownloader> CreateDownloader(int downloadType, DownloadCallback handler, const std::wstring& url,
                                              const std::wstring& packagePath, const DownloaderSettings& settings = {});
// A factory that makes every downloader with these settings.
DownloaderFactory MakeDownloaderFactory(DownloaderSettings settings = {});
