// Calling a dispatch object by member name from C++: the late-bound calls
// that scripts make, for code and tests that hold only an IDispatch.
//
//   Variant uuid = invoke_method(object, L"GenerateUUID", {});
//   put_property(object, L"scriptFullName", Variant(L"/tmp/a.js"));
//
// Arguments are given in call order. A failure throws _com_error carrying
// the HRESULT and, when the callee described it, an error object with its
// description and source (built from the call's EXCEPINFO).
#ifndef QUORVANE_PLATFORM_COM_DISPATCH_CALL_H_
#define QUORVANE_PLATFORM_COM_DISPATCH_CALL_H_

#include <string>
#include <vector>

#include "platform/com/dispatch.h"
#include "platform/com/error_info.h"
#include "platform/com/variant.h"
#include "platform/export.h"

namespace Tavrin::Platform::Com {

// The DISPID of `name`; throws _com_error (DISP_E_UNKNOWNNAME) when the
// object has no such member.
QUORVANE_PLATFORM_EXPORT DISPID member_id(IDispatch* object, const std::wstring& name);

// Invokes member `name` with `flags` (DISPATCH_*) and `args`; returns the
// result (VT_EMPTY when there is none). A property put passes its last
// argument as the DISPID_PROPERTYPUT named argument.
QUORVANE_PLATFORM_EXPORT Variant invoke_member(IDispatch* object, const std::wstring& name, WORD flags,
                                               const std::vector<Variant>& args);

inline Variant invoke_method(IDispatch* object, const std::wstring& name, const std::vector<Variant>& args) {
  return invoke_member(object, name, DISPATCH_METHOD, args);
}
inline Variant get_property(IDispatch* object, const std::wstring& name) {
  return invoke_member(object, name, DISPATCH_PROPERTYGET, {});
}
inline void put_property(IDispatch* object, const std::wstring& name, const Variant& value) {
  invoke_member(object, name, DISPATCH_PROPERTYPUT, {value});
}

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_DISPATCH_CALL_H_
