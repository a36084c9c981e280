// Starting programs: command lines, exit statuses, captured output, start
// failures, detached children and the starter seam.
#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "platform/text.h"
#include "test_support/temp_dir.h"
#include "test_support/wait_until.h"

namespace Tavrin::Platform::Process {
namespace {

using Args = std::vector<std::string>;
using Output = StartOptions::Output;
using std::chrono::milliseconds;

StartOptions program(Args arguments) {
  StartOptions options;
  options.arguments = std::move(arguments);
  return options;
}

StartOptions shell(const std::string& script, Output output = Output::kCapture) {
  StartOptions options;
  options.arguments = {"sh", "-c", script};
  options.output = output;
  return options;
}

// The errno value that starting `options` fails with; 0 when it starts.
int start_error(const StartOptions& options, std::string* what = nullptr) {
  try {
    start(options).Wait();
  } catch (const boost::system::system_error& e) {
    EXPECT_EQ(e.code().category(), boost::system::system_category());
    if (what != nullptr) *what = e.what();
    return e.code().value();
  }
  return 0;
}

int detached_error(const StartOptions& options) {
  try {
    kill_process(start_detached(options));
  } catch (const boost::system::system_error& e) {
    return e.code().value();
  }
  return 0;
}

// Field `index` (1-based, after the command name) of /proc/pid/stat.
long stat_field(int pid, int index) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto paren = line.rfind(')');
  if (paren == std::string::npos) return -1;
  std::istringstream fields(line.substr(paren + 2));
  std::string field;
  for (int i = 0; i < index - 1 && fields >> field; ++i) {
  }
  long value = -1;
  fields >> value;
  return value;
}

// Windows rules: quotes group, backslashes are literal unless they precede
// a quote, where pairs become one and an odd one escapes the quote.
TEST(CommandLineTest, SplitsWithTheWindowsRules) {
  EXPECT_EQ(split_command_line(L"\"/opt/my apps/server\" -Embedding"), (Args{"/opt/my apps/server", "-Embedding"}));
  EXPECT_EQ(split_command_line(L"  a\t b  "), (Args{"a", "b"}));
  EXPECT_EQ(split_command_line(L"a\\\\b c"), (Args{"a\\\\b", "c"}));
  EXPECT_EQ(split_command_line(L"a\\\\\"b c\" d"), (Args{"a\\b c", "d"}));
  EXPECT_EQ(split_command_line(L"a\\\"b"), (Args{"a\"b"}));
  EXPECT_EQ(split_command_line(L"\"\" x"), (Args{"", "x"}));
  EXPECT_EQ(split_command_line(L"trailing\\"), (Args{"trailing\\"}));
  EXPECT_EQ(split_command_line(L"caf\u00E9"), (Args{"caf\xC3\xA9"}));
  EXPECT_TRUE(split_command_line(L"   ").empty());
}

// Whatever an argument holds, quoting it and splitting the result gives it
// back; plain ones stay unquoted.
TEST(CommandLineTest, QuotedArgumentsSplitBackUnchanged) {
  EXPECT_EQ(quote_argument(L"plain"), L"plain");
  EXPECT_EQ(quote_argument(L"back\\slash"), L"back\\slash");
  EXPECT_EQ(quote_argument(L""), L"\"\"");
  EXPECT_EQ(quote_argument(L"a b"), L"\"a b\"");
  EXPECT_EQ(quote_argument(L"a\\\"b"), L"\"a\\\\\\\"b\"");
  const std::vector<std::wstring> awkward = {L"",          L"a b",       L"tab\there", L"say \"hi\"",
                                             L"end\\",     L"end \\\\",  L"\\\"",      L"new\nline",
                                             L"C:\\Program Files\\x\\", L"\"", L"caf\u00E9 au lait"};
  std::wstring line = L"program";
  Args expected = {"program"};
  for (const std::wstring& argument : awkward) {
    EXPECT_EQ(split_command_line(quote_argument(argument)), Args{to_utf8(argument)});
    line += L" " + quote_argument(argument);
    expected.push_back(to_utf8(argument));
  }
  EXPECT_EQ(split_command_line(line), expected);
}

class ProcessTest : public ::testing::Test {
 protected:
  quorvane_test::TempDir dir_;
};

// The exit code comes back; an end by a signal reads as 128 + signal.
TEST_F(ProcessTest, ReportsHowTheChildEnded) {
  const ExitStatus three = run(shell("exit 3"));
  EXPECT_TRUE(three.exited);
  EXPECT_EQ(three.code, 3);
  EXPECT_EQ(three.windows_code(), 3);

  const ExitStatus killed = run(shell("kill -TERM $$"));
  EXPECT_FALSE(killed.exited);
  EXPECT_EQ(killed.signal, SIGTERM);
  EXPECT_EQ(killed.windows_code(), 128 + SIGTERM);
}

// Both streams are captured, in order; a large output does not block the
// child on a full pipe.
TEST_F(ProcessTest, CapturesOutput) {
  std::string output;
  EXPECT_EQ(run(shell("echo out; echo err >&2; echo again"), &output).code, 0);
  EXPECT_EQ(output, "out\nerr\nagain\n");

  EXPECT_EQ(run(shell("head -c 1000000 /dev/zero"), &output).code, 0);
  EXPECT_EQ(output.size(), 1000000u);

  EXPECT_EQ(run(shell("echo hidden", Output::kDiscard), &output).code, 0);
  EXPECT_EQ(output, "");
}

// Input, output and error can be files; one file for both gets both.
TEST_F(ProcessTest, StreamsToAndFromFiles) {
  quorvane_test::write_file(dir_.file("in"), "line one\nline two\n");
  StartOptions options = shell("read first; echo \"got $first\"; echo oops >&2", Output::kDiscard);
  options.input_file = dir_.file("in");
  options.output_file = dir_.file("out");
  options.error_file = dir_.file("err");
  quorvane_test::write_file(dir_.file("out"), "old text that must go away");
  EXPECT_EQ(run(options).code, 0);
  EXPECT_EQ(quorvane_test::read_file(dir_.file("out")), "got line one\n");
  EXPECT_EQ(quorvane_test::read_file(dir_.file("err")), "oops\n");

  options.error_file = options.output_file;
  EXPECT_EQ(run(options).code, 0);
  EXPECT_EQ(quorvane_test::read_file(dir_.file("out")), "got line one\noops\n");

  options.input_file = dir_.file("missing/in");
  std::string what;
  EXPECT_EQ(start_error(options, &what), ENOENT);
  EXPECT_NE(what.find("open " + dir_.file("missing/in")), std::string::npos) << what;
}

// The child gets the caller's environment and directory unless told
// otherwise, and /dev/null as input by default.
TEST_F(ProcessTest, EnvironmentDirectoryAndInput) {
  quorvane_test::ScopedEnv inherited("QUORVANE_PROCESS_TEST", "from the caller");
  std::string output;
  run(shell("echo \"$QUORVANE_PROCESS_TEST\"; readlink /proc/self/fd/0"), &output);
  EXPECT_EQ(output, "from the caller\n/dev/null\n");

  StartOptions options = shell("echo \"[$QUORVANE_PROCESS_TEST] [$OTHER]\"; pwd");
  options.environment = std::vector<std::string>{"OTHER=given"};
  options.working_directory = dir_.path();
  run(options, &output);
  char resolved[PATH_MAX];
  ASSERT_NE(::realpath(dir_.path().c_str(), resolved), nullptr);
  EXPECT_EQ(output, std::string("[] [given]\n") + resolved + "\n");
}

// A relative program path means the caller's directory, as on Windows,
// even when the child runs in another.
TEST_F(ProcessTest, RelativeProgramIsTheCallersEvenInAnotherDirectory) {
  quorvane_test::write_file(dir_.file("tool.sh"), "#!/bin/sh\necho tool ran\n");
  ASSERT_EQ(::chmod(dir_.file("tool.sh").c_str(), 0755), 0);
  quorvane_test::TempDir elsewhere;
  const std::string previous = std::filesystem::current_path().string();
  std::filesystem::current_path(dir_.path());
  StartOptions options;
  options.arguments = {"./tool.sh"};
  options.output = Output::kCapture;
  options.working_directory = elsewhere.path();
  std::string output;
  const ExitStatus status = run(options, &output);
  std::filesystem::current_path(previous);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(output, "tool ran\n");
}

// A program that cannot be started fails the start with the system's error
// number and a message naming it, and leaves no child behind.
TEST_F(ProcessTest, StartFailuresCarryTheErrorNumber) {
  std::string what;
  StartOptions missing;
  missing.arguments = {"/nonexistent/program"};
  EXPECT_EQ(start_error(missing, &what), ENOENT);
  EXPECT_EQ(what.rfind("exec /nonexistent/program: No such file or directory", 0), 0u) << what;
  missing.arguments = {"quorvane-no-such-program-anywhere"};
  EXPECT_EQ(start_error(missing), ENOENT);

  quorvane_test::write_file(dir_.file("not-executable"), "#!/bin/sh\n");
  StartOptions denied;
  denied.arguments = {dir_.file("not-executable")};
  EXPECT_EQ(start_error(denied), EACCES);

  StartOptions no_directory = shell("true");
  no_directory.working_directory = dir_.file("gone");
  EXPECT_EQ(start_error(no_directory, &what), ENOENT);
  EXPECT_EQ(what.rfind("chdir ", 0), 0u) << what;

  EXPECT_EQ(start_error(StartOptions{}), EINVAL);
  // Every failed start has been reaped.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

// Only the standard streams reach the child: a descriptor the caller left
// inheritable is closed there.
TEST_F(ProcessTest, ChildInheritsNoOtherDescriptor) {
  const int leaked = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 3);
  const ExitStatus status = run(shell("test -e /proc/self/fd/" + std::to_string(leaked)));
  ::close(leaked);
  EXPECT_TRUE(status.exited);
  EXPECT_EQ(status.code, 1);
}

// A wait with a bound leaves a running child running; Kill ends it; a
// Child that goes unwaited is killed and reaped, never left behind.
TEST_F(ProcessTest, BoundedWaitKillAndDestruction) {
  Child child = start(shell("echo started; sleep 30"));
  const int pid = child.pid();
  ASSERT_GT(pid, 0);
  EXPECT_FALSE(child.WaitFor(milliseconds(100)));
  EXPECT_TRUE(process_exists(pid));
  child.Kill();
  EXPECT_FALSE(process_exists(pid));
  std::string output;
  const std::optional<ExitStatus> status = child.WaitFor(milliseconds(0), &output);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->signal, SIGKILL);
  EXPECT_EQ(output, "started\n");
  EXPECT_EQ(child.pid(), -1);

