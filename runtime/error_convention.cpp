#include "runtime/error_convention.h"

#include <exception>
#include <string>

#include "platform/com/error_info.h"
#include "runtime/velmora_script.h"

namespace Tavrin::Runtime {
namespace {

std::wstring message_or_unknown(unsigned long code) {
  std::wstring text = Platform::Com::system_message(code);
  return text.empty() ? L"Unknown error" : text;
}

HRESULT error_code_failure(long long code) {
  set_error_description(message_or_unknown(static_cast<unsigned long>(code) & 0xFFFFFFFFu));
  return hresult_of_error_code(code);
}

}  // namespace

void set_error_description(const std::wstring& description) noexcept {
  Platform::Com::report_error(CLSID_VelmoraScript, IID_IVelmoraScript, description);
}

HRESULT hresult_of_error_code(long long code) {
  const auto bits = static_cast<std::uint32_t>(code);
  return static_cast<std::int32_t>(bits) > 0 ? HRESULT_FROM_WIN32(bits) : static_cast<HRESULT>(bits);
}

HRESULT method_failure(const wchar_t* standard_message) noexcept {
  try {
    throw;
  } catch (const _com_error& e) {
    if (HRESULT_FACILITY(e.Error()) == FACILITY_WIN32)
      set_error_description(message_or_unknown(static_cast<unsigned long>(HRESULT_CODE(e.Error()))));
    return e.Error();
  } catch (unsigned long code) {
    return error_code_failure(static_cast<long long>(code));
  } catch (long code) {
    return error_code_failure(code);
  } catch (unsigned int code) {
    return error_code_failure(code);
  } catch (int code) {
    return error_code_failure(code);
  } catch (const std::exception&) {
    if (standard_message) {
      set_error_description(standard_message);
      return E_FAIL;
    }
    set_error_description(L"Unknown error");
    return E_UNEXPECTED;
  } catch (...) {
    set_error_description(L"Unknown error");
    return E_UNEXPECTED;
  }
}

}  // namespace Tavrin::Runtime
