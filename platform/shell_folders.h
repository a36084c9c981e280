// The shell's per-user folders. On Windows the application data folder is
// SHGetFolderPathW(CSIDL_APPDATA); here it follows the XDG base directory
// rules: $XDG_DATA_HOME when it is set to an absolute path, else
// $HOME/.local/share. The folder is not created.
//
// May be called from any thread (it reads the environment only).
#ifndef QUORVANE_PLATFORM_SHELL_FOLDERS_H_
#define QUORVANE_PLATFORM_SHELL_FOLDERS_H_

#include <string>

#include "platform/export.h"

namespace Tavrin::Platform {

// The current user's application data folder, without trailing separator.
// Throws boost::system::system_error (ENOENT, system category) when neither
// $XDG_DATA_HOME nor $HOME gives an absolute path.
QUORVANE_PLATFORM_EXPORT std::wstring application_data_folder();

// The current user's home folder ($HOME here; on Windows the user's
// profile folder), without trailing separator (the root stays "/"). Throws
// as application_data_folder() when $HOME is not an absolute path.
QUORVANE_PLATFORM_EXPORT std::wstring home_folder();

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_SHELL_FOLDERS_H_
