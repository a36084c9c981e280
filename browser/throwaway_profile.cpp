#include "browser/throwaway_profile.h"

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include <boost/filesystem.hpp>

namespace Tavrin::Browser {

namespace fs = boost::filesystem;

ThrowawayProfile::ThrowawayProfile(const std::string& kind) {
  const fs::path folder = fs::temp_directory_path() / fs::unique_path("quorvane-" + kind + "-%%%%-%%%%-%%%%");
  fs::create_directory(folder);
  fs::permissions(folder, fs::owner_all);
  path_ = folder.string();
}

ThrowawayProfile::ThrowawayProfile(ThrowawayProfile&& other) noexcept : path_(std::exchange(other.path_, {})) {}

ThrowawayProfile::~ThrowawayProfile() { Remove(); }

void ThrowawayProfile::WriteFile(const std::string& name, const std::string& text) const {
  std::ofstream out((fs::path(path_) / name).string(), std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + (fs::path(path_) / name).string());
}

// Chromium links "SingletonSocket" and its kin in the profile to a folder
// "org.chromium.Chromium.XXXXXX" in the temporary folder; it goes too.
void remove_linked_singleton_folders(const fs::path& profile) {
  for (const char* name : {"SingletonSocket", "SingletonCookie", "SingletonLock"}) {
    boost::system::error_code error;
    const fs::path target = fs::read_symlink(profile / name, error);
    if (error || !target.is_absolute()) continue;
    const fs::path folder = target.parent_path();
    if (folder.filename().string().rfind("org.chromium.", 0) == 0) fs::remove_all(folder, error);
  }
}

bool ThrowawayProfile::Remove() noexcept {
  if (path_.empty()) return true;
  remove_linked_singleton_folders(path_);
  // A browser's last helper may still be writing for a moment after it was
  // ended; a few tries make sure the folder goes.
  for (int attempt = 0; attempt < 5; ++attempt) {
    boost::system::error_code error;
    fs::remove_all(path_, error);
    if (!fs::exists(path_, error)) {
      path_.clear();
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

}  // namespace Tavrin::Browser
