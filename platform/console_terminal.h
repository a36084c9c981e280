// Whether the console is a terminal that a person watches, so that a
// program may rewrite a status line in place (GetConsoleMode succeeds on
// a console handle; here: isatty).
#ifndef QUORVANE_PLATFORM_CONSOLE_TERMINAL_H_
#define QUORVANE_PLATFORM_CONSOLE_TERMINAL_H_

#include "platform/export.h"

namespace Tavrin::Platform {

// True when standard output is a terminal, false for a file or a pipe.
QUORVANE_PLATFORM_EXPORT bool standard_output_is_terminal();

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_CONSOLE_TERMINAL_H_
