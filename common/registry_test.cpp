#include "common/registry.h"

#include <string>
#include <vector>

#include <boost/system/error_code.hpp>
#include <gtest/gtest.h>

#include "platform/testing/registry_test_fixture.h"

namespace {

using namespace Tavrin::Windows::Registry;

class CommonRegistryTest : public quorvane_test::RegistryTest {
 protected:
  HKeyPtr user() { return create_hkey_ptr(HKEY_CURRENT_USER); }
  HKeyPtr app() { return reg_create_key(user(), L"Software\\Tavrin", KEY_ALL_ACCESS); }
};

// The error_code a call throws, or a default one when it throws nothing.
template <class Call>
boost::system::error_code thrown_code(Call call) {
  try {
    call();
  } catch (const boost::system::error_code& code) {
    return code;
  }
  return {};
}

// The message of the std::exception a call throws.
template <class Call>
std::string thrown_message(Call call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "nothing thrown";
}

// Failures come as error_code values in the system category: a missing key
// or value is 2.
TEST_F(CommonRegistryTest, FailuresAreSystemErrorCodes) {
  const auto missing = thrown_code([&] { reg_open_key(user(), L"Software\\Missing", KEY_READ); });
  EXPECT_EQ(2, missing.value());
  EXPECT_EQ(&boost::system::system_category(), &missing.category());
  EXPECT_EQ(2, thrown_code([&] { reg_query_value(app(), L"none"); }).value());
  EXPECT_EQ(2, thrown_code([&] { reg_delete_value(app(), L"none"); }).value());
  reg_create_key(app(), L"Child\\Grandchild", KEY_ALL_ACCESS);
  EXPECT_EQ(ERROR_KEY_HAS_CHILDREN, thrown_code([&] { reg_delete_key(app(), L"Child"); }).value());
  EXPECT_NO_THROW(reg_delete_key(app(), L"Child\\Grandchild"));
  EXPECT_NO_THROW(reg_delete_key(app(), L"Child"));

  const HKeyPtr reader = reg_open_key(user(), L"Software\\Tavrin", KEY_READ);
  EXPECT_EQ(ERROR_ACCESS_DENIED, thrown_code([&] { reg_set_dword(reader, L"n", 1); }).value());
  EXPECT_EQ(ERROR_INVALID_HANDLE, thrown_code([&] { reg_query_value(HKeyPtr(), L"n"); }).value());

  Tavrin::Platform::set_registry_faults({.on_write = EIO});
  const auto io = thrown_code([&] { reg_set_string(app(), L"s", L"x"); });
  Tavrin::Platform::set_registry_faults({});
  EXPECT_EQ(EIO, io.value());
}

// A handle closes its key when the last copy goes, not before; wrapping a
// predefined key is harmless.
TEST_F(CommonRegistryTest, HandleClosesWithItsLastCopy) {
  HKeyPtr first = app();
  const HKEY raw = *first;
  HKeyPtr second = first;
  first.reset();
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(raw, L"x", nullptr, nullptr, nullptr, nullptr));
  second.reset();
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExW(raw, L"x", nullptr, nullptr, nullptr, nullptr));

  { HKeyPtr root = create_hkey_ptr(HKEY_CURRENT_USER); }
  EXPECT_NO_THROW(reg_open_key(user(), L"Software\\Tavrin", KEY_READ));
  const HKeyPtr current = reg_open_current_user(KEY_READ);
  EXPECT_NO_THROW(reg_open_key(current, L"software\\TAVRIN", KEY_READ));
}

// Strings are two bytes a character without a NUL, and read back up to the
// first NUL; numbers are four little-endian bytes.
TEST_F(CommonRegistryTest, TypedValuesRoundTrip) {
  reg_set_string(app(), L"Name", L"abc");
  const RegistryValue raw = reg_query_value(app(), L"name");
  EXPECT_EQ(REG_SZ, raw.second);
  EXPECT_EQ((std::vector<char>{'a', 0, 'b', 0, 'c', 0}), raw.first);
  EXPECT_EQ(L"abc", reg_query_string(app(), L"NAME"));

  const std::wstring wide = L"Gr\u00FC\u00DFe \u4E16\U0001F600";
  reg_set_string(app(), L"", wide);
  EXPECT_EQ(wide, reg_query_string(app(), L""));
  reg_set_string(app(), L"Empty", L"");
  EXPECT_EQ(L"", reg_query_string(app(), L"Empty"));
  reg_set_value(app(), L"Nul", REG_SZ, {'a', 0, 0, 0, 'b', 0});
  EXPECT_EQ(L"a", reg_query_string(app(), L"Nul"));

  reg_set_dword(app(), L"Number", 0xDEADBEEFul);
  EXPECT_EQ((std::vector<char>{'\xEF', '\xBE', '\xAD', '\xDE'}), reg_query_value(app(), L"Number").first);
  EXPECT_EQ(0xDEADBEEFul, reg_query_dword(app(), L"Number"));
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            thrown_code([&] { reg_set_dword(app(), L"Number", 0x100000000ul); }).value());
  EXPECT_EQ(0xDEADBEEFul, reg_query_dword(app(), L"Number"));
  reg_set_value(app(), L"Short", REG_DWORD, {1, 2});
  EXPECT_EQ(ERROR_INVALID_DATA, thrown_code([&] { reg_query_dword(app(), L"Short"); }).value());
}

// Typed queries refuse other types, REG_EXPAND_SZ included.
TEST_F(CommonRegistryTest, TypedQueriesCheckTheType) {
  reg_set_string(app(), L"Text", L"12");
  reg_set_value(app(), L"Expand", REG_EXPAND_SZ, {'%', 0});
  reg_set_dword(app(), L"Number", 12);
  EXPECT_EQ("Registry type not equal", thrown_message([&] { reg_query_dword(app(), L"Text"); }));
  EXPECT_EQ("Registry type not equal", thrown_message([&] { reg_query_string(app(), L"Expand"); }));
  EXPECT_EQ("Registry type not equal", thrown_message([&] { reg_query_string(app(), L"Number"); }));
  EXPECT_THROW(reg_query_dword(app(), L"Text"), RegistryTypeError);
}

// Values larger than the first 1024-byte buffer come back whole and exact.
TEST_F(CommonRegistryTest, LargeValuesGrowTheBuffer) {
  for (size_t size : {0u, 1023u, 1024u, 1025u, 5000u, 300000u}) {
    std::vector<char> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + 1);
    reg_set_value(app(), L"Blob", REG_BINARY, data);
    const RegistryValue value = reg_query_value(app(), L"Blob");
    EXPECT_EQ(REG_BINARY, value.second);
    EXPECT_EQ(data, value.first) << size;
  }
}

}  // namespace
