// The merged HKEY_CLASSES_ROOT view.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/testing/registry_test_fixture.h"

namespace {

using quorvane_test::ScopedKey;

constexpr const wchar_t* kUserClasses = L"Software\\Classes";
constexpr const wchar_t* kMachineClasses = L"Software\\Classes";

class ClassesRootTest : public quorvane_test::RegistryTest {
 protected:
  std::wstring user(const std::wstring& path) { return std::wstring(kUserClasses) + L"\\" + path; }
  std::wstring machine(const std::wstring& path) {
    return std::wstring(kMachineClasses) + L"\\" + path;
  }
};

// Reads look in the user's classes first, then in the machine's.
TEST_F(ClassesRootTest, ReadsPreferTheUsersClasses) {
  set_text(HKEY_CURRENT_USER, user(L".jsk").c_str(), L"", L"user.jsk");
  set_text(HKEY_LOCAL_MACHINE, machine(L".jsk").c_str(), L"", L"machine.jsk");
  set_text(HKEY_LOCAL_MACHINE, machine(L".jsk").c_str(), L"Content Type", L"text/js");
  set_text(HKEY_LOCAL_MACHINE, machine(L"CLSID\\{1}\\InprocServer32").c_str(), L"", L"/m.so");

  EXPECT_EQ(L"user.jsk", text(HKEY_CLASSES_ROOT, L".JSK", L""));
  EXPECT_EQ(L"text/js", text(HKEY_CLASSES_ROOT, L".jsk", L"Content Type"));
  EXPECT_EQ(L"/m.so", text(HKEY_CLASSES_ROOT, L"clsid\\{1}\\InprocServer32", nullptr));
  EXPECT_EQ(L"error 2", text(HKEY_CLASSES_ROOT, L".none", L""));
  EXPECT_EQ(L"error 2", text(HKEY_CLASSES_ROOT, L".jsk", L"missing"));

  // An open view key sees keys and values that appear later.
  ScopedKey view;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, view.out()));
  set_text(HKEY_CURRENT_USER, user(L"CLSID\\{1}\\InprocServer32").c_str(), L"", L"/u.so");
  EXPECT_EQ(L"/u.so", text(view.get(), L"{1}\\InprocServer32", L""));
}

// Writes go to the machine's classes unless the key exists only in the
// user's; a new key goes where its nearest existing ancestor is.
TEST_F(ClassesRootTest, WritesGoToTheMachineUnlessOnlyTheUserHasTheKey) {
  set_text(HKEY_CURRENT_USER, user(L"Both").c_str(), L"", L"u");
  set_text(HKEY_LOCAL_MACHINE, machine(L"Both").c_str(), L"", L"m");
  set_text(HKEY_CURRENT_USER, user(L"UserOnly").c_str(), L"", L"u");

  set_text(HKEY_CLASSES_ROOT, L"Both", L"new", L"b");
  set_text(HKEY_CLASSES_ROOT, L"UserOnly", L"new", L"uo");
  set_text(HKEY_CLASSES_ROOT, L"UserOnly\\Deeper\\Still", L"new", L"d");
  set_text(HKEY_CLASSES_ROOT, L"Fresh\\Key", L"new", L"f");

  EXPECT_EQ(L"b", text(HKEY_LOCAL_MACHINE, machine(L"Both").c_str(), L"new"));
  EXPECT_EQ(L"error 2", text(HKEY_CURRENT_USER, user(L"Both").c_str(), L"new"));
  EXPECT_EQ(L"uo", text(HKEY_CURRENT_USER, user(L"UserOnly").c_str(), L"new"));
  EXPECT_EQ(L"d", text(HKEY_CURRENT_USER, user(L"UserOnly\\Deeper\\Still").c_str(), L"new"));
  EXPECT_EQ(L"f", text(HKEY_LOCAL_MACHINE, machine(L"Fresh\\Key").c_str(), L"new"));
  EXPECT_EQ(L"error 2", text(HKEY_CURRENT_USER, user(L"Fresh").c_str(), L"new"));

  // Deleting follows the same rule.
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, L"UserOnly"));
  EXPECT_EQ(L"error 2", text(HKEY_CURRENT_USER, user(L"UserOnly").c_str(), L""));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CLASSES_ROOT, L"Both"));
  EXPECT_EQ(L"error 2", text(HKEY_LOCAL_MACHINE, machine(L"Both").c_str(), L""));
  EXPECT_EQ(L"u", text(HKEY_CLASSES_ROOT, L"Both", L""));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(HKEY_CLASSES_ROOT, L"Never"));
}

// Enumeration lists the union: sorted subkeys without doubles, the user's
// values first and the machine's that the user's do not hide.
TEST_F(ClassesRootTest, EnumerationMergesBothHives) {
  set_text(HKEY_CURRENT_USER, user(L"K\\beta").c_str(), L"", L"");
  set_text(HKEY_CURRENT_USER, user(L"K\\Alpha").c_str(), L"", L"");
  set_text(HKEY_LOCAL_MACHINE, machine(L"K\\ALPHA").c_str(), L"", L"");
  set_text(HKEY_LOCAL_MACHINE, machine(L"K\\Gamma").c_str(), L"", L"");
  set_text(HKEY_CURRENT_USER, user(L"K").c_str(), L"shared", L"u");
  set_text(HKEY_LOCAL_MACHINE, machine(L"K").c_str(), L"SHARED", L"m");
  set_text(HKEY_LOCAL_MACHINE, machine(L"K").c_str(), L"mine", L"m");

  ScopedKey key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, L"K", 0, KEY_READ, key.out()));
  std::vector<std::wstring> names;
  wchar_t name[32];
  DWORD size = 32;
  for (DWORD i = 0; RegEnumKeyExW(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS;
       ++i, size = 32)
    names.emplace_back(name, size);
  EXPECT_EQ((std::vector<std::wstring>{L"Alpha", L"beta", L"Gamma"}), names);

  names.clear();
  std::vector<std::wstring> data;
  BYTE bytes[64];
  DWORD bytes_size = sizeof bytes;
  for (DWORD i = 0; RegEnumValueW(key.get(), i, name, &size, nullptr, nullptr, bytes,
                                  &bytes_size) == ERROR_SUCCESS;
       ++i, size = 32, bytes_size = sizeof bytes) {
    names.emplace_back(name, size);
    data.push_back(Tavrin::Platform::registry_string_text(
        std::string_view(reinterpret_cast<char*>(bytes), bytes_size)));
  }
  EXPECT_EQ((std::vector<std::wstring>{L"shared", L"mine"}), names);
  EXPECT_EQ((std::vector<std::wstring>{L"u", L"m"}), data);
}

}  // namespace
