// WScript.Shell as scripts use it.
#include "platform/script/shell.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/script/testing/script_fixture.h"
#include "platform/text.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Platform::Script {
namespace {

using ShellTest = Testing::ScriptFixture;

// Run with the wait flag returns the program's exit status.
TEST_F(ShellTest, RunWaitsAndReturnsTheExitStatus) {
  add_code(L"var sh = new ActiveXObject('WScript.Shell');");
  EXPECT_EQ(eval(L"sh.Run('/bin/sh -c \"exit 7\"', 0, true)").lVal, 7);
  EXPECT_EQ(eval(L"sh.Run('true', 1, true)").lVal, 0);
  EXPECT_EQ(eval(L"sh.Run('false', 1, true)").lVal, 1);
}

// Without waiting, Run returns 0 at once and the program runs on.
TEST_F(ShellTest, RunWithoutWaitingReturnsAtOnce) {
  quorvane_test::TempDir dir;
  const std::wstring marker = Platform::from_utf8(dir.file("done"));
  add_code(L"var sh = new ActiveXObject('WScript.Shell');");
  EXPECT_EQ(eval(L"sh.Run('/bin/sh -c \"sleep 0.2; touch " + marker + L"\"')").lVal, 0);
  add_code(L"var fso = new ActiveXObject('Scripting.FileSystemObject');");
  EXPECT_EQ(eval_text(L"fso.FileExists('" + marker + L"')"), L"0");
  bool appeared = false;
  for (int i = 0; i < 100 && !appeared; ++i) {
    appeared = eval_text(L"fso.FileExists('" + marker + L"')") == L"-1";
    if (!appeared) usleep(50000);
  }
  EXPECT_TRUE(appeared);
}

// A program that does not exist fails naming the command.
TEST_F(ShellTest, MissingProgramFails) {
  add_code(L"var sh = new ActiveXObject('WScript.Shell.1');");
  EXPECT_EQ(eval_text(L"(function () { try { sh.Run('/no/such/program --flag', 1, true); } catch (e) {"
                      L" return e.message.indexOf('/no/such/program --flag') >= 0; } })()"),
            L"-1");
}

// Environment variables: expansion and the PROCESS collection.
TEST_F(ShellTest, EnvironmentStrings) {
  quorvane_test::ScopedEnv a("QV_SHELL_TEST", "value 1");
  quorvane_test::ScopedEnv b("QV_UNSET_TEST", std::nullopt);
  add_code(L"var sh = new ActiveXObject('WScript.Shell');");
  EXPECT_EQ(eval_text(L"sh.ExpandEnvironmentStrings('[%QV_SHELL_TEST%] %QV_UNSET_TEST% 100%')"),
            L"[value 1] %QV_UNSET_TEST% 100%");
  EXPECT_EQ(eval_text(L"sh.Environment('PROCESS').Item('QV_SHELL_TEST')"), L"value 1");
  EXPECT_EQ(eval_text(L"sh.Environment('Process').Item('QV_UNSET_TEST')"), L"");
  EXPECT_EQ(eval_text(L"(function () { for (var e = new Enumerator(sh.Environment('PROCESS')); !e.atEnd();"
                      L" e.moveNext()) if (e.item() === 'QV_SHELL_TEST=value 1') return 'found'; })()"),
            L"found");
  EXPECT_EQ(eval_text(L"(function () { try { sh.Environment('GALAXY'); } catch (e) { return e.message; } })()"),
            L"Environment: unknown type \"GALAXY\"");
}

TEST(ShellExpansion, PercentSignsThatAreNoVariables) {
  quorvane_test::ScopedEnv home("QV_EXPAND_HOME", "/h");
  EXPECT_EQ(expand_environment_strings(L"%NOPE_QV% and %QV_EXPAND_HOME%"), L"%NOPE_QV% and /h");
  EXPECT_EQ(expand_environment_strings(L"%%QV_EXPAND_HOME%%"), L"%/h%");
  EXPECT_EQ(expand_environment_strings(L"no percent"), L"no percent");
}

}  // namespace
}  // namespace Tavrin::Platform::Script
