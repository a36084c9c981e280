// The proxy server program out of process: registration, start on demand,
// one server for several processes, and its lifetime.
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/com_ptr.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/scoped_key.h"
#include "platform/text.h"
#include "proxy/proxy_registration.h"
#include "proxy/velmora_proxy.h"
#include "test_support/temp_dir.h"
#include "test_support/wait_until.h"

namespace Tavrin::Proxy {
namespace {

namespace Com = Tavrin::Platform::Com;
namespace Process = Tavrin::Platform::Process;
using Com::ComPtr;
using Platform::Process::kill_process;
using quorvane_test::wait_until;
using std::chrono::milliseconds;

const std::string kProgram = std::string(QUORVANE_BIN_DIR) + "/QuorvaneProxy";
const std::wstring kServerKey = L"CLSID\\{2B8434D6-39BA-49F9-99D9-E28064A86A5B}\\LocalServer32";

// Starts `arguments` with standard output to /dev/null when `quiet`.
Process::Child start_program(std::vector<std::string> arguments, bool quiet = false) {
  Process::StartOptions options;
  options.arguments = std::move(arguments);
  if (quiet) options.output = Process::StartOptions::Output::kDiscard;
  return Process::start(options);
}

// Waits for `child` to end; its exit code, or -1 when it does not end in
// time (it is killed then) or ends by a signal.
int finish(Process::Child& child, milliseconds timeout = milliseconds(30000)) {
  const std::optional<Process::ExitStatus> status = child.WaitFor(timeout);
  if (!status) {
    child.Kill();
    return -1;
  }
  return status->exited ? status->code : -1;
}

int run_program(const std::string& argument) {
  Process::Child program = start_program({kProgram, argument});
  return finish(program);
}

std::optional<std::wstring> registered_command_line() {
  std::wstring text;
  if (Platform::read_key_string(HKEY_CLASSES_ROOT, kServerKey, L"", &text) != ERROR_SUCCESS) return std::nullopt;
  return text;
}

// Registers the program with a start-up grace of `grace`.
void register_with_grace(milliseconds grace) {
  ASSERT_EQ(Platform::write_key_string(HKEY_CLASSES_ROOT, kServerKey, L"",
                                       Platform::from_utf8(kProgram) + L" /Port:0 /StartupGrace:" +
                                           std::to_wstring(grace.count())),
            ERROR_SUCCESS);
}

class ProxyServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_EQ(run_program("/RegServer"), 0);
    register_with_grace(milliseconds(300));
  }

  // Every test lets go of its objects; the server must then end by itself.
  void TearDown() override {
    const bool ended = wait_until([] { return !Com::local_server_process(CLSID_VelmoraProxy); }, milliseconds(15000));
    if (auto pid = Com::local_server_process(CLSID_VelmoraProxy)) kill_process(*pid);
    EXPECT_TRUE(ended) << "the proxy server outlived its clients";
    CoUninitialize();
  }

  // Created as the system's programs create it.
  static ComPtr<IVelmoraProxy> create() {
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(CoCreateInstance(CLSID_VelmoraProxy, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void()), S_OK);
    if (!unknown) return nullptr;
    EXPECT_EQ(OleRun(unknown.get()), S_OK);
    return unknown.as<IVelmoraProxy>();
  }

  static bool busy(IVelmoraProxy* proxy) {
    VARIANT_BOOL value = VARIANT_FALSE;
    EXPECT_EQ(proxy->IsBusy(&value), S_OK);
    return value == VARIANT_TRUE;
  }

  static ULONGLONG request_count(IVelmoraProxy* proxy) {
    ULONGLONG count = ~0ull;
    EXPECT_EQ(proxy->RequestCount(&count), S_OK);
    return count;
  }
};

// The registered command line gives the program's path back whole when
// the component system splits it, whatever the path holds.
TEST(ProxyServerCommandLine, SplitsBackToTheProgramPath) {
  EXPECT_EQ(proxy_server_command_line(L"/opt/quorvane/QuorvaneProxy"), L"/opt/quorvane/QuorvaneProxy");
  for (const std::wstring path : {L"/opt/my tools/QuorvaneProxy", L"/opt/\"odd\"\\ name/QuorvaneProxy"}) {
    EXPECT_EQ(Platform::Process::split_command_line(proxy_server_command_line(path)),
              std::vector<std::string>{Platform::to_utf8(path)});
  }
}

