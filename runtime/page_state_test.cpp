// The state the runtime object keeps between calls, seen from inside: the
// page that Remote reported, and the configuration read at creation.
#include <gtest/gtest.h>

#include "platform/com/com.h"
#include "platform/com/testing/class_registration.h"
#include "proxy/velmora_proxy.h"
#include "runtime/class_factory.h"
#include "runtime/script_object.h"
#include "runtime/testing/private_copy.h"

namespace {

using namespace Tavrin::Platform::Com;
using Tavrin::Runtime::CVelmoraScript;
using Tavrin::Runtime::VelmoraScriptFactory;
using Tavrin::Runtime::Testing::config_with_level;
using Tavrin::Runtime::Testing::InPrivateCopy;

class ObjectState : public ::testing::Test {
 protected:
  void TearDown() override {
    script_ = nullptr;
    if (initialised_) CoUninitialize();
  }
  void Create() {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    initialised_ = true;
    Testing::register_inproc_server(CLSID_VelmoraProxy, FAKE_PROXY_MODULE);
    auto factory = ComPtr<IClassFactory>::attach(new VelmoraScriptFactory());
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVelmoraScript, script_.put_void()), S_OK);
    object_ = static_cast<CVelmoraScript*>(script_.get());
  }
  std::wstring Remote(const std::wstring& command) {
    Bstr text(command), result;
    EXPECT_EQ(script_->Remote(text.get(), result.put()), S_OK);
    return result.str();
  }

  bool initialised_ = false;
  ComPtr<IVelmoraScript> script_;
  CVelmoraScript* object_ = nullptr;
};

// The run's page is the one the last answer that named a page concerned,
// read from the answer itself. A page reported twice sets page pending
// once: after the echo cleared it, the same uuid does not set it again; a
// new uuid does, with its url and title. An answer that names no page (the
// proxy's own) leaves the page as it was.
TEST_F(ObjectState, RemoteSetsPagePendingOncePerPage) {
  if (!InPrivateCopy(config_with_level("message"))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  EXPECT_FALSE(object_->page_state().pending);
  EXPECT_EQ(Remote(L"page u-1 http://one/ One"),
            L"{\"ok\":true,\"value\":\"answer\",\"page\":\"u-1\",\"url\":\"http://one/\",\"title\":\"One\"}");
  EXPECT_TRUE(object_->page_state().pending);
  EXPECT_EQ(object_->page_state().uuid, L"u-1");
  EXPECT_EQ(object_->page_state().url, L"http://one/");
  EXPECT_EQ(object_->page_state().title, L"One");

  object_->page_state().pending = false;  // as the echo does once it printed the header
  Remote(L"page u-1 http://one/ One");
  EXPECT_FALSE(object_->page_state().pending);

  Remote(L"page u-2 http://two/ Two");
  EXPECT_TRUE(object_->page_state().pending);
  EXPECT_EQ(object_->page_state().uuid, L"u-2");
  EXPECT_EQ(object_->page_state().title, L"Two");

  // An answer of the proxy's own, and a failing command, leave the page
  // as it was.
  object_->page_state().pending = false;
  EXPECT_EQ(Remote(L"pages"), L"{\"ok\":true,\"value\":null}");
  EXPECT_FALSE(object_->page_state().pending);
  EXPECT_EQ(object_->page_state().uuid, L"u-2");
  Bstr fail(L"fail"), result;
  EXPECT_EQ(script_->Remote(fail.get(), result.put()), E_FAIL);
  EXPECT_FALSE(object_->page_state().pending);
  EXPECT_EQ(object_->page_state().uuid, L"u-2");
}

// Creation reads max_console_value and puts parameters into "common".
TEST_F(ObjectState, ReadsConfigurationAtCreation) {
  if (!InPrivateCopy(config_with_level("message"))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  EXPECT_EQ(object_->max_console_value(), 12);
  EXPECT_TRUE(object_->logger().enabled(Tavrin::ScriptLogger::kMessage));
  EXPECT_FALSE(object_->logger().enabled(Tavrin::ScriptLogger::kAssert));
  Bstr key(L"browser"), value(L"firefox");
  ASSERT_EQ(script_->PutParameter(key.get(), value.get()), S_OK);
  EXPECT_EQ(object_->configuration().Parameter(L"common", L"browser").value, L"firefox");
  EXPECT_EQ(object_->configuration().Parameter(L"common", L"browser").type, Tavrin::ParameterType::String);
}

// max_console_value falls back to 50 when config.xml lacks it.
TEST_F(ObjectState, MaxConsoleValueDefaultsTo50) {
  if (!InPrivateCopy(std::string("<config><section id=\"runtime\"></section></config>"))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  EXPECT_EQ(object_->max_console_value(), 50);
}

}  // namespace
