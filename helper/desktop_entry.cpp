#include "helper/desktop_entry.h"

#include <errno.h>

#include <exception>
#include <fstream>

#include <boost/filesystem.hpp>
#include <boost/system/system_error.hpp>

#include "platform/process.h"
#include "platform/shell_folders.h"
#include "platform/text.h"

namespace Tavrin::Helper {
namespace {

namespace fs = boost::filesystem;
namespace Process = Platform::Process;

bool write_text(const fs::path& path, const std::string& text) {
  std::ofstream file(path.string(), std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  return static_cast<bool>(file);
}

// Runs xdg-mime with `arguments`. Sets *missing when xdg-mime is not there.
bool run_xdg_mime(std::vector<std::string> arguments, bool* missing) {
  Process::StartOptions options;
  options.arguments = {"xdg-mime"};
  options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
  options.output = Process::StartOptions::Output::kDiscard;
  try {
    Process::Child child = Process::start(options);
    const auto status = child.WaitFor(std::chrono::seconds(60));
    if (!status) child.Kill();
    return status && status->exited && status->code == 0;
  } catch (const boost::system::system_error& error) {
    *missing = error.code().value() == ENOENT;
    return false;
  }
}

// A private folder for the package file that xdg-mime reads, removed when
// it goes.
class ScratchFolder {
 public:
  ScratchFolder() : path_(fs::temp_directory_path() / fs::unique_path("quorvane-helper-%%%%-%%%%")) {
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    boost::system::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

bool update(bool install, const std::wstring& runner) {
  const ScratchFolder scratch;
  const fs::path package = scratch.path() / kMimePackageName;
  if (!write_text(package, mime_package_xml())) return false;
  bool missing = false;
  const bool mime_done = run_xdg_mime({install ? "install" : "uninstall", "--mode", "user", package.string()}, &missing);
  if (missing) return true;
  const fs::path applications = fs::path(Platform::to_utf8(Platform::application_data_folder())) / "applications";
  const fs::path entry = applications / kDesktopEntryName;
  if (!install) {
    boost::system::error_code ignored;
    fs::remove(entry, ignored);
    return mime_done;
  }
  fs::create_directories(applications);
  return mime_done && write_text(entry, desktop_entry(runner));
}

}  // namespace

std::string mime_package_xml() {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
             "  <mime-type type=\"") +
         kScriptMimeType +
         "\">\n"
         "    <comment>Quorvane test script</comment>\n"
         "    <glob pattern=\"*.jsk\"/>\n"
         "  </mime-type>\n"
         "</mime-info>\n";
}

std::string desktop_exec_quote(const std::string& argument) {
  std::string quoted = "\"";
  for (const char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  // The Exec key is itself a string value, whose escapes come first.
  std::string value;
  for (const char c : quoted) {
    if (c == '\\') value += '\\';
    value += c;
  }
  return value;
}

std::string desktop_entry(const std::wstring& runner) {
  return std::string(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=Quorvane\n"
             "Comment=Run a Quorvane test script\n"
             "Exec=") +
         desktop_exec_quote(Platform::to_utf8(runner)) +
         " %f\n"
         "Terminal=true\n"
         "NoDisplay=true\n"
         "MimeType=" +
         kScriptMimeType + ";\n";
}

bool update_desktop_integration(bool install, const std::wstring& runner) {
  try {
    return update(install, runner);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace Tavrin::Helper
