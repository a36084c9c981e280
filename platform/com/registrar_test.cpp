// The registrar: registry scripts in both directions, both scopes, and
// scripts that must change nothing.
#include "platform/com/registrar.h"

#include <gtest/gtest.h>

#include "platform/testing/registry_test_fixture.h"
#include "platform/text.h"

namespace Tavrin::Platform::Com {
namespace {

using quorvane_test::ScopedKey;

constexpr wchar_t kClassScript[] = LR"(
HKCR
{
  Thing.Object.1 = s 'Thing Class'
  {
    CLSID = s '{11111111-2222-3333-4444-555555555555}'
  }
  NoRemove CLSID
  {
    ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Thing Class'
    {
      ForceRemove Programmable
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Both'
      }
    }
  }
}
)";
constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}";

class RegistrarTest : public quorvane_test::RegistryTest {
 protected:
  bool exists(HKEY root, const wchar_t* path) {
    ScopedKey key;
    return RegOpenKeyExW(root, path, 0, KEY_READ, key.out()) == ERROR_SUCCESS;
  }
  std::string raw(HKEY root, const wchar_t* path, const wchar_t* name, DWORD* type) {
    ScopedKey key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, key.out()) != ERROR_SUCCESS) return "missing key";
    std::string data(256, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    if (RegQueryValueExW(key.get(), name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size) !=
        ERROR_SUCCESS)
      return "missing value";
    data.resize(size);
    return data;
  }
  HRESULT run(const std::wstring& script, bool do_register, RegistrationScope scope = RegistrationScope::kMachine) {
    return registrar_run(script, {{L"MODULE", L"/opt/q/Thing's module.so"}}, do_register, scope);
  }
};

// A class script registers machine-wide, with %MODULE% replaced.
TEST_F(RegistrarTest, RegistersClassScriptMachineWide) {
  ASSERT_EQ(S_OK, run(kClassScript, true));
  EXPECT_EQ(L"Thing Class", text(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Thing.Object.1", L""));
  EXPECT_EQ(L"{11111111-2222-3333-4444-555555555555}",
            text(HKEY_CLASSES_ROOT, L"Thing.Object.1\\CLSID", L""));
  const std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
  EXPECT_EQ(L"/opt/q/Thing's module.so", text(HKEY_LOCAL_MACHINE, server.c_str(), L""));
  EXPECT_EQ(L"Both", text(HKEY_LOCAL_MACHINE, server.c_str(), L"ThreadingModel"));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, (std::wstring(kClassKey) + L"\\Programmable").c_str()));
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, L"Software\\Classes"));
}

// Per user, what the script addresses under HKCR lands in the user's
// classes and the machine's stay untouched.
TEST_F(RegistrarTest, PerUserScopeWritesUserClasses) {
  ASSERT_EQ(S_OK, run(kClassScript, true, RegistrationScope::kUser));
  EXPECT_EQ(L"Thing Class", text(HKEY_CURRENT_USER, L"Software\\Classes\\Thing.Object.1", L""));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes"));
  ASSERT_EQ(S_OK, run(kClassScript, false, RegistrationScope::kUser));
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, L"Software\\Classes\\Thing.Object.1"));
  EXPECT_TRUE(exists(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID"));
}

// Registering again replaces a ForceRemove key whole: a subkey that
// someone added in between goes.
TEST_F(RegistrarTest, ForceRemoveReplacesKeyOnRegistration) {
  ASSERT_EQ(S_OK, run(kClassScript, true));
  ScopedKey(create(HKEY_LOCAL_MACHINE, (std::wstring(kClassKey) + L"\\Stale").c_str()));
  ASSERT_EQ(S_OK, registrar_run(kClassScript, {{L"module", L"/other.so"}}, true, RegistrationScope::kMachine));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, (std::wstring(kClassKey) + L"\\Stale").c_str()));
  EXPECT_EQ(L"/other.so", text(HKEY_LOCAL_MACHINE, (std::wstring(kClassKey) + L"\\InprocServer32").c_str(), L""));
}

