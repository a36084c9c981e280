// The File and Folder objects that the file-system object hands out
// (internal). Each returns a new object (one reference).
#ifndef QUORVANE_PLATFORM_SCRIPT_FILE_SYSTEM_ITEMS_INTERNAL_H_
#define QUORVANE_PLATFORM_SCRIPT_FILE_SYSTEM_ITEMS_INTERNAL_H_

#include <string>

#include "platform/com/com.h"
#include "platform/script/file_system.h"

namespace Tavrin::Platform::Script {

IFileItem* make_file_item(const std::wstring& path);
IFolderItem* make_folder_item(const std::wstring& path);

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_FILE_SYSTEM_ITEMS_INTERNAL_H_
