// Prints how long the runtime server's registration takes on SQLite hives
// in a temporary folder: registering (class script and type library),
// registering again over it, and unregistering, in both scopes.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "runtime/registration.h"

namespace {

using Tavrin::Platform::Com::RegistrationScope;

template <class Body>
void measure(const char* what, int count, Body body) {
  const auto start = std::chrono::steady_clock::now();
  int failures = 0;
  for (int i = 0; i < count; ++i) failures += FAILED(body(i)) ? 1 : 0;
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  std::printf("%-44s %8.2f ms/call (%d calls, %d failed)\n", what, took.count() / count, count, failures);
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("quorvane-registration-bench-" + std::to_string(::getpid()));
  fs::create_directories(root);
  ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
  ::setenv("QUORVANE_MACHINE_DIR", (root / "machine").c_str(), 1);
  const std::wstring module = L"/opt/quorvane/QuorvaneRuntime.so";
  using namespace Tavrin::Runtime;
  for (const auto scope : {RegistrationScope::kMachine, RegistrationScope::kUser}) {
    const char* name = scope == RegistrationScope::kMachine ? "machine" : "user";
    std::printf("scope: %s\n", name);
    measure("  register (fresh)", 1, [&](int) { return register_server(module, scope); });
    measure("  register again over it", 50, [&](int) { return register_server(module, scope); });
    measure("  unregister + register", 50, [&](int) {
      const HRESULT hr = unregister_server(scope);
      return FAILED(hr) ? hr : register_server(module, scope);
    });
    measure("  unregister", 1, [&](int) { return unregister_server(scope); });
  }
  fs::remove_all(root);
  return 0;
}
