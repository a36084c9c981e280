#include "platform/com/dispatch_call.h"

#include <vector>

namespace Tavrin::Platform::Com {
namespace {

// Turns a call's EXCEPINFO into a thread error object and throws.
[[noreturn]] void throw_exception(EXCEPINFO& info) {
  if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
  Bstr source = Bstr::attach(info.bstrSource), description = Bstr::attach(info.bstrDescription),
       help = Bstr::attach(info.bstrHelpFile);
  const HRESULT hr = info.scode ? info.scode : DISP_E_EXCEPTION;
  ComPtr<ICreateErrorInfo> create;
  ComPtr<IErrorInfo> error;
  if (SUCCEEDED(CreateErrorInfo(create.put()))) {
    create->SetSource(source.get());
    create->SetDescription(description.get());
    create->SetHelpFile(help.get());
    create->SetHelpContext(info.dwHelpContext);
    error = create.as<IErrorInfo>();
  }
  throw _com_error(hr, error.get());
}

}  // namespace

DISPID member_id(IDispatch* object, const std::wstring& name) {
  if (!object) _com_issue_error(E_POINTER);
  std::wstring copy = name;
  LPOLESTR names[] = {copy.data()};
  DISPID id = DISPID_UNKNOWN;
  check(object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
  return id;
}

Variant invoke_member(IDispatch* object, const std::wstring& name, WORD flags, const std::vector<Variant>& args) {
  const DISPID id = member_id(object, name);
  // Arguments travel last first.
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && !reversed.empty()) {
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  Variant result;
  EXCEPINFO info{};
  UINT arg_err = 0;
  const HRESULT hr = object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.put(), &info,
                                    &arg_err);
  if (hr == DISP_E_EXCEPTION) throw_exception(info);
  check(hr);
  return result;
}

}  // namespace Tavrin::Platform::Com
