// Helpers shared by the test programs: a scoped temporary folder and a
// scoped environment variable.
#ifndef QUORVANE_TEST_SUPPORT_TEMP_DIR_H_
#define QUORVANE_TEST_SUPPORT_TEMP_DIR_H_

#include <optional>
#include <string>

namespace quorvane_test {

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() joined with a relative name.
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

// Sets (or with std::nullopt unsets) one environment variable and puts the
// previous value back when the object goes.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Writes bytes to a file, replacing it. Fails the test on error.
void write_file(const std::string& path, const std::string& bytes);
// Reads a whole file; empty when it cannot be read.
std::string read_file(const std::string& path);

}  // namespace quorvane_test

#endif  // QUORVANE_TEST_SUPPORT_TEMP_DIR_H_
