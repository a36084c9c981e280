#include "runner/suite/suite_interrupt.h"

#include <atomic>

#include "platform/console_events.h"

namespace Tavrin::Suite {

namespace {

constexpr long kNone = -1;
std::atomic<long> g_event{kNone};

// Runs on the console handler's thread. The first event is kept and
// handled; any later one is left to the handlers before this one, and the
// program then ends.
bool keep_first_event(unsigned long event) {
  if (event != CTRL_C_EVENT && event != CTRL_CLOSE_EVENT && event != CTRL_SHUTDOWN_EVENT) return false;
  long none = kNone;
  return g_event.compare_exchange_strong(none, static_cast<long>(event));
}

}  // namespace

SuiteInterrupt::SuiteInterrupt() {
  g_event = kNone;
  SetConsoleCtrlHandler(&keep_first_event, true);
}

SuiteInterrupt::~SuiteInterrupt() { SetConsoleCtrlHandler(&keep_first_event, false); }

bool SuiteInterrupt::requested() const { return g_event.load() != kNone; }

int SuiteInterrupt::exit_status() const {
  const long event = g_event.load();
  return event == kNone ? 0 : ConsoleEventExitStatus(static_cast<unsigned long>(event));
}

}  // namespace Tavrin::Suite
