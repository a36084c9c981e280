// The end of a test that ran a private copy of the programs: what its runs
// may leave behind by fault (a runner, a browser launcher, a browser, a
// private screen) must end by itself; the copy's proxy server and its guard
// then end here instead of by themselves. By design the guard holds an idle
// proxy ten seconds before both go, and the proxy counts as busy for its
// first ten seconds; waiting that out in every test costs far more than the
// tests themselves, and the guard's and the proxy's own ends are checked by
// the helper's and the proxy's tests.
#ifndef QUORVANE_TEST_SUPPORT_RUN_LEFTOVERS_H_
#define QUORVANE_TEST_SUPPORT_RUN_LEFTOVERS_H_

#include <chrono>
#include <string>
#include <vector>

namespace quorvane_test {

// True for the command line (words separated by blanks) of the copy's
// proxy server or of a guard (the helper started without arguments).
bool is_server_or_guard(const std::string& command_line);

// Waits up to `timeout` for every process from `folder` (see
// processes_from) but the proxy and its guard to end. If they all did,
// ends the guards, then the proxy servers (SIGTERM) and waits up to ten
// seconds for each to go. Returns the command lines of the processes still
// running from `folder`: empty when nothing is left.
std::vector<std::string> end_runs_then_server(const std::string& folder,
                                              std::chrono::seconds timeout = std::chrono::seconds(90));

}  // namespace quorvane_test

#endif  // QUORVANE_TEST_SUPPORT_RUN_LEFTOVERS_H_
