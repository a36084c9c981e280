// Install mode's parts: the registration children's command lines and the
// ".jsk" file type's keys.
#include "helper/install.h"

#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>
#include <gtest/gtest.h>

#include "helper/file_type.h"
#include "platform/testing/registry_test_fixture.h"
#include "platform/text.h"

namespace Tavrin::Helper {
namespace {

using Platform::Com::RegistrationScope;
using quorvane_test::ScopedKey;

class InstallTest : public quorvane_test::RegistryTest {
 protected:
  HelperPaths paths_{Platform::from_utf8(dir_.file("bin"))};
  std::wstring d_ = paths_.dir;
  void SetUp() override { boost::filesystem::create_directories(dir_.file("bin")); }
  bool exists(HKEY root, const wchar_t* path) {
    ScopedKey key;
    return RegOpenKeyExW(root, path, 0, KEY_READ, key.out()) == ERROR_SUCCESS;
  }
};

// Without a regsvr32 or AutoItX3.dll beside the helper: the bare tool name,
// the runtime server and the proxy server.
TEST_F(InstallTest, CommandLinesWithNothingBeside) {
  EXPECT_EQ((std::vector<std::wstring>{L"regsvr32 /s \"" + d_ + L"/QuorvaneRuntime.so\"",
                                       L"\"" + d_ + L"/QuorvaneProxy\" /RegServer"}),
            registration_command_lines(paths_, true, RegistrationScope::kMachine));
  EXPECT_EQ((std::vector<std::wstring>{L"regsvr32 /u /s \"" + d_ + L"/QuorvaneRuntime.so\"",
                                       L"\"" + d_ + L"/QuorvaneProxy\" /UnregServer"}),
            registration_command_lines(paths_, false, RegistrationScope::kMachine));
}

// With both beside: the tool by its path, and the automation library too;
// per user, the runtime server goes through DllInstall("user").
TEST_F(InstallTest, CommandLinesWithToolAndLibraryBeside) {
  quorvane_test::write_file(dir_.file("bin/regsvr32"), "");
  quorvane_test::write_file(dir_.file("bin/AutoItX3.dll"), "");
  const std::wstring tool = d_ + L"/regsvr32";
  EXPECT_EQ((std::vector<std::wstring>{tool + L" /s /n /i:user \"" + d_ + L"/QuorvaneRuntime.so\"",
                                       tool + L" /s \"" + d_ + L"/AutoItX3.dll\"",
                                       L"\"" + d_ + L"/QuorvaneProxy\" /RegServer"}),
            registration_command_lines(paths_, true, RegistrationScope::kUser));
}

// The file type machine-wide: ".jsk" names the program id, whose open
// command runs the runner beside the helper; removal keeps ".jsk" and fails
// the second time.
TEST_F(InstallTest, FileTypeKeysMachineWide) {
  register_file_type(paths_.open_command(), RegistrationScope::kMachine);
  EXPECT_EQ(L"TavrinTechnologies.Quorvane", text(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.jsk", L""));
  EXPECT_EQ(L"\"" + d_ + L"/Quorvane\" \"%1\"",
            text(HKEY_CLASSES_ROOT, L"TavrinTechnologies.Quorvane\\shell\\open\\command", L""));
  unregister_file_type(RegistrationScope::kMachine);
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\TavrinTechnologies.Quorvane"));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.jsk"));
  try {
    unregister_file_type(RegistrationScope::kMachine);
    FAIL() << "removing missing keys succeeded";
  } catch (const boost::system::error_code& error) {
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, error.value());
  }
}

// Per user the keys go to the user's classes.
TEST_F(InstallTest, FileTypeKeysPerUser) {
  register_file_type(paths_.open_command(), RegistrationScope::kUser);
  EXPECT_EQ(L"TavrinTechnologies.Quorvane", text(HKEY_CURRENT_USER, L"Software\\Classes\\.jsk", L""));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.jsk"));
}

// A machine hive that cannot be written makes the helper register per user.
TEST_F(InstallTest, ReadOnlyMachineHiveMeansPerUser) {
  EXPECT_TRUE(machine_classes_writable());
  const std::string blocker = dir_.file("file");
  quorvane_test::write_file(blocker, "");
  quorvane_test::ScopedEnv machine("QUORVANE_MACHINE_DIR", blocker + "/machine");
  EXPECT_FALSE(machine_classes_writable());
}

}  // namespace
}  // namespace Tavrin::Helper
