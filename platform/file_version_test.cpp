// Versions of program files: a Windows executable's version resource and
// the number a program prints for --version.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>

#include "platform/file_version.h"
#include "platform/text.h"
#include "test_support/temp_dir.h"

namespace {

using namespace Tavrin::Platform;

void put_u32(std::string& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// An executable's bytes with a version resource of file version `ms`.`ls`
// (double words) somewhere after a header.
std::string executable_with_version(std::uint32_t ms, std::uint32_t ls) {
  std::string bytes = "MZ";
  bytes.append(300, '\x90');
  while (bytes.size() % 4) bytes.push_back('\0');
  bytes += std::string("\x5c\x03\x34\x00\x00\x00", 6);  // wLength, wValueLength, wType
  for (char c : std::string("VS_VERSION_INFO")) bytes += std::string{c, '\0'};
  bytes += std::string("\0\0", 2);  // the key's NUL
  bytes += std::string("\0\0", 2);  // padding to 32 bits
  put_u32(bytes, 0xFEEF04BD);
  put_u32(bytes, 0x00010000);
  put_u32(bytes, ms);
  put_u32(bytes, ls);
  bytes.append(64, '\0');
  return bytes;
}

std::string script(const quorvane_test::TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.file(name);
  quorvane_test::write_file(path, "#!/bin/sh\n" + body);
  boost::filesystem::permissions(path, boost::filesystem::owner_all);
  return path;
}

int error_of(const std::string& path, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  try {
    file_version(from_utf8(path), timeout);
  } catch (const boost::system::error_code& e) {
    return e.value();
  }
  return 0;
}

// File version 10.63.3516.0 in the resource gives 10, 63, 3516, 0.
TEST(FileVersion, ReadsTheFixedVersionOfAWindowsExecutable) {
  quorvane_test::TempDir dir;
  quorvane_test::write_file(dir.file("opera.exe"), executable_with_version((10u << 16) | 63, (3516u << 16) | 0));
  const FileVersion v = file_version(from_utf8(dir.file("opera.exe")));
  EXPECT_EQ(v.major, 10u);
  EXPECT_EQ(v.minor, 63u);
  EXPECT_EQ(v.build, 3516u);
  EXPECT_EQ(v.revision, 0u);
  // An executable without a resource has no version.
  quorvane_test::write_file(dir.file("bare.exe"), "MZ" + std::string(100, '\0'));
  EXPECT_EQ(error_of(dir.file("bare.exe")), ENODATA);
}

// Other programs are asked with --version; the first dotted number counts.
TEST(FileVersion, AsksOtherProgramsForTheirVersion) {
  quorvane_test::TempDir dir;
  const std::string opera = script(dir, "opera", "[ \"$1\" = --version ] && echo 'Opera 105.0.4970.21 stable' && exit 0\nexit 3\n");
  const FileVersion v = file_version(from_utf8(opera));
  EXPECT_EQ(v.major, 105u);
  EXPECT_EQ(v.minor, 0u);
  EXPECT_EQ(v.build, 4970u);
  EXPECT_EQ(v.revision, 21u);
  EXPECT_EQ(error_of(script(dir, "quiet", "echo no version here\n")), ENODATA);
  EXPECT_EQ(error_of(dir.file("missing")), ENOENT);
}

// A program that does not answer in time is ended and has no version.
TEST(FileVersion, ProgramThatHangsIsEnded) {
  quorvane_test::TempDir dir;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(error_of(script(dir, "hang", "exec sleep 30\n"), std::chrono::milliseconds(200)), ENODATA);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(FileVersion, DottedNumbersInText) {
  auto v = version_from_text("Opera 12.16 Build 1860");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->major, 12u);
  EXPECT_EQ(v->minor, 16u);
  EXPECT_EQ(v->build, 0u);
  EXPECT_FALSE(version_from_text("version 12 only"));
  EXPECT_FALSE(version_from_resource("MZ no resource"));
}

}  // namespace
