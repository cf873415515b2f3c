#pragma once
// Folder helpers of the install sequence.
#include <string>

namespace install_detail {

// The private cache folder under the user's temp folder, with a trailing
// separator; empty when it cannot be had.
std::wstring UninstallerCacheDir();
// Creates every missing folder of path; true when all exist afterwards.
bool MakeFolders(const std::wstring& path);

}  // namespace install_detail
