#include "platform/registry.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testing/registry_test_fixture.h"

namespace {

using quorvane_test::RegistryTest;
using quorvane_test::ScopedKey;
using Tavrin::Platform::registry_string_bytes;
using Tavrin::Platform::registry_string_text;

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::wstring> subkeys(HKEY key) {
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD size = 256;
    const LONG rc = RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(ERROR_SUCCESS, rc);
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

LONG set_bytes(HKEY key, const wchar_t* name, DWORD type, const std::string& bytes) {
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                        bytes.size());
}

// Missing keys are ERROR_FILE_NOT_FOUND (ENOENT, 2); creating makes every
// missing key on the way and tells new from existing.
TEST_F(RegistryTest, CreateOpenAndMissingKeys) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(2, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Nope", 0, KEY_READ, &key));
  EXPECT_EQ(nullptr, key);

  ScopedKey created;
  DWORD disposition = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tavrin\\Quor", 0,
                                           nullptr, 0, KEY_ALL_ACCESS, nullptr, created.out(),
                                           &disposition));
  EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
  ScopedKey again;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"\\Software\\\\Tavrin\\Quor\\",
                                           0, nullptr, 0, KEY_READ, nullptr, again.out(),
                                           &disposition));
  EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);

  ScopedKey middle;
  EXPECT_EQ(ERROR_SUCCESS,
            RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tavrin", 0, KEY_READ, middle.out()));
  EXPECT_EQ(std::vector<std::wstring>{L"Quor"}, subkeys(middle.get()));
  // The machine hive is another hive.
  ScopedKey other;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Tavrin", 0, KEY_READ, other.out()));
}

// Names compare without regard to case, ASCII and beyond, and keep the
// case they were created with.
TEST_F(RegistryTest, NamesIgnoreCaseAndKeepIt) {
  ScopedKey key(create(HKEY_CURRENT_USER, L"Software\\MixedCase\\\u00C4pfel\u0416"));
  ScopedKey other_case;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\mixedcase\\\u00E4PFEL\u0436",
                                         0, KEY_ALL_ACCESS, other_case.out()));
  ScopedKey same(create(HKEY_CURRENT_USER, L"software\\MIXEDCASE"));
  EXPECT_EQ(std::vector<std::wstring>{L"\u00C4pfel\u0416"}, subkeys(same.get()));

  ASSERT_EQ(ERROR_SUCCESS, set_bytes(key.get(), L"Name", REG_BINARY, "one"));
  ASSERT_EQ(ERROR_SUCCESS, set_bytes(other_case.get(), L"NAME", REG_BINARY, "two"));
  wchar_t name[32];
  DWORD name_size = 32;
  BYTE data[8];
  DWORD data_size = sizeof data;
  ASSERT_EQ(ERROR_SUCCESS,
            RegEnumValueW(key.get(), 0, name, &name_size, nullptr, nullptr, data, &data_size));
  EXPECT_EQ(L"Name", std::wstring(name, name_size));
  EXPECT_EQ("two", std::string(reinterpret_cast<char*>(data), data_size));
  name_size = 32;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumValueW(key.get(), 1, name, &name_size, nullptr, nullptr, nullptr, nullptr));
}

// Data are kept byte for byte whatever the type; null and empty names are
// the default value; a too small buffer reports the size needed.
TEST_F(RegistryTest, ValuesKeepBytesAndReportSizes) {
  ScopedKey key(create(HKEY_CURRENT_USER, L"Software\\Values"));
  const std::string binary("\0\x01\xFF\0z", 5);
  ASSERT_EQ(ERROR_SUCCESS, set_bytes(key.get(), L"bin", REG_BINARY, binary));
  ASSERT_EQ(ERROR_SUCCESS, set_bytes(key.get(), L"odd", 0x1234, "x"));
  ASSERT_EQ(ERROR_SUCCESS, set_bytes(key.get(), nullptr, REG_SZ, registry_string_bytes(L"dflt")));
  ASSERT_EQ(ERROR_SUCCESS, set_bytes(key.get(), L"empty", REG_BINARY, ""));
  const std::string big(5000, 'q');
  ASSERT_EQ(ERROR_SUCCESS, set_bytes(key.get(), L"big", REG_BINARY, big));

  std::vector<BYTE> buffer(1024);
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), L"big", nullptr, &type, nullptr, &size));
  EXPECT_EQ(5000u, size);
  size = buffer.size();
  EXPECT_EQ(ERROR_MORE_DATA,
            RegQueryValueExW(key.get(), L"big", nullptr, &type, buffer.data(), &size));
  EXPECT_EQ(5000u, size);
  buffer.resize(5120);
  size = buffer.size();
  ASSERT_EQ(ERROR_SUCCESS,
            RegQueryValueExW(key.get(), L"big", nullptr, &type, buffer.data(), &size));
  EXPECT_EQ(big, std::string(buffer.begin(), buffer.begin() + size));

  size = buffer.size();
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), L"BIN", nullptr, &type, buffer.data(), &size));
  EXPECT_EQ(REG_BINARY, type);
  EXPECT_EQ(binary, std::string(buffer.begin(), buffer.begin() + size));
  size = buffer.size();
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), L"odd", nullptr, &type, buffer.data(), &size));
  EXPECT_EQ(0x1234u, type);
  size = buffer.size();
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), L"empty", nullptr, &type, buffer.data(), &size));
  EXPECT_EQ(0u, size);
  EXPECT_EQ(L"dflt", text(HKEY_CURRENT_USER, L"Software\\Values", L""));

  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            RegQueryValueExW(key.get(), L"big", nullptr, nullptr, buffer.data(), nullptr));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegQueryValueExW(key.get(), L"none", nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key.get(), L"Big"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key.get(), L"big"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key.get(), nullptr));
  EXPECT_EQ(L"error 2", text(HKEY_CURRENT_USER, L"Software\\Values", nullptr));
}

