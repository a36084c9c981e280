// Entry point of every test program. Before any test runs, HOME, the XDG
// folders and the machine registry hive are pointed into one private
// temporary folder, so that no test reads or writes the real home folder,
// registry hives or runtime folder of the machine. Child processes started
// by tests inherit the same isolation.
#include <cstdlib>
#include <string>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

namespace {

std::string make_dir(const boost::filesystem::path& p) {
  boost::filesystem::create_directories(p);
  return p.string();
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = boost::filesystem;
  const fs::path root = fs::temp_directory_path() / fs::unique_path("quorvane-home-%%%%-%%%%-%%%%");
  ::setenv("HOME", make_dir(root / "home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", make_dir(root / "home/.config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", make_dir(root / "home/.local/share").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", make_dir(root / "run").c_str(), 1);
  fs::permissions(root / "run", fs::owner_all);
  ::setenv("QUORVANE_MACHINE_DIR", make_dir(root / "machine").c_str(), 1);

  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();

  boost::system::error_code ignored;
  fs::remove_all(root, ignored);
  return result;
}
