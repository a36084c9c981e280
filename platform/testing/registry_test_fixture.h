// Test fixture of the registry tests: every test gets fresh, empty user and
// machine hives in its own temporary folder, and small helpers that fail
// the test on an unexpected result code.
#ifndef QUORVANE_PLATFORM_TESTING_REGISTRY_TEST_FIXTURE_H_
#define QUORVANE_PLATFORM_TESTING_REGISTRY_TEST_FIXTURE_H_

#include <string>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/scoped_key.h"
#include "test_support/temp_dir.h"

namespace quorvane_test {

using Tavrin::Platform::ScopedKey;

class RegistryTest : public ::testing::Test {
 protected:
  // Creates (or opens) `path` below `root` with all access.
  HKEY create(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    return key;
  }

  // Writes text as REG_SZ (UTF-16LE, no terminator) to key `path` below
  // `root`, creating the key.
  void set_text(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text) {
    ASSERT_EQ(ERROR_SUCCESS, Tavrin::Platform::write_key_string(root, path, name ? name : L"", text));
  }

  // The text of a REG_SZ value of key `path` below `root`; the result code
  // of the first call that fails otherwise, as "error N".
  std::wstring text(HKEY root, const wchar_t* path, const wchar_t* name) {
    std::wstring found;
    DWORD type = REG_NONE;
    const LONG rc = Tavrin::Platform::read_key_string(root, path, name ? name : L"", &found, &type);
    if (rc != ERROR_SUCCESS) return L"error " + std::to_wstring(rc);
    EXPECT_EQ(REG_SZ, type);
    return found;
  }

  TempDir dir_;
  ScopedEnv user_{"XDG_CONFIG_HOME", dir_.file("config")};
  ScopedEnv machine_{"QUORVANE_MACHINE_DIR", dir_.file("machine")};
};

}  // namespace quorvane_test

#endif  // QUORVANE_PLATFORM_TESTING_REGISTRY_TEST_FIXTURE_H_
