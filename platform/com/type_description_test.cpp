#include "platform/com/type_description.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/com/apartment.h"
#include "platform/com/com_object.h"
#include "platform/com/com_ptr.h"
#include "platform/com/dispatch_call.h"
#include "platform/com/error_info.h"

namespace {

using namespace Tavrin::Platform::Com;

constexpr CLSID kSampleClass = make_guid("{0B3C2D1E-0000-4000-8000-00000000C0DE}");

struct ISample : IDispatch {
  static constexpr IID kIid = make_guid("{0B3C2D1E-0001-4000-8000-00000000C0DE}");
  virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;
  virtual HRESULT Join(SAFEARRAY* parts, BSTR* joined) = 0;
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
  virtual HRESULT Split(BSTR text, BSTR* head, BSTR* tail) = 0;
  virtual HRESULT Fail(BSTR description) = 0;
  virtual HRESULT Quiet() = 0;

 protected:
  ~ISample() = default;
};

constexpr ParamDescription kAdd[] = {{L"a", PARAMFLAG_FIN}, {L"b", PARAMFLAG_FIN},
                                     {L"sum", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr ParamDescription kJoin[] = {{L"parts", PARAMFLAG_FIN}, {L"joined", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr ParamDescription kGetName[] = {{L"name", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr ParamDescription kPutName[] = {{nullptr, PARAMFLAG_FIN}};
constexpr ParamDescription kSplit[] = {{L"text", PARAMFLAG_FIN}, {L"head", PARAMFLAG_FOUT}, {L"tail", PARAMFLAG_FOUT}};
constexpr ParamDescription kFail[] = {{L"description", PARAMFLAG_FIN}};
constexpr MemberDescription kMembers[] = {
    {1, INVOKE_FUNC, L"Add", kAdd, false, L"Adds", bind_member<&ISample::Add>()},
    {2, INVOKE_FUNC, L"Join", kJoin, true, nullptr, bind_member<&ISample::Join>()},
    {DISPID_VALUE, INVOKE_PROPERTYGET, L"Name", kGetName, false, nullptr, bind_member<&ISample::get_Name>()},
    {DISPID_VALUE, INVOKE_PROPERTYPUT, L"Name", kPutName, false, nullptr, bind_member<&ISample::put_Name>()},
    {4, INVOKE_FUNC, L"Split", kSplit, false, nullptr, bind_member<&ISample::Split>()},
    {5, INVOKE_FUNC, L"Fail", kFail, false, nullptr, bind_member<&ISample::Fail>()},
    {6, INVOKE_FUNC, L"Quiet", {}, false, nullptr, bind_member<&ISample::Quiet>()},
};
constexpr InterfaceDescription kSample = {L"ISample", ISample::kIid, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE,
                                          kMembers};

class Sample final : public ComObject<DispatchImpl<ISample>, ISample, IDispatch> {
 public:
  Sample() : ComObject(kSample) {}
  HRESULT Add(LONG a, LONG b, LONG* sum) override {
    *sum = a + b;
    return S_OK;
  }
  HRESULT Join(SAFEARRAY* parts, BSTR* joined) override {
    std::wstring text;
    const auto* elements = static_cast<const VARIANT*>(parts->pvData);
    for (ULONG i = 0; i < parts->rgsabound[0].cElements; ++i)
      text += (i ? L"|" : L"") + Variant(elements[i]).to_string();
    *joined = alloc_bstr(text);
    return S_OK;
  }
  HRESULT get_Name(BSTR* name) override {
    *name = alloc_bstr(name_);
    return S_OK;
  }
  HRESULT put_Name(BSTR name) override {
    name_ = bstr_text(name);
    return S_OK;
  }
  HRESULT Split(BSTR text, BSTR* head, BSTR* tail) override {
    const std::wstring t = bstr_text(text);
    *head = alloc_bstr(t.substr(0, 1));
    *tail = alloc_bstr(t.size() > 1 ? t.substr(1) : L"");
    return S_OK;
  }
  HRESULT Fail(BSTR description) override {
    report_error(kSampleClass, ISample::kIid, bstr_text(description));
    return E_FAIL;
  }
  HRESULT Quiet() override { return E_UNEXPECTED; }

 private:
  ~Sample() = default;
  std::wstring name_;
};

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override {
    object_ = nullptr;
    SetErrorInfo(0, nullptr);
    CoUninitialize();
  }
  // Invoke with raw DISPPARAMS; `args` in call order.
  HRESULT Raw(DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result, EXCEPINFO* info,
              UINT* arg_err = nullptr) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return object_->Invoke(id, GUID_NULL, 0, flags, &params, result, info, arg_err);
  }

  ComPtr<IDispatch> object_ = ComPtr<IDispatch>::attach(new Sample());
};

// Scripts spell member names in any case.
TEST_F(DispatchTest, FindsMembersIgnoringCase) {
  EXPECT_EQ(member_id(object_.get(), L"add"), 1);
  EXPECT_EQ(member_id(object_.get(), L"NAME"), DISPID_VALUE);
  std::wstring unknown = L"Subtract";
  LPOLESTR names[] = {unknown.data()};
  DISPID id = 99;
  EXPECT_EQ(object_->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
}

// Arguments convert to the parameters' kinds; the retval is the result.
TEST_F(DispatchTest, ConvertsArgumentsAndReturnsRetval) {
  const Variant sum = invoke_method(object_.get(), L"Add", {Variant(L"2"), Variant(3.0)});
  ASSERT_EQ(sum.vt, VT_I4);
  EXPECT_EQ(sum.lVal, 5);
}

// A wrong count or a value that does not convert is refused before the
// call, naming the argument (its index in rgvarg).
TEST_F(DispatchTest, RefusesBadArguments) {
  Variant result;
  UINT arg_err = 99;
  EXPECT_EQ(Raw(1, DISPATCH_METHOD, {Variant(1)}, result.put(), nullptr), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Raw(1, DISPATCH_METHOD, {Variant(L"x"), Variant(1)}, result.put(), nullptr, &arg_err),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_err, 1u);  // the first argument is the last in rgvarg
  EXPECT_EQ(Raw(1, DISPATCH_METHOD, {Variant(1), Variant(L"9999999999")}, result.put(), nullptr, &arg_err),
            DISP_E_OVERFLOW);
  EXPECT_EQ(arg_err, 0u);
  EXPECT_EQ(Raw(42, DISPATCH_METHOD, {}, result.put(), nullptr), DISP_E_MEMBERNOTFOUND);
}

// A variable argument list arrives as one array in call order, also when
// empty.
TEST_F(DispatchTest, PacksVariableArgumentsInCallOrder) {
  EXPECT_EQ(invoke_method(object_.get(), L"Join", {Variant(L"a"), Variant(1), Variant(2.5)}).to_string(),
            L"a|1|2.5");
  EXPECT_EQ(invoke_method(object_.get(), L"Join", {}).to_string(), L"");
}

// A property is read and written through its own kinds only.
TEST_F(DispatchTest, ReadsAndWritesProperties) {
  EXPECT_EQ(get_property(object_.get(), L"Name").to_string(), L"");
  put_property(object_.get(), L"name", Variant(L"x"));
  EXPECT_EQ(get_property(object_.get(), L"Name").to_string(), L"x");
  Variant result;
  EXPECT_EQ(Raw(DISPID_VALUE, DISPATCH_METHOD, {}, result.put(), nullptr), DISP_E_MEMBERNOTFOUND);
}

// In coercions an object stands for the value of its value property.
TEST_F(DispatchTest, ObjectsConvertThroughTheirValueProperty) {
  put_property(object_.get(), L"Name", Variant(L"42"));
  const Variant object(object_.get());
  EXPECT_EQ(object.to_string(), L"42");
  Variant number;
  ASSERT_EQ(VariantChangeType(&number, &object, 0, VT_I4), S_OK);
  EXPECT_EQ(number.lVal, 42);
  EXPECT_EQ(VariantChangeType(&number, &object, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
}

// Out-parameters reach the caller's storage through by-reference
// arguments; a by-value argument in their place is accepted.
TEST_F(DispatchTest, WritesOutParametersBack) {
  BSTR head = SysAllocString(L"old");
  Variant tail;
  VARIANT head_ref, tail_ref;
  VariantInit(&head_ref);
  VariantInit(&tail_ref);
  head_ref.vt = VT_BYREF | VT_BSTR;
  head_ref.pbstrVal = &head;
  tail_ref.vt = VT_BYREF | VT_VARIANT;
  tail_ref.pvarVal = &tail;
  ASSERT_EQ(Raw(4, DISPATCH_METHOD, {Variant(L"abc"), head_ref, tail_ref}, nullptr, nullptr), S_OK);
  EXPECT_EQ(bstr_text(head), L"a");
  ASSERT_EQ(tail.vt, VT_BSTR);
  EXPECT_EQ(bstr_text(tail.bstrVal), L"bc");
  SysFreeString(head);
  EXPECT_EQ(Raw(4, DISPATCH_METHOD, {Variant(L"abc"), Variant(), Variant()}, nullptr, nullptr), S_OK);
}

// With EXCEPINFO the caller gets DISP_E_EXCEPTION and the member's code and
// description; without it, the code itself and the thread's error info.
TEST_F(DispatchTest, PassesFailuresAndDescriptions) {
  EXCEPINFO info{};
  ASSERT_EQ(Raw(5, DISPATCH_METHOD, {Variant(L"boom")}, nullptr, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, E_FAIL);
  EXPECT_EQ(bstr_text(info.bstrDescription), L"boom");
  EXPECT_EQ(bstr_text(info.bstrSource), guid_to_string(kSampleClass));
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrHelpFile);

  ASSERT_EQ(Raw(5, DISPATCH_METHOD, {Variant(L"bang")}, nullptr, nullptr), E_FAIL);
  ComPtr<IErrorInfo> error;
  ASSERT_EQ(GetErrorInfo(0, error.put()), S_OK);
  Bstr description;
  error->GetDescription(description.put());
  EXPECT_EQ(description.str(), L"bang");
  GUID guid{};
  error->GetGUID(&guid);
  EXPECT_EQ(guid, ISample::kIid);
  EXPECT_EQ(GetErrorInfo(0, error.put()), S_FALSE);  // taken

  try {
    invoke_method(object_.get(), L"Fail", {Variant(L"thrown")});
    ADD_FAILURE() << "no exception";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), E_FAIL);
    EXPECT_EQ(e.Description(), L"thrown");
  }
}

// A member that fails without a description must not pass on one left
// behind by an earlier failure.
TEST_F(DispatchTest, DropsStaleDescriptions) {
  report_error(kSampleClass, ISample::kIid, L"stale");
  EXCEPINFO info{};
  ASSERT_EQ(Raw(6, DISPATCH_METHOD, {}, nullptr, &info), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, E_UNEXPECTED);
  EXPECT_EQ(info.bstrDescription, nullptr);
}

// The type description tells a script bridge each member's kind, its
// parameters and whether it takes a variable argument list.
TEST_F(DispatchTest, DescribesMembers) {
  ComPtr<ITypeInfo> type;
  ASSERT_EQ(object_->GetTypeInfo(0, 0, type.put()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(type->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->guid, ISample::kIid);
  EXPECT_EQ(attr->cFuncs, 7);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
  type->ReleaseTypeAttr(attr);

  FUNCDESC* desc = nullptr;
  ASSERT_EQ(type->GetFuncDesc(1, &desc), S_OK);
  EXPECT_EQ(desc->memid, 2);
  EXPECT_EQ(desc->invkind, INVOKE_FUNC);
  EXPECT_EQ(desc->cParamsOpt, -1);
  ASSERT_EQ(desc->cParams, 2);
  EXPECT_EQ(desc->lprgelemdescParam[0].vt, VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(desc->lprgelemdescParam[1].wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
  type->ReleaseFuncDesc(desc);
  ASSERT_EQ(type->GetFuncDesc(3, &desc), S_OK);
  EXPECT_EQ(desc->invkind, INVOKE_PROPERTYPUT);
  type->ReleaseFuncDesc(desc);
  EXPECT_EQ(type->GetFuncDesc(7, &desc), TYPE_E_ELEMENTNOTFOUND);

  Bstr name, help;
  ASSERT_EQ(type->GetDocumentation(1, name.put(), help.put(), nullptr, nullptr), S_OK);
  EXPECT_EQ(name.str(), L"Add");
  EXPECT_EQ(help.str(), L"Adds");
  ASSERT_EQ(type->GetDocumentation(2, nullptr, help.put(), nullptr, nullptr), S_OK);
  EXPECT_TRUE(help.is_null());
}

}  // namespace
