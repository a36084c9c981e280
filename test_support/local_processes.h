// What tests that run the real programs need of the machine: a loopback
// port that is free right now, and a count of the processes still running
// from a folder (the test's private copy of the programs, or profiles
// under it), to check that nothing was left behind; and the process trees
// of programs, for tests that kill one.
#ifndef QUORVANE_TEST_SUPPORT_LOCAL_PROCESSES_H_
#define QUORVANE_TEST_SUPPORT_LOCAL_PROCESSES_H_

#include <map>
#include <string>
#include <vector>

namespace quorvane_test {

// A port on 127.0.0.1 that nothing listens on at the moment of the call,
// outside the range the kernel takes for outgoing connections.
int free_port();

// The file `what` of process `pid` under /proc; empty when the process
// has ended, also while it is being read (any process may end then).
std::string read_proc(int pid, const std::string& what);

// Processes other than this one whose command line names `folder`.
int processes_from(const std::string& folder);

// The same processes: each one's id and command line, its words separated
// by blanks.
std::map<int, std::string> command_lines_from(const std::string& folder);

// Processes other than this one that run `program` (the first word of
// their command line).
std::vector<int> processes_running(const std::string& program);

// The processes that `pid` watches through a process descriptor (a pidfd):
// those it may not have started itself, as a launcher watches a detached
// child. Only those still running.
std::vector<int> processes_watched_by(int pid);

// The processes below `pid`: its children, theirs and so on, parents
// before their children.
std::vector<int> descendants_of(int pid);

}  // namespace quorvane_test

#endif  // QUORVANE_TEST_SUPPORT_LOCAL_PROCESSES_H_
