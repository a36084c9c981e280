#include "platform/os_error.h"

namespace Tavrin::Platform {

boost::system::system_error posix_error(const std::string& context, int error) {
  return boost::system::system_error(error, boost::system::system_category(), context);
}

}  // namespace Tavrin::Platform
