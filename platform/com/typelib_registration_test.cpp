// Type library registration: the keys it writes, per scope, and removal of
// exactly those keys.
#include "platform/com/typelib_registration.h"

#include <gtest/gtest.h>

#include "platform/testing/registry_test_fixture.h"

namespace Tavrin::Platform::Com {
namespace {

using quorvane_test::ScopedKey;

constexpr InterfaceDescription kFirst = {L"IFirst", make_guid("{AAAAAAAA-0000-0000-0000-000000000001}"), 0, {}};
constexpr InterfaceDescription kSecond = {L"ISecond", make_guid("{AAAAAAAA-0000-0000-0000-000000000002}"), 0, {}};
constexpr const InterfaceDescription* kInterfaces[] = {&kFirst, &kSecond};
constexpr TypeLibraryDescription kLibrary = {
    L"ThingLib", make_guid("{BBBBBBBB-0000-0000-0000-000000000001}"), 1, 0, 0x409, 0, nullptr, kInterfaces};

constexpr wchar_t kVersionKey[] = L"Software\\Classes\\TypeLib\\{BBBBBBBB-0000-0000-0000-000000000001}\\1.0";
constexpr wchar_t kFirstKey[] = L"Software\\Classes\\Interface\\{AAAAAAAA-0000-0000-0000-000000000001}";

class TypeLibRegistrationTest : public quorvane_test::RegistryTest {
 protected:
  bool exists(HKEY root, const std::wstring& path) {
    ScopedKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS;
  }
};

// Machine-wide registration writes the version key with its module,
// flags and help folder, and one key per interface.
TEST_F(TypeLibRegistrationTest, WritesLibraryAndInterfaceKeys) {
  ASSERT_EQ(S_OK, register_type_library(kLibrary, L"/opt/q/Thing.so", L"/opt/q/help", RegistrationScope::kMachine));
  const std::wstring version = kVersionKey;
  EXPECT_EQ(L"ThingLib", text(HKEY_LOCAL_MACHINE, version.c_str(), L""));
  EXPECT_EQ(L"/opt/q/Thing.so", text(HKEY_LOCAL_MACHINE, (version + L"\\0\\linux64").c_str(), L""));
  EXPECT_EQ(L"0", text(HKEY_LOCAL_MACHINE, (version + L"\\FLAGS").c_str(), L""));
  EXPECT_EQ(L"/opt/q/help", text(HKEY_LOCAL_MACHINE, (version + L"\\HELPDIR").c_str(), L""));
  const std::wstring first = kFirstKey;
  EXPECT_EQ(L"IFirst", text(HKEY_LOCAL_MACHINE, first.c_str(), L""));
  EXPECT_EQ(L"{00020424-0000-0000-C000-000000000046}",
            text(HKEY_LOCAL_MACHINE, (first + L"\\ProxyStubClsid32").c_str(), L""));
  EXPECT_EQ(L"{BBBBBBBB-0000-0000-0000-000000000001}",
            text(HKEY_LOCAL_MACHINE, (first + L"\\TypeLib").c_str(), L""));
  EXPECT_EQ(L"1.0", text(HKEY_LOCAL_MACHINE, (first + L"\\TypeLib").c_str(), L"Version"));
  EXPECT_EQ(L"ISecond",
            text(HKEY_CLASSES_ROOT, L"Interface\\{AAAAAAAA-0000-0000-0000-000000000002}", L""));
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, L"Software\\Classes"));
}

// Unregistering removes what registration wrote and nothing else: another
// version of the library and other interfaces stay; a second removal
// succeeds.
TEST_F(TypeLibRegistrationTest, UnregisterRemovesExactlyItsKeys) {
  ASSERT_EQ(S_OK, register_type_library(kLibrary, L"/m.so", L"", RegistrationScope::kMachine));
  set_text(HKEY_LOCAL_MACHINE, L"Software\\Classes\\TypeLib\\{BBBBBBBB-0000-0000-0000-000000000001}\\2.0", L"",
           L"newer");
  set_text(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Interface\\{CCCCCCCC-0000-0000-0000-000000000001}", L"",
           L"IOther");
  ASSERT_EQ(S_OK, unregister_type_library(kLibrary, RegistrationScope::kMachine));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, kVersionKey));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, kFirstKey));
  EXPECT_EQ(L"newer", text(HKEY_LOCAL_MACHINE,
                           L"Software\\Classes\\TypeLib\\{BBBBBBBB-0000-0000-0000-000000000001}\\2.0", L""));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Interface\\{CCCCCCCC-0000-0000-0000-000000000001}"));
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\TypeLib\\{BBBBBBBB-0000-0000-0000-000000000001}\\2.0");
  ASSERT_EQ(S_OK, unregister_type_library(kLibrary, RegistrationScope::kMachine));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\TypeLib\\{BBBBBBBB-0000-0000-0000-000000000001}"));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\TypeLib"));
}

// Per user, the library lands in the user's classes only.
TEST_F(TypeLibRegistrationTest, PerUserRegistration) {
  ASSERT_EQ(S_OK, register_type_library(kLibrary, L"/m.so", L"", RegistrationScope::kUser));
  EXPECT_EQ(L"ThingLib", text(HKEY_CURRENT_USER, kVersionKey, L""));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes"));
  ASSERT_EQ(S_OK, unregister_type_library(kLibrary, RegistrationScope::kUser));
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, kVersionKey));
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, kFirstKey));
}

// A module path with quotes and percent signs is written as it is.
TEST_F(TypeLibRegistrationTest, ModulePathIsWrittenVerbatim) {
  ASSERT_EQ(S_OK, register_type_library(kLibrary, L"/o'dd 100%/m.so", L"", RegistrationScope::kMachine));
  EXPECT_EQ(L"/o'dd 100%/m.so", text(HKEY_LOCAL_MACHINE, (std::wstring(kVersionKey) + L"\\0\\linux64").c_str(), L""));
}

TEST(TypeLibHelpDirTest, DirectoryPartOfHelpFile) {
  TypeLibraryDescription library = kLibrary;
  EXPECT_EQ(L"", type_library_help_dir(library));
  library.help_file = L"C:\\help\\thing.chm";
  EXPECT_EQ(L"C:\\help", type_library_help_dir(library));
  library.help_file = L"/usr/share/thing/thing.html";
  EXPECT_EQ(L"/usr/share/thing", type_library_help_dir(library));
  library.help_file = L"thing.html";
  EXPECT_EQ(L"", type_library_help_dir(library));
}

}  // namespace
}  // namespace Tavrin::Platform::Com
