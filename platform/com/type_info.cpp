// ITypeInfo over a static interface description.
#include <atomic>
#include <new>

#include "platform/com/com_object.h"
#include "platform/com/type_description.h"
#include "platform/com/type_info_parts_internal.h"

namespace Tavrin::Platform::Com {
namespace {

class TypeInfo final : public ComObject<ITypeInfo, ITypeInfo> {
 public:
  explicit TypeInfo(const InterfaceDescription& description) : description_(description) {}

  HRESULT GetTypeAttr(TYPEATTR** attr) override {
    if (!attr) return E_INVALIDARG;
    *attr = new_dispatch_type_attr(description_.iid, description_.members.size(), description_.flags);
    return *attr ? S_OK : E_OUTOFMEMORY;
  }
  void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }

  HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override {
    if (!desc) return E_INVALIDARG;
    *desc = nullptr;
    if (index >= description_.members.size()) return TYPE_E_ELEMENTNOTFOUND;
    const MemberDescription& m = description_.members[index];
    const std::size_t count = m.params.size();
    SHORT optional = 0;
    for (std::size_t i = 0; i < count; ++i)
      if (m.params[i].flags & PARAMFLAG_FOPT) ++optional;
    FUNCDESC* made = new_dispatch_func_desc(m.id, m.kind, count, static_cast<SHORT>(m.vararg ? -1 : optional));
    if (!made) return E_OUTOFMEMORY;
    for (std::size_t i = 0; i < count; ++i) made->lprgelemdescParam[i] = {m.signature.kinds[i], m.params[i].flags};
    *desc = made;
    return S_OK;
  }
  void ReleaseFuncDesc(FUNCDESC* desc) override { delete_func_desc(desc); }

  HRESULT GetNames(MEMBERID id, BSTR* names, UINT max, UINT* count) override {
    if (!names || !count) return E_INVALIDARG;
    *count = 0;
    const MemberDescription* m = find_member(description_, id, 0xFFFF);
    if (!m) return TYPE_E_ELEMENTNOTFOUND;
    if (max == 0) return S_OK;
    names[(*count)++] = SysAllocString(m->name);
    for (std::size_t i = 0; i < m->params.size() && *count < max; ++i)
      names[(*count)++] = SysAllocString(m->params[i].name ? m->params[i].name : L"");
    return S_OK;
  }

  HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) override {
    const wchar_t* member_name = description_.name;
    const wchar_t* help = nullptr;
    if (id != MEMBERID_NIL) {
      const MemberDescription* m = find_member(description_, id, 0xFFFF);
      if (!m) return TYPE_E_ELEMENTNOTFOUND;
      member_name = m->name;
      help = m->help;
    }
    if (name) *name = SysAllocString(member_name);
    if (doc) *doc = SysAllocString(help);
    if (help_context) *help_context = 0;
    if (help_file) *help_file = nullptr;
    return S_OK;
  }

  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    return description_ids_of_names(description_, names, count, ids);
  }

  HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep_info, UINT* arg_err) override {
    if (!instance) return E_INVALIDARG;
    return description_invoke(description_, static_cast<IDispatch*>(instance), id, flags, params, result,
                              excep_info, arg_err);
  }

 private:
  ~TypeInfo() = default;

  const InterfaceDescription& description_;
};

}  // namespace

HRESULT create_type_info(const InterfaceDescription& description, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = new (std::nothrow) TypeInfo(description);
  return *info ? S_OK : E_OUTOFMEMORY;
}

}  // namespace Tavrin::Platform::Com
