// A client process for the proxy server's tests. Creates the proxy object
// as the system's programs do (CoCreateInstance for IUnknown, OleRun,
// QueryInterface) and then, by its first argument:
//
//   count <file>      calls Command once, writes the request count to <file>
//   hold <file>       takes a hold (SetStop false), creates <file>, then
//                     waits up to a minute to be killed
//
// Exit code 0, or 1 with the failing HRESULT printed.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/com_ptr.h"
#include "proxy/velmora_proxy.h"

namespace {

namespace Com = Tavrin::Platform::Com;

int fail(HRESULT hr) {
  std::printf("failed %08X\n", static_cast<unsigned>(hr));
  return 1;
}

int act(const std::string& action, const std::string& file) {
  Com::ComPtr<IUnknown> unknown;
  HRESULT hr = CoCreateInstance(CLSID_VelmoraProxy, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void());
  if (FAILED(hr)) return fail(hr);
  if (FAILED(hr = OleRun(unknown.get()))) return fail(hr);
  Com::ComPtr<IVelmoraProxy> proxy = unknown.as<IVelmoraProxy>();
  if (!proxy) return fail(E_NOINTERFACE);
  if (action == "count") {
    Com::Bstr command(L"ping"), answer;
    if (FAILED(hr = proxy->Command(command.get(), answer.put()))) return fail(hr);
    ULONGLONG count = 0;
    if (FAILED(hr = proxy->RequestCount(&count))) return fail(hr);
    std::ofstream(file) << count << "\n";
    return 0;
  }
  if (action == "hold") {
    if (FAILED(hr = proxy->SetStop(VARIANT_FALSE))) return fail(hr);
    std::ofstream(file) << "held\n";
    std::this_thread::sleep_for(std::chrono::minutes(1));
    return 0;
  }
  return fail(E_INVALIDARG);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 1;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int code = act(argv[1], argv[2]);
  CoUninitialize();
  std::fflush(stdout);
  return code;
}
