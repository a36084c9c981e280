#include "platform/com/remote/remote_type_info_internal.h"

#include <cwctype>
#include <new>

#include "platform/com/com_object.h"
#include "platform/com/remote/marshal_call_internal.h"
#include "platform/com/type_info_parts_internal.h"

namespace Tavrin::Platform::Com::Wire {
namespace {

bool same_name(const std::wstring& a, const wchar_t* b) {
  if (!b) return false;
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return i == a.size() && !b[i];
}

class RemoteTypeInfo final : public ComObject<ITypeInfo, ITypeInfo> {
 public:
  explicit RemoteTypeInfo(std::shared_ptr<const RemoteDescription> description)
      : description_(std::move(description)) {}

  HRESULT GetTypeAttr(TYPEATTR** attr) override {
    if (!attr) return E_INVALIDARG;
    *attr = new_dispatch_type_attr(description_->iid, description_->members.size(), description_->flags);
    return *attr ? S_OK : E_OUTOFMEMORY;
  }
  void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }
  HRESULT GetFuncDesc(UINT index, FUNCDESC** desc) override {
    if (!desc) return E_INVALIDARG;
    *desc = nullptr;
    if (index >= description_->members.size()) return TYPE_E_ELEMENTNOTFOUND;
    const RemoteMember& m = description_->members[index];
    FUNCDESC* made = new_dispatch_func_desc(m.id, m.kind, m.params.size(), m.optional);
    if (!made) return E_OUTOFMEMORY;
    for (std::size_t i = 0; i < m.params.size(); ++i) made->lprgelemdescParam[i] = m.params[i];
    *desc = made;
    return S_OK;
  }
  void ReleaseFuncDesc(FUNCDESC* desc) override { delete_func_desc(desc); }
  HRESULT GetNames(MEMBERID id, BSTR* names, UINT max, UINT* count) override {
    if (!names || !count) return E_INVALIDARG;
    *count = 0;
    const RemoteMember* m = find(id);
    if (!m) return TYPE_E_ELEMENTNOTFOUND;
    for (std::size_t i = 0; i < m->names.size() && *count < max; ++i) names[(*count)++] = SysAllocString(m->names[i].c_str());
    return S_OK;
  }
  HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* help_context, BSTR* help_file) override {
    std::wstring member_name, help;
    if (id != MEMBERID_NIL) {
      const RemoteMember* m = find(id);
      if (!m) return TYPE_E_ELEMENTNOTFOUND;
      if (!m->names.empty()) member_name = m->names[0];
      help = m->help;
    }
    if (name) *name = SysAllocString(member_name.c_str());
    if (doc) *doc = help.empty() ? nullptr : SysAllocString(help.c_str());
    if (help_context) *help_context = 0;
    if (help_file) *help_file = nullptr;
    return S_OK;
  }
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const RemoteMember& m : description_->members)
      if (!m.names.empty() && same_name(m.names[0], names[0])) {
        ids[0] = m.id;
        return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
      }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(void* instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep_info, UINT* arg_err) override {
    if (!instance) return E_INVALIDARG;
    return static_cast<IDispatch*>(instance)->Invoke(id, GUID_NULL, 0, flags, params, result, excep_info, arg_err);
  }

 private:
  ~RemoteTypeInfo() override = default;

  const RemoteMember* find(MEMBERID id) const {
    for (const RemoteMember& m : description_->members)
      if (m.id == id) return &m;
    return nullptr;
  }

  std::shared_ptr<const RemoteDescription> description_;
};

}  // namespace

std::string encode_type_info() {
  Writer out;
  out.u8(static_cast<std::uint8_t>(RequestKind::kTypeInfo));
  return out.bytes();
}

RemoteDescription decode_type_info(std::string_view reply, HRESULT* hr) {
  Reader in(reply);
  *hr = in.i32();
  RemoteDescription description;
  if (FAILED(*hr)) return description;
  description.iid = in.guid();
  description.flags = in.u16();
  const std::uint32_t members = in.count(12);
  for (std::uint32_t i = 0; i < members; ++i) {
    RemoteMember m;
    m.id = in.i32();
    m.kind = static_cast<INVOKEKIND>(in.u8());
    m.optional = static_cast<SHORT>(in.u16());
    const std::uint32_t params = in.count(4);
    for (std::uint32_t p = 0; p < params; ++p) {
      const VARTYPE vt = in.u16();
      const USHORT flags = in.u16();
      m.params.push_back({vt, flags});
    }
    const std::uint32_t names = in.count(1);
    for (std::uint32_t n = 0; n < names; ++n) m.names.push_back(in.text().value_or(L""));
    m.help = in.text().value_or(L"");
    description.members.push_back(std::move(m));
  }
  if (!in.at_end()) throw WireError("type description longer than it says");
  return description;
}

std::string answer_type_info(Reader& /*in*/, IDispatch* object) {
  Writer out;
  UINT count = 0;
  ComPtr<ITypeInfo> info;
  TYPEATTR* attr = nullptr;
  if (FAILED(object->GetTypeInfoCount(&count)) || count == 0 ||
      FAILED(object->GetTypeInfo(0, 0, info.put())) || !info || FAILED(info->GetTypeAttr(&attr)) || !attr) {
    out.i32(TYPE_E_ELEMENTNOTFOUND);
    return out.bytes();
  }
  Writer body;
  body.guid(attr->guid);
  body.u16(attr->wTypeFlags);
  const WORD functions = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  std::uint32_t described = 0;
  Writer members;
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc)) || !desc) continue;
    members.i32(desc->memid);
    members.u8(static_cast<std::uint8_t>(desc->invkind));
    members.u16(static_cast<std::uint16_t>(desc->cParamsOpt));
    members.u32(static_cast<std::uint32_t>(desc->cParams));
    for (SHORT p = 0; p < desc->cParams; ++p) {
      members.u16(desc->lprgelemdescParam[p].vt);
      members.u16(desc->lprgelemdescParam[p].wParamFlags);
    }
    std::vector<BSTR> names(static_cast<std::size_t>(desc->cParams) + 1, nullptr);
    UINT got = 0;
    info->GetNames(desc->memid, names.data(), static_cast<UINT>(names.size()), &got);
    members.u32(got);
    for (UINT n = 0; n < got; ++n) {
      members.text(std::wstring_view(names[n] ? names[n] : L""));
      SysFreeString(names[n]);
    }
    BSTR help = nullptr;
    info->GetDocumentation(desc->memid, nullptr, &help, nullptr, nullptr);
    members.text(help ? std::optional<std::wstring_view>(help) : std::nullopt);
    SysFreeString(help);
    info->ReleaseFuncDesc(desc);
    ++described;
  }
  out.i32(S_OK);
  std::string bytes = out.bytes() + body.bytes();
  Writer count_field;
  count_field.u32(described);
  return bytes + count_field.bytes() + members.bytes();
}

ComPtr<ITypeInfo> make_remote_type_info(std::shared_ptr<const RemoteDescription> description) {
  return ComPtr<ITypeInfo>::attach(new RemoteTypeInfo(std::move(description)));
}

}  // namespace Tavrin::Platform::Com::Wire
