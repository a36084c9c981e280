#include "platform/script/testing/bridge_test_object.h"

#include "platform/com/com_object.h"
#include "platform/com/enum_variant.h"

namespace Tavrin::Platform::Script::Testing {

std::atomic<int> bridge_test_objects{0};

namespace {

using namespace Com;

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

constexpr ParamDescription kGet[] = {{L"value", kRetval}};
constexpr ParamDescription kPut[] = {{L"value", kIn}};
constexpr ParamDescription kAdd[] = {{L"a", kIn}, {L"b", kIn}, {L"sum", kRetval}};
constexpr ParamDescription kAddOptional[] = {{L"a", kIn}, {L"b", kIn | PARAMFLAG_FOPT, 7}, {L"sum", kRetval}};
constexpr ParamDescription kJoin[] = {{L"args", kIn}, {L"text", kRetval}};
constexpr ParamDescription kEcho[] = {{L"value", kIn}, {L"same", kRetval}};
constexpr ParamDescription kFail[] = {{L"description", kIn}, {L"code", kIn}};
constexpr ParamDescription kMakeChild[] = {{L"name", kIn}, {L"child", kRetval}};
constexpr ParamDescription kCallBack[] = {{L"function", kIn}, {L"argument", kIn}, {L"result", kRetval}};
constexpr ParamDescription kReadProperty[] = {{L"object", kIn}, {L"name", kIn}, {L"value", kRetval}};
constexpr ParamDescription kLength[] = {{L"text", kIn}, {L"length", kRetval}};

constexpr MemberDescription kMembers[] = {
    {1, INVOKE_PROPERTYGET, L"Name", kGet, false, nullptr, bind_member<&IBridgeTest::get_Name>()},
    {1, INVOKE_PROPERTYPUT, L"Name", kPut, false, nullptr, bind_member<&IBridgeTest::put_Name>()},
    {2, INVOKE_PROPERTYGET, L"Calls", kGet, false, nullptr, bind_member<&IBridgeTest::get_Calls>()},
    {3, INVOKE_FUNC, L"Add", kAdd, false, nullptr, bind_member<&IBridgeTest::Add>()},
    {4, INVOKE_FUNC, L"AddOptional", kAddOptional, false, nullptr, bind_member<&IBridgeTest::AddOptional>()},
    {5, INVOKE_FUNC, L"Join", kJoin, true, nullptr, bind_member<&IBridgeTest::Join>()},
    {6, INVOKE_FUNC, L"Echo", kEcho, false, nullptr, bind_member<&IBridgeTest::Echo>()},
    {7, INVOKE_FUNC, L"Fail", kFail, false, nullptr, bind_member<&IBridgeTest::Fail>()},
    {8, INVOKE_FUNC, L"MakeChild", kMakeChild, false, nullptr, bind_member<&IBridgeTest::MakeChild>()},
    {9, INVOKE_FUNC, L"Numbers", kGet, false, nullptr, bind_member<&IBridgeTest::Numbers>()},
    {10, INVOKE_FUNC, L"CallBack", kCallBack, false, nullptr, bind_member<&IBridgeTest::CallBack>()},
    {11, INVOKE_FUNC, L"ReadProperty", kReadProperty, false, nullptr, bind_member<&IBridgeTest::ReadProperty>()},
    {12, INVOKE_FUNC, L"Length", kLength, false, nullptr, bind_member<&IBridgeTest::Length>()},
    {13, INVOKE_FUNC, L"Strings", kGet, false, nullptr, bind_member<&IBridgeTest::Strings>()},
    {DISPID_NEWENUM, INVOKE_PROPERTYGET, L"_NewEnum", kGet, false, nullptr,
     bind_member<&IBridgeTest::get__NewEnum>()},
};

constexpr InterfaceDescription kDescription = {L"IBridgeTest", IBridgeTest::kIid,
                                               TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, kMembers};

class BridgeTestObject final : public ComObject<DispatchImpl<IBridgeTest>, IBridgeTest, IDispatch> {
 public:
  explicit BridgeTestObject(std::wstring name) : ComObject(kDescription), name_(std::move(name)) {
    ++bridge_test_objects;
  }

