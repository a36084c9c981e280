// Several processes on one hive, and hives that may not be written.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/testing/registry_test_fixture.h"

namespace {

using quorvane_test::RegistryTest;
using quorvane_test::ScopedKey;

// Runs `body` in a forked child and returns its exit status (its result,
// or 100 when the child did not end normally).
template <class Body>
int in_child(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

// Writes `count` values and keys of its own, and one shared value, in
// HKCU\Software\Shared; 0 on success, else the failing result code.
int write_many(int writer, int count) {
  for (int i = 0; i < count; ++i) {
    HKEY key = nullptr;
    const std::wstring sub = L"Software\\Shared\\W" + std::to_wstring(writer) + L"_" + std::to_wstring(i);
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return static_cast<int>(rc);
    RegCloseKey(key);
    rc = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS,
                         nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return static_cast<int>(rc);
    const std::wstring name = L"v" + std::to_wstring(writer) + L"_" + std::to_wstring(i);
    const DWORD data = static_cast<DWORD>(writer * 1000 + i);
    rc = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), 4);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return static_cast<int>(rc);
  }
  return 0;
}

// Processes writing the same hive at once lose nothing.
TEST_F(RegistryTest, SeveralProcessesWriteAtOnce) {
  constexpr int kWriters = 4;
  constexpr int kEach = 60;
  // The parent has the hive open before forking: children must not use
  // its connection.
  set_text(HKEY_CURRENT_USER, L"Software\\Shared", L"", L"start");
  pid_t pids[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    pids[w] = ::fork();
    if (pids[w] == 0) ::_exit(write_many(w, kEach));
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }

  ScopedKey key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Shared", 0, KEY_READ, key.out()));
  int values = 0;
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kEach; ++i) {
      const std::wstring name = L"v" + std::to_wstring(w) + L"_" + std::to_wstring(i);
      DWORD data = 0;
      DWORD size = 4;
      if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS &&
          data == static_cast<DWORD>(w * 1000 + i))
        ++values;
    }
  }
  EXPECT_EQ(kWriters * kEach, values);
  DWORD subkeys = 0;
  wchar_t name[64];
  for (DWORD size = 64; RegEnumKeyExW(key.get(), subkeys, name, &size, nullptr, nullptr, nullptr,
                                      nullptr) == ERROR_SUCCESS;
       size = 64)
    ++subkeys;
  EXPECT_EQ(static_cast<DWORD>(kWriters * kEach), subkeys);
  EXPECT_EQ(L"start", text(HKEY_CURRENT_USER, L"Software\\Shared", L""));
}

// Adds value `name` to HKLM\Software\Fresh once `start` closes; 0 on
// success, else the failing result code.
int add_when_released(int start, const std::wstring& name) {
  char ignored;
  while (::read(start, &ignored, 1) > 0) {
  }
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Fresh", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr);
  if (rc != ERROR_SUCCESS) return static_cast<int>(rc);
  const DWORD data = 1;
  rc = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), 4);
  RegCloseKey(key);
  return static_cast<int>(rc);
}

// Processes that all begin with the first write to a hive that does not
// exist yet (so they all make it) succeed, and every value is kept.
TEST_F(RegistryTest, FirstWritersOfAFreshHiveAllSucceed) {
  constexpr int kWriters = 8;
  constexpr int kRounds = 25;
  int failures = 0;
  for (int round = 0; round < kRounds; ++round) {
    quorvane_test::ScopedEnv machine("QUORVANE_MACHINE_DIR", dir_.file("fresh" + std::to_string(round)));
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    pid_t pids[kWriters];
    for (int w = 0; w < kWriters; ++w) {
      pids[w] = ::fork();
      if (pids[w] == 0) {
        ::close(start[1]);
        ::_exit(add_when_released(start[0], L"v" + std::to_wstring(w)));
      }
    }
    ::close(start[0]);
    ::close(start[1]);  // all go at once
    for (pid_t pid : pids) {
      int status = 0;
      ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ++failures;
        ADD_FAILURE() << "round " << round << ": a writer failed with " << status;
      }
    }
    ScopedKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Fresh", 0, KEY_READ, key.out()));
    DWORD values = 0;
    wchar_t name[16];
    for (DWORD size = 16; RegEnumValueW(key.get(), values, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                          ERROR_SUCCESS;
         size = 16)
      ++values;
    EXPECT_EQ(static_cast<DWORD>(kWriters), values) << "round " << round;
  }
  EXPECT_EQ(0, failures);
}

