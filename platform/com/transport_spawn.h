// Starting a local server program for the component system: the program's
// registered command line is split into arguments with the Windows rules
// (boost::program_options::split_winmain) and started detached, as a child
// of init in a session of its own, so that it never becomes a zombie of the
// client that started it, outlives that client, and is not hit by the
// console's interrupt. Its standard streams are /dev/null, its signal mask
// and dispositions the defaults, and it inherits no other descriptor.
//
// Failures throw boost::system::system_error with the errno value in
// boost::system::system_category(). Safe to call from any thread.
#ifndef QUORVANE_PLATFORM_COM_TRANSPORT_SPAWN_H_
#define QUORVANE_PLATFORM_COM_TRANSPORT_SPAWN_H_

#include <string>
#include <vector>

#include "platform/export.h"

namespace Tavrin::Platform::Com::Transport {

// The arguments of a Windows command line; empty for a blank one.
QUORVANE_PLATFORM_EXPORT std::vector<std::string> split_command_line(const std::wstring& command_line);

// Starts `arguments` (the first is the program: a path, or a bare name
// looked up in PATH) detached and returns its process id. Throws the
// error of the program's execution (ENOENT for a missing program, EACCES
// for one that may not run, ...) or of the process creation; EINVAL for
// empty arguments.
QUORVANE_PLATFORM_EXPORT int spawn_detached(const std::vector<std::string>& arguments);

// Whether process `pid` still exists (a zombie counts as ended).
QUORVANE_PLATFORM_EXPORT bool process_exists(int pid);

// Ends process `pid` at once (SIGKILL), as TerminateProcess does; for tools
// and tests that clean up a server. False when there is no such process
// or it may not be ended.
QUORVANE_PLATFORM_EXPORT bool kill_process(int pid);

}  // namespace Tavrin::Platform::Com::Transport

#endif  // QUORVANE_PLATFORM_COM_TRANSPORT_SPAWN_H_
