// The reg program, run as a separate process on the test's own hives (the
// child inherits the environment that points at them).
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/testing/registry_test_fixture.h"
#include "test_support/temp_dir.h"

namespace {

using quorvane_test::read_file;
using quorvane_test::write_file;

struct RegRun {
  int exit = -1;
  std::string out;
  std::string err;
};

class RegToolTest : public quorvane_test::RegistryTest {
 protected:
  // Runs `reg` with `args` (shell words, quoted by the caller) and `input`
  // on standard input.
  RegRun reg(const std::string& args, const std::string& input = "") {
    write_file(dir_.file("in"), input);
    const std::string command = std::string(QUORVANE_BIN_DIR) + "/reg " + args + " <" +
                                dir_.file("in") + " >" + dir_.file("out") + " 2>" + dir_.file("err");
    const int status = std::system(command.c_str());
    RegRun run;
    run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = read_file(dir_.file("out"));
    run.err = read_file(dir_.file("err"));
    return run;
  }

  static constexpr const char* kDone = "The operation completed successfully.\n";
  static constexpr const char* kMissing =
      "ERROR: The system was unable to find the specified registry key or value.\n";
};

// Values added with the tool show in queries and are what the programs
// read: strings as UTF-16LE with a NUL unit.
TEST_F(RegToolTest, AddThenQuery) {
  EXPECT_EQ(kDone, reg("add 'HKCU\\Software\\Tavrin' /v Name /d 'h\xC3\xA9llo world' /f").out);
  EXPECT_EQ(0, reg("add HKCU\\\\Software\\\\Tavrin /v Count /t REG_DWORD /d 0x2A").exit);
  EXPECT_EQ(0, reg("add 'HKCU\\Software\\Tavrin' /ve /d dflt").exit);
  EXPECT_EQ(0, reg("add 'HKCU\\Software\\Tavrin' /v Bin /t reg_binary /d 00ff10").exit);
  EXPECT_EQ(0, reg("add 'HKEY_CURRENT_USER\\Software\\Tavrin\\Sub'").exit);

  const RegRun all = reg("query 'HKCU\\Software\\Tavrin'");
  EXPECT_EQ(0, all.exit);
  EXPECT_EQ(
      "\nHKEY_CURRENT_USER\\Software\\Tavrin\n"
      "    Name    REG_SZ    h\xC3\xA9llo world\n"
      "    Count    REG_DWORD    0x2a\n"
      "    (Default)    REG_SZ    dflt\n"
      "    Bin    REG_BINARY    00FF10\n"
      "\n"
      "HKEY_CURRENT_USER\\Software\\Tavrin\\Sub\n",
      all.out);
  // Names are echoed as typed.
  EXPECT_EQ("\nHKEY_CURRENT_USER\\software\\TAVRIN\n    count    REG_DWORD    0x2a\n\n",
            reg("query 'HKCU\\software\\TAVRIN' /v count").out);

  // A search goes through the subkeys.
  EXPECT_EQ(0, reg("add 'HKCU\\Software\\Tavrin\\Sub' /v COUNT /t REG_DWORD /d 1").exit);
  EXPECT_EQ(
      "\nHKEY_CURRENT_USER\\Software\\Tavrin\n    count    REG_DWORD    0x2a\n"
      "\nHKEY_CURRENT_USER\\Software\\Tavrin\\Sub\n    count    REG_DWORD    0x1\n"
      "\nEnd of search: 2 match(es) found.\n",
      reg("query 'HKCU\\Software\\Tavrin' /s /v count").out);

  quorvane_test::ScopedKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tavrin", 0, KEY_READ, key.out()));
  BYTE data[64];
  DWORD size = sizeof data;
  DWORD type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), L"Name", nullptr, &type, data, &size));
  EXPECT_EQ(REG_SZ, type);
  EXPECT_EQ(Tavrin::Platform::registry_string_bytes(L"h\u00E9llo world") + std::string(2, '\0'),
            std::string(reinterpret_cast<char*>(data), size));
}

