#include "platform/com/type_description.h"

#include <cwctype>
#include <vector>

#include "platform/com/error_info.h"

namespace Tavrin::Platform::Com {
namespace {

bool same_name(const wchar_t* a, const wchar_t* b) {
  if (!a || !b) return false;
  for (; *a && *b; ++a, ++b)
    if (std::towlower(*a) != std::towlower(*b)) return false;
  return *a == *b;
}

bool is_retval(const ParamDescription& p) { return (p.flags & PARAMFLAG_FRETVAL) != 0; }
bool is_out(const ParamDescription& p) { return (p.flags & PARAMFLAG_FOUT) != 0; }
bool is_optional(const ParamDescription& p) { return (p.flags & PARAMFLAG_FOPT) != 0; }

// A caller's way of leaving out an optional argument in the middle.
bool is_missing(const VARIANT& arg) { return arg.vt == VT_ERROR && arg.scode == DISP_E_PARAMNOTFOUND; }

// The value of an optional in-parameter that the call left out.
HRESULT prepare_default(VARIANT* slot, const ParamDescription& p, VARTYPE kind) {
  VariantInit(slot);
  if (kind == VT_VARIANT) {
    slot->vt = VT_ERROR;
    slot->scode = DISP_E_PARAMNOTFOUND;
    return S_OK;
  }
  if (kind == VT_BSTR) {
    slot->vt = VT_BSTR;
    slot->bstrVal = SysAllocString(L"");
    return slot->bstrVal ? S_OK : E_OUTOFMEMORY;
  }
  if (kind == VT_DISPATCH || kind == VT_UNKNOWN) {
    slot->vt = kind;
    slot->punkVal = nullptr;
    return S_OK;
  }
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = p.default_value;
  return VariantChangeType(slot, &value, 0, kind);
}

// The slots of one call: one VARIANT per C++ parameter, cleared at the end.
class Slots {
 public:
  explicit Slots(std::size_t count) : slots_(count) {
    for (VARIANT& v : slots_) VariantInit(&v);
  }
  ~Slots() {
    for (VARIANT& v : slots_) VariantClear(&v);
  }
  Slots(const Slots&) = delete;
  Slots& operator=(const Slots&) = delete;
  VARIANT& operator[](std::size_t i) { return slots_[i]; }
  VARIANT* data() { return slots_.data(); }