  int abandoned = -1;
  {
    Child unwaited = start(shell("sleep 30", Output::kInherit));
    abandoned = unwaited.pid();
    Child moved = std::move(unwaited);
    EXPECT_EQ(moved.pid(), abandoned);
  }
  EXPECT_FALSE(process_exists(abandoned));
  EXPECT_EQ(::waitpid(abandoned, nullptr, WNOHANG), -1);

  const std::optional<ExitStatus> quick = start(shell("exit 4")).WaitFor(milliseconds(10000));
  ASSERT_TRUE(quick);
  EXPECT_EQ(quick->code, 4);
}

// A child that leads a process group is ended with its whole group, so
// what it started goes too.
TEST_F(ProcessTest, KillEndsTheGroupTheChildLeads) {
  const std::string pid_file = dir_.file("pid");
  Child leader = start(program({"setsid", "sh", "-c", "sleep 30 & echo $! > '" + pid_file + "'; wait"}));
  ASSERT_TRUE(quorvane_test::wait_until([&] { return !quorvane_test::read_file(pid_file).empty(); },
                                        milliseconds(10000)));
  const int sleeper = std::stoi(quorvane_test::read_file(pid_file));
  EXPECT_TRUE(process_exists(sleeper));
  leader.Kill();
  EXPECT_TRUE(quorvane_test::wait_until([&] { return !process_exists(sleeper); }, milliseconds(10000)));
}

