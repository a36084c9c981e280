#include "platform/com/error_info.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "platform/com/activation.h"
#include "platform/com/com_object.h"
#include "platform/text.h"

namespace {

using Tavrin::Platform::Com::alloc_bstr;
using Tavrin::Platform::Com::Bases;
using Tavrin::Platform::Com::Bstr;
using Tavrin::Platform::Com::ComObject;
using Tavrin::Platform::Com::ComPtr;

// The error object: written through ICreateErrorInfo, read through
// IErrorInfo. Reference counting is atomic because an error object may be
// handed to another thread inside a _com_error.
class ErrorObject final
    : public ComObject<Bases<IErrorInfo, ICreateErrorInfo>, IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT GetGUID(GUID* guid) override {
    if (!guid) return E_INVALIDARG;
    *guid = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* source) override { return copy_out(source_, source); }
  HRESULT GetDescription(BSTR* description) override { return copy_out(description_, description); }
  HRESULT GetHelpFile(BSTR* help_file) override { return copy_out(help_file_, help_file); }
  HRESULT GetHelpContext(DWORD* help_context) override {
    if (!help_context) return E_INVALIDARG;
    *help_context = help_context_;
    return S_OK;
  }

  HRESULT SetGUID(REFGUID guid) override {
    guid_ = guid;
    return S_OK;
  }
  HRESULT SetSource(LPOLESTR source) override { return store(source, &source_); }
  HRESULT SetDescription(LPOLESTR description) override { return store(description, &description_); }
  HRESULT SetHelpFile(LPOLESTR help_file) override { return store(help_file, &help_file_); }
  HRESULT SetHelpContext(DWORD help_context) override {
    help_context_ = help_context;
    return S_OK;
  }

 private:
  ~ErrorObject() = default;

  static HRESULT copy_out(const Bstr& value, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = value.is_null() ? nullptr : SysAllocStringLen(value.get(), value.length());
    return value.is_null() || *out ? S_OK : E_OUTOFMEMORY;
  }
  static HRESULT store(LPOLESTR text, Bstr* target) {
    BSTR copy = SysAllocString(text);
    if (text && !copy) return E_OUTOFMEMORY;
    *target = Bstr::attach(copy);
    return S_OK;
  }

  GUID guid_ = GUID_NULL;
  Bstr source_;
  Bstr description_;
  Bstr help_file_;
  DWORD help_context_ = 0;
};

thread_local ComPtr<IErrorInfo> thread_error;

std::wstring text_of(IErrorInfo* info, HRESULT (IErrorInfo::*getter)(BSTR*)) {
  if (!info) return {};
  Bstr text;
  if (FAILED((info->*getter)(text.put()))) return {};
  return text.str();
}

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = new (std::nothrow) ErrorObject();
  return *info ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetErrorInfo(ULONG /*reserved*/, IErrorInfo* info) {
  thread_error = ComPtr<IErrorInfo>(info);
  return S_OK;
}

HRESULT GetErrorInfo(ULONG /*reserved*/, IErrorInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = thread_error.detach();
  return *info ? S_OK : S_FALSE;
}

_com_error::_com_error(HRESULT hr, IErrorInfo* info) : hr_(hr), info_(info) {}

_com_error::~_com_error() = default;

std::wstring _com_error::Description() const { return text_of(info_.get(), &IErrorInfo::GetDescription); }

std::wstring _com_error::Source() const { return text_of(info_.get(), &IErrorInfo::GetSource); }

std::wstring _com_error::ErrorMessage() const {
  const std::wstring known = Tavrin::Platform::Com::result_message(hr_);
  if (!known.empty()) return known;
  if (HRESULT_FACILITY(hr_) == FACILITY_WIN32) {
    const std::wstring text = Tavrin::Platform::Com::system_message(HRESULT_CODE(hr_));
    if (!text.empty()) return text;
  }
  const auto bits = static_cast<std::uint32_t>(hr_);
  wchar_t buffer[40];
  if (bits >= 0x80040200u && bits <= 0x8004FFFFu)
    std::swprintf(buffer, 40, L"IDispatch error #%u", bits - 0x80040200u);
  else
    std::swprintf(buffer, 40, L"Unknown error 0x%08X", bits);
  return buffer;
}

void _com_issue_error(HRESULT hr) { throw _com_error(hr); }

void _com_issue_errorex(HRESULT hr, IUnknown* /*object*/, REFIID /*iid*/) {
  ComPtr<IErrorInfo> info;
  GetErrorInfo(0, info.put());
  throw _com_error(hr, info.get());
}

namespace Tavrin::Platform::Com {

std::wstring result_message(HRESULT hr) {
  switch (hr) {
    case DISP_E_UNKNOWNINTERFACE: return L"Unknown interface.";
    case DISP_E_MEMBERNOTFOUND: return L"Member not found.";
    case DISP_E_PARAMNOTFOUND: return L"Parameter not found.";
    case DISP_E_TYPEMISMATCH: return L"Type mismatch.";
    case DISP_E_UNKNOWNNAME: return L"Unknown name.";
    case DISP_E_NONAMEDARGS: return L"No named arguments.";
    case DISP_E_BADVARTYPE: return L"Bad variable type.";
    case DISP_E_EXCEPTION: return L"Exception occurred.";
    case DISP_E_OVERFLOW: return L"Out of present range.";
    case DISP_E_BADINDEX: return L"Invalid index.";
    case DISP_E_ARRAYISLOCKED: return L"Memory is locked.";
    case DISP_E_BADPARAMCOUNT: return L"Invalid number of parameters.";
    case TYPE_E_ELEMENTNOTFOUND: return L"Element not found.";
    default: return {};
  }
}

void report_error(REFCLSID source_clsid, REFIID iid, const std::wstring& description) {
  try {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put()))) return;
    create->SetGUID(iid);
    std::wstring source = guid_to_string(source_clsid);
    LPOLESTR progid = nullptr;
    if (SUCCEEDED(ProgIDFromCLSID(source_clsid, &progid))) {
      source = progid;
      CoTaskMemFree(progid);
    }
    Bstr source_text(source), description_text(description);
    create->SetSource(source_text.get());
    create->SetDescription(description_text.get());
    SetErrorInfo(0, create.as<IErrorInfo>().get());
  } catch (...) {
    // Out of memory: the failure code still reaches the caller.
  }
}

std::wstring system_message(unsigned long code) {
  const char* text = code <= static_cast<unsigned long>(std::numeric_limits<int>::max())
                         ? strerrordesc_np(static_cast<int>(code))
                         : nullptr;
  return text ? Tavrin::Platform::from_utf8(text) : std::wstring();
}

}  // namespace Tavrin::Platform::Com
