// Chooses the downloader variant for a DownloadType.
#include "install/download_installer.h"

std::unique_ptr<CDownloader> CDownloadInstaller::CreateDefaultDownloader(int /*downloadType*/,
                                                                         DownloadCallback /*handler*/,
                                                                         const std::wstring& /*url*/,
                                                                         const std::wstring& /*packagePath*/) {
    return nullptr;
}