// A child started to end with its starter goes when the starter is
// killed; one started without stays (the control).
TEST_F(ProcessTest, ChildEndsWithItsStarterHoweverItEnds) {
  for (const bool tied : {true, false}) {
    const std::string pid_file = dir_.file(tied ? "tied" : "free");
    const pid_t starter = ::fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) {
      StartOptions options = program({"sleep", "30"});
      options.end_with_starter = tied;
      Child child = start(options);
      std::ofstream(pid_file) << child.pid() << "\n";
      for (;;) ::pause();
    }
    ASSERT_TRUE(quorvane_test::wait_until([&] { return quorvane_test::read_file(pid_file).size() > 1; },
                                          milliseconds(10000)));
    const int sleeper = std::stoi(quorvane_test::read_file(pid_file));
    EXPECT_TRUE(process_exists(sleeper));
    ::kill(starter, SIGKILL);
    ::waitpid(starter, nullptr, 0);
    EXPECT_EQ(quorvane_test::wait_until([&] { return !process_exists(sleeper); }, milliseconds(tied ? 10000 : 500)),
              tied) << (tied ? "tied" : "free");
    kill_process(sleeper);
  }
}

// Lines of a running child's output are read as they come; what is left
// stays for the end.
TEST_F(ProcessTest, ReadsLinesWhileTheChildRuns) {
  Child child = start(shell("printf 'one\\ntw'; sleep 0.3; printf 'o\\nrest'; sleep 30"));
  EXPECT_EQ(child.ReadLine(milliseconds(10000)), std::optional<std::string>("one"));
  EXPECT_EQ(child.ReadLine(milliseconds(10000)), std::optional<std::string>("two"));
  EXPECT_EQ(child.ReadLine(milliseconds(200)), std::nullopt);  // "rest" has no line feed yet
  EXPECT_TRUE(process_exists(child.pid()));
  child.Kill();
  std::string output;
  child.WaitFor(milliseconds(0), &output);
  EXPECT_EQ(output, "rest");
  // A child that ends without a line: no line, without waiting out the time.
  Child quiet = start(shell("exit 0"));
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(quiet.ReadLine(milliseconds(20000)), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(15));
}