// /RegServer writes the program's path as the server's command line;
// /UnregServer removes the class, and doing it twice is no failure.
TEST_F(ProxyServerTest, RegistrationWritesAndRemovesTheClass) {
  ASSERT_EQ(run_program("/RegServer"), 0);
  EXPECT_EQ(registered_command_line(), proxy_server_command_line(Platform::from_utf8(kProgram)));
  EXPECT_EQ(run_program("/UnregServer"), 0);
  EXPECT_FALSE(registered_command_line());
  ComPtr<IUnknown> unknown;
  EXPECT_EQ(CoCreateInstance(CLSID_VelmoraProxy, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void()),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(run_program("/UnregServer"), 0);
  EXPECT_EQ(run_program("/NoSuchSwitch"), 1);
}

// Creating the object starts the server when none runs.
TEST_F(ProxyServerTest, ServerIsStartedOnDemand) {
  ASSERT_FALSE(Com::local_server_process(CLSID_VelmoraProxy));
  ComPtr<IVelmoraProxy> proxy = create();
  ASSERT_TRUE(proxy);
  EXPECT_TRUE(Com::local_server_process(CLSID_VelmoraProxy));
  EXPECT_EQ(request_count(proxy.get()), 0u);
}

// A second process reaches the same server: it counts the requests of both.
TEST_F(ProxyServerTest, TwoProcessesSeeOneServer) {
  ComPtr<IVelmoraProxy> proxy = create();
  ASSERT_TRUE(proxy);
  const auto server = Com::local_server_process(CLSID_VelmoraProxy);
  Com::Bstr command(L"first"), answer;
  ASSERT_EQ(proxy->Command(command.get(), answer.put()), S_OK);
  EXPECT_NE(answer.str().find(L"not a JSON object"), std::wstring::npos) << answer.str();
  EXPECT_EQ(answer.str().find(L"\"page\""), std::wstring::npos) << "the proxy's own answer names no page";

  quorvane_test::TempDir dir;
  Process::Child client = start_program({PROXY_TEST_CLIENT, "count", dir.file("count")}, true);
  EXPECT_EQ(finish(client), 0);
  EXPECT_EQ(quorvane_test::read_file(dir.file("count")), "2\n");
  EXPECT_EQ(request_count(proxy.get()), 2u);
  EXPECT_EQ(Com::local_server_process(CLSID_VelmoraProxy), server);
}

// The server's run table answers the setup of a run: a port of its own
// that a second request gives again, a browser for it, and the pages'
// mark; a run it does not serve cannot have browsers.
TEST_F(ProxyServerTest, TheRunTableAnswersARunsSetup) {
  ComPtr<IVelmoraProxy> proxy = create();
  ASSERT_TRUE(proxy);
  Com::Bstr run(L"job-1"), other(L"job-2"), bad(L"no such run!");
  LONG port = 0, again = 0;
  ASSERT_EQ(proxy->RegisterRun(run.get(), &port), S_OK);
  EXPECT_GT(port, 0);
  ASSERT_EQ(proxy->RegisterRun(run.get(), &again), S_OK);
  EXPECT_EQ(again, port) << "a run keeps its port";
  EXPECT_EQ(proxy->RegisterBrowser(run.get(), static_cast<LONG>(::getpid())), S_OK);
  EXPECT_EQ(proxy->RegisterBrowser(other.get(), static_cast<LONG>(::getpid())), E_FAIL) << "a run not served";
  EXPECT_EQ(proxy->RegisterRun(bad.get(), &again), E_INVALIDARG);
  ULONGLONG mark = 99;
  EXPECT_EQ(proxy->Mark(&mark), S_OK);
  EXPECT_EQ(mark, 0u) << "no page has registered";
}

// Busy during the start-up grace, while a run holds the server, not after
// it lets go.
TEST_F(ProxyServerTest, BusyStates) {
  register_with_grace(milliseconds(3000));
  ComPtr<IVelmoraProxy> proxy = create();
  ASSERT_TRUE(proxy);
  EXPECT_TRUE(busy(proxy.get()));
  ASSERT_TRUE(wait_until([&] { return !busy(proxy.get()); }, milliseconds(15000)));
  EXPECT_EQ(proxy->SetStop(VARIANT_FALSE), S_OK);
  EXPECT_TRUE(busy(proxy.get()));
  EXPECT_EQ(proxy->SetStop(VARIANT_TRUE), S_OK);
  EXPECT_FALSE(busy(proxy.get()));
}

// A run killed while it holds the server gives up its hold; the server then
// lives while a client holds the object and ends after the last lets go.
TEST_F(ProxyServerTest, KilledClientDoesNotKeepTheServer) {
  quorvane_test::TempDir dir;
  const std::string marker = dir.file("held");
  Process::Child run = start_program({PROXY_TEST_CLIENT, "hold", marker}, true);
  ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(marker); }, milliseconds(30000)));
  ComPtr<IVelmoraProxy> guard = create();
  ASSERT_TRUE(guard);
  std::this_thread::sleep_for(milliseconds(400));  // past the grace
  EXPECT_TRUE(busy(guard.get()));

  run.Kill();
  EXPECT_TRUE(wait_until([&] { return !busy(guard.get()); }, milliseconds(10000)));
  EXPECT_EQ(guard->SetStop(VARIANT_TRUE), S_OK);
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_TRUE(Com::local_server_process(CLSID_VelmoraProxy)) << "ended while a client held it";
  guard.reset();
  EXPECT_TRUE(wait_until([] { return !Com::local_server_process(CLSID_VelmoraProxy); }, milliseconds(10000)));
}

// Calls on a server that died fail; the next creation starts a fresh one.
TEST_F(ProxyServerTest, DeadServerIsReplaced) {
  ComPtr<IVelmoraProxy> proxy = create();
  ASSERT_TRUE(proxy);
  Com::Bstr command(L"x"), answer;
  ASSERT_EQ(proxy->Command(command.get(), answer.put()), S_OK);
  kill_process(Com::local_server_process(CLSID_VelmoraProxy).value_or(0));
  ASSERT_TRUE(wait_until([] { return !Com::local_server_process(CLSID_VelmoraProxy); }, milliseconds(10000)));
  VARIANT_BOOL value = VARIANT_TRUE;
  EXPECT_EQ(proxy->IsBusy(&value), RPC_E_DISCONNECTED);
  proxy = create();
  ASSERT_TRUE(proxy);
  EXPECT_EQ(request_count(proxy.get()), 0u);
}

}  // namespace
}  // namespace Tavrin::Proxy