// A key with subkeys cannot be deleted; a deleted key's handles stay dead
// even when a key of that name comes back; a tree goes in one call.
TEST_F(RegistryTest, DeletingKeys) {
  ScopedKey grandchild(create(HKEY_CURRENT_USER, L"Software\\Parent\\Child\\Grandchild"));
  ASSERT_EQ(ERROR_SUCCESS, set_bytes(grandchild.get(), L"v", REG_BINARY, "1"));
  EXPECT_EQ(ERROR_KEY_HAS_CHILDREN, RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Parent"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, L"software\\parent\\child\\grandCHILD"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Parent\\Child\\Grandchild"));
  EXPECT_EQ(ERROR_KEY_DELETED, set_bytes(grandchild.get(), L"v", REG_BINARY, "2"));
  EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(grandchild.get(), L"v", nullptr, nullptr, nullptr, nullptr));

  ScopedKey reborn(create(HKEY_CURRENT_USER, L"Software\\Parent\\Child\\Grandchild"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(reborn.get(), L"v", nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(grandchild.get(), L"v", nullptr, nullptr, nullptr, nullptr));

  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, L""));
  ScopedKey top(create(HKEY_CURRENT_USER, L"Software\\Parent"));
  ASSERT_EQ(ERROR_SUCCESS, set_bytes(top.get(), L"kept?", REG_BINARY, "no"));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(top.get(), nullptr));
  EXPECT_TRUE(subkeys(top.get()).empty());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(top.get(), L"kept?", nullptr, nullptr, nullptr, nullptr));
  create(HKEY_CURRENT_USER, L"Software\\Parent\\A\\B");
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Parent"));
  EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(top.get(), L"x", nullptr, nullptr, nullptr, nullptr));
  ScopedKey software(create(HKEY_CURRENT_USER, L"Software"));
  EXPECT_TRUE(subkeys(software.get()).empty());
}

// Subkeys enumerate in case-insensitive order, values in the order first
// set; a short name buffer gets ERROR_MORE_DATA and the length needed.
TEST_F(RegistryTest, Enumeration) {
  ScopedKey key(create(HKEY_CURRENT_USER, L"Software\\Enum"));
  for (const wchar_t* name : {L"beta", L"Alpha", L"gamma", L"DELTA"}) {
    ScopedKey sub(create(key.get(), name));
    ASSERT_EQ(ERROR_SUCCESS, set_bytes(key.get(), name, REG_DWORD, std::string(4, '\1')));
  }
  EXPECT_EQ((std::vector<std::wstring>{L"Alpha", L"beta", L"DELTA", L"gamma"}), subkeys(key.get()));

  wchar_t name[8];
  DWORD size = 3;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(5u, size);
  size = 8;
  int dummy_time = 0;
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            RegEnumKeyExW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, &dummy_time));

  std::vector<std::wstring> order;
  for (DWORD i = 0;; ++i) {
    size = 8;
    BYTE data[2];
    DWORD data_size = sizeof data;
    DWORD type = 0;
    const LONG rc = RegEnumValueW(key.get(), i, name, &size, nullptr, &type, data, &data_size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(ERROR_MORE_DATA, rc);  // four bytes do not fit in two
    EXPECT_EQ(4u, data_size);
    EXPECT_EQ(REG_DWORD, type);
    order.emplace_back(name, size);
  }
  EXPECT_EQ((std::vector<std::wstring>{L"beta", L"Alpha", L"gamma", L"DELTA"}), order);
}

