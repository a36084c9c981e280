// The reg program, run as a separate process on the test's own hives (the
// child inherits the environment that points at them).
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/registry.h"
#include "platform/testing/registry_test_fixture.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace {

using quorvane_test::read_file;
using quorvane_test::write_file;

const std::string kReg = std::string(QUORVANE_BIN_DIR) + "/reg";

struct RegRun {
  int exit = -1;
  std::string out;
  std::string err;
};

class RegToolTest : public quorvane_test::RegistryTest {
 protected:
  // Runs `reg` with `args` (a command line as typed on Windows) and `input`
  // on standard input.
  RegRun reg(const std::string& args, const std::string& input = "") {
    std::vector<std::string> arguments = quorvane_test::windows_arguments(args);
    arguments.insert(arguments.begin(), kReg);
    quorvane_test::RunOptions options;
    options.input = input;
    const quorvane_test::ProgramRun run = quorvane_test::run_program(arguments, options);
    return RegRun{run.exit, run.out, run.err};
  }

  static constexpr const char* kDone = "The operation completed successfully.\n";
  static constexpr const char* kMissing =
      "ERROR: The system was unable to find the specified registry key or value.\n";
};

// Values added with the tool show in queries and are what the programs
// read: strings as UTF-16LE with a NUL unit.
TEST_F(RegToolTest, AddThenQuery) {
  EXPECT_EQ(kDone, reg("add HKCU\\Software\\Tavrin /v Name /d \"h\xC3\xA9llo world\" /f").out);
  EXPECT_EQ(0, reg("add HKCU\\Software\\Tavrin /v Count /t REG_DWORD /d 0x2A").exit);
  EXPECT_EQ(0, reg("add HKCU\\Software\\Tavrin /ve /d dflt").exit);
  EXPECT_EQ(0, reg("add HKCU\\Software\\Tavrin /v Bin /t reg_binary /d 00ff10").exit);
  EXPECT_EQ(0, reg("add HKEY_CURRENT_USER\\Software\\Tavrin\\Sub").exit);

  const RegRun all = reg("query HKCU\\Software\\Tavrin");
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
            reg("query HKCU\\software\\TAVRIN /v count").out);

  // A search goes through the subkeys.
  EXPECT_EQ(0, reg("add HKCU\\Software\\Tavrin\\Sub /v COUNT /t REG_DWORD /d 1").exit);
  EXPECT_EQ(
      "\nHKEY_CURRENT_USER\\Software\\Tavrin\n    count    REG_DWORD    0x2a\n"
      "\nHKEY_CURRENT_USER\\Software\\Tavrin\\Sub\n    count    REG_DWORD    0x1\n"
      "\nEnd of search: 2 match(es) found.\n",
      reg("query HKCU\\Software\\Tavrin /s /v count").out);

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
  ASSERT_EQ(0, reg("add HKCU\\Software\\T /v v /d one").exit);
  RegRun declined = reg("add HKCU\\Software\\T /v v /d two", "n\n");
  EXPECT_EQ(1, declined.exit);
  EXPECT_NE(std::string::npos, declined.out.find("Value v exists, overwrite (Yes/No)?"));
  EXPECT_NE(std::string::npos, reg("query HKCU\\Software\\T /v v").out.find("REG_SZ    one"));
  EXPECT_EQ(0, reg("add HKCU\\Software\\T /v v /d two", "yes\n").exit);
  EXPECT_NE(std::string::npos, reg("query HKCU\\Software\\T /v v").out.find("REG_SZ    two"));

  EXPECT_EQ(kDone, reg("delete HKCU\\Software\\T /v v /f").out);
  RegRun gone = reg("query HKCU\\Software\\T /v v");
  EXPECT_EQ(1, gone.exit);
  EXPECT_EQ(kMissing, gone.err);
  EXPECT_EQ(kMissing, reg("delete HKCU\\Software\\T /v v /f").err);

  ASSERT_EQ(0, reg("add HKCU\\Software\\T\\Deep\\Er /v x /d y").exit);
  EXPECT_EQ(1, reg("delete HKCU\\Software\\T", "no\n").exit);
  EXPECT_EQ(0, reg("query HKCU\\Software\\T\\Deep\\Er").exit);
  EXPECT_EQ(0, reg("delete HKCU\\Software\\T", "y\n").exit);
  RegRun missing = reg("query HKCU\\Software\\T");
  EXPECT_EQ(1, missing.exit);
  EXPECT_EQ(kMissing, missing.err);
  EXPECT_EQ("", missing.out);

  RegRun syntax = reg("query HKXY\\Software");
  EXPECT_EQ(1, syntax.exit);
  EXPECT_EQ(0u, syntax.err.find("ERROR: Invalid syntax"));
}

