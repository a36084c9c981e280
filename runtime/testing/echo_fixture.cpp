#include "runtime/testing/echo_fixture.h"

#include "platform/com/testing/class_registration.h"
#include "proxy/velmora_proxy.h"

namespace Tavrin::Runtime::Testing {

using namespace Platform::Com;

std::string echo_config(const std::optional<std::string>& console_log_level, int max_console_value,
                        const std::string& common, const std::string& runtime) {
  std::string xml = "<config>\n  <section id=\"common\">\n" + common + "  </section>\n  <section id=\"runtime\">\n";
  if (console_log_level)
    xml += "    <parameter id=\"console_log_level\" type=\"string\"><value>" + *console_log_level +
           "</value></parameter>\n";
  xml += "    <parameter id=\"max_console_value\" type=\"integer\"><value>" + std::to_string(max_console_value) +
         "</value></parameter>\n" + runtime + "  </section>\n</config>\n";
  return xml;
}

void EchoTest::TearDown() {
  object_ = nullptr;
  capture_.reset();
  if (initialised_) CoUninitialize();
}

void EchoTest::Create(const std::optional<std::wstring>& suite, const std::wstring& script,
                      StdoutCapture::Target target) {
  capture_ = std::make_unique<StdoutCapture>(target);
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  initialised_ = true;
  Platform::Com::Testing::register_inproc_server(CLSID_VelmoraScript, QUORVANE_BIN_DIR "/QuorvaneRuntime.so");
  Platform::Com::Testing::register_inproc_server(CLSID_VelmoraProxy, FAKE_PROXY_MODULE);
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(CoCreateInstance(CLSID_VelmoraScript, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void()), S_OK);
  object_ = unknown.as<IDispatch>();
  ASSERT_TRUE(object_);
  if (suite) Call(L"PutParameter", {Variant(L"suite"), Variant(*suite)});
  put_property(object_.get(), L"scriptFullName", Variant(script));
}

Variant EchoTest::Call(const std::wstring& name, const std::vector<Variant>& args) {
  return invoke_method(object_.get(), name, args);
}

void EchoTest::Node(const std::wstring& uuid, const std::wstring& type, const std::wstring& name,
                    const std::wstring& value) {
  Call(L"LogNode", {Variant(uuid), Variant(type), Variant(name), Variant(value)});
}

void EchoTest::Element(const std::wstring& name, const std::wstring& uuid) {
  Call(L"LogElement", {Variant(name), Variant(uuid)});
}

void EchoTest::Page(const std::wstring& uuid, const std::wstring& url, const std::wstring& title) {
  Call(L"Remote", {Variant(L"page " + uuid + L" " + url + L" " + title)});
}

HRESULT EchoTest::Failure(const std::wstring& name, const std::vector<Variant>& args, std::wstring* description) {
  try {
    Call(name, args);
  } catch (const _com_error& e) {
    if (description) *description = e.Description();
    return e.Error();
  }
  return S_OK;
}

ComPtr<IVelmoraScript> EchoTest::Direct() { return object_.as<IVelmoraScript>(); }

std::string EchoTest::Transcript() {
  object_ = nullptr;
  return capture_ ? capture_->Finish() : std::string();
}

}  // namespace Tavrin::Runtime::Testing
