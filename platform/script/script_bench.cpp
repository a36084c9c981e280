// Figures of the script control: creating an engine, and calls through the
// bridge (methods, property reads, objects returned) per second.
#include <chrono>
#include <cstdio>

#include "platform/com/com.h"
#include "platform/script/script_classes.h"
#include "platform/script/testing/bridge_test_object.h"

using namespace Tavrin::Platform;
using Com::Variant;

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Com::ComPtr<IDispatch> new_control() {
  Com::ComPtr<IDispatch> control;
  Script::create_script_control(IID_IDispatch, control.put_void());
  Com::put_property(control.get(), L"Language", Variant(L"JScript"));
  return control;
}

void run_loop(IDispatch* control, const wchar_t* label, const wchar_t* body, int count) {
  Com::invoke_method(control, L"AddCode",
                     {Variant(std::wstring(L"function bench(n) { for (var i = 0; i < n; i++) { ") + body + L" } }")});
  const auto start = std::chrono::steady_clock::now();
  Com::invoke_method(control, L"Run", {Variant(L"bench"), Variant(count)});
  const double elapsed = seconds_since(start);
  std::printf("%-40ls %10.0f per second (%d in %.3f s)\n", label, count / elapsed, count, elapsed);
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Script::register_script_classes();
  {
    constexpr int kEngines = 200;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kEngines; ++i) new_control();
    std::printf("%-40s %10.3f ms each\n", "new script control with engine", seconds_since(start) * 1000 / kEngines);
  }
  auto control = new_control();
  auto object = Script::Testing::make_bridge_test_object(L"bench");
  Com::invoke_method(control.get(), L"AddObject", {Variant(L"t"), Variant(static_cast<IDispatch*>(object.get()))});
  constexpr int kCalls = 200000;
  run_loop(control.get(), L"script loop, no calls", L"", kCalls);
  run_loop(control.get(), L"method call t.Add(i, 1)", L"t.Add(i, 1);", kCalls);
  run_loop(control.get(), L"property read t.Name", L"t.Name;", kCalls);
  run_loop(control.get(), L"object returned and called", L"t.MakeChild('x').Add(i, 1);", kCalls);
  run_loop(control.get(), L"Dictionary Add/Item", L"var d = new ActiveXObject('Scripting.Dictionary'); d.Add(i, i); d.Item(i);", kCalls / 10);
  control.reset();
  object.reset();
  CoUninitialize();
  return 0;
}
