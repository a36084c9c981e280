#include "platform/script/script_error_internal.h"

#include <new>

#include "platform/com/com_object.h"
#include "platform/script/script_control_type_internal.h"

namespace Tavrin::Platform::Script {
namespace {

HRESULT give_text(const std::wstring& text, BSTR* out) {
  if (!out) return E_POINTER;
  return Com::give_bstr(text, out);
}

template <class T>
HRESULT give(T value, LONG* out) {
  if (!out) return E_POINTER;
  *out = static_cast<LONG>(value);
  return S_OK;
}

class ScriptError final : public Com::ComObject<ScriptErrorObject, IScriptError, IDispatch> {
 public:
  ScriptError() = default;

 private:
  ~ScriptError() override = default;
};

}  // namespace

ScriptErrorObject::ScriptErrorObject() : DispatchImpl<IScriptError>(script_error_description()) {}

Com::ComPtr<ScriptErrorObject> create_script_error() {
  return Com::ComPtr<ScriptErrorObject>::attach(new ScriptError());
}

HRESULT ScriptErrorObject::get_Number(LONG* number) { return give(failure_.number, number); }
HRESULT ScriptErrorObject::get_Source(BSTR* source) { return give_text(failure_.source, source); }
HRESULT ScriptErrorObject::get_Description(BSTR* description) {
  return give_text(failure_.description, description);
}
HRESULT ScriptErrorObject::get_HelpFile(BSTR* help_file) { return give_text({}, help_file); }
HRESULT ScriptErrorObject::get_HelpContext(LONG* help_context) { return give(0, help_context); }
HRESULT ScriptErrorObject::get_Text(BSTR* text) { return give_text(failure_.text, text); }
HRESULT ScriptErrorObject::get_Line(LONG* line) { return give(failure_.line, line); }
HRESULT ScriptErrorObject::get_Column(LONG* column) { return give(failure_.column, column); }
HRESULT ScriptErrorObject::Clear() {
  failure_ = ScriptFailure{};
  return S_OK;
}

}  // namespace Tavrin::Platform::Script
