// Registration of the runtime server: the keys of its class, program ids
// and type library, in both scopes, and their removal.
#include "runtime/registration.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/testing/registry_test_fixture.h"
#include "platform/thread_locale.h"

namespace Tavrin::Runtime {
namespace {

using Platform::Com::RegistrationScope;
using quorvane_test::ScopedKey;

constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}";
constexpr wchar_t kLibKey[] = L"Software\\Classes\\TypeLib\\{81C82C37-EDC3-4C64-A63D-D569167D27F8}";
constexpr wchar_t kInterfaceKey[] = L"Software\\Classes\\Interface\\{CC22913D-1819-40B3-A75A-85FA6EB20BFA}";

class RuntimeRegistrationTest : public quorvane_test::RegistryTest {
 protected:
  bool exists(HKEY root, const std::wstring& path) {
    ScopedKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS;
  }
  std::wstring in_class(HKEY root, const wchar_t* sub, const wchar_t* name = L"") {
    return text(root, (std::wstring(kClassKey) + sub).c_str(), name);
  }
  void expect_registered(HKEY root, const std::wstring& module) {
    EXPECT_EQ(L"VelmoraScript Class", text(root, L"Software\\Classes\\Velmora.Script.1", L""));
    EXPECT_EQ(L"{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}", text(root, L"Software\\Classes\\Velmora.Script.1\\CLSID", L""));
    EXPECT_EQ(L"VelmoraScript Class", text(root, L"Software\\Classes\\Velmora.Script", L""));
    EXPECT_EQ(L"Velmora.Script.1", text(root, L"Software\\Classes\\Velmora.Script\\CurVer", L""));
    EXPECT_EQ(L"VelmoraScript Class", in_class(root, L""));
    EXPECT_EQ(L"Velmora.Script.1", in_class(root, L"\\ProgID"));
    EXPECT_EQ(L"Velmora.Script", in_class(root, L"\\VersionIndependentProgID"));
    EXPECT_TRUE(exists(root, std::wstring(kClassKey) + L"\\Programmable"));
    EXPECT_EQ(module, in_class(root, L"\\InprocServer32"));
    EXPECT_EQ(L"Both", in_class(root, L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(L"{81C82C37-EDC3-4C64-A63D-D569167D27F8}", in_class(root, L"\\TypeLib"));
    EXPECT_EQ(L"1.0", in_class(root, L"\\Version"));
    EXPECT_EQ(L"VelmoraRuntimeLib", text(root, (std::wstring(kLibKey) + L"\\1.0").c_str(), L""));
    EXPECT_EQ(module, text(root, (std::wstring(kLibKey) + L"\\1.0\\0\\linux64").c_str(), L""));
    EXPECT_EQ(L"IVelmoraScript", text(root, kInterfaceKey, L""));
  }
};

// Machine-wide registration writes every key and value of the class, both
// program ids and the type library, and nothing for the user.
TEST_F(RuntimeRegistrationTest, RegistersEverythingMachineWide) {
  ASSERT_EQ(S_OK, register_server(L"/opt/quorvane/QuorvaneRuntime.so", RegistrationScope::kMachine));
  expect_registered(HKEY_LOCAL_MACHINE, L"/opt/quorvane/QuorvaneRuntime.so");
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, L"Software\\Classes"));
}

// Registering from a second path leaves one class key naming the last
// path, without what was added below the old one.
TEST_F(RuntimeRegistrationTest, SecondRegistrationReplacesTheClassKey) {
  ASSERT_EQ(S_OK, register_server(L"/first/QuorvaneRuntime.so", RegistrationScope::kMachine));
  ScopedKey(create(HKEY_LOCAL_MACHINE, (std::wstring(kClassKey) + L"\\LocalServer32").c_str()));
  ASSERT_EQ(S_OK, register_server(L"/second/QuorvaneRuntime.so", RegistrationScope::kMachine));
  expect_registered(HKEY_LOCAL_MACHINE, L"/second/QuorvaneRuntime.so");
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, std::wstring(kClassKey) + L"\\LocalServer32"));
}

// Unregistering removes the class key, both program ids and the type
// library, and leaves the CLSID key; doing it again succeeds.
TEST_F(RuntimeRegistrationTest, UnregisterLeavesOnlyClsid) {
  set_text(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\{00000000-0000-0000-0000-0000000000AA}", L"", L"other");
  ASSERT_EQ(S_OK, register_server(L"/opt/QuorvaneRuntime.so", RegistrationScope::kMachine));
  ASSERT_EQ(S_OK, unregister_server(RegistrationScope::kMachine));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, kClassKey));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Velmora.Script.1"));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Velmora.Script"));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, kLibKey));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, kInterfaceKey));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID"));
  EXPECT_EQ(L"other", text(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-0000000000AA}", L""));
  EXPECT_EQ(S_OK, unregister_server(RegistrationScope::kMachine));
}

// Per user, everything lands in the user's classes, the type library too,
// and HKEY_CLASSES_ROOT shows it.
TEST_F(RuntimeRegistrationTest, PerUserInstallWritesUserClassesOnly) {
  ASSERT_EQ(S_OK, install_server(true, L"/home/u/QuorvaneRuntime.so", RegistrationScope::kUser));
  expect_registered(HKEY_CURRENT_USER, L"/home/u/QuorvaneRuntime.so");
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes"));
  EXPECT_EQ(L"/home/u/QuorvaneRuntime.so",
            text(HKEY_CLASSES_ROOT, L"CLSID\\{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}\\InprocServer32", L""));
  ASSERT_EQ(S_OK, install_server(false, L"", RegistrationScope::kUser));
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, kClassKey));
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, kLibKey));
}

// A registry that refuses writes fails the install with its code, and the
// thread's locale is back afterwards as after a success.
TEST_F(RuntimeRegistrationTest, FailureIsReturnedAndLocaleRestored) {
  const std::uintptr_t locale = Platform::thread_locale_id();
  Platform::set_registry_faults({ERROR_SUCCESS, ERROR_ACCESS_DENIED});
  const HRESULT failed = install_server(true, L"/m.so", RegistrationScope::kMachine);
  Platform::set_registry_faults({});
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), failed);
  EXPECT_EQ(locale, Platform::thread_locale_id());
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, kClassKey));
  ASSERT_EQ(S_OK, register_server(L"/m.so", RegistrationScope::kMachine));
  EXPECT_EQ(locale, Platform::thread_locale_id());
}

// Only "user" in any case, as the whole text, asks for per-user mode.
TEST(DllInstallCommandLineTest, UserWholeTextAnyCase) {
  EXPECT_TRUE(asks_for_user_scope(L"user"));
  EXPECT_TRUE(asks_for_user_scope(L"USER"));
  EXPECT_TRUE(asks_for_user_scope(L"uSeR"));
  EXPECT_FALSE(asks_for_user_scope(L"users"));
  EXPECT_FALSE(asks_for_user_scope(L"use"));
  EXPECT_FALSE(asks_for_user_scope(L" user"));
  EXPECT_FALSE(asks_for_user_scope(L""));
  EXPECT_FALSE(asks_for_user_scope(nullptr));
}

}  // namespace
}  // namespace Tavrin::Runtime
