#include "platform/com/remote/marshal_call_internal.h"

#include <vector>

#include "platform/com/com_ptr.h"
#include "platform/com/error_info.h"
#include "platform/com/remote/marshal_variant_internal.h"

namespace Tavrin::Platform::Com::Wire {
namespace {

std::optional<std::wstring_view> view(BSTR text) {
  if (text == nullptr) return std::nullopt;
  return std::wstring_view(text, SysStringLen(text));
}

BSTR to_bstr(const std::optional<std::wstring>& text) { return text ? alloc_bstr(*text) : nullptr; }

Writer request(RequestKind kind) {
  Writer out;
  out.u8(static_cast<std::uint8_t>(kind));
  return out;
}

// ---- error info: the server thread's after the call, the client thread's after the reply.

void write_error_info(Writer& out) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return out.u8(0);
  GUID guid = GUID_NULL;
  Bstr source, description, help_file;
  DWORD help_context = 0;
  info->GetGUID(&guid);
  info->GetSource(source.put());
  info->GetDescription(description.put());
  info->GetHelpFile(help_file.put());
  info->GetHelpContext(&help_context);
  out.u8(1);
  out.guid(guid);
  out.text(view(source.get()));
  out.text(view(description.get()));
  out.text(view(help_file.get()));
  out.u32(static_cast<std::uint32_t>(help_context));
}

void read_error_info(Reader& in) {
  if (in.u8() == 0) {
    SetErrorInfo(0, nullptr);
    return;
  }
  const GUID guid = in.guid();
  std::optional<std::wstring> source = in.text(), description = in.text(), help_file = in.text();
  const DWORD help_context = in.u32();
  ComPtr<ICreateErrorInfo> info;
  if (FAILED(CreateErrorInfo(info.put()))) return;
  info->SetGUID(guid);
  if (source) info->SetSource(source->data());
  if (description) info->SetDescription(description->data());
  if (help_file) info->SetHelpFile(help_file->data());
  info->SetHelpContext(help_context);
  SetErrorInfo(0, info.as<IErrorInfo>().get());
}

// ---- EXCEPINFO

void write_excep_info(Writer& out, EXCEPINFO& e) {
  if (e.pfnDeferredFillIn != nullptr) e.pfnDeferredFillIn(&e);
  out.u16(e.wCode);
  out.text(view(e.bstrSource));
  out.text(view(e.bstrDescription));
  out.text(view(e.bstrHelpFile));
  out.u32(static_cast<std::uint32_t>(e.dwHelpContext));
  out.i32(e.scode);
}

void read_excep_info(Reader& in, EXCEPINFO* e) {
  EXCEPINFO got{};
  got.wCode = in.u16();
  std::optional<std::wstring> source = in.text(), description = in.text(), help_file = in.text();
  got.dwHelpContext = in.u32();
  got.scode = in.i32();
  if (e == nullptr) return;
  got.bstrSource = to_bstr(source);
  got.bstrDescription = to_bstr(description);
  got.bstrHelpFile = to_bstr(help_file);
  *e = got;
}

void free_excep_info(EXCEPINFO& e) {
  SysFreeString(e.bstrSource);
  SysFreeString(e.bstrDescription);
  SysFreeString(e.bstrHelpFile);
  e = EXCEPINFO{};
}

// The reply of a successful exchange whose values could all be written.
std::string invoke_reply(HRESULT hr, const Variant* result, const ArgumentCells& cells, EXCEPINFO* excep_info,
                         const UINT* arg_err) {
  Writer out;
  out.i32(hr);
  out.u8(result != nullptr);
  if (result) write_variant(out, *result);
  cells.write_back(out);
  const bool has_excep = excep_info != nullptr && hr == DISP_E_EXCEPTION;
  out.u8(has_excep);
  if (has_excep) write_excep_info(out, *excep_info);
  out.u8(arg_err != nullptr);
  if (arg_err) out.u32(*arg_err);
  write_error_info(out);
  return out.bytes();
}

}  // namespace

std::string encode_hello(const CLSID& clsid, const IID& iid) {
  Writer out = request(RequestKind::kHello);
  out.u32(kProtocolMagic);
  out.guid(clsid);
  out.guid(iid);
  return out.bytes();
}

std::string encode_query_interface(const IID& iid) {
  Writer out = request(RequestKind::kQueryInterface);
  out.guid(iid);
  return out.bytes();
}

HRESULT decode_status(std::string_view reply) {
  Reader in(reply);
  return in.i32();
}

std::string encode_ids_of_names(LPOLESTR* names, UINT count, LCID lcid) {
  Writer out = request(RequestKind::kGetIDsOfNames);
  out.u32(count);
  for (UINT i = 0; i < count; ++i) out.text(names[i] ? std::optional<std::wstring_view>(names[i]) : std::nullopt);
  out.u32(static_cast<std::uint32_t>(lcid));
  return out.bytes();
}

