#include "runtime/opera_settings.h"

#include <fstream>

#include "common/directories.h"
#include "platform/file_version.h"
#include "platform/text.h"
#include "runtime/browser_fill.h"

namespace Tavrin::Runtime {

std::string opera_settings_text(const std::wstring& version, int port) {
  const char* const lines[] = {
      "Opera Preferences version 2.1",
      "",
      "[User Prefs]",
      "Startup Type=4",
      "Show Splash Screen=0",
      "Maximize New Windows=1",
      "Allow Empty Workspace=1",
      "Show Default Browser Dialog=0",
      "",
      "[Install]",
      nullptr,  // the version line
      "",
      "[Proxy]",
      "Use HTTP=1",
      nullptr,  // the server line
      "Enable HTTP 1.1 for proxy=0",
      "Use Proxy On Local Names Check=1",
      "",
      "[State]",
      "Run=0",
  };
  std::string text;
  int placeholder = 0;
  for (const char* line : lines) {
    if (line) {
      text += line;
    } else if (placeholder++ == 0) {
      text += "Newest Used Version=" + Platform::to_utf8(version);
    } else {
      text += "HTTP server=127.0.0.1:" + std::to_string(port);
    }
    text += "\r\n";
  }
  return text;
}

std::wstring opera_version_text(const std::wstring& command) {
  const Platform::FileVersion version = Platform::file_version(command_program(command));
  return std::to_wstring(version.major) + L"." + std::to_wstring(version.minor) + L"." +
         std::to_wstring(version.build);
}

std::wstring write_opera_settings(const std::wstring& command, int port) {
  const std::wstring version = opera_version_text(command);
  const std::wstring folder =
      Filesystem::get_product_home_directory(L"Tavrin Technologies", L"Quor Vane", L"Opera");
  const std::wstring path = folder + L"/opera6.ini";
  std::ofstream out(Platform::to_utf8(path), std::ios::binary | std::ios::trunc);
  if (out) out << opera_settings_text(version, port);
  return path;
}

}  // namespace Tavrin::Runtime
