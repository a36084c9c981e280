// The bridge in script: a test object added to the engine and driven by
// JScript code, checked through Eval.
#include <gtest/gtest.h>

#include "platform/script/script_classes.h"
#include "platform/script/script_control.h"
#include "platform/script/testing/bridge_test_object.h"

namespace Tavrin::Platform::Script {
namespace {

using Com::ComPtr;
using Com::Variant;

class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_EQ(create_script_control(IID_IDispatch, control_.put_void()), S_OK);
    Com::put_property(control_.get(), L"Language", Variant(L"JScript"));
    object_ = Testing::make_bridge_test_object(L"first");
    Com::invoke_method(control_.get(), L"AddObject", {Variant(L"t"), Variant(static_cast<IDispatch*>(object_.get()))});
  }
  void TearDown() override {
    control_.reset();
    object_.reset();
    CoUninitialize();
  }

  Variant eval(const std::wstring& expression) {
    return Com::invoke_method(control_.get(), L"Eval", {Variant(expression)});
  }
  std::wstring eval_text(const std::wstring& expression) { return eval(expression).to_string(); }

  ComPtr<IDispatch> control_;
  ComPtr<IBridgeTest> object_;
};

// Properties read and write through IDispatch, names in any case.
TEST_F(BridgeTest, PropertiesReadAndWriteIgnoringCase) {
  EXPECT_EQ(eval_text(L"t.Name"), L"first");
  eval(L"t.name = 'second'");
  EXPECT_EQ(eval_text(L"t.NAME"), L"second");
}

}  // namespace
}  // namespace Tavrin::Platform::Script