// A machine folder that cannot be made (a file stands in its way) gives a
// read-only, empty machine hive, even to root.
TEST_F(RegistryTest, MachineHiveThatCannotBeMadeIsReadOnly) {
  quorvane_test::write_file(dir_.file("blocker"), "a file, not a folder");
  quorvane_test::ScopedEnv machine("QUORVANE_MACHINE_DIR", dir_.file("blocker/machine"));
  ScopedKey key;
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\X", 0, nullptr,
                                                 0, KEY_ALL_ACCESS, nullptr, key.out(), nullptr));
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_WRITE, key.out()));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, key.out()));
  DWORD size = 8;
  wchar_t name[8];
  EXPECT_EQ(ERROR_NO_MORE_ITEMS,
            RegEnumKeyExW(key.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr));
  const BYTE data[1] = {1};
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExW(HKEY_LOCAL_MACHINE, L"v", 0, REG_BINARY, data, 1));
  // The classes view writes to the machine's classes.
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExW(HKEY_CLASSES_ROOT, L"v", 0, REG_BINARY, data, 1));
  // The user's hive is unaffected.
  set_text(HKEY_CURRENT_USER, L"Software", L"v", L"fine");
  EXPECT_EQ(L"fine", text(HKEY_CURRENT_USER, L"Software", L"v"));
}

// Reads a machine hive that the process may not write, tries to write it,
// and returns 0 when reading worked and writing was refused; else a code
// that says which step went wrong.
int read_but_not_write_machine_hive() {
  HKEY key = nullptr;
  BYTE data[64];
  DWORD size = sizeof data;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Browsers", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return 91;
  if (RegQueryValueExW(key, L"path", nullptr, nullptr, data, &size) != ERROR_SUCCESS ||
      Tavrin::Platform::registry_string_text(std::string(reinterpret_cast<char*>(data), size)) !=
          L"/usr/bin/b")
    return 92;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Browsers", 0, KEY_ALL_ACCESS, &key) !=
      ERROR_ACCESS_DENIED)
    return 93;
  if (RegSetValueExW(HKEY_LOCAL_MACHINE, L"v", 0, REG_BINARY, data, 1) != ERROR_ACCESS_DENIED)
    return 94;
  return 0;
}

// A machine hive that exists but whose folder and file the process may not
// write can be read, not written: both while another process has it open
// (its WAL files exist) and when nobody has (they do not, and cannot be
// made). Root may write anything, so the reader is a child that drops to
// user "nobody" (uid 65534) when the test runs as root.
TEST_F(RegistryTest, ExistingMachineHiveWithoutWriteRight) {
  set_text(HKEY_LOCAL_MACHINE, L"Software\\Browsers", L"path", L"/usr/bin/b");
  const std::string registry = dir_.file("machine/registry");
  for (const std::string& folder : {dir_.path(), dir_.file("machine"), registry})
    ASSERT_EQ(0, ::chmod(folder.c_str(), 0755));
  const bool root = ::geteuid() == 0;
  auto reader = [&] {
    if (!root) {
      ::chmod(registry.c_str(), 0555);
      ::chmod((registry + "/machine.db").c_str(), 0444);
    }
    const int result = in_child([&] {
      if (root && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 90;
      return read_but_not_write_machine_hive();
    });
    ::chmod(registry.c_str(), 0755);
    ::chmod((registry + "/machine.db").c_str(), 0644);
    return result;
  };
  constexpr const char* kCodes =
      "90: cannot drop privileges, 91: open failed, 92: read failed, "
      "93: open for writing allowed, 94: write allowed";

  EXPECT_EQ(0, reader()) << kCodes;

  {
    // This process lets go of the hive: moving the machine hive elsewhere
    // closes the connection, which removes the WAL files.
    quorvane_test::TempDir elsewhere;
    quorvane_test::ScopedEnv moved("QUORVANE_MACHINE_DIR", elsewhere.path());
    set_text(HKEY_LOCAL_MACHINE, L"Software", L"v", L"elsewhere");
  }
  struct stat st;
  ASSERT_NE(0, ::stat((registry + "/machine.db-wal").c_str(), &st));
  EXPECT_EQ(0, reader()) << kCodes;
}

}  // namespace
