// Error information: the description of the last failure on a thread, and
// _com_error, the exception that carries a failing HRESULT through C++ code.
//
// A failing method sets an error object on its thread before it returns
// (CreateErrorInfo, fill it, SetErrorInfo); the caller that sees the failure
// takes it with GetErrorInfo, which empties the thread's slot. Each thread
// has its own slot. report_error() does all of that in one call.
#ifndef QUORVANE_PLATFORM_COM_ERROR_INFO_H_
#define QUORVANE_PLATFORM_COM_ERROR_INFO_H_

#include <string>

#include "platform/com/bstr.h"
#include "platform/com/com_ptr.h"
#include "platform/com/unknown.h"
#include "platform/export.h"

struct IErrorInfo : IUnknown {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{1CF2B120-547D-101B-8E65-08002B2BD119}");

  // The interface that raised the error. Each string out-parameter receives
  // a new BSTR (null when never set) that the caller frees.
  virtual HRESULT GetGUID(GUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* help_file) = 0;
  virtual HRESULT GetHelpContext(DWORD* help_context) = 0;

 protected:
  ~IErrorInfo() = default;
};
constexpr IID IID_IErrorInfo = IErrorInfo::kIid;

struct ICreateErrorInfo : IUnknown {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{22F03340-547D-101B-8E65-08002B2BD119}");

  virtual HRESULT SetGUID(REFGUID guid) = 0;
  virtual HRESULT SetSource(LPOLESTR source) = 0;
  virtual HRESULT SetDescription(LPOLESTR description) = 0;
  virtual HRESULT SetHelpFile(LPOLESTR help_file) = 0;
  virtual HRESULT SetHelpContext(DWORD help_context) = 0;

 protected:
  ~ICreateErrorInfo() = default;
};
constexpr IID IID_ICreateErrorInfo = ICreateErrorInfo::kIid;

// A new, empty error object (it also answers IErrorInfo).
QUORVANE_PLATFORM_EXPORT HRESULT CreateErrorInfo(ICreateErrorInfo** info);
// Replaces the calling thread's error object by `info` (null: empties it).
QUORVANE_PLATFORM_EXPORT HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
// Moves the calling thread's error object into *info (the caller releases
// it): S_OK, or S_FALSE with *info null when there is none.
QUORVANE_PLATFORM_EXPORT HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);

// The exception of a failed component call: its HRESULT and, when the
// callee set one, its error object. Not derived from std::exception, as on
// Windows, so that `catch (const std::exception&)` does not take it.
class QUORVANE_PLATFORM_EXPORT _com_error {
 public:
  explicit _com_error(HRESULT hr, IErrorInfo* info = nullptr);
  _com_error(const _com_error&) = default;
  _com_error& operator=(const _com_error&) = default;
  virtual ~_com_error();

  HRESULT Error() const { return hr_; }
  // The error object, or null.
  IErrorInfo* ErrorInfo() const { return info_.get(); }
  // The error object's description (empty without one).
  std::wstring Description() const;
  // The error object's source (empty without one).
  std::wstring Source() const;
  // A text for the code: result_message's text for a dispatch failure,
  // the system message for a Windows-facility code,
  // else "IDispatch error #n" for codes 0x80040200 to 0x8004FFFF, else
  // "Unknown error 0x%08X".
  std::wstring ErrorMessage() const;

 private:
  HRESULT hr_;
  Tavrin::Platform::Com::ComPtr<IErrorInfo> info_;
};

// Throws _com_error(hr) / _com_error with the thread's error object taken
// by GetErrorInfo.
[[noreturn]] QUORVANE_PLATFORM_EXPORT void _com_issue_error(HRESULT hr);
[[noreturn]] QUORVANE_PLATFORM_EXPORT void _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID iid);

namespace Tavrin::Platform::Com {

// Throws _com_error(hr) when `hr` is a failure.
inline void check(HRESULT hr) {
  if (FAILED(hr)) _com_issue_error(hr);
}

// Sets a new error object on the calling thread with `description`, the
// interface `iid` as GUID, and as source the program id registered for
// `source_clsid` (its class id text when none is registered). Never throws.
QUORVANE_PLATFORM_EXPORT void report_error(REFCLSID source_clsid, REFIID iid, const std::wstring& description);

// The message text of a failure of the dispatch layer (DISP_E_*,
// TYPE_E_ELEMENTNOTFOUND), as Windows words it; empty for any other code.
QUORVANE_PLATFORM_EXPORT std::wstring result_message(HRESULT hr);

// The system's message text for error code `code` (an errno value), as
// FormatMessageW gives it on Windows; empty when the system has none.
QUORVANE_PLATFORM_EXPORT std::wstring system_message(unsigned long code);

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_ERROR_INFO_H_