 private:
  std::vector<VARIANT> slots_;
};

// An empty value of `kind` for an out-parameter to fill.
void prepare_out(VARIANT* slot, VARTYPE kind) {
  VariantInit(slot);
  if (kind != VT_VARIANT) slot->vt = kind;
}

// Converts one argument into the slot of an in-parameter of `kind`.
HRESULT prepare_in(VARIANT* slot, const VARIANT& arg, VARTYPE kind) {
  if (kind == VT_VARIANT) return VariantCopyInd(slot, &arg);
  return VariantChangeType(slot, &arg, 0, kind);
}

// A one-dimensional array (lower bound 0) holding copies of arguments
// `first` onward, in call order.
HRESULT pack_varargs(const DISPPARAMS& params, UINT first, VARIANT* slot) {
  const UINT count = first < params.cArgs ? params.cArgs - first : 0;
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, count);
  if (!array) return E_OUTOFMEMORY;
  VARIANT* elements = static_cast<VARIANT*>(array->pvData);
  for (UINT i = 0; i < count; ++i) {
    const HRESULT hr = VariantCopyInd(&elements[i], &params.rgvarg[params.cArgs - 1 - (first + i)]);
    if (FAILED(hr)) {
      SafeArrayDestroy(array);
      return hr;
    }
  }
  slot->vt = VT_ARRAY | VT_VARIANT;
  slot->parray = array;
  return S_OK;
}

// Writes an out-parameter's value back to where the caller's by-reference
// argument points; a by-value argument does not receive it.
void write_back(VARIANT& arg, VARIANT* slot, VARTYPE kind) {
  if (!(arg.vt & VT_BYREF) || !arg.byref) return;
  if (arg.vt == (VT_BYREF | VT_VARIANT)) {
    VariantClear(arg.pvarVal);
    *arg.pvarVal = *slot;
    VariantInit(slot);
    return;
  }
  if ((arg.vt & ~VT_BYREF) != kind || kind == VT_VARIANT) return;
  VARIANT old;
  VariantInit(&old);
  old.vt = kind;
  switch (kind) {
    case VT_BSTR: old.bstrVal = *arg.pbstrVal; *arg.pbstrVal = slot->bstrVal; break;
    case VT_DISPATCH: case VT_UNKNOWN: old.punkVal = *arg.ppunkVal; *arg.ppunkVal = slot->punkVal; break;
    case VT_ARRAY | VT_VARIANT: old.parray = *arg.pparray; *arg.pparray = slot->parray; break;
    case VT_I4: *arg.plVal = slot->lVal; break;
    case VT_I8: *arg.pllVal = slot->llVal; break;
    case VT_UI8: *arg.pullVal = slot->ullVal; break;
    case VT_R8: *arg.pdblVal = slot->dblVal; break;
    case VT_BOOL: *arg.pboolVal = slot->boolVal; break;
    default: return;
  }
  VariantClear(&old);
  VariantInit(slot);
}

void fill_exception(EXCEPINFO* info, HRESULT hr) {
  *info = EXCEPINFO{};
  info->scode = hr;
  ComPtr<IErrorInfo> error;
  if (GetErrorInfo(0, error.put()) == S_OK) {
    error->GetDescription(&info->bstrDescription);
    error->GetSource(&info->bstrSource);
    error->GetHelpFile(&info->bstrHelpFile);
    error->GetHelpContext(&info->dwHelpContext);
  }
}

// Fills the slots from the arguments; on failure *arg_err names the
// argument (rgvarg index) that did not convert.
HRESULT prepare_slots(const MemberDescription& member, const DISPPARAMS& params, Slots& slots, UINT* arg_err) {
  const std::size_t count = member.params.size();
  UINT next = 0;  // next argument in call order
  for (std::size_t i = 0; i < count; ++i) {
    const ParamDescription& p = member.params[i];
    const VARTYPE kind = member.signature.kinds[i];
    if (is_retval(p)) {
      prepare_out(&slots[i], kind);
    } else if (member.vararg && kind == (VT_ARRAY | VT_VARIANT) &&
               (i + 1 == count || is_retval(member.params[i + 1]))) {
      const HRESULT hr = pack_varargs(params, next, &slots[i]);
      if (FAILED(hr)) return hr;
      next = params.cArgs;
    } else if (is_out(p)) {
      prepare_out(&slots[i], kind);
      ++next;
    } else if (is_optional(p) && (next >= params.cArgs || is_missing(params.rgvarg[params.cArgs - 1 - next]))) {
      const HRESULT hr = prepare_default(&slots[i], p, kind);
      if (FAILED(hr)) return hr;
      ++next;
    } else {
      const UINT index = params.cArgs - 1 - next;
      const HRESULT hr = prepare_in(&slots[i], params.rgvarg[index], kind);
      if (FAILED(hr)) {
        if (arg_err) *arg_err = index;
        return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
      }
      ++next;
    }
  }
  return S_OK;
}

// The number of arguments a call may pass (not counting a variable list).
UINT fixed_argument_count(const MemberDescription& member) {
  UINT n = 0;
  for (const ParamDescription& p : member.params)
    if (!is_retval(p)) ++n;
  return member.vararg && n > 0 ? n - 1 : n;
}

// The number of arguments a call must pass: those before the optional ones.
UINT required_argument_count(const MemberDescription& member) {
  UINT n = 0;
  for (const ParamDescription& p : member.params)
    if (!is_retval(p) && !is_optional(p)) ++n;
  return member.vararg && n > 0 ? n - 1 : n;
}

HRESULT check_arguments(const MemberDescription& member, const DISPPARAMS& params) {
  if (params.cNamedArgs > 0) {
    const bool put = member.kind == INVOKE_PROPERTYPUT || member.kind == INVOKE_PROPERTYPUTREF;
    if (!put || params.cNamedArgs != 1 || !params.rgdispidNamedArgs ||
        params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
      return DISP_E_NONAMEDARGS;
  }
  if (params.cArgs > 0 && !params.rgvarg) return E_INVALIDARG;
  const UINT fixed = fixed_argument_count(member);
  const UINT required = required_argument_count(member);
  if (params.cArgs < required || (!member.vararg && params.cArgs > fixed)) return DISP_E_BADPARAMCOUNT;
  return S_OK;
}

}  // namespace

const MemberDescription* find_member(const InterfaceDescription& description, DISPID id, WORD flags) {
  for (const MemberDescription& m : description.members)
    if (m.id == id && (static_cast<WORD>(m.kind) & flags)) return &m;
  return nullptr;
}

HRESULT description_ids_of_names(const InterfaceDescription& description, LPOLESTR* names, UINT count,
                                 DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  if (count == 0) return S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  const MemberDescription* found = nullptr;
  for (const MemberDescription& m : description.members)
    if (same_name(m.name, names[0])) {
      found = &m;
      break;
    }
  if (!found) return DISP_E_UNKNOWNNAME;
  ids[0] = found->id;
  HRESULT result = S_OK;
  for (UINT i = 1; i < count; ++i) {
    for (std::size_t p = 0; p < found->params.size(); ++p)
      if (same_name(found->params[p].name, names[i])) ids[i] = static_cast<DISPID>(p);
    if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
  }
  return result;
}

HRESULT description_invoke(const InterfaceDescription& description, IDispatch* self, DISPID id, WORD flags,
                           DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep_info, UINT* arg_err) {
  if (!params) return E_INVALIDARG;
  const MemberDescription* member = find_member(description, id, flags);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  if (member->params.size() != member->signature.count) return E_UNEXPECTED;
  HRESULT hr = check_arguments(*member, *params);
  if (FAILED(hr)) return hr;
  if (result) VariantInit(result);

  Slots slots(member->params.size());
  hr = prepare_slots(*member, *params, slots, arg_err);
  if (FAILED(hr)) return hr;

  SetErrorInfo(0, nullptr);
  hr = member->signature.call(self, slots.data());
  if (FAILED(hr)) {
    if (!excep_info) return hr;
    fill_exception(excep_info, hr);
    return DISP_E_EXCEPTION;
  }

  UINT next = 0;
  for (std::size_t i = 0; i < member->params.size(); ++i) {
    const ParamDescription& p = member->params[i];
    const VARTYPE kind = member->signature.kinds[i];
    if (is_retval(p)) {
      if (result) {
        *result = slots[i];
        VariantInit(&slots[i]);
      }
    } else if (next < params->cArgs) {
      if (is_out(p)) write_back(params->rgvarg[params->cArgs - 1 - next], &slots[i], kind);
      ++next;
    }
  }
  return hr;
}

}  // namespace Tavrin::Platform::Com
