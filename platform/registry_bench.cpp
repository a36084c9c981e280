// Prints how long registry calls take on SQLite hives in a temporary
// folder: opening keys, writing and reading values, enumerating.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry.h"

namespace {

template <class Body>
void measure(const char* what, int count, Body body) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) body(i);
  const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
  std::printf("%-40s %8.1f us/call (%d calls)\n", what, took.count() / count, count);
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("quorvane-registry-bench-" + std::to_string(::getpid()));
  fs::create_directories(root);
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  ::setenv("QUORVANE_MACHINE_DIR", (root / "machine").c_str(), 1);

  HKEY key = nullptr;
  measure("create hive + key (first write)", 1, [&](int) {
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Bench", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
  });
  measure("RegSetValueExW (16 bytes)", 2000, [&](int i) {
    const std::wstring name = L"v" + std::to_wstring(i);
    RegSetValueExW(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>("0123456789abcdef"), 16);
  });
  measure("RegQueryValueExW (16 bytes)", 2000, [&](int i) {
    const std::wstring name = L"v" + std::to_wstring(i);
    BYTE data[16];
    DWORD size = sizeof data;
    RegQueryValueExW(key, name.c_str(), nullptr, nullptr, data, &size);
  });
  measure("RegOpenKeyExW + RegCloseKey (depth 2)", 2000, [&](int) {
    HKEY opened = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Bench", 0, KEY_READ, &opened);
    RegCloseKey(opened);
  });
  measure("RegEnumValueW over 2000 values", 1, [&](int) {
    wchar_t name[32];
    for (DWORD i = 0;; ++i) {
      DWORD size = 32;
      if (RegEnumValueW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    }
  });
  measure("HKCR read (merged view, 2 hives)", 2000, [&](int) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L".none", 0, KEY_READ, &opened) == ERROR_SUCCESS)
      RegCloseKey(opened);
  });
  RegCloseKey(key);
  fs::remove_all(root);
  return 0;
}
