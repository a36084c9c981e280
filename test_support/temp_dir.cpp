#include "test_support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

namespace quorvane_test {

TempDir::TempDir() {
  auto base = boost::filesystem::temp_directory_path() /
              boost::filesystem::unique_path("quorvane-test-%%%%-%%%%-%%%%");
  boost::filesystem::create_directories(base);
  path_ = base.string();
}

TempDir::~TempDir() {
  boost::system::error_code ignored;
  boost::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

ScopedEnv::ScopedEnv(const std::string& name, const std::optional<std::string>& value)
    : name_(name) {
  if (const char* old = std::getenv(name.c_str())) old_ = old;
  if (value)
    ::setenv(name.c_str(), value->c_str(), 1);
  else
    ::unsetenv(name.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (old_)
    ::setenv(name_.c_str(), old_->c_str(), 1);
  else
    ::unsetenv(name_.c_str());
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace quorvane_test
