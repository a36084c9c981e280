// How a suite learns that it is asked to stop: the console's interrupt,
// close or shutdown (Ctrl-C, a closed terminal, a CI job cancelled: SIGINT,
// SIGHUP, SIGTERM) is kept for the suite to act on, so that it can end its
// scripts and write what finished. A second one is not held up: the
// program ends at once by its default handling, and the scripts it started
// end with it.
#ifndef QUORVANE_RUNNER_SUITE_SUITE_INTERRUPT_H_
#define QUORVANE_RUNNER_SUITE_SUITE_INTERRUPT_H_

namespace Tavrin::Suite {

// One per suite run, on the main thread; installs its console handler
// while it lives. Thread safety: requested() and exit_status() may be
// called from any thread.
class SuiteInterrupt {
 public:
  SuiteInterrupt();
  ~SuiteInterrupt();
  SuiteInterrupt(const SuiteInterrupt&) = delete;
  SuiteInterrupt& operator=(const SuiteInterrupt&) = delete;

  // Whether the suite has been asked to stop.
  bool requested() const;
  // The program's exit status for the request: 128 + the signal's number.
  int exit_status() const;
};

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_SUITE_INTERRUPT_H_
