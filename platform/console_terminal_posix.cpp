#include "platform/console_terminal.h"

#include <unistd.h>

namespace Tavrin::Platform {

bool standard_output_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace Tavrin::Platform
