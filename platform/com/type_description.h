// Static type descriptions of dispatch interfaces, and the IDispatch and
// ITypeInfo that follow from them: the stand-in for a type library.
//
// A server describes each dual interface once, in a table of members that
// names the C++ method behind each:
//
//   constexpr ParamDescription kSleepParams[] = {{L"time", PARAMFLAG_FIN}};
//   constexpr MemberDescription kMembers[] = {
//       {1, INVOKE_FUNC, L"Sleep", kSleepParams, false, nullptr, bind_member<&IThing::Sleep>()},
//   };
//   constexpr InterfaceDescription kIThing = {L"IThing", IThing::kIid,
//       TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, kMembers};
//
// and derives its class from DispatchImpl<IThing>, which answers
// GetTypeInfoCount, GetTypeInfo, GetIDsOfNames and Invoke from the table.
// The parameters' automation kinds come from the C++ signature (see
// ArgTraits); the table gives their names and flags (PARAMFLAG_FIN,
// PARAMFLAG_FOUT, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL), one entry per C++
// parameter. A member with `vararg` takes a variable argument list in its
// last non-retval parameter, a SAFEARRAY* of VARIANTs: Invoke packs the
// remaining arguments into it in call order. Parameters flagged
// PARAMFLAG_FOPT may be left out from the end of a call (or passed as
// VT_ERROR with DISP_E_PARAMNOTFOUND); they then take their default value.
//
// Invoke converts each in-argument to its parameter's kind with
// VariantChangeType (flags 0), empties the thread's error info before the
// call (so a description left from an earlier failure never reaches the
// caller), and returns out-parameters and the retval as dispatch.h says.
#ifndef QUORVANE_PLATFORM_COM_TYPE_DESCRIPTION_H_
#define QUORVANE_PLATFORM_COM_TYPE_DESCRIPTION_H_

#include <cstddef>
#include <span>
#include <type_traits>
#include <utility>

#include "platform/com/dispatch.h"
#include "platform/export.h"

