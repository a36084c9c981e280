// A script control ready for JScript, with the built-in classes
// registered, for tests that drive automation classes from script.
#ifndef QUORVANE_PLATFORM_SCRIPT_TESTING_SCRIPT_FIXTURE_H_
#define QUORVANE_PLATFORM_SCRIPT_TESTING_SCRIPT_FIXTURE_H_

#include <string>

#include <gtest/gtest.h>

#include "platform/com/com.h"
#include "platform/script/script_classes.h"

namespace Tavrin::Platform::Script::Testing {

class ScriptFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    register_script_classes();
    ASSERT_EQ(create_script_control(IID_IDispatch, control_.put_void()), S_OK);
    Com::put_property(control_.get(), L"Language", Com::Variant(L"JScript"));
  }
  void TearDown() override {
    control_.reset();
    CoUninitialize();
  }

  void add_code(const std::wstring& code) { Com::invoke_method(control_.get(), L"AddCode", {Com::Variant(code)}); }
  Com::Variant eval(const std::wstring& expression) {
    return Com::invoke_method(control_.get(), L"Eval", {Com::Variant(expression)});
  }
  std::wstring eval_text(const std::wstring& expression) { return eval(expression).to_string(); }

  Com::ComPtr<IDispatch> control_;
};

}  // namespace Tavrin::Platform::Script::Testing

#endif  // QUORVANE_PLATFORM_SCRIPT_TESTING_SCRIPT_FIXTURE_H_
