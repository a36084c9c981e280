// Test fixture of the registry tests: every test gets fresh, empty user and
// machine hives in its own temporary folder, and small helpers that fail
// the test on an unexpected result code.
#ifndef QUORVANE_PLATFORM_TESTING_REGISTRY_TEST_FIXTURE_H_
#define QUORVANE_PLATFORM_TESTING_REGISTRY_TEST_FIXTURE_H_

#include <string>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "test_support/temp_dir.h"

namespace quorvane_test {

// Closes a handle when it goes.
class ScopedKey {
 public:
  ScopedKey() = default;
  explicit ScopedKey(HKEY key) : key_(key) {}
  ~ScopedKey() {
    if (key_) RegCloseKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  HKEY get() const { return key_; }
  PHKEY out() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

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
    ScopedKey key(create(root, path));
    const std::string bytes = Tavrin::Platform::registry_string_bytes(text);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), name, 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(bytes.data()),
                                            bytes.size()));
  }

  // The text of a REG_SZ value of key `path` below `root`; the result code
  // of the first call that fails otherwise, as "error N".
  std::wstring text(HKEY root, const wchar_t* path, const wchar_t* name) {
    ScopedKey key;
    LONG rc = RegOpenKeyExW(root, path, 0, KEY_READ, key.out());
    if (rc != ERROR_SUCCESS) return L"error " + std::to_wstring(rc);
    BYTE buffer[512];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    rc = RegQueryValueExW(key.get(), name, nullptr, &type, buffer, &size);
    if (rc != ERROR_SUCCESS) return L"error " + std::to_wstring(rc);
    EXPECT_EQ(REG_SZ, type);
    return Tavrin::Platform::registry_string_text(
        std::string_view(reinterpret_cast<const char*>(buffer), size));
  }

  TempDir dir_;
  ScopedEnv user_{"XDG_CONFIG_HOME", dir_.file("config")};
  ScopedEnv machine_{"QUORVANE_MACHINE_DIR", dir_.file("machine")};
};

}  // namespace quorvane_test

#endif  // QUORVANE_PLATFORM_TESTING_REGISTRY_TEST_FIXTURE_H_