namespace Tavrin::Platform::Com {

// Calls one member of `self` (the IDispatch base of the interface that
// declares it) with arguments taken from `slots`, one VARIANT per C++
// parameter, already of the parameter's kind.
using MemberCall = HRESULT (*)(IDispatch* self, VARIANT* slots);

struct MemberSignature {
  MemberCall call;
  const VARTYPE* kinds;  // automation kind of each C++ parameter
  unsigned count;        // number of C++ parameters
};

// How a C++ parameter type reads its value from a slot. In-parameters are
// values; out-parameters are pointers into the slot.
template <class T>
struct ArgTraits;
#define QUORVANE_COM_ARG(Type, Kind, field)                              \
  template <>                                                            \
  struct ArgTraits<Type> {                                               \
    static constexpr VARTYPE kind = Kind;                                \
    static constexpr bool out = false;                                   \
    static Type get(VARIANT& slot) { return slot.field; }                \
  };                                                                     \
  template <>                                                            \
  struct ArgTraits<Type*> {                                              \
    static constexpr VARTYPE kind = Kind;                                \
    static constexpr bool out = true;                                    \
    static Type* get(VARIANT& slot) { return &slot.field; }              \
  }
QUORVANE_COM_ARG(LONG, VT_I4, lVal);
QUORVANE_COM_ARG(LONGLONG, VT_I8, llVal);
QUORVANE_COM_ARG(ULONGLONG, VT_UI8, ullVal);
QUORVANE_COM_ARG(double, VT_R8, dblVal);
QUORVANE_COM_ARG(VARIANT_BOOL, VT_BOOL, boolVal);
QUORVANE_COM_ARG(BSTR, VT_BSTR, bstrVal);
QUORVANE_COM_ARG(IDispatch*, VT_DISPATCH, pdispVal);
QUORVANE_COM_ARG(IUnknown*, VT_UNKNOWN, punkVal);
QUORVANE_COM_ARG(SAFEARRAY*, VT_ARRAY | VT_VARIANT, parray);
#undef QUORVANE_COM_ARG
template <>
struct ArgTraits<VARIANT> {
  static constexpr VARTYPE kind = VT_VARIANT;
  static constexpr bool out = false;
  static VARIANT get(VARIANT& slot) { return slot; }
};
template <>
struct ArgTraits<VARIANT*> {
  static constexpr VARTYPE kind = VT_VARIANT;
  static constexpr bool out = true;
  static VARIANT* get(VARIANT& slot) { return &slot; }
};

// An out-parameter of a typed dispatch interface (IScriptError**): travels
// as VT_DISPATCH; the interface's pointer is its IDispatch base.
template <class T>
  requires(std::is_base_of_v<IDispatch, T> && !std::is_same_v<IDispatch, T>)
struct ArgTraits<T**> {
  static constexpr VARTYPE kind = VT_DISPATCH;
  static constexpr bool out = true;
  static T** get(VARIANT& slot) { return reinterpret_cast<T**>(&slot.pdispVal); }
};

template <auto Method>
struct MemberBinding;
template <class Interface, class... Args, HRESULT (Interface::*Method)(Args...)>
struct MemberBinding<Method> {
  static constexpr VARTYPE kinds[sizeof...(Args) + 1] = {ArgTraits<Args>::kind..., VT_EMPTY};
  static HRESULT call(IDispatch* self, VARIANT* slots) {
    return call_with(static_cast<Interface*>(self), slots, std::index_sequence_for<Args...>{});
  }
  template <std::size_t... I>
  static HRESULT call_with(Interface* object, [[maybe_unused]] VARIANT* slots, std::index_sequence<I...>) {
    return (object->*Method)(ArgTraits<Args>::get(slots[I])...);
  }
};

// The signature of `Method`, a member function of a dispatch interface.
template <auto Method>
constexpr MemberSignature bind_member() {
  using Binding = MemberBinding<Method>;
  return {&Binding::call, Binding::kinds, static_cast<unsigned>(std::size(Binding::kinds) - 1)};
}

struct ParamDescription {
  const wchar_t* name;  // null for an unnamed parameter
  USHORT flags;         // PARAMFLAG_*
  // With PARAMFLAG_FOPT: the value of a missing argument, converted to the
  // parameter's kind (a missing VARIANT argument is VT_ERROR with
  // DISP_E_PARAMNOTFOUND, a missing text is empty).
  LONG default_value = 0;
};

struct MemberDescription {
  DISPID id;
  INVOKEKIND kind;  // INVOKE_FUNC, INVOKE_PROPERTYGET or INVOKE_PROPERTYPUT
  const wchar_t* name;
  std::span<const ParamDescription> params;  // one per C++ parameter, in order
  bool vararg;
  const wchar_t* help;  // null: no help string
  MemberSignature signature;
};

struct InterfaceDescription {
  const wchar_t* name;
  IID iid;
  WORD flags;  // TYPEFLAG_*
  std::span<const MemberDescription> members;  // in interface order
};

// The member of `id` whose kind is among `flags` (DISPATCH_* bits), or null.
QUORVANE_PLATFORM_EXPORT const MemberDescription* find_member(const InterfaceDescription& description, DISPID id,
                                                              WORD flags);

// IDispatch::GetIDsOfNames over a description.
QUORVANE_PLATFORM_EXPORT HRESULT description_ids_of_names(const InterfaceDescription& description, LPOLESTR* names,
                                                          UINT count, DISPID* ids);

// IDispatch::Invoke over a description; `self` is the object's IDispatch.
QUORVANE_PLATFORM_EXPORT HRESULT description_invoke(const InterfaceDescription& description, IDispatch* self,
                                                    DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                                    EXCEPINFO* excep_info, UINT* arg_err);

// A new ITypeInfo over a description, which must outlive it (a static
// table does).
QUORVANE_PLATFORM_EXPORT HRESULT create_type_info(const InterfaceDescription& description, ITypeInfo** info);

// The IDispatch part of a dual interface `Interface`, answered from its
// description. The derived class implements IUnknown and the interface's
// own methods.
template <class Interface>
class DispatchImpl : public Interface {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT index, LCID /*lcid*/, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return create_type_info(description_, info);
  }
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID /*lcid*/, DISPID* ids) override {
    if (iid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return description_ids_of_names(description_, names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID iid, LCID /*lcid*/, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep_info, UINT* arg_err) override {
    if (iid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return description_invoke(description_, static_cast<IDispatch*>(this), id, flags, params, result, excep_info,
                              arg_err);
  }

 protected:
  explicit DispatchImpl(const InterfaceDescription& description) : description_(description) {}
  ~DispatchImpl() = default;

 private:
  const InterfaceDescription& description_;
};

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_TYPE_DESCRIPTION_H_
