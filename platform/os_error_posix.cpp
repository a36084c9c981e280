#include "platform/os_error.h"

#include "platform/com/hresult.h"

namespace Tavrin::Platform {

boost::system::system_error posix_error(const std::string& context, int error) {
  return boost::system::system_error(error, boost::system::system_category(), context);
}

HRESULT hresult_from(const boost::system::system_error& error) {
  const boost::system::error_code& code = error.code();
  const bool system = code.category() == boost::system::system_category() ||
                      code.category() == boost::system::generic_category();
  if (!system || code.value() <= 0) return E_FAIL;
  return HRESULT_FROM_WIN32(static_cast<unsigned long>(code.value()));
}

}  // namespace Tavrin::Platform