// Export writes the key and its subkeys in the .reg format.
TEST_F(RegToolTest, ExportWritesRegFile) {
  ASSERT_EQ(0, reg("add HKCU\\Software\\E /ve /d \"a \\\"q\\\" \\ b\"").exit);
  ASSERT_EQ(0, reg("add HKCU\\Software\\E /v n /t REG_DWORD /d 7").exit);
  ASSERT_EQ(0, reg("add HKCU\\Software\\E\\Sub /v p /t REG_EXPAND_SZ /d %X%").exit);
  const std::string file = dir_.file("e.reg");
  EXPECT_EQ(kDone, reg("export HKCU\\Software\\E " + file).out);
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
  EXPECT_EQ(1, reg("export HKCU\\Software\\E " + file, "n\n").exit);
  EXPECT_EQ("keep", read_file(file));
  EXPECT_EQ(0, reg("export HKCU\\Software\\E " + file + " /y").exit);
  EXPECT_NE("keep", read_file(file));
  EXPECT_EQ(kMissing, reg("export HKCU\\Software\\None " + file + " /y").err);
}

// Counts the values `query` printed.
size_t value_lines(const std::string& query_output) {
  size_t lines = 0;
  for (size_t at = query_output.find("REG_SZ    x"); at != std::string::npos;
       at = query_output.find("REG_SZ    x", at + 1))
    ++lines;
  return lines;
}

// A machine hive that cannot be written gives the access message; eight
// reg processes adding at once, to a hive none of them has yet and to one
// that exists, all succeed and lose nothing.
TEST_F(RegToolTest, AccessDeniedAndParallelAdds) {
  write_file(dir_.file("blocker"), "");
  {
    quorvane_test::ScopedEnv machine("QUORVANE_MACHINE_DIR", dir_.file("blocker/m"));
    const RegRun denied = reg("add HKLM\\Software\\X /v v /d 1 /f");
    EXPECT_EQ(1, denied.exit);
    EXPECT_EQ("ERROR: Access is denied.\n", denied.err);
  }
  namespace Process = Tavrin::Platform::Process;
  constexpr int kWorkers = 8;
  constexpr int kFreshRounds = 10;
  for (int round = 0; round <= kFreshRounds; ++round) {
    // Each round starts on a fresh hive but the last, which adds to the
    // one before.
    const int hive = std::min(round, kFreshRounds - 1);
    quorvane_test::ScopedEnv machine("QUORVANE_MACHINE_DIR", dir_.file("m" + std::to_string(hive)));
    std::vector<Process::Child> workers;
    for (int w = 0; w < kWorkers; ++w) {
      Process::StartOptions add;
      add.arguments = {kReg, "add", "HKLM\\Software\\P", "/v", "v" + std::to_string(round) + "." + std::to_string(w),
                       "/d", "x", "/f"};
      add.output = Process::StartOptions::Output::kCapture;
      workers.push_back(Process::start(add));
    }
    int failures = 0;
    for (Process::Child& worker : workers) {
      std::string output;
      const Process::ExitStatus status = worker.Wait(&output);
      if (!status.exited || status.code != 0) {
        ++failures;
        ADD_FAILURE() << "round " << round << ": a worker failed (" << status.windows_code() << "): " << output;
      }
    }
    EXPECT_EQ(0, failures);
    const RegRun all = reg("query HKLM\\Software\\P");
    EXPECT_EQ(round == kFreshRounds ? 2u * kWorkers : size_t{kWorkers}, value_lines(all.out)) << "round " << round;
  }
}

}  // namespace
