// The script control through IDispatch, as a host drives it.
#include "platform/script/script_control.h"

#include <gtest/gtest.h>

#include "platform/script/engine_internal.h"
#include "platform/script/script_classes.h"

namespace Tavrin::Platform::Script {
namespace {

using Com::ComPtr;
using Com::Variant;

class ScriptControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    register_script_classes();
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kScriptControlProgId, &clsid), S_OK);
    ASSERT_EQ(Com::create_running_object(clsid, IID_IDispatch, control_.put_void()), S_OK);
    Com::put_property(control_.get(), L"Language", Variant(L"JScript"));
  }
  void TearDown() override {
    control_.reset();
    CoUninitialize();
  }

  void add_code(const std::wstring& code) { Com::invoke_method(control_.get(), L"AddCode", {Variant(code)}); }
  Variant eval(const std::wstring& expression) {
    return Com::invoke_method(control_.get(), L"Eval", {Variant(expression)});
  }
  ComPtr<IDispatch> error() {
    Variant e = Com::get_property(control_.get(), L"Error");
    return ComPtr<IDispatch>(e.pdispVal);
  }

  ComPtr<IDispatch> control_;
};

TEST_F(ScriptControlTest, RunsAFunctionOfAddedCode) {
  add_code(L"function twice(x) { return 2 * x; }");
  const Variant result = Com::invoke_method(control_.get(), L"Run", {Variant(L"twice"), Variant(21)});
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 42);
}

// Only JScript is offered; another language fails and names itself.
TEST_F(ScriptControlTest, OtherLanguageFails) {
  try {
    Com::put_property(control_.get(), L"Language", Variant(L"VBScript"));
    FAIL() << "VBScript accepted";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), E_INVALIDARG);
    EXPECT_NE(e.Description().find(L"VBScript"), std::wstring::npos);
  }
  EXPECT_EQ(Com::get_property(control_.get(), L"Language").to_string(), L"JScript");
}

// An endless loop ends with a script error once the timeout has passed.
TEST_F(ScriptControlTest, TimeoutEndsAnEndlessLoop) {
  Com::put_property(control_.get(), L"Timeout", Variant(200));
  add_code(L"function spin() { for (;;) {} }");
  try {
    Com::invoke_method(control_.get(), L"Run", {Variant(L"spin")});
    FAIL() << "the loop returned";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), kScriptTimeoutError);
  }
  auto err = error();
  EXPECT_EQ(Com::get_property(err.get(), L"Number").lVal, kScriptTimeoutError);
  // The next call gets a fresh deadline and runs.
  add_code(L"function quick() { return 1; }");
  EXPECT_EQ(Com::invoke_method(control_.get(), L"Run", {Variant(L"quick")}).lVal, 1);
}

// A script cannot catch the timeout and go on looping.
TEST_F(ScriptControlTest, TimeoutCannotBeCaught) {
  Com::put_property(control_.get(), L"Timeout", Variant(200));
  add_code(L"function stubborn() { for (;;) { try { for (;;) {} } catch (e) {} } }");
  EXPECT_THROW(Com::invoke_method(control_.get(), L"Run", {Variant(L"stubborn")}), _com_error);
}

// A call of an undefined function: line and column of the code block.
TEST_F(ScriptControlTest, RuntimeErrorTellsLineAndColumn) {
  add_code(L"function f() {\n  var a = 1;\n  missing(a);\n}");
  EXPECT_THROW(Com::invoke_method(control_.get(), L"Run", {Variant(L"f")}), _com_error);
  auto err = error();
  EXPECT_EQ(Com::get_property(err.get(), L"Line").lVal, 3);
  EXPECT_EQ(Com::get_property(err.get(), L"Column").lVal, 2);
  EXPECT_EQ(Com::get_property(err.get(), L"Number").lVal, kScriptUndefinedError);
  EXPECT_EQ(Com::get_property(err.get(), L"Description").to_string(), L"'missing' is undefined");
  Com::invoke_method(err.get(), L"Clear", {});
  EXPECT_EQ(Com::get_property(err.get(), L"Number").lVal, 0);
}

// A syntax error fails AddCode with the line and its text.
TEST_F(ScriptControlTest, SyntaxErrorTellsLineAndText) {
  try {
    add_code(L"var ok = 1;\nvar broken = (2 + ;\n");
    FAIL() << "the code compiled";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), kScriptSyntaxError);
  }
  auto err = error();
  EXPECT_EQ(Com::get_property(err.get(), L"Line").lVal, 2);
  EXPECT_EQ(Com::get_property(err.get(), L"Text").to_string(), L"var broken = (2 + ;");
  EXPECT_FALSE(Com::get_property(err.get(), L"Description").to_string().empty());
}

// An error thrown by the script with a number keeps it.
TEST_F(ScriptControlTest, ThrownErrorKeepsItsNumberAndMessage) {
  add_code(L"function f() { var e = new Error('custom failure'); e.number = -2147467259; throw e; }");
  EXPECT_THROW(Com::invoke_method(control_.get(), L"Run", {Variant(L"f")}), _com_error);
  auto err = error();
  EXPECT_EQ(Com::get_property(err.get(), L"Number").lVal, E_FAIL);
  EXPECT_EQ(Com::get_property(err.get(), L"Description").to_string(), L"custom failure");
}

// Run takes its parameters as one array too, as the runner passes them.
TEST_F(ScriptControlTest, RunTakesAParameterArray) {
  add_code(L"function count() { return arguments.length; }");
  Variant none;
  none.vt = VT_ARRAY | VT_VARIANT;
  none.parray = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  EXPECT_EQ(Com::invoke_method(control_.get(), L"Run", {Variant(L"count"), none}).lVal, 0);
  EXPECT_EQ(Com::invoke_method(control_.get(), L"Run", {Variant(L"count"), Variant(1), Variant(2)}).lVal, 2);
}

// Reset drops code and objects; setting the language again keeps objects.
TEST_F(ScriptControlTest, ResetAndLanguageAgain) {
  add_code(L"var kept = 1;");
  Com::invoke_method(control_.get(), L"AddObject", {Variant(L"self"), Variant(control_.get())});
  Com::put_property(control_.get(), L"Language", Variant(L"jscript"));
  EXPECT_EQ(eval(L"typeof kept").to_string(), L"undefined");
  EXPECT_EQ(eval(L"self.Language").to_string(), L"JScript");
  Com::invoke_method(control_.get(), L"Reset", {});
  EXPECT_EQ(eval(L"typeof self").to_string(), L"undefined");
}

// Both program ids reach the class; code needs a language first.
TEST(ScriptControlClass, BothProgramIdsAndLanguageFirst) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  register_script_classes();
  CLSID a{}, b{};
  EXPECT_EQ(CLSIDFromProgID(kScriptControlProgId, &a), S_OK);
  EXPECT_EQ(CLSIDFromProgID(kScriptControlVersionProgId, &b), S_OK);
  EXPECT_EQ(a, CLSID_ScriptControl);
  EXPECT_EQ(b, CLSID_ScriptControl);
  ComPtr<IScriptControl> control;
  ASSERT_EQ(Com::create_running_object(CLSID_ScriptControl, IScriptControl::kIid, control.put_void()), S_OK);
  Com::Bstr code(L"var x = 1;");
  EXPECT_EQ(control->AddCode(code.get()), E_UNEXPECTED);
  control.reset();
  CoUninitialize();
}

}  // namespace
}  // namespace Tavrin::Platform::Script
