// Prints the costs of out-of-process objects: creating one when its server
// must be started, creating one while the server runs, and a call's round
// trip. Uses a private runtime folder, so it never meets the user's servers.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <boost/filesystem.hpp>

#include "platform/com/apartment.h"
#include "platform/com/com_ptr.h"
#include "platform/com/dispatch_call.h"
#include "platform/com/remote/local_server.h"
#include "platform/com/testing/local_server_test_object.h"
#include "platform/text.h"

namespace {

namespace Com = Tavrin::Platform::Com;
using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Com::ComPtr<IDispatch> create() {
  Com::ComPtr<IDispatch> object;
  const std::wstring command_line = L"\"" + Tavrin::Platform::from_utf8(LOCAL_SERVER_TEST_SERVER) + L"\"";
  Com::create_local_server_instance(Com::Testing::kTestServerClsid, command_line, IID_IDispatch,
                                    object.put_void());
  return object;
}

void wait_for_end() {
  while (Com::local_server_process(Com::Testing::kTestServerClsid))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace

int main() {
  namespace fs = boost::filesystem;
  const fs::path runtime = fs::temp_directory_path() / fs::unique_path("quorvane-bench-%%%%-%%%%");
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::owner_all);
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  constexpr int kCold = 10, kWarm = 200, kCalls = 20000;
  double cold = 0;
  for (int i = 0; i < kCold; ++i) {
    const auto start = Clock::now();
    Com::ComPtr<IDispatch> object = create();
    cold += ms_since(start);
    object.reset();
    wait_for_end();
  }
  std::printf("create, server started:  %8.2f ms\n", cold / kCold);

  Com::ComPtr<IDispatch> keeper = create();
  auto start = Clock::now();
  for (int i = 0; i < kWarm; ++i) create();
  std::printf("create, server running:  %8.3f ms\n", ms_since(start) / kWarm);

  DISPPARAMS none{nullptr, nullptr, 0, 0};
  start = Clock::now();
  for (int i = 0; i < kCalls; ++i) {
    Com::Variant result;
    keeper->Invoke(Com::Testing::kDispidNext, GUID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
  }
  const double elapsed = ms_since(start);
  std::printf("call round trip:         %8.1f us  (%.0f calls/s)\n", elapsed * 1000 / kCalls,
              kCalls / (elapsed / 1000));
  keeper.reset();
  wait_for_end();
  CoUninitialize();
  fs::remove_all(runtime);
  return 0;
}
