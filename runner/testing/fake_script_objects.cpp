#include "runner/testing/fake_script_objects.h"

#include <mutex>

#include "platform/com/activation.h"
#include "platform/com/com_object.h"
#include "platform/com/error_info.h"
#include "platform/com/type_description.h"
#include "proxy/velmora_proxy.h"
#include "runner/script_host.h"
#include "runtime/velmora_script.h"

namespace Tavrin::Runner::Testing {
namespace {

using namespace Platform::Com;

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

void note(const std::wstring& line) { fake_state().journal.push_back(line); }

// ---- the script control's error object --------------------------------

struct IFakeScriptError : IDispatch {
  static constexpr IID kIid = make_guid("{70F0A9C0-1A6E-4F4B-9D55-2C3B7E0E1A01}");
  virtual HRESULT get_Number(LONG* value) = 0;
  virtual HRESULT get_Description(BSTR* value) = 0;
  virtual HRESULT get_Text(BSTR* value) = 0;
  virtual HRESULT get_Line(LONG* value) = 0;
  virtual HRESULT get_Column(LONG* value) = 0;

 protected:
  ~IFakeScriptError() = default;
};

constexpr ParamDescription kLongOut[] = {{L"value", kRetval}};
constexpr ParamDescription kTextOut[] = {{L"value", kRetval}};
constexpr MemberDescription kErrorMembers[] = {
    {1, INVOKE_PROPERTYGET, L"Number", kLongOut, false, nullptr, bind_member<&IFakeScriptError::get_Number>()},
    {2, INVOKE_PROPERTYGET, L"Description", kTextOut, false, nullptr,
     bind_member<&IFakeScriptError::get_Description>()},
    {3, INVOKE_PROPERTYGET, L"Text", kTextOut, false, nullptr, bind_member<&IFakeScriptError::get_Text>()},
    {4, INVOKE_PROPERTYGET, L"Line", kLongOut, false, nullptr, bind_member<&IFakeScriptError::get_Line>()},
    {5, INVOKE_PROPERTYGET, L"Column", kLongOut, false, nullptr, bind_member<&IFakeScriptError::get_Column>()},
};
constexpr InterfaceDescription kErrorDescription = {L"IScriptError", IFakeScriptError::kIid, TYPEFLAG_FDUAL,
                                                    kErrorMembers};

// Reads the fields of the last failure from the shared state.
class FakeScriptError final : public ComObject<DispatchImpl<IFakeScriptError>, IFakeScriptError, IDispatch> {
 public:
  FakeScriptError() : ComObject(kErrorDescription) {}
  bool failed = false;

  HRESULT get_Number(LONG* value) override { return set(value, failed ? fake_state().fail_number : 0); }
  HRESULT get_Description(BSTR* value) override { return set(value, failed ? fake_state().fail_description : L""); }
  HRESULT get_Text(BSTR* value) override { return set(value, failed ? fake_state().fail_text : L""); }
  HRESULT get_Line(LONG* value) override { return set(value, failed ? fake_state().fail_line : 0); }
  HRESULT get_Column(LONG* value) override { return set(value, failed ? fake_state().fail_column : 0); }

 private:
  static HRESULT set(LONG* out, long value) {
    *out = value;
    return S_OK;
  }
  static HRESULT set(BSTR* out, const std::wstring& value) {
    *out = alloc_bstr(value);
    return S_OK;
  }
};

// ---- the script control ------------------------------------------------

struct IFakeScriptControl : IDispatch {
  static constexpr IID kIid = IID_IScriptControl;
  virtual HRESULT put_Language(BSTR value) = 0;
  virtual HRESULT put_AllowUI(VARIANT_BOOL value) = 0;
  virtual HRESULT put_Timeout(LONG value) = 0;
  virtual HRESULT AddObject(BSTR name, IDispatch* object, VARIANT_BOOL add_members) = 0;
  virtual HRESULT AddCode(BSTR code) = 0;
  virtual HRESULT Run(BSTR name, SAFEARRAY* parameters, VARIANT* result) = 0;
  virtual HRESULT get_Error(IDispatch** error) = 0;

