// The desktop side of the ".jsk" file type, for desktops that follow the
// freedesktop.org rules: a MIME type "application/x-quorvane-script" for
// "*.jsk" files, installed with xdg-mime for the user, and a desktop entry
// "tavrin-quorvane.desktop" in the user's XDG data folder
// ($XDG_DATA_HOME/applications, see platform/shell_folders.h) that opens
// such files with the runner in a terminal. On a machine without
// xdg-utils (no xdg-mime to start) both steps are skipped.
#ifndef QUORVANE_HELPER_DESKTOP_ENTRY_H_
#define QUORVANE_HELPER_DESKTOP_ENTRY_H_

#include <string>

namespace Tavrin::Helper {

constexpr char kScriptMimeType[] = "application/x-quorvane-script";
constexpr char kMimePackageName[] = "tavrin-quorvane-script.xml";
constexpr char kDesktopEntryName[] = "tavrin-quorvane.desktop";

// The shared-mime-info package that declares the type.
std::string mime_package_xml();

// The desktop entry that runs `runner` (a full path) on the file.
std::string desktop_entry(const std::wstring& runner);

// `argument` quoted for an Exec line of a desktop entry.
std::string desktop_exec_quote(const std::string& argument);

// Installs (`install`) or removes the MIME type and the desktop entry.
// True when done or skipped for want of xdg-utils; false when xdg-mime
// failed or a file could not be written. Removing what is not there
// succeeds. Throws nothing.
bool update_desktop_integration(bool install, const std::wstring& runner);

}  // namespace Tavrin::Helper

#endif  // QUORVANE_HELPER_DESKTOP_ENTRY_H_