// A handle does only what it was opened for; closed and unknown handles
// are refused; predefined keys close without effect.
TEST_F(RegistryTest, AccessRightsAndHandles) {
  ScopedKey(create(HKEY_CURRENT_USER, L"Software\\Rights"));
  ScopedKey reader;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Rights", 0, KEY_READ, reader.out()));
  EXPECT_EQ(ERROR_ACCESS_DENIED, set_bytes(reader.get(), L"v", REG_BINARY, "x"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueW(reader.get(), L"v"));
  ScopedKey sub;
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExW(reader.get(), L"Sub", 0, nullptr, 0, KEY_READ,
                                                 nullptr, sub.out(), nullptr));
  ScopedKey writer;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Rights", 0, KEY_WRITE, writer.out()));
  EXPECT_EQ(ERROR_SUCCESS, set_bytes(writer.get(), L"v", REG_BINARY, "x"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExW(writer.get(), L"v", nullptr, nullptr, nullptr, nullptr));

  HKEY raw = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenCurrentUser(KEY_READ, &raw));
  ScopedKey software;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(raw, L"Software", 0, KEY_READ, software.out()));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(raw));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(raw));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExW(raw, L"v", nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
  ScopedKey still;
  EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, still.out(), nullptr));
  const std::wstring long_name(256, L'x');
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExW(HKEY_CURRENT_USER, long_name.c_str(), 0,
                                                     nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.out(), nullptr));
}

// The hives are the files the environment names, made on the first write
// only; predefined keys follow the environment as it changes.
TEST_F(RegistryTest, HiveFilesFollowTheEnvironment) {
  const std::string user_file = dir_.file("config/quorvane/registry/user.db");
  const std::string machine_file = dir_.file("machine/registry/machine.db");
  EXPECT_EQ(L"error 2", text(HKEY_LOCAL_MACHINE, L"Software", L"v"));
  EXPECT_FALSE(exists(machine_file));
  set_text(HKEY_CURRENT_USER, L"Software", L"v", L"user");
  set_text(HKEY_LOCAL_MACHINE, L"Software", L"v", L"machine");
  EXPECT_TRUE(exists(user_file));
  EXPECT_TRUE(exists(machine_file));

  ScopedKey held(create(HKEY_CURRENT_USER, L"Software"));
  {
    quorvane_test::TempDir elsewhere;
    quorvane_test::ScopedEnv moved("XDG_CONFIG_HOME", elsewhere.path());
    EXPECT_EQ(L"error 2", text(HKEY_CURRENT_USER, L"Software", L"v"));
    set_text(HKEY_CURRENT_USER, L"Software", L"v", L"other");
    EXPECT_TRUE(exists(elsewhere.file("quorvane/registry/user.db")));
    // A handle keeps the hive it was opened in.
    EXPECT_EQ(L"user", text(held.get(), L"", L"v"));
  }
  EXPECT_EQ(L"user", text(HKEY_CURRENT_USER, L"Software", L"v"));
  EXPECT_EQ(L"machine", text(HKEY_LOCAL_MACHINE, L"Software", L"v"));
}

// Injected faults fail calls before they touch a hive.
TEST_F(RegistryTest, InjectedFaults) {
  set_text(HKEY_CURRENT_USER, L"Software", L"v", L"before");
  ScopedKey key(create(HKEY_CURRENT_USER, L"Software"));
  Tavrin::Platform::set_registry_faults({.on_read = ERROR_SUCCESS, .on_write = EIO});
  const LONG write = set_bytes(key.get(), L"v", REG_SZ, registry_string_bytes(L"after"));
  const LONG del = RegDeleteKeyW(HKEY_CURRENT_USER, L"Software");
  const std::wstring read = text(HKEY_CURRENT_USER, L"Software", L"v");
  Tavrin::Platform::set_registry_faults({.on_read = ENOMEM});
  const std::wstring failed_read = text(HKEY_CURRENT_USER, L"Software", L"v");
  Tavrin::Platform::set_registry_faults({});
  EXPECT_EQ(EIO, write);
  EXPECT_EQ(EIO, del);
  EXPECT_EQ(L"before", read);
  EXPECT_EQ(L"error 12", failed_read);
  EXPECT_EQ(L"before", text(HKEY_CURRENT_USER, L"Software", L"v"));
}

// String data are UTF-16LE: two bytes a unit, surrogate pairs beyond the
// BMP, read up to the first NUL unit.
TEST(RegistryStringTest, Utf16LittleEndian) {
  EXPECT_EQ(std::string("a\0b\0c\0", 6), registry_string_bytes(L"abc"));
  EXPECT_EQ(std::string("\x3D\xD8\x00\xDE", 4), registry_string_bytes(L"\U0001F600"));
  EXPECT_EQ(L"\U0001F600x\u20AC", registry_string_text(registry_string_bytes(L"\U0001F600x\u20AC")));
  EXPECT_EQ(L"ab", registry_string_text(std::string("a\0b\0\0\0c\0", 8)));
  EXPECT_EQ(L"a", registry_string_text(std::string("a\0b", 3)));
  EXPECT_EQ(std::wstring(1, wchar_t(0xDC00)), registry_string_text(std::string("\0\xDC", 2)));
  EXPECT_EQ(L"", registry_string_text(""));
}

}  // namespace
