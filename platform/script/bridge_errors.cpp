// Script errors raised by the bridge.
#include <stdexcept>

#include <duktape.h>

#include "platform/script/bridge_internal.h"
#include "platform/text.h"

namespace Tavrin::Platform::Script {
namespace {

// The engine's error-code flag that makes an error blame the script line
// that called into C rather than the C file (defined inside duktape.c, not
// in its header; the value is part of its API for duk_push_error_object).
constexpr duk_errcode_t kBlameScriptLine = 1L << 24;

}  // namespace

std::wstring exception_text(const std::exception& e) noexcept {
  try {
    return from_utf8(e.what());
  } catch (...) {
    return L"Internal error";
  }
}

void raise_error(duk_context* ctx, HRESULT number, const std::wstring& description) {
  const std::string text = to_engine_text(description.empty() ? Com::result_message(number) : description);
  // The error blames the script line that made the call, not this file.
  duk_push_error_object(ctx, DUK_ERR_ERROR | kBlameScriptLine, "%s", text.c_str());
  duk_push_number(ctx, static_cast<double>(number));
  duk_put_prop_string(ctx, -2, "number");
  duk_push_lstring(ctx, text.data(), text.size());
  duk_put_prop_string(ctx, -2, "description");
  duk_throw(ctx);
  throw std::logic_error("duk_throw returned");  // never reached
}

void raise_call_error(duk_context* ctx, HRESULT hr, EXCEPINFO* info) {
  std::wstring description;
  HRESULT number = hr;
  if (hr == DISP_E_EXCEPTION && info) {
    if (info->pfnDeferredFillIn) info->pfnDeferredFillIn(info);
    Com::Bstr source = Com::Bstr::attach(info->bstrSource), text = Com::Bstr::attach(info->bstrDescription),
              help = Com::Bstr::attach(info->bstrHelpFile);
    info->bstrSource = info->bstrDescription = info->bstrHelpFile = nullptr;
    if (info->scode) number = info->scode;
    description = text.str();
  } else {
    Com::ComPtr<IErrorInfo> error;
    if (GetErrorInfo(0, error.put()) == S_OK) {
      Com::Bstr text;
      error->GetDescription(text.put());
      description = text.str();
    }
  }
  if (description.empty()) description = _com_error(number).ErrorMessage();
  raise_error(ctx, number, description);
}

}  // namespace Tavrin::Platform::Script