// Removal: ForceRemove keys go with everything below, NoRemove keys stay,
// other keys go once empty, and a key that still holds someone else's
// subkey stays without the script's named values.
TEST_F(RegistrarTest, RemovalKeepsNoRemoveAndForeignKeys) {
  const std::wstring script = LR"(HKCR { NoRemove CLSID { ForceRemove {11111111-2222-3333-4444-555555555555} }
      Shared = s 'x' { val Mine = d 7  Sub } Thing.Object.1 = s 'Thing Class' { CLSID = s 'id' } })";
  ASSERT_EQ(S_OK, run(script, true));
  ScopedKey(create(HKEY_LOCAL_MACHINE, (std::wstring(kClassKey) + L"\\Deep\\Deeper").c_str()));
  set_text(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Shared\\Foreign", L"", L"theirs");
  ASSERT_EQ(S_OK, run(script, false));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID"));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, kClassKey));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Thing.Object.1"));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Shared\\Sub"));
  EXPECT_EQ(L"theirs", text(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Shared\\Foreign", L""));
  DWORD type = 0;
  EXPECT_EQ("missing value", raw(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Shared", L"Mine", &type));
  // Removing what is not there succeeds.
  EXPECT_EQ(S_OK, run(script, false));
  EXPECT_EQ(S_OK, run(kClassScript, false, RegistrationScope::kUser));
}

// A Delete key is deleted when registering, its block ignored.
TEST_F(RegistrarTest, DeleteKeyIsDeletedOnRegistration) {
  ScopedKey(create(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Old\\Child"));
  ASSERT_EQ(S_OK, run(L"HKCR { Delete Old { Ignored = s 'no' } }", true));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Old"));
}

// Every value type, quoted names with blanks and quotes, keywords in any
// case, a quoted keyword as a plain key name, %% and other roots.
TEST_F(RegistrarTest, ValueTypesQuotingAndRoots) {
  const std::wstring script = LR"(hkcu { 'Soft ware' { 'It''s' = s '100%% %Module%'
      { val Count = D 0x10  val Dec = d '42'  val Path = e '%%HOME%%\x'  val Raw = b '00ff10'
        val List = m 'a\0b'  'val' = s 'plain key' } } }
    HKEY_LOCAL_MACHINE { Machine { FORCEREMOVE One NOREMOVE Two } })";
  ASSERT_EQ(S_OK, run(script, true));
  EXPECT_EQ(L"100% /opt/q/Thing's module.so", text(HKEY_CURRENT_USER, L"Soft ware\\It's", L""));
  DWORD type = 0;
  EXPECT_EQ(std::string("\x10\0\0\0", 4), raw(HKEY_CURRENT_USER, L"Soft ware\\It's", L"Count", &type));
  EXPECT_EQ(REG_DWORD, type);
  EXPECT_EQ(std::string("\x2a\0\0\0", 4), raw(HKEY_CURRENT_USER, L"Soft ware\\It's", L"Dec", &type));
  EXPECT_EQ(registry_string_bytes(L"%HOME%\\x"), raw(HKEY_CURRENT_USER, L"Soft ware\\It's", L"Path", &type));
  EXPECT_EQ(REG_EXPAND_SZ, type);
  EXPECT_EQ(std::string("\x00\xff\x10", 3), raw(HKEY_CURRENT_USER, L"Soft ware\\It's", L"Raw", &type));
  EXPECT_EQ(REG_BINARY, type);
  EXPECT_EQ(registry_string_bytes(std::wstring(L"a\0b\0\0", 5)),
            raw(HKEY_CURRENT_USER, L"Soft ware\\It's", L"List", &type));
  EXPECT_EQ(REG_MULTI_SZ, type);
  EXPECT_EQ(L"plain key", text(HKEY_CURRENT_USER, L"Soft ware\\It's\\val", L""));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, L"Machine\\One"));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, L"Machine\\Two"));
}

// Scripts with a syntax error fail with the registrar's syntax code and
// write nothing, not even their valid first part.
TEST_F(RegistrarTest, SyntaxErrorsChangeNothing) {
  const wchar_t* const bad[] = {
      L"HKCR { Good = s 'yes' } HKCR { Broken = s 'no' ",
      L"HKCR { Good = s 'yes' } HKXX { }",
      L"HKCR { Good = s 'yes' Bad = s 'open }",
      L"HKCR { Good = s 'yes' Bad = q 'x' }",
      L"HKCR { Good = s 'yes' Bad = s bare }",
      L"HKCR { Good = s 'yes' Bad = d 4294967296 }",
      L"HKCR { Good = s 'yes' Bad = d 12x }",
      L"HKCR { Good = s 'yes' Bad = b 'abc' }",
      L"HKCR { Good = s 'yes' Bad = s '%NOSUCH%' }",
      L"HKCR { Good = s 'yes' Bad = s '50% off' }",
      L"HKCR { Good = s 'yes' val Top = s 'x' }",
      L"HKCR { Good = s 'yes' { val = s 'x' } }",
      L"HKCR { Good = s 'yes' ForceRemove }",
      L"HKCR Good",
  };
  for (const wchar_t* script : bad) {
    EXPECT_EQ(REGISTRAR_E_SYNTAX, run(script, true)) << to_utf8(script);
    EXPECT_EQ(REGISTRAR_E_SYNTAX, run(script, false)) << to_utf8(script);
  }
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes"));
}

// A registry that refuses writes gives its code as the result.
TEST_F(RegistrarTest, RegistryFailureIsReturned) {
  set_registry_faults({ERROR_SUCCESS, ERROR_ACCESS_DENIED});
  const HRESULT hr = run(kClassScript, true);
  set_registry_faults({});
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), hr);
}

TEST(RegistrarQuoteTest, DoublesQuotesAndPercentSigns) {
  const std::wstring tricky = L"it's 100% {odd} = text";
  EXPECT_EQ(L"'it''s 100%% {odd} = text'", registrar_quote(tricky));
}

}  // namespace
}  // namespace Tavrin::Platform::Com
