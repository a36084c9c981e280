// A browser profile folder that lives for one launch: made fresh and
// private (owner only) under the system's temporary folder, removed with
// everything in it when the owner goes. Move-only.
#ifndef QUORVANE_BROWSER_THROWAWAY_PROFILE_H_
#define QUORVANE_BROWSER_THROWAWAY_PROFILE_H_

#include <string>

namespace Tavrin::Browser {

class ThrowawayProfile {
 public:
  // A new folder named "quorvane-<kind>-<random>". Throws
  // boost::filesystem::filesystem_error when it cannot be made.
  explicit ThrowawayProfile(const std::string& kind);
  ThrowawayProfile(ThrowawayProfile&& other) noexcept;
  ThrowawayProfile& operator=(ThrowawayProfile&&) = delete;
  ThrowawayProfile(const ThrowawayProfile&) = delete;
  ThrowawayProfile& operator=(const ThrowawayProfile&) = delete;
  ~ThrowawayProfile();

  const std::string& path() const { return path_; }
  // Writes `text` as the file `name` in the folder. Throws std::runtime_error.
  void WriteFile(const std::string& name, const std::string& text) const;
  // Removes the folder now, with the folder of Chromium's singleton socket
  // that the profile links to; true when it is gone. Also done by the
  // destructor.
  bool Remove() noexcept;

 private:
  std::string path_;
};

}  // namespace Tavrin::Browser

#endif  // QUORVANE_BROWSER_THROWAWAY_PROFILE_H_
