// The bridge in script: a test object added to the engine and driven by
// JScript code, checked through Eval.
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "platform/com/com_object.h"

#include "platform/script/script_classes.h"
#include "platform/script/script_control.h"
#include "platform/script/testing/bridge_test_object.h"

namespace Tavrin::Platform::Script {
namespace {

using Com::ComPtr;
using Com::Variant;

// The process's resident memory, from /proc.
long resident_kilobytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

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

// Fixed, optional and variable argument lists, packed as the callee says.
TEST_F(BridgeTest, MethodsWithFixedOptionalAndVariableArguments) {
  EXPECT_EQ(eval(L"t.Add(2, 3)").lVal, 5);
  EXPECT_EQ(eval(L"t.aDD(2, 3)").lVal, 5);
  EXPECT_EQ(eval(L"t.AddOptional(1)").lVal, 8);
  EXPECT_EQ(eval(L"t.AddOptional(1, 2)").lVal, 3);
  EXPECT_EQ(eval_text(L"t.Join(1, 'a', 2.5)"), L"1,a,2.5");
  EXPECT_EQ(eval_text(L"t.Join()"), L"");
  EXPECT_EQ(eval_text(L"typeof t.Add"), L"function");
}

// Numbers go as 32-bit integers when they are, else as doubles; empty,
// null and booleans keep their kinds both ways.
TEST_F(BridgeTest, ValuesKeepTheirKinds) {
  EXPECT_EQ(eval(L"t.Echo(5)").vt, VT_I4);
  EXPECT_EQ(eval(L"t.Echo(2.5)").vt, VT_R8);
  EXPECT_EQ(eval(L"t.Echo(4294967296)").vt, VT_R8);
  EXPECT_EQ(eval_text(L"typeof t.Echo(undefined)"), L"undefined");
  EXPECT_EQ(eval_text(L"String(t.Echo(null))"), L"null");
  EXPECT_EQ(eval_text(L"t.Echo(true) === true"), L"-1");
  EXPECT_EQ(eval(L"t.Echo(-0)").vt, VT_R8);
}

// A failing call raises a script error with the HRESULT as a signed number
// and the callee's description as description and message.
TEST_F(BridgeTest, FailingCallRaisesNumberAndDescription) {
  EXPECT_EQ(eval_text(L"(function () { try { t.Fail('broken thing', 0x80004005 | 0); } catch (e) {"
                      L" return e.number + '|' + e.description + '|' + e.message; } })()"),
            L"-2147467259|broken thing|broken thing");
  // Uncaught, the script control's error tells the same.
  Com::invoke_method(control_.get(), L"AddCode", {Variant(L"function f() {\n t.Fail('gone wrong', -2147024894);\n}")});
  EXPECT_THROW(Com::invoke_method(control_.get(), L"Run", {Variant(L"f")}), _com_error);
  Variant error = Com::get_property(control_.get(), L"Error");
  EXPECT_EQ(Com::get_property(error.pdispVal, L"Number").lVal, hresult_of(0x80070002));
  EXPECT_EQ(Com::get_property(error.pdispVal, L"Description").to_string(), L"gone wrong");
  EXPECT_EQ(Com::get_property(error.pdispVal, L"Line").lVal, 2);
}

// Type mismatches of the dispatch layer read as such, not as unknown codes.
TEST_F(BridgeTest, DispatchFailuresHaveTexts) {
  EXPECT_EQ(eval_text(L"(function () { try { t.Add('x', 1); } catch (e) { return e.message; } })()"),
            L"Type mismatch.");
  EXPECT_EQ(eval_text(L"(function () { try { t.Add(1); } catch (e) { return e.message; } })()"),
            L"Invalid number of parameters.");
}

// Unknown members read as undefined; writing one fails.
TEST_F(BridgeTest, UnknownMembers) {
  EXPECT_EQ(eval_text(L"typeof t.NoSuchThing"), L"undefined");
  EXPECT_EQ(eval_text(L"'Add' in t"), L"-1");
  EXPECT_EQ(eval_text(L"'Nope' in t"), L"0");
  EXPECT_EQ(eval_text(L"(function () { try { t.Nope = 1; return 'written'; } catch (e) { return e.number; } })()"),
            std::to_wstring(hresult_of(0x800A01B6)));
}

// Characters outside the BMP cross intact both ways: two units in script,
// one character for the callee.
TEST_F(BridgeTest, EmojiCrossBothWays) {
  EXPECT_EQ(eval(L"t.Length('a\\uD83D\\uDE00b')").lVal, 3);
  EXPECT_EQ(eval_text(L"t.Echo('a\\uD83D\\uDE00b') === 'a\\uD83D\\uDE00b'"), L"-1");
  Com::Bstr name(L"\U0001F600");
  ASSERT_EQ(object_->put_Name(name.get()), S_OK);
  EXPECT_EQ(eval(L"t.Name.length").lVal, 2);
  EXPECT_EQ(eval(L"t.Name.charCodeAt(0)").lVal, 0xD83D);
  EXPECT_EQ(eval_text(L"t.Name"), L"\U0001F600");
  // Code text itself may hold them too.
  EXPECT_EQ(eval(L"'\U0001F600'.length").lVal, 2);
}

// Arrays show as in JScript, through VBArray.
TEST_F(BridgeTest, ArraysThroughVBArray) {
  EXPECT_EQ(eval_text(L"new VBArray(t.Numbers()).toArray().join('/')"), L"1/two/3.5");
  EXPECT_EQ(eval(L"new VBArray(t.Numbers()).ubound()").lVal, 2);
  EXPECT_EQ(eval(L"new VBArray(t.Numbers()).lbound()").lVal, 0);
  EXPECT_EQ(eval_text(L"new VBArray(t.Numbers()).getItem(1)"), L"two");
  // An array goes back to automation as the same array.
  EXPECT_EQ(eval_text(L"new VBArray(t.Echo(t.Numbers())).toArray().length"), L"3");
  EXPECT_EQ(eval_text(L"(function () { try { new VBArray(5); } catch (e) { return e.message; } })()"),
            L"VBArray expected");
  // Arrays of other element kinds read the same, and keep their kind.
  EXPECT_EQ(eval_text(L"new VBArray(t.Strings()).toArray().join('+')"), L"x+y");
  EXPECT_EQ(eval(L"t.Strings()").vt, VT_ARRAY | VT_BSTR);
}

// Objects returned by calls are script objects too, and can be called.
TEST_F(BridgeTest, ReturnedObjectsAreCallable) {
  EXPECT_EQ(eval_text(L"t.MakeChild('kid').Name"), L"kid");
  EXPECT_EQ(eval_text(L"t.MakeChild('a').MakeChild('b').Name"), L"b");
  EXPECT_EQ(eval(L"(function () { var c = t.MakeChild('c'); c.Add(1, 1); c.Add(1, 1); return c.Calls; })()").lVal,
            2);
  // Handed back to automation, a script object is its own dispatch object.
  EXPECT_EQ(eval_text(L"t.ReadProperty(t.MakeChild('back'), 'Name')"), L"back");
}

// Script objects and functions handed to automation are dispatch objects.
TEST_F(BridgeTest, ScriptValuesAsDispatchObjects) {
  EXPECT_EQ(eval(L"t.CallBack(function (x) { return x * 2; }, 21)").lVal, 42);
  EXPECT_EQ(eval(L"t.ReadProperty({ depth: 5 }, 'depth')").lVal, 5);
  EXPECT_EQ(eval_text(L"t.ReadProperty({ depth: 5 }, 'DEPTH')"), L"");  // case matters in script objects
  EXPECT_EQ(eval_text(L"(function () { try { t.CallBack(function () { throw new Error('inner'); }, 1); }"
                      L" catch (e) { return e.description; } })()"),
            L"inner");
  // A function kept by automation after the engine is gone fails cleanly.
  Variant kept = eval(L"(function () { return function () { return 1; }; })()");
  ASSERT_EQ(kept.vt, VT_DISPATCH);
  control_.reset();
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  Variant result;
  EXPECT_EQ(kept.pdispVal->Invoke(DISPID_VALUE, GUID_NULL, 0, DISPATCH_METHOD, &none, result.put(), nullptr,
                                  nullptr),
            E_UNEXPECTED);
}

// Enumerator walks a collection's _NewEnum.
TEST_F(BridgeTest, EnumeratorWalksACollection) {
  EXPECT_EQ(eval_text(L"(function () { var out = []; for (var e = new Enumerator(t); !e.atEnd(); e.moveNext())"
                      L" out.push(e.item()); return out.join(''); })()"),
            L"abc");
  EXPECT_EQ(eval_text(L"(function () { var e = new Enumerator(t); e.moveNext(); e.moveFirst(); return e.item(); })()"),
            L"a");
  EXPECT_EQ(eval_text(L"(function () { try { new Enumerator({}); } catch (e) { return e.message; } })()"),
            L"Object not a collection");
}

// Dates cross as automation dates and back.
TEST_F(BridgeTest, DatesRoundTrip) {
  EXPECT_EQ(eval(L"t.Echo(new Date(2020, 0, 2, 3, 4, 5)).getTime() === new Date(2020, 0, 2, 3, 4, 5).getTime()").boolVal,
            VARIANT_TRUE);
  Variant date = eval(L"new Date(2021, 11, 31, 23, 59, 58)");
  ASSERT_EQ(date.vt, VT_DATE);
  EXPECT_EQ(date.to_string(), L"2021-12-31 23:59:58");
}

// new ActiveXObject creates built-in classes; an unknown one fails naming it.
TEST_F(BridgeTest, ActiveXObjectCreatesClasses) {
  register_script_classes();
  EXPECT_EQ(eval_text(L"new ActiveXObject('MSScriptControl.ScriptControl').Timeout"), L"10000");
  EXPECT_EQ(eval_text(L"(function () { try { new ActiveXObject('No.SuchClass'); } catch (e) {"
                      L" return (e.number >>> 0).toString(16) + ' ' + (e.message.indexOf('No.SuchClass') >= 0); } })()"),
            L"800a01ad true");
}

// Members added to the global names call through to the object.
TEST_F(BridgeTest, AddedMembersAreGlobalNames) {
  auto other = Testing::make_bridge_test_object(L"global");
  Com::invoke_method(control_.get(), L"AddObject",
                     {Variant(L"g"), Variant(static_cast<IDispatch*>(other.get())), Variant(true)});
  EXPECT_EQ(eval(L"Add(20, 22)").lVal, 42);
  EXPECT_EQ(eval_text(L"Name"), L"global");
  eval(L"Name = 'renamed'");
  EXPECT_EQ(eval_text(L"g.Name"), L"renamed");
}

// The wrappers release their objects when the engine collects them: a
// loop of 100,000 calls leaves no object behind.
TEST_F(BridgeTest, LoopOfCallsLeavesNothingBehind) {
  const int before = Testing::bridge_test_objects;
  Com::invoke_method(control_.get(), L"AddCode",
                     {Variant(L"function churn(n) { var sum = 0; for (var i = 0; i < n; i++) {"
                              L" var c = t.MakeChild('x'); sum += c.Add(i, 1); } return sum; }")});
  const Variant sum = Com::invoke_method(control_.get(), L"Run", {Variant(L"churn"), Variant(100000)});
  EXPECT_EQ(sum.dblVal, 100000.0 * 100001.0 / 2);
  EXPECT_LE(Testing::bridge_test_objects - before, 1);  // at most the last child, until a collection
  // A second loop of the same size leaves the process no bigger: what the
  // first took is reused, nothing piles up.
  const long resident = resident_kilobytes();
  Com::invoke_method(control_.get(), L"Run", {Variant(L"churn"), Variant(100000)});
  EXPECT_LT(resident_kilobytes() - resident, 2048);
  control_.reset();
  EXPECT_EQ(Testing::bridge_test_objects, before);
}

// An object without type information (as out-of-process stubs are): each
// name is tried as a property first, and one that is no property is a
// method.
class Untyped final : public Com::ComObject<IDispatch, IDispatch> {
 public:
  explicit Untyped(IDispatch* inner) : inner_(inner) {}
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
    return inner_->GetIDsOfNames(iid, names, count, lcid, ids);
  }
  HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* info, UINT* arg_err) override {
    return inner_->Invoke(id, iid, lcid, flags, params, result, info, arg_err);
  }

 private:
  ~Untyped() override = default;
  ComPtr<IDispatch> inner_;
};

TEST_F(BridgeTest, ObjectsWithoutTypeInformation) {
  auto inner = Testing::make_bridge_test_object(L"plain");
  auto untyped = ComPtr<IDispatch>::attach(new Untyped(inner.get()));
  Com::invoke_method(control_.get(), L"AddObject", {Variant(L"u"), Variant(untyped.get())});
  EXPECT_EQ(eval_text(L"u.Name"), L"plain");
  EXPECT_EQ(eval_text(L"typeof u.Calls"), L"number");
  EXPECT_EQ(eval(L"u.Add(40, 2)").lVal, 42);
  EXPECT_EQ(eval_text(L"new VBArray(u.Numbers()).toArray().join()"), L"1,two,3.5");
}

}  // namespace
}  // namespace Tavrin::Platform::Script
