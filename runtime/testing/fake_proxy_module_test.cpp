// The stand-in for the proxy's object describes its interface as the real
// one does, so that what the runtime tests see of it holds for the real
// server too.
#include <gtest/gtest.h>

#include "platform/com/com.h"
#include "platform/com/testing/class_registration.h"
#include "proxy/testing/velmora_proxy_type_check.h"
#include "proxy/velmora_proxy.h"

namespace {

using namespace Tavrin::Platform::Com;

TEST(FakeProxyModule, DescribesTheInterfaceAsTheRealProxy) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  Testing::register_inproc_server(CLSID_VelmoraProxy, FAKE_PROXY_MODULE);
  {
    ComPtr<IDispatch> object;
    ASSERT_EQ(CoCreateInstance(CLSID_VelmoraProxy, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()),
              S_OK);
    ComPtr<ITypeInfo> type;
    ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, type.put()), S_OK);
    Tavrin::Proxy::Testing::expect_velmora_proxy_type(type.get());
    const Variant busy = invoke_method(object.get(), L"IsBusy", {});
    EXPECT_EQ(busy.vt, VT_BOOL);
    EXPECT_EQ(busy.boolVal, VARIANT_FALSE);
  }
  CoUninitialize();
}

}  // namespace
