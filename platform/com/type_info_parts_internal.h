// The attribute and member descriptions an ITypeInfo of a dispatch
// interface hands out, shared by the one over a static description and the
// one over a description read from another process. Each is made with
// `new (std::nothrow)`, to be freed by the ITypeInfo's release method.
#ifndef QUORVANE_PLATFORM_COM_TYPE_INFO_PARTS_INTERNAL_H_
#define QUORVANE_PLATFORM_COM_TYPE_INFO_PARTS_INTERNAL_H_

#include <cstddef>
#include <new>

#include "platform/com/dispatch.h"

namespace Tavrin::Platform::Com {

// The attributes of dispatch interface `iid` with `functions` members;
// null when memory runs out. Freed with delete.
inline TYPEATTR* new_dispatch_type_attr(const IID& iid, std::size_t functions, WORD flags) noexcept {
  return new (std::nothrow) TYPEATTR{iid, 0, TKIND_DISPATCH, static_cast<WORD>(functions), flags, 1, 0};
}

// The description of dispatch member `id` with room for `params`
// parameters, which the caller fills in through lprgelemdescParam; null
// when memory runs out. Freed with delete_func_desc.
inline FUNCDESC* new_dispatch_func_desc(MEMBERID id, INVOKEKIND kind, std::size_t params, SHORT optional) noexcept {
  ELEMDESC* elements = new (std::nothrow) ELEMDESC[params ? params : 1];
  if (!elements) return nullptr;
  FUNCDESC* desc = new (std::nothrow) FUNCDESC{
      id, elements, FUNC_DISPATCH, kind, static_cast<SHORT>(params), optional, {VT_HRESULT, PARAMFLAG_NONE}, 0};
  if (!desc) delete[] elements;
  return desc;
}

inline void delete_func_desc(FUNCDESC* desc) noexcept {
  if (!desc) return;
  delete[] desc->lprgelemdescParam;
  delete desc;
}

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_TYPE_INFO_PARTS_INTERNAL_H_