HRESULT decode_ids_of_names(std::string_view reply, DISPID* ids, UINT count) {
  Reader in(reply);
  const HRESULT hr = in.i32();
  if (in.u32() != count) throw WireError("DISPID count does not match");
  for (UINT i = 0; i < count; ++i) ids[i] = in.i32();
  return hr;
}

std::string encode_invoke(DISPID id, LCID lcid, WORD flags, const DISPPARAMS* params, bool want_result,
                          bool want_excep_info, bool want_arg_err) {
  Writer out = request(RequestKind::kInvoke);
  out.i32(static_cast<std::int32_t>(id));
  out.u32(static_cast<std::uint32_t>(lcid));
  out.u16(flags);
  const UINT args = params ? params->cArgs : 0;
  const UINT named = params ? params->cNamedArgs : 0;
  if ((args > 0 && params->rgvarg == nullptr) || (named > 0 && params->rgdispidNamedArgs == nullptr))
    throw MarshalError(E_INVALIDARG);
  out.u32(args);
  for (UINT i = 0; i < args; ++i) write_variant(out, params->rgvarg[i], true);
  out.u32(named);
  for (UINT i = 0; i < named; ++i) out.i32(static_cast<std::int32_t>(params->rgdispidNamedArgs[i]));
  out.u8(want_result);
  out.u8(want_excep_info);
  out.u8(want_arg_err);
  return out.bytes();
}

HRESULT decode_invoke(std::string_view reply, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep_info,
                      UINT* arg_err) {
  Reader in(reply);
  const HRESULT hr = in.i32();
  if (in.u8()) {
    Variant value;
    read_variant(in, value);
    if (result) value.detach(result);
  }
  read_back(in, params ? params->rgvarg : nullptr, params ? params->cArgs : 0);
  if (in.u8()) read_excep_info(in, excep_info);
  if (in.u8()) {
    const UINT index = in.u32();
    if (arg_err) *arg_err = index;
  }
  read_error_info(in);
  return hr;
}

HelloRequest read_hello(Reader& in) {
  if (in.u32() != kProtocolMagic) throw WireError("not a client of this system");
  HelloRequest hello;
  hello.clsid = in.guid();
  hello.iid = in.guid();
  return hello;
}

std::string status_reply(HRESULT hr) {
  Writer out;
  out.i32(hr);
  return out.bytes();
}

std::string answer_query_interface(Reader& in, IUnknown* object) {
  ComPtr<IUnknown> asked;
  return status_reply(object->QueryInterface(in.guid(), asked.put_void()));
}

std::string answer_ids_of_names(Reader& in, IDispatch* object) {
  const std::uint32_t count = in.count(1);
  std::vector<std::wstring> texts;
  std::vector<LPOLESTR> names;
  for (std::uint32_t i = 0; i < count; ++i) texts.push_back(in.text().value_or(L""));
  for (std::wstring& text : texts) names.push_back(text.data());
  const LCID lcid = in.u32();
  std::vector<DISPID> ids(count, DISPID_UNKNOWN);
  const HRESULT hr = object->GetIDsOfNames(GUID_NULL, names.data(), count, lcid, ids.data());
  Writer out;
  out.i32(hr);
  out.u32(count);
  for (const DISPID id : ids) out.i32(static_cast<std::int32_t>(id));
  return out.bytes();
}

std::string answer_invoke(Reader& in, IDispatch* object) {
  const DISPID id = in.i32();
  const LCID lcid = in.u32();
  const WORD flags = in.u16();
  ArgumentCells cells;
  cells.read(in, in.count(2));
  std::vector<DISPID> named(in.count(4));
  for (DISPID& n : named) n = in.i32();
  const bool want_result = in.u8(), want_excep_info = in.u8(), want_arg_err = in.u8();

  DISPPARAMS params{cells.args(), named.empty() ? nullptr : named.data(), cells.count(),
                    static_cast<UINT>(named.size())};
  Variant result;
  EXCEPINFO excep_info{};
  UINT arg_err = 0;
  SetErrorInfo(0, nullptr);
  const HRESULT hr = object->Invoke(id, GUID_NULL, lcid, flags, &params, want_result ? &result : nullptr,
                                    want_excep_info ? &excep_info : nullptr, want_arg_err ? &arg_err : nullptr);
  try {
    std::string reply = invoke_reply(hr, want_result ? &result : nullptr, cells,
                                     want_excep_info ? &excep_info : nullptr, want_arg_err ? &arg_err : nullptr);
    free_excep_info(excep_info);
    return reply;
  } catch (const MarshalError& e) {
    free_excep_info(excep_info);
    SetErrorInfo(0, nullptr);
    ArgumentCells none;
    return invoke_reply(e.hr(), nullptr, none, nullptr, nullptr);
  }
}

}  // namespace Tavrin::Platform::Com::Wire
