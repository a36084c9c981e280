// The key owner and the string helpers on top of the registry functions.
#include "platform/scoped_key.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/testing/registry_test_fixture.h"

namespace Tavrin::Platform {
namespace {

using ScopedKeyTest = quorvane_test::RegistryTest;

LONG query_default(HKEY key) {
  DWORD size = 0;
  return RegQueryValueExW(key, L"", nullptr, nullptr, nullptr, &size);
}

// The owner closes its key when it goes, once: after a move only the new
// owner holds it; release gives it up unclosed; out() closes the old key.
TEST_F(ScopedKeyTest, OwnsExactlyOneKey) {
  ScopedKey first;
  ASSERT_EQ(ERROR_SUCCESS, create_key(HKEY_CURRENT_USER, L"Software\\Owned", KEY_ALL_ACCESS, &first));
  const HKEY raw = first.get();
  ScopedKey second = std::move(first);
  EXPECT_FALSE(first);
  EXPECT_EQ(second.get(), raw);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, query_default(raw));  // still open
  second.reset();
  EXPECT_EQ(ERROR_INVALID_HANDLE, query_default(raw));

  ScopedKey kept;
  ASSERT_EQ(ERROR_SUCCESS, open_key(HKEY_CURRENT_USER, L"Software\\Owned", KEY_READ, &kept));
  const HKEY released = kept.release();
  EXPECT_FALSE(kept);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, query_default(released));
  ScopedKey adopted(released);
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, adopted.out()));
  EXPECT_EQ(ERROR_INVALID_HANDLE, query_default(released));

  // A predefined key may be held; letting it go leaves it usable.
  { ScopedKey predefined(HKEY_CURRENT_USER); }
  EXPECT_EQ(ERROR_SUCCESS, open_key(HKEY_CURRENT_USER, L"Software\\Owned", KEY_READ, &kept));
}

// Opening a missing key fails and leaves the owner empty; creating tells
// whether the key is new.
TEST_F(ScopedKeyTest, OpenAndCreate) {
  ScopedKey key;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, open_key(HKEY_CURRENT_USER, L"Software\\Missing", KEY_READ, &key));
  EXPECT_FALSE(key);
  bool created = false;
  ASSERT_EQ(ERROR_SUCCESS, create_key(HKEY_CURRENT_USER, L"Software\\A\\B", KEY_ALL_ACCESS, &key, &created));
  EXPECT_TRUE(created);
  ASSERT_EQ(ERROR_SUCCESS, create_key(HKEY_CURRENT_USER, L"Software\\A\\B", KEY_ALL_ACCESS, &key, &created));
  EXPECT_FALSE(created);
}

// Strings go in as UTF-16LE and come back whole; a value of another type
// is refused as invalid data, a missing one as not found, and the outputs
// stay as they were.
TEST_F(ScopedKeyTest, StringValues) {
  ASSERT_EQ(ERROR_SUCCESS, write_key_string(HKEY_CURRENT_USER, L"Software\\S", L"", L"h\u00E9llo \U0001F600"));
  std::wstring text;
  DWORD type = REG_NONE;
  ASSERT_EQ(ERROR_SUCCESS, read_key_string(HKEY_CURRENT_USER, L"Software\\S", L"", &text, &type));
  EXPECT_EQ(text, L"h\u00E9llo \U0001F600");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  ScopedKey key;
  ASSERT_EQ(ERROR_SUCCESS, open_key(HKEY_CURRENT_USER, L"Software\\S", KEY_ALL_ACCESS, &key));
  ASSERT_EQ(ERROR_SUCCESS, write_string(key.get(), L"path", L"%HOME%\\x", REG_EXPAND_SZ));
  ASSERT_EQ(ERROR_SUCCESS, read_string(key.get(), L"path", &text, &type));
  EXPECT_EQ(text, L"%HOME%\\x");
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));

  const DWORD number = 7;
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), L"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4));
  text = L"unchanged";
  EXPECT_EQ(ERROR_INVALID_DATA, read_string(key.get(), L"n", &text));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, read_string(key.get(), L"none", &text));
  EXPECT_EQ(text, L"unchanged");
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, read_key_string(HKEY_CURRENT_USER, L"Software\\None", L"", &text));

  // Text stops at the first NUL, as a string value read on Windows does.
  const std::string bytes = registry_string_bytes(std::wstring(L"ab\0cd", 5));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), L"nul", 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                                          static_cast<DWORD>(bytes.size())));
  ASSERT_EQ(ERROR_SUCCESS, read_string(key.get(), L"nul", &text));
  EXPECT_EQ(text, L"ab");
}

// A value of any size comes back whole with its type.
TEST_F(ScopedKeyTest, ReadValueOfAnySize) {
  ScopedKey key;
  ASSERT_EQ(ERROR_SUCCESS, create_key(HKEY_CURRENT_USER, L"Software\\Big", KEY_ALL_ACCESS, &key));
  std::string big(300000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), L"blob", 0, REG_BINARY, reinterpret_cast<const BYTE*>(big.data()),
                                          static_cast<DWORD>(big.size())));
  DWORD type = REG_NONE;
  std::string data;
  ASSERT_EQ(ERROR_SUCCESS, read_value(key.get(), L"blob", &type, &data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(data, big);
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), L"empty", 0, REG_BINARY, nullptr, 0));
  ASSERT_EQ(ERROR_SUCCESS, read_value(key.get(), L"empty", &type, &data));
  EXPECT_TRUE(data.empty());
}

// A hive that cannot be written refuses the registration entry.
TEST_F(ScopedKeyTest, WriteToAHiveThatCannotBeWritten) {
  quorvane_test::write_file(dir_.file("blocker"), "");
  quorvane_test::ScopedEnv machine("QUORVANE_MACHINE_DIR", dir_.file("blocker/machine"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, write_key_string(HKEY_LOCAL_MACHINE, L"Software\\X", L"", L"v"));
}

}  // namespace
}  // namespace Tavrin::Platform
