// What tests that run the real programs need of the machine: a loopback
// port that is free right now, and a count of the processes still running
// from a folder (the test's private copy of the programs, or profiles
// under it), to check that nothing was left behind.
#ifndef QUORVANE_TEST_SUPPORT_LOCAL_PROCESSES_H_
#define QUORVANE_TEST_SUPPORT_LOCAL_PROCESSES_H_

#include <string>

namespace quorvane_test {

// A port on 127.0.0.1 that nothing listens on at the moment of the call.
int free_port();

// Processes other than this one whose command line names `folder`.
int processes_from(const std::string& folder);

}  // namespace quorvane_test

#endif  // QUORVANE_TEST_SUPPORT_LOCAL_PROCESSES_H_
