// Console control events. On this platform they are POSIX signals: SIGINT
// is CTRL_C_EVENT, SIGQUIT CTRL_BREAK_EVENT, SIGHUP CTRL_CLOSE_EVENT and
// SIGTERM CTRL_SHUTDOWN_EVENT. Installing the first handler blocks those
// signals in the calling thread and starts a dedicated thread that waits for
// them and calls the handlers there, newest first, as Windows does; when no
// handler returns true, the process then ends by the signal's default
// action.
//
// Install the handler on the main thread before any other thread starts, so
// that every thread inherits the blocked signals and only the waiting thread
// receives them. Child processes inherit the blocked mask: code that spawns
// processes must give the child an empty signal mask.
#ifndef QUORVANE_PLATFORM_CONSOLE_EVENTS_H_
#define QUORVANE_PLATFORM_CONSOLE_EVENTS_H_

#include "platform/export.h"

constexpr unsigned long CTRL_C_EVENT = 0;
constexpr unsigned long CTRL_BREAK_EVENT = 1;
constexpr unsigned long CTRL_CLOSE_EVENT = 2;
constexpr unsigned long CTRL_LOGOFF_EVENT = 5;
constexpr unsigned long CTRL_SHUTDOWN_EVENT = 6;

// A handler returns true when it has handled the event and the process
// should go on.
using PHANDLER_ROUTINE = bool (*)(unsigned long event);

// Adds or removes a handler. Returns false when the waiting thread cannot
// be started.
QUORVANE_PLATFORM_EXPORT bool SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, bool add);

// The exit status of a program that ends on `event` after handling it: 128
// plus the number of the signal that the event stands for (130 for
// CTRL_C_EVENT, 143 for CTRL_SHUTDOWN_EVENT), as a shell reports a program
// ended by that signal.
QUORVANE_PLATFORM_EXPORT int ConsoleEventExitStatus(unsigned long event);

#endif  // QUORVANE_PLATFORM_CONSOLE_EVENTS_H_