 protected:
  ~IFakeScriptControl() = default;
};

constexpr ParamDescription kValueIn[] = {{nullptr, kIn}};
constexpr ParamDescription kAddObject[] = {{L"Name", kIn}, {L"Object", kIn}, {L"AddMembers", kIn}};
constexpr ParamDescription kAddCode[] = {{L"Code", kIn}};
constexpr ParamDescription kRun[] = {{L"ProcedureName", kIn}, {L"Parameters", kIn}, {L"pvarResult", kRetval}};
constexpr ParamDescription kErrorOut[] = {{L"ppse", kRetval}};
constexpr MemberDescription kControlMembers[] = {
    {1500, INVOKE_PROPERTYPUT, L"Language", kValueIn, false, nullptr,
     bind_member<&IFakeScriptControl::put_Language>()},
    {1501, INVOKE_PROPERTYPUT, L"AllowUI", kValueIn, false, nullptr, bind_member<&IFakeScriptControl::put_AllowUI>()},
    {1502, INVOKE_PROPERTYPUT, L"Timeout", kValueIn, false, nullptr, bind_member<&IFakeScriptControl::put_Timeout>()},
    {2500, INVOKE_FUNC, L"AddObject", kAddObject, false, nullptr, bind_member<&IFakeScriptControl::AddObject>()},
    {2000, INVOKE_FUNC, L"AddCode", kAddCode, false, nullptr, bind_member<&IFakeScriptControl::AddCode>()},
    {2003, INVOKE_FUNC, L"Run", kRun, true, nullptr, bind_member<&IFakeScriptControl::Run>()},
    {1503, INVOKE_PROPERTYGET, L"Error", kErrorOut, false, nullptr, bind_member<&IFakeScriptControl::get_Error>()},
};
constexpr InterfaceDescription kControlDescription = {L"IScriptControl", IID_IScriptControl, TYPEFLAG_FDUAL,
                                                      kControlMembers};

class FakeScriptControl final
    : public ComObject<DispatchImpl<IFakeScriptControl>, IFakeScriptControl, IDispatch> {
 public:
  FakeScriptControl() : ComObject(kControlDescription), error_(new FakeScriptError) {}

  HRESULT put_Language(BSTR value) override {
    note(L"Language=" + bstr_text(value));
    return S_OK;
  }
  HRESULT put_AllowUI(VARIANT_BOOL value) override {
    note(L"AllowUI=" + std::to_wstring(value));
    return S_OK;
  }
  HRESULT put_Timeout(LONG value) override {
    note(L"Timeout=" + std::to_wstring(value));
    return S_OK;
  }
  HRESULT AddObject(BSTR name, IDispatch* object, VARIANT_BOOL add_members) override {
    if (!object) return E_POINTER;
    note(L"AddObject " + bstr_text(name) + L" members=" + std::to_wstring(add_members));
    return S_OK;
  }
  HRESULT AddCode(BSTR code) override {
    const std::wstring text = bstr_text(code);
    note(L"AddCode " + text);
    const FakeScriptState& state = fake_state();
    if (state.fail_number != 0 && !state.fail_run &&
        (state.fail_code_marker.empty() || text.find(state.fail_code_marker) != std::wstring::npos))
      return Fail();
    return S_OK;
  }
  HRESULT Run(BSTR name, SAFEARRAY* parameters, VARIANT* result) override {
    // A single array argument is the whole argument list.
    SAFEARRAY* list = parameters;
    LONG upper = -1;
    if (list) SafeArrayGetUBound(list, 1, &upper);
    if (upper == 0) {
      VARIANT* first = nullptr;
      SafeArrayAccessData(list, reinterpret_cast<void**>(&first));
      if (first->vt == (VT_ARRAY | VT_VARIANT)) list = first->parray;
      SafeArrayUnaccessData(parameters);
      if (list != parameters) SafeArrayGetUBound(list, 1, &upper);
    }
    LONG lower = 0;
    if (list) SafeArrayGetLBound(list, 1, &lower);
    note(L"Run " + bstr_text(name) + L" args=" + std::to_wstring(upper - lower + 1) + L" from " +
         std::to_wstring(lower));
    if (fake_state().fail_number != 0 && fake_state().fail_run) return Fail();
    return VariantCopy(result, &fake_state().run_result);
  }
  HRESULT get_Error(IDispatch** error) override {
    *error = static_cast<IDispatch*>(error_.get());
    (*error)->AddRef();
    return S_OK;
  }

 private:
  HRESULT Fail() {
    error_->failed = true;
    report_error(CLSID_ScriptControl, IID_IScriptControl, fake_state().fail_description);
    return static_cast<HRESULT>(fake_state().fail_number);
  }

  ComPtr<FakeScriptError> error_;
};

// The IDispatch part of a stand-in that the host calls through its own
// methods only: it offers no members by name.
template <class Interface>
class CalledDirectly : public Interface {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

// ---- the runtime object --------------------------------------------------

// Records PutParameter, scriptFullName and LogNode; other members are not
// called by the host.
class RecordingRuntime final : public ComObject<CalledDirectly<IVelmoraScript>, IVelmoraScript, IDispatch> {
 public:
  HRESULT Sleep(LONG) override { return E_NOTIMPL; }
  HRESULT Echo(SAFEARRAY*) override { return E_NOTIMPL; }
  HRESULT get_scriptFullName(BSTR*) override { return E_NOTIMPL; }
  HRESULT put_scriptFullName(BSTR value) override {
    note(L"scriptFullName=" + bstr_text(value));
    return S_OK;
  }
  HRESULT CreateObject(BSTR, IDispatch**) override { return E_NOTIMPL; }
  HRESULT Remote(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT BenchExec(BSTR, LONG*) override { return E_NOTIMPL; }
  HRESULT PutParameter(BSTR key, BSTR value) override {
    note(L"PutParameter " + bstr_text(key) + L"=" + bstr_text(value));
    return S_OK;
  }
  HRESULT GetParameter(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT Ping(ULONGLONG*) override { return E_NOTIMPL; }
  HRESULT ScreenShot(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT LogNode(BSTR uuid, BSTR type, BSTR name, BSTR value) override {
    note(L"LogNode " + bstr_text(uuid) + L"|" + bstr_text(type) + L"|" + bstr_text(name) + L"|" +
         bstr_text(value));
    return S_OK;
  }
  HRESULT LogElement(BSTR, BSTR) override { return E_NOTIMPL; }
  HRESULT GenerateUUID(BSTR*) override { return E_NOTIMPL; }
  HRESULT OpenURL(BSTR, BSTR) override { return E_NOTIMPL; }
};

// ---- the proxy object --------------------------------------------------

class FakeProxy final
    : public ComObject<CalledDirectly<Tavrin::Proxy::VelmoraProxyStandIn>, IVelmoraProxy, IDispatch> {
 public:
  HRESULT SetStop(VARIANT_BOOL stop) override {
    note(L"SetStop " + std::to_wstring(stop));
    return S_OK;
  }
};

template <class Object>
BuiltinFactory factory_of(bool FakeScriptState::*available) {
  return [available](REFIID iid, void** object) -> HRESULT {
    *object = nullptr;
    if (!(fake_state().*available)) return REGDB_E_CLASSNOTREG;
    ComPtr<Object> made = ComPtr<Object>::attach(new Object);
    return made->QueryInterface(iid, object);
  };
}

}  // namespace

FakeScriptState& fake_state() {
  static FakeScriptState state;
  return state;
}

void install_fake_script_objects() {
  static std::once_flag once;
  std::call_once(once, [] {
    register_builtin_class(CLSID_ScriptControl, L"", factory_of<FakeScriptControl>(&FakeScriptState::engine_available));
    register_builtin_class(CLSID_VelmoraScript, L"", factory_of<RecordingRuntime>(&FakeScriptState::runtime_available));
    register_builtin_class(CLSID_VelmoraProxy, L"", factory_of<FakeProxy>(&FakeScriptState::proxy_available));
  });
  fake_state() = FakeScriptState();
}

}  // namespace Tavrin::Runner::Testing
