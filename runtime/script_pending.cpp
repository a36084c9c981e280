// The runtime object's larger methods that this build does not carry yet.
// Each answers E_NOTIMPL with a description that says so; each moves to a
// file of its own when it is built.
#include "runtime/error_convention.h"
#include "runtime/script_object.h"

namespace Tavrin::Runtime {
namespace {

HRESULT not_implemented(const wchar_t* method) {
  set_error_description(std::wstring(method) + L" is not implemented yet");
  return E_NOTIMPL;
}

}  // namespace

HRESULT CVelmoraScript::OpenURL(BSTR /*browser*/, BSTR /*url*/) { return not_implemented(L"OpenURL"); }

}  // namespace Tavrin::Runtime