// A child may lead a group of its own, and may be bound to end with the
// thread that started it.
TEST_F(ProcessTest, OwnGroupAndEndWithTheCaller) {
  StartOptions leader = shell("sleep 30", Output::kDiscard);
  leader.own_process_group = true;
  Child child = start(leader);
  EXPECT_EQ(stat_field(child.pid(), 3), static_cast<long>(child.pid()));  // process group
  Child plain = start(shell("sleep 30", Output::kDiscard));
  EXPECT_EQ(stat_field(plain.pid(), 3), static_cast<long>(::getpgrp()));

  // Started from a thread that then ends: the child goes with it (the
  // Child, kept here, only reaps it).
  std::optional<Child> bound;
  std::thread([&] {
    StartOptions options = shell("sleep 30", Output::kDiscard);
    options.end_with_starter = true;
    bound.emplace(start(options));
  }).join();
  EXPECT_TRUE(quorvane_test::wait_until([&] { return !process_exists(bound->pid()); }, milliseconds(10000)));
  const std::optional<ExitStatus> status = bound->WaitFor(milliseconds(10000));
  ASSERT_TRUE(status);
  EXPECT_EQ(status->signal, SIGKILL);
}

// A detached program is not the starter's child, runs in a session of its
// own, and once it ends it is gone, never a zombie of the starter.
TEST_F(ProcessTest, DetachedProgramIsAdoptedAndLeavesNoZombie) {
  const int sleeper = start_detached(program({"sleep", "30"}));
  ASSERT_GT(sleeper, 0);
  EXPECT_TRUE(process_exists(sleeper));
  EXPECT_NE(stat_field(sleeper, 2), static_cast<long>(::getpid()));  // parent
  EXPECT_NE(stat_field(sleeper, 4), static_cast<long>(::getsid(0)));  // session
  EXPECT_TRUE(kill_process(sleeper));
  EXPECT_TRUE(quorvane_test::wait_until([&] { return !process_exists(sleeper); }, milliseconds(10000)));

  const int quick = start_detached(program({"sh", "-c", "exit 0"}));
  EXPECT_TRUE(quorvane_test::wait_until([&] { return !process_exists(quick); }, milliseconds(10000)));
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

// A detached start that cannot run reports the program's own error every
// time: the middle process's report of the program's id never passes for
// the program's exec error, whichever comes first.
TEST_F(ProcessTest, DetachedStartFailuresAreReportedEveryTime) {
  StartOptions missing;
  missing.arguments = {"/nonexistent/program"};
  for (int round = 0; round < 200; ++round) ASSERT_EQ(detached_error(missing), ENOENT) << "round " << round;
  quorvane_test::write_file(dir_.file("not-executable"), "");
  missing.arguments = {dir_.file("not-executable")};
  EXPECT_EQ(detached_error(missing), EACCES);
  EXPECT_EQ(detached_error(StartOptions{}), EINVAL);
  EXPECT_FALSE(kill_process(0));
  EXPECT_FALSE(kill_process(-1));
}

// A zombie counts as ended; a process that exists, as existing.
TEST(ProcessExistsTest, ZombiesHaveEnded) {
  EXPECT_TRUE(process_exists(::getpid()));
  EXPECT_FALSE(process_exists(0));
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  EXPECT_TRUE(quorvane_test::wait_until([&] { return !process_exists(child); }, milliseconds(10000)));
  EXPECT_EQ(::waitpid(child, nullptr, 0), child);
}

class RecordingStarter final : public ProcessStarter {
 public:
  Child Start(const StartOptions& options) override {
    started.push_back(options.arguments);
    return Child::Ended(ExitStatus{true, 7, 0}, "recorded output");
  }
  int StartDetached(const StartOptions& options) override {
    started.push_back(options.arguments);
    return 4242;
  }
  std::vector<Args> started;
};

// With a recorder installed nothing starts: the recorder sees each start
// and its answers come back; removing it brings the real starter back.
TEST(ProcessStarterTest, RecorderSeesStartsInsteadOfTheSystem) {
  RecordingStarter recorder;
  EXPECT_EQ(set_process_starter(&recorder), nullptr);
  std::string output;
  const ExitStatus status = run(program({"/nonexistent/program", "a b"}), &output);
  EXPECT_EQ(status.code, 7);
  EXPECT_EQ(output, "recorded output");
  EXPECT_EQ(start_detached(program({"browser", "--x"})), 4242);
  EXPECT_EQ(set_process_starter(nullptr), &recorder);
  EXPECT_EQ(recorder.started, (std::vector<Args>{{"/nonexistent/program", "a b"}, {"browser", "--x"}}));
  EXPECT_EQ(start_error(program({"/nonexistent/program"})), ENOENT);
}

}  // namespace
}  // namespace Tavrin::Platform::Process