// Existing values are overwritten only when confirmed or forced; deletion
// asks too; missing keys and values give the tool's message and exit 1.
TEST_F(RegToolTest, ConfirmationsAndDeletion) {
  ASSERT_EQ(0, reg("add 'HKCU\\Software\\T' /v v /d one").exit);
  RegRun declined = reg("add 'HKCU\\Software\\T' /v v /d two", "n\n");
  EXPECT_EQ(1, declined.exit);
  EXPECT_NE(std::string::npos, declined.out.find("Value v exists, overwrite (Yes/No)?"));
  EXPECT_NE(std::string::npos, reg("query 'HKCU\\Software\\T' /v v").out.find("REG_SZ    one"));
  EXPECT_EQ(0, reg("add 'HKCU\\Software\\T' /v v /d two", "yes\n").exit);
  EXPECT_NE(std::string::npos, reg("query 'HKCU\\Software\\T' /v v").out.find("REG_SZ    two"));

  EXPECT_EQ(kDone, reg("delete 'HKCU\\Software\\T' /v v /f").out);
  RegRun gone = reg("query 'HKCU\\Software\\T' /v v");
  EXPECT_EQ(1, gone.exit);
  EXPECT_EQ(kMissing, gone.err);
  EXPECT_EQ(kMissing, reg("delete 'HKCU\\Software\\T' /v v /f").err);

  ASSERT_EQ(0, reg("add 'HKCU\\Software\\T\\Deep\\Er' /v x /d y").exit);
  EXPECT_EQ(1, reg("delete 'HKCU\\Software\\T'", "no\n").exit);
  EXPECT_EQ(0, reg("query 'HKCU\\Software\\T\\Deep\\Er'").exit);
  EXPECT_EQ(0, reg("delete 'HKCU\\Software\\T'", "y\n").exit);
  RegRun missing = reg("query 'HKCU\\Software\\T'");
  EXPECT_EQ(1, missing.exit);
  EXPECT_EQ(kMissing, missing.err);
  EXPECT_EQ("", missing.out);

  RegRun syntax = reg("query 'HKXY\\Software'");
  EXPECT_EQ(1, syntax.exit);
  EXPECT_EQ(0u, syntax.err.find("ERROR: Invalid syntax"));
}

// Export writes the key and its subkeys in the .reg format.
TEST_F(RegToolTest, ExportWritesRegFile) {
  ASSERT_EQ(0, reg("add 'HKCU\\Software\\E' /ve /d 'a \"q\" \\ b'").exit);
  ASSERT_EQ(0, reg("add 'HKCU\\Software\\E' /v n /t REG_DWORD /d 7").exit);
  ASSERT_EQ(0, reg("add 'HKCU\\Software\\E\\Sub' /v p /t REG_EXPAND_SZ /d %X%").exit);
  const std::string file = dir_.file("e.reg");
  EXPECT_EQ(kDone, reg("export 'HKCU\\Software\\E' " + file).out);
  EXPECT_EQ(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CURRENT_USER\\Software\\E]\n"
      "@=\"a \\\"q\\\" \\\\ b\"\n"
      "\"n\"=dword:00000007\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\E\\Sub]\n"
      "\"p\"=hex(2):25,00,58,00,25,00,00,00\n"
      "\n",
      read_file(file));
  write_file(file, "keep");
  EXPECT_EQ(1, reg("export 'HKCU\\Software\\E' " + file, "n\n").exit);
  EXPECT_EQ("keep", read_file(file));
  EXPECT_EQ(0, reg("export 'HKCU\\Software\\E' " + file + " /y").exit);
  EXPECT_NE("keep", read_file(file));
  EXPECT_EQ(kMissing, reg("export 'HKCU\\Software\\None' " + file + " /y").err);
}

// A machine hive that cannot be written gives the access message; several
// reg processes adding at once lose nothing.
TEST_F(RegToolTest, AccessDeniedAndParallelAdds) {
  write_file(dir_.file("blocker"), "");
  {
    quorvane_test::ScopedEnv machine("QUORVANE_MACHINE_DIR", dir_.file("blocker/m"));
    const RegRun denied = reg("add 'HKLM\\Software\\X' /v v /d 1 /f");
    EXPECT_EQ(1, denied.exit);
    EXPECT_EQ("ERROR: Access is denied.\n", denied.err);
  }
  const std::string bin = std::string(QUORVANE_BIN_DIR) + "/reg";
  const std::string script = "for w in 1 2 3 4; do (for i in 1 2 3 4 5 6; do " + bin +
                             " add 'HKLM\\Software\\P' /v v$w.$i /d x /f >/dev/null || exit 1;"
                             " done) & done; wait";
  ASSERT_EQ(0, std::system(script.c_str()));
  const RegRun all = reg("query 'HKLM\\Software\\P'");
  size_t lines = 0;
  for (size_t at = all.out.find("REG_SZ    x"); at != std::string::npos;
       at = all.out.find("REG_SZ    x", at + 1))
    ++lines;
  EXPECT_EQ(24u, lines);
}

}  // namespace
