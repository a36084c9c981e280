// The regsvr32 program on the real runtime server and on files that are
// no server: its registry effects, its lines and its exit codes.
#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/testing/registry_test_fixture.h"
#include "platform/text.h"
#include "tools/regsvr32_args.h"
#include "tools/regsvr32_run.h"

namespace Tavrin::Regsvr32 {
namespace {

namespace Process = Platform::Process;
using quorvane_test::ScopedKey;

const std::string kRegsvr32 = std::string(QUORVANE_BIN_DIR) + "/regsvr32";
constexpr wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}";
constexpr wchar_t kLibKey[] = L"Software\\Classes\\TypeLib\\{81C82C37-EDC3-4C64-A63D-D569167D27F8}\\1.0";

struct Result {
  int code = -1;
  std::string output;
};

class Regsvr32Test : public quorvane_test::RegistryTest {
 protected:
  Result regsvr32(std::vector<std::string> arguments) {
    Process::StartOptions options;
    options.arguments = {kRegsvr32};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.output = Process::StartOptions::Output::kCapture;
    Result result;
    const Process::ExitStatus status = Process::run(options, &result.output);
    result.code = status.windows_code();
    return result;
  }
  bool exists(HKEY root, const wchar_t* path) {
    ScopedKey key;
    return RegOpenKeyExW(root, path, 0, KEY_READ, key.out()) == ERROR_SUCCESS;
  }
  std::wstring server(HKEY root) {
    return text(root, (std::wstring(kClassKey) + L"\\InprocServer32").c_str(), L"");
  }
  const std::string runtime_ = RUNTIME_MODULE;
};

// Plain registration writes the class machine-wide with the module's full
// path and says so in one line; /u removes it again.
TEST_F(Regsvr32Test, RegistersAndUnregistersMachineWide) {
  Result result = regsvr32({runtime_});
  ASSERT_EQ(0, result.code) << result.output;
  EXPECT_EQ("DllRegisterServer in \"" + runtime_ + "\" succeeded.\n", result.output);
  EXPECT_EQ(Platform::from_utf8(runtime_), server(HKEY_LOCAL_MACHINE));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, kLibKey));
  result = regsvr32({"/u", "/s", runtime_});
  ASSERT_EQ(0, result.code) << result.output;
  EXPECT_EQ("", result.output);
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, kClassKey));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Velmora.Script"));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID"));
}

// DllInstall with "USER" registers for the user only, the type library
// too; "users" is not "user" and registers machine-wide.
TEST_F(Regsvr32Test, InstallUserRegistersPerUser) {
  Result result = regsvr32({"/n", "/i:USER", runtime_});
  ASSERT_EQ(0, result.code) << result.output;
  EXPECT_EQ("DllInstall in \"" + runtime_ + "\" succeeded.\n", result.output);
  EXPECT_EQ(Platform::from_utf8(runtime_), server(HKEY_CURRENT_USER));
  EXPECT_TRUE(exists(HKEY_CURRENT_USER, kLibKey));
  EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, L"Software\\Classes"));
  ASSERT_EQ(0, regsvr32({"-S", "-N", "-I:users", runtime_}).code);
  EXPECT_EQ(Platform::from_utf8(runtime_), server(HKEY_LOCAL_MACHINE));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, kLibKey));
  ASSERT_EQ(0, regsvr32({"/u", "/n", "/i:user", runtime_}).code);
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, kClassKey));
  EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, kClassKey));
}

// Registering from a second path (a relative one) leaves the class naming
// the last path, made absolute.
TEST_F(Regsvr32Test, LastRegisteredPathWins) {
  const std::string copy = dir_.file("copy/QuorvaneRuntime.so");
  boost::filesystem::create_directories(dir_.file("copy"));
  boost::filesystem::copy_file(runtime_, copy);
  ASSERT_EQ(0, regsvr32({"/s", runtime_}).code);
  Process::StartOptions options;
  options.arguments = {kRegsvr32, "/s", "copy/../copy/QuorvaneRuntime.so"};
  options.working_directory = dir_.path();
  ASSERT_EQ(0, Process::run(options).windows_code());
  EXPECT_EQ(Platform::from_utf8(copy), server(HKEY_LOCAL_MACHINE));
}

// A file that is no module, a module without the entry points, and a
// registration that the registry refuses: a clear line and the documented
// exit code; nothing at all with /s.
TEST_F(Regsvr32Test, FailuresGiveALineAndTheirExitCode) {
  const std::string text_file = dir_.file("notes.txt");
  quorvane_test::write_file(text_file, "not a module\n");
  Result result = regsvr32({text_file});
  EXPECT_EQ(kExitLoadFailed, result.code);
  EXPECT_NE(std::string::npos, result.output.find("the module \"" + text_file + "\" failed to load")) << result.output;
  result = regsvr32({"/s", text_file});
  EXPECT_EQ(kExitLoadFailed, result.code);
  EXPECT_EQ("", result.output);

  result = regsvr32({TEST_MODULE_WITHOUT_ENTRIES});
  EXPECT_EQ(kExitNoEntryPoint, result.code);
  EXPECT_NE(std::string::npos, result.output.find("entry point DllRegisterServer was not found")) << result.output;
  result = regsvr32({"/i", "/n", TEST_MODULE_WITHOUT_ENTRIES});
  EXPECT_EQ(kExitNoEntryPoint, result.code);
  EXPECT_NE(std::string::npos, result.output.find("entry point DllInstall was not found")) << result.output;

  // A machine folder below a file cannot be made: the hive is read-only.
  quorvane_test::ScopedEnv machine("QUORVANE_MACHINE_DIR", text_file + "/machine");
  result = regsvr32({runtime_});
  EXPECT_EQ(kExitCallFailed, result.code);
  EXPECT_NE(std::string::npos, result.output.find("DllRegisterServer in \"" + runtime_ +
                                                  "\" failed with error code 0x8007000D (Permission denied)"))
      << result.output;
}

// A command line without a module, with an unknown switch or with /n but
// no /i is refused with the usage text and exit code 1.
TEST_F(Regsvr32Test, BadCommandLinesAreRefused) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"/u"}, {"-x", runtime_}, {"/n", runtime_}}) {
    const Result result = regsvr32(arguments);
    EXPECT_EQ(kExitUsage, result.code);
    EXPECT_NE(std::string::npos, result.output.find("Usage: regsvr32")) << result.output;
  }
  EXPECT_EQ("", regsvr32({"/s", "/n"}).output);
}

TEST(Regsvr32OptionsTest, SwitchesAndPaths) {
  const Options options = parse_options({L"/U", L"-s", L"/I:user", L"/n", L"/opt/m.so", L"/i/other.so"});
  EXPECT_TRUE(options.unregister);
  EXPECT_TRUE(options.silent);
  EXPECT_TRUE(options.install);
  EXPECT_TRUE(options.install_only);
  EXPECT_EQ(L"user", options.install_command_line.value_or(L"none"));
  EXPECT_EQ((std::vector<std::wstring>{L"/opt/m.so", L"/i/other.so"}), options.modules);
  EXPECT_FALSE(parse_options({L"/i", L"m.so"}).install_command_line.has_value());
  EXPECT_EQ(L"", parse_options({L"/i:", L"m.so"}).install_command_line.value_or(L"none"));
}

}  // namespace
}  // namespace Tavrin::Regsvr32
