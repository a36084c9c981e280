// The one description of IVelmoraProxy, as callers that go by member kinds
// read it: from the table, and from the real object's IDispatch.
#include "proxy/velmora_proxy_type.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/apartment.h"
#include "platform/com/dispatch_call.h"
#include "proxy/proxy_object.h"
#include "proxy/testing/velmora_proxy_type_check.h"
#include "proxy/velmora_proxy.h"

namespace Tavrin::Proxy {
namespace {

namespace Com = Tavrin::Platform::Com;
using Com::ComPtr;

// The table: members in interface order; IsBusy's flag is the call's result.
TEST(VelmoraProxyType, TableDescribesTheInterface) {
  ComPtr<ITypeInfo> type;
  ASSERT_EQ(Com::create_type_info(velmora_proxy_description(), type.put()), S_OK);
  Testing::expect_velmora_proxy_type(type.get());
}

class VelmoraProxyObjectType : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override {
    object_ = nullptr;
    CoUninitialize();
  }
  ComPtr<IDispatch> create() {
    const auto factory = make_proxy_class_factory(std::make_shared<ProxyState>());
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object_.put_void()), S_OK);
    return object_;
  }
  ComPtr<IDispatch> object_;
};

// The server's object answers IDispatch from the same table: its type
// information says so, and IsBusy comes back as the result of a call
// without arguments.
TEST_F(VelmoraProxyObjectType, ObjectAnswersFromTheTable) {
  ComPtr<IDispatch> object = create();
  ASSERT_TRUE(object);
  ComPtr<ITypeInfo> type;
  ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, type.put()), S_OK);
  Testing::expect_velmora_proxy_type(type.get());
  const Com::Variant busy = Com::invoke_method(object.get(), L"IsBusy", {});
  EXPECT_EQ(busy.vt, VT_BOOL);
}

}  // namespace
}  // namespace Tavrin::Proxy