  HRESULT get_Name(BSTR* name) override {
    ++calls_;
    *name = alloc_bstr(name_);
    return S_OK;
  }
  HRESULT put_Name(BSTR name) override {
    ++calls_;
    name_ = bstr_text(name);
    return S_OK;
  }
  HRESULT get_Calls(LONG* calls) override {
    *calls = calls_;
    return S_OK;
  }
  HRESULT Add(LONG a, LONG b, LONG* sum) override {
    ++calls_;
    *sum = a + b;
    return S_OK;
  }
  HRESULT AddOptional(LONG a, LONG b, LONG* sum) override { return Add(a, b, sum); }
  HRESULT Join(SAFEARRAY* args, BSTR* text) override {
    ++calls_;
    std::wstring joined;
    const auto* items = static_cast<const VARIANT*>(args->pvData);
    for (ULONG i = 0; i < args->rgsabound[0].cElements; ++i) {
      if (i) joined += L",";
      joined += Variant(items[i]).to_string();
    }
    *text = alloc_bstr(joined);
    return S_OK;
  }
  HRESULT Echo(VARIANT value, VARIANT* same) override {
    ++calls_;
    return VariantCopy(same, &value);
  }
  HRESULT Fail(BSTR description, LONG code) override {
    ++calls_;
    report_error(CLSID{}, IBridgeTest::kIid, bstr_text(description));
    return static_cast<HRESULT>(code);
  }
  HRESULT MakeChild(BSTR name, IBridgeTest** child) override {
    ++calls_;
    *child = new BridgeTestObject(bstr_text(name));
    return S_OK;
  }
  HRESULT Numbers(VARIANT* array) override {
    ++calls_;
    SAFEARRAY* items = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    const Variant one(1), two(L"two"), three(3.5);
    LONG i = 0;
    SafeArrayPutElement(items, &i, &one);
    i = 1;
    SafeArrayPutElement(items, &i, &two);
    i = 2;
    SafeArrayPutElement(items, &i, &three);
    array->vt = VT_ARRAY | VT_VARIANT;
    array->parray = items;
    return S_OK;
  }
  HRESULT CallBack(IDispatch* function, VARIANT argument, VARIANT* result) override {
    ++calls_;
    if (!function) return E_INVALIDARG;
    DISPPARAMS params = {&argument, nullptr, 1, 0};
    EXCEPINFO info{};
    UINT arg_err = 0;
    const HRESULT hr =
        function->Invoke(DISPID_VALUE, GUID_NULL, 0, DISPATCH_METHOD, &params, result, &info, &arg_err);
    if (hr == DISP_E_EXCEPTION) {
      report_error(CLSID{}, IBridgeTest::kIid, bstr_text(info.bstrDescription));
      SysFreeString(info.bstrDescription);
      SysFreeString(info.bstrSource);
      SysFreeString(info.bstrHelpFile);
      return info.scode;
    }
    return hr;
  }
  HRESULT ReadProperty(IDispatch* object, BSTR name, VARIANT* value) override {
    ++calls_;
    try {
      Variant read = get_property(object, bstr_text(name));
      read.detach(value);
      return S_OK;
    } catch (const _com_error& e) {
      return e.Error();
    }
  }
  HRESULT Length(BSTR text, LONG* length) override {
    ++calls_;
    *length = static_cast<LONG>(SysStringLen(text));
    return S_OK;
  }
  HRESULT Strings(VARIANT* array) override {
    SAFEARRAY* items = SafeArrayCreateVector(VT_BSTR, 0, 2);
    Bstr x(L"x"), y(L"y");
    LONG i = 0;
    SafeArrayPutElement(items, &i, x.get());
    i = 1;
    SafeArrayPutElement(items, &i, y.get());
    array->vt = VT_ARRAY | VT_BSTR;
    array->parray = items;
    return S_OK;
  }
  HRESULT get__NewEnum(IUnknown** walk) override {
    std::vector<Variant> items;
    items.emplace_back(L"a");
    items.emplace_back(L"b");
    items.emplace_back(L"c");
    *walk = create_enum_variant(std::move(items));
    return S_OK;
  }

 private:
  ~BridgeTestObject() override { --bridge_test_objects; }

  std::wstring name_;
  LONG calls_ = 0;
};

}  // namespace

ComPtr<IBridgeTest> make_bridge_test_object(const std::wstring& name) {
  return ComPtr<IBridgeTest>::attach(new BridgeTestObject(name));
}

}  // namespace Tavrin::Platform::Script::Testing
