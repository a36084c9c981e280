// QuorvaneProxy: the local proxy server. Registers or unregisters its class
// (proxy_command_line.h) or serves the proxy object to every client until
// no client holds it and it is not busy.
//
// Exit codes: 0 done; 1 a bad command line or a registry failure; 2 the
// server could not serve (another one serves the class, or its socket
// could not be set up).
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/apartment.h"
#include "platform/com/remote/local_server.h"
#include "platform/module_path.h"
#include "proxy/proxy_command_line.h"
#include "proxy/proxy_object.h"
#include "proxy/proxy_registration.h"
#include "proxy/velmora_proxy.h"

namespace {

using Tavrin::Proxy::ProxyCommandLine;

int serve(const ProxyCommandLine& command_line) {
  namespace Com = Tavrin::Platform::Com;
  const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  auto state = std::make_shared<Tavrin::Proxy::ProxyState>(command_line.grace);
  Com::LocalServerOptions options;
  options.threading = Com::LocalServerThreading::kFree;
  options.may_end = [state] { return !state->busy(); };
  HRESULT hr;
  {
    Com::ComPtr<IClassFactory> factory = Tavrin::Proxy::make_proxy_class_factory(state);
    hr = Com::serve_local_server(CLSID_VelmoraProxy, factory.get(), options);
  }
  if (SUCCEEDED(initialised)) CoUninitialize();
  return SUCCEEDED(hr) ? 0 : 2;
}

int run(const std::vector<std::string>& arguments) {
  const auto command_line = Tavrin::Proxy::parse_proxy_command_line(arguments);
  if (!command_line) return 1;
  switch (command_line->mode) {
    case ProxyCommandLine::Mode::kRegister:
      return Tavrin::Proxy::register_proxy_server(Tavrin::Platform::executable_path()) == ERROR_SUCCESS ? 0 : 1;
    case ProxyCommandLine::Mode::kUnregister:
      return Tavrin::Proxy::unregister_proxy_server() == ERROR_SUCCESS ? 0 : 1;
    case ProxyCommandLine::Mode::kServe:
      return serve(*command_line);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception&) {
    return 1;
  }
}
