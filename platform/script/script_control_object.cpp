// The script control class: IScriptControl over one Engine.
#include <cwctype>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "platform/com/com_object.h"
#include "platform/script/engine_internal.h"
#include "platform/script/script_control.h"
#include "platform/script/script_control_type_internal.h"
#include "platform/script/script_error_internal.h"
#include "platform/script/script_classes.h"

namespace Tavrin::Platform::Script {
namespace {

constexpr const wchar_t* kLanguage = L"JScript";
constexpr LONG kDefaultTimeout = 10000;

bool is_jscript(const std::wstring& name) {
  const std::wstring expected = kLanguage;
  if (name.size() != expected.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (std::towlower(name[i]) != std::towlower(expected[i])) return false;
  return true;
}

class ScriptControlObject final
    : public Com::ComObject<Com::DispatchImpl<IScriptControl>, IScriptControl, IDispatch> {
 public:
  ScriptControlObject()
      : ComObject(script_control_description()), error_(create_script_error()) {}

  HRESULT get_Language(BSTR* language) override {
    if (!language) return E_POINTER;
    *language = SysAllocString(language_.c_str());
    return *language ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT put_Language(BSTR language) override {
    const std::wstring name = Com::bstr_text(language);
    if (!is_jscript(name))
      return fail(E_INVALIDARG, L"The script language \"" + name + L"\" is not supported; only JScript is");
    return guard([&] {
      language_ = kLanguage;
      start_engine();
      return S_OK;
    });
  }
  HRESULT get_Timeout(LONG* timeout) override {
    if (!timeout) return E_POINTER;
    *timeout = timeout_;
    return S_OK;
  }
  HRESULT put_Timeout(LONG timeout) override {
    if (timeout < kNoScriptTimeout)
      return fail(E_INVALIDARG, L"A timeout is a number of milliseconds, or -1 for none");
    timeout_ = timeout;
    if (engine_) engine_->set_timeout(timeout_);
    return S_OK;
  }
  HRESULT get_AllowUI(VARIANT_BOOL* allow) override {
    if (!allow) return E_POINTER;
    *allow = allow_ui_;
    return S_OK;
  }
  HRESULT put_AllowUI(VARIANT_BOOL allow) override {
    allow_ui_ = allow ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_UseSafeSubset(VARIANT_BOOL* safe) override {
    if (!safe) return E_POINTER;
    *safe = safe_subset_;
    return S_OK;
  }
  HRESULT put_UseSafeSubset(VARIANT_BOOL safe) override {
    safe_subset_ = safe ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_Error(IScriptError** error) override {
    if (!error) return E_POINTER;
    *error = error_.get();
    (*error)->AddRef();
    return S_OK;
  }
  HRESULT AddObject(BSTR name, IDispatch* object, VARIANT_BOOL add_members) override {
    const std::wstring text = Com::bstr_text(name);
    if (text.empty()) return fail(E_INVALIDARG, L"An object needs a name");
    if (!object) return fail(E_INVALIDARG, L"No object given for \"" + text + L"\"");
    if (!engine_) return no_language();
    if (objects_.count(text)) return fail(E_INVALIDARG, L"An object named \"" + text + L"\" was added already");
    return guard([&] {
      engine_->add_object(text, object, add_members != VARIANT_FALSE);
      objects_[text] = AddedObject{Com::ComPtr<IDispatch>(object), add_members != VARIANT_FALSE};
      return S_OK;
    });
  }
  HRESULT Reset() override {
    return guard([&] {
      objects_.clear();
      if (engine_) start_engine();
      error_->Clear();
      return S_OK;
    });
  }
  HRESULT AddCode(BSTR code) override {
    if (!engine_) return no_language();
    return guard([&] {
      ScriptFailure failure;
      return outcome(engine_->add_code(Com::bstr_text(code), &failure), failure);
    });
  }
  HRESULT Eval(BSTR expression, VARIANT* result) override {
    if (!result) return E_POINTER;
    if (!engine_) return no_language();
    return guard([&] {
      ScriptFailure failure;
      Com::Variant value;
      const bool ok = engine_->evaluate(Com::bstr_text(expression), &value, &failure);
      if (ok) value.detach(result);
      return outcome(ok, failure);
    });
  }
  HRESULT ExecuteStatement(BSTR statement) override {
    if (!engine_) return no_language();
    return guard([&] {
      ScriptFailure failure;
      return outcome(engine_->add_code(Com::bstr_text(statement), &failure), failure);
    });
  }
  HRESULT Run(BSTR name, SAFEARRAY* parameters, VARIANT* result) override {
    if (!engine_) return no_language();
    return guard([&] {
      std::vector<Com::Variant> args;
      if (parameters && parameters->cDims == 1) {
        const auto* items = static_cast<const VARIANT*>(parameters->pvData);
        const ULONG count = parameters->rgsabound[0].cElements;
        // Through IDispatch the parameters arrive packed as a list; one
        // argument that is itself an array is the parameter array.
        if (count == 1 && items[0].vt == (VT_ARRAY | VT_VARIANT) && items[0].parray) {
          const SAFEARRAY* inner = items[0].parray;
          const auto* inner_items = static_cast<const VARIANT*>(inner->pvData);
          for (ULONG i = 0; i < inner->rgsabound[0].cElements; ++i) args.emplace_back(inner_items[i]);
        } else {
          for (ULONG i = 0; i < count; ++i) args.emplace_back(items[i]);
        }
      }
      ScriptFailure failure;
      Com::Variant value;
      const bool ok = engine_->call(Com::bstr_text(name), args, &value, &failure);
      if (ok && result) value.detach(result);
      return outcome(ok, failure);
    });
  }

 private:
  ~ScriptControlObject() override {
    // The engine first: its finalizers release what scripts held, while the
    // added objects are still referenced here.
    engine_.reset();
    objects_.clear();
  }

  void start_engine() {
    engine_.reset();
    engine_ = std::make_unique<Engine>();
    engine_->set_timeout(timeout_);
    for (const auto& [name, added] : objects_) engine_->add_object(name, added.object.get(), added.members);
  }

  // Records the outcome of a call that ran code.
  HRESULT outcome(bool ok, const ScriptFailure& failure) {
    if (ok) {
      error_->Clear();
      return S_OK;
    }
    error_->set(failure);
    Com::report_error(CLSID_ScriptControl, IScriptControl::kIid, failure.description);
    return FAILED(failure.number) ? failure.number : E_FAIL;
  }

  HRESULT fail(HRESULT hr, const std::wstring& description) {
    Com::report_error(CLSID_ScriptControl, IScriptControl::kIid, description);
    return hr;
  }
  HRESULT no_language() { return fail(E_UNEXPECTED, L"Set the script control's Language before adding code"); }

  template <class Body>
  HRESULT guard(Body body) {
    try {
      return body();
    } catch (const _com_error& e) {
      const std::wstring text = e.Description();
      return fail(e.Error(), text.empty() ? e.ErrorMessage() : text);
    } catch (const std::bad_alloc&) {
      return fail(E_OUTOFMEMORY, L"Out of memory");
    } catch (const std::exception&) {
      return fail(E_FAIL, L"The script engine failed");
    }
  }

  std::wstring language_;
  LONG timeout_ = kDefaultTimeout;
  VARIANT_BOOL allow_ui_ = VARIANT_TRUE;
  VARIANT_BOOL safe_subset_ = VARIANT_FALSE;
  std::unique_ptr<Engine> engine_;
  struct AddedObject {
    Com::ComPtr<IDispatch> object;
    bool members;
  };
  std::map<std::wstring, AddedObject> objects_;  // kept when the language is set again
  Com::ComPtr<ScriptErrorObject> error_;
};

}  // namespace

HRESULT create_script_control(REFIID iid, void** object) {
  return Com::create_object<ScriptControlObject>(iid, object);
}

}  // namespace Tavrin::Platform::Script
