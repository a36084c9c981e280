// Program directories: the process's current directory, the starting
// directory (the folder of the running executable, where the deliverables,
// config.xml and Resource.dat lie) and the product home directory, a
// per-user data folder "<app data>/<company>/<product>/<folder>".
//
// Paths carry no trailing separator. Wide paths are the programs' own form;
// the narrow variants are UTF-8 (the active code page here). All functions
// are stateless and may be called from any thread.
#ifndef QUORVANE_COMMON_DIRECTORIES_H_
#define QUORVANE_COMMON_DIRECTORIES_H_

#include <string>

#include "common/export.h"

namespace Tavrin::Windows::Filesystem {

// The process's current directory.
// Throws the system's error code as an `unsigned long` if it cannot be read.
QUORVANE_COMMON_EXPORT std::wstring get_current_dir_w();
QUORVANE_COMMON_EXPORT std::string get_current_dir_a();

// The directory of the running program's executable (not of this library).
// Throws the system's error code as an `unsigned long` if it cannot be read.
QUORVANE_COMMON_EXPORT std::wstring get_starting_dir_w();
QUORVANE_COMMON_EXPORT std::string get_starting_dir_a();

// The directory part of a module path: cut at the last backslash, else at
// the last forward slash, without the separator; a path with neither is
// returned whole. "C:\a\b.exe" gives "C:\a", "/opt/q/Quorvane" gives "/opt/q".
QUORVANE_COMMON_EXPORT std::wstring starting_dir_of(const std::wstring& module_path);

}  // namespace Tavrin::Windows::Filesystem

namespace Tavrin::Filesystem {

// The same as Tavrin::Windows::Filesystem::get_current_dir_w().
QUORVANE_COMMON_EXPORT std::wstring get_current_directory();

// The current user's application data folder joined with company, product
// and folder, in this order. A backslash inside one of the three counts as a
// separator, so folder may name several levels ("TestResults\2011-Jan-05\Images").
// Every missing directory along the path is created; existing ones are
// accepted. Returns the path with the native separator ("/" here).
// Throws the system's error code as an `unsigned long` if the application
// data folder is unknown, and boost::filesystem::filesystem_error (naming
// "boost::filesystem::create_directory" and the path) if a directory cannot
// be created, for instance because a file of that name is in the way.
QUORVANE_COMMON_EXPORT std::wstring get_product_home_directory(const std::wstring& company,
                                                               const std::wstring& product,
                                                               const std::wstring& folder);

}  // namespace Tavrin::Filesystem

#endif  // QUORVANE_COMMON_DIRECTORIES_H_
