// The proxy object in process: its interface, its dispatch interface and
// the state its objects share.
#include "proxy/proxy_object.h"

#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/com/apartment.h"
#include "platform/com/dispatch_call.h"
#include "platform/com/error_info.h"
#include "proxy/velmora_proxy.h"

namespace Tavrin::Proxy {
namespace {

namespace Com = Tavrin::Platform::Com;
using Com::ComPtr;
using std::chrono::milliseconds;

class ProxyObjectTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }

  ComPtr<IVelmoraProxy> create() {
    ComPtr<IVelmoraProxy> object;
    EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IVelmoraProxy, object.put_void()), S_OK);
    return object;
  }

  static bool busy(IVelmoraProxy* object) {
    VARIANT_BOOL value = 7;
    EXPECT_EQ(object->IsBusy(&value), S_OK);
    EXPECT_TRUE(value == VARIANT_TRUE || value == VARIANT_FALSE);
    return value == VARIANT_TRUE;
  }

  std::shared_ptr<ProxyState> state_ = std::make_shared<ProxyState>(milliseconds(0), [](const std::wstring& c) {
    if (c == L"fail") throw std::runtime_error("no page answers");
    return CommandAnswer{L"re:" + c, L"http://x/", L"X", L"page-1"};
  });
  ComPtr<IClassFactory> factory_ = make_proxy_class_factory(state_);
};

// Objects of one factory see one request count and one busy state; an
// object's hold ends when the object goes.
TEST_F(ProxyObjectTest, ObjectsShareTheServerState) {
  ComPtr<IVelmoraProxy> run = create(), guard = create();
  Com::Bstr command(L"go"), text, url, title, page;
  ASSERT_EQ(run->Command(command.get(), text.put(), url.put(), title.put(), page.put()), S_OK);
  EXPECT_EQ(text.str(), L"re:go");
  EXPECT_EQ(page.str(), L"page-1");
  ULONGLONG count = 0;
  EXPECT_EQ(guard->RequestCount(&count), S_OK);
  EXPECT_EQ(count, 1u);

  EXPECT_FALSE(busy(guard.get()));
  EXPECT_EQ(run->SetStop(VARIANT_FALSE), S_OK);
  EXPECT_TRUE(busy(guard.get()));
  EXPECT_EQ(guard->SetStop(VARIANT_TRUE), S_OK);
  EXPECT_TRUE(busy(guard.get()));
  run.reset();
  EXPECT_FALSE(busy(guard.get()));
}

// Through IDispatch the members are found by name in any case, out-values
// come back by reference and the retval as result.
TEST_F(ProxyObjectTest, DispatchInterfaceReachesTheMembers) {
  ComPtr<IDispatch> object = create().as<IDispatch>();
  ASSERT_TRUE(object);
  EXPECT_EQ(Com::member_id(object.get(), L"requestcount"), DISPID_VELMORA_PROXY_REQUEST_COUNT);
  EXPECT_EQ(Com::invoke_method(object.get(), L"Command", {Com::Variant(L"a"), Com::Variant(L""), Com::Variant(L""),
                                                         Com::Variant(L"")})
                .to_string(),
            L"page-1");
  const Com::Variant count = Com::invoke_method(object.get(), L"RequestCount", {});
  EXPECT_EQ(count.vt, VT_UI8);
  EXPECT_EQ(count.ullVal, 1u);

  Com::invoke_method(object.get(), L"setstop", {Com::Variant(false)});
  const Com::Variant busy = Com::invoke_method(object.get(), L"IsBusy", {});
  EXPECT_EQ(busy.vt, VT_BOOL);
  EXPECT_EQ(busy.boolVal, VARIANT_TRUE);
}

// A command that fails reports E_FAIL with its description; bad pointers
// and foreign interfaces are refused.
TEST_F(ProxyObjectTest, FailuresAreReported) {
  ComPtr<IVelmoraProxy> object = create();
  Com::Bstr command(L"fail"), text, url, title, page;
  EXPECT_EQ(object->Command(command.get(), text.put(), url.put(), title.put(), page.put()), E_FAIL);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  Com::Bstr description;
  info->GetDescription(description.put());
  EXPECT_EQ(description.str(), L"no page answers");
  EXPECT_TRUE(page.is_null());

  EXPECT_EQ(object->Command(command.get(), nullptr, url.put(), title.put(), page.put()), E_POINTER);
  EXPECT_EQ(object->IsBusy(nullptr), E_POINTER);
  EXPECT_EQ(object->RequestCount(nullptr), E_POINTER);
  EXPECT_FALSE(object.as<IClassFactory>());

  ComPtr<IUnknown> aggregated;
  EXPECT_EQ(factory_->CreateInstance(object.get(), IID_IUnknown, aggregated.put_void()), CLASS_E_NOAGGREGATION);
}

}  // namespace
}  // namespace Tavrin::Proxy
