#include "platform/console_events.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::mutex handlers_mutex;
std::vector<PHANDLER_ROUTINE> handlers;
bool waiter_started = false;

sigset_t console_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGQUIT);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGTERM);
  return set;
}

unsigned long event_of(int signal_number) {
  switch (signal_number) {
    case SIGINT: return CTRL_C_EVENT;
    case SIGQUIT: return CTRL_BREAK_EVENT;
    case SIGHUP: return CTRL_CLOSE_EVENT;
    default: return CTRL_SHUTDOWN_EVENT;
  }
}

// Ends the process the way the signal would have without a handler.
[[noreturn]] void end_by_default_action(int signal_number) {
  ::signal(signal_number, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal_number);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  ::raise(signal_number);
  std::_Exit(128 + signal_number);  // not reached for the console signals
}

void wait_for_events() {
  const sigset_t set = console_signals();
  for (;;) {
    int signal_number = 0;
    if (sigwait(&set, &signal_number) != 0) continue;
    std::vector<PHANDLER_ROUTINE> current;
    {
      std::lock_guard<std::mutex> lock(handlers_mutex);
      current = handlers;
    }
    bool handled = false;
    for (auto it = current.rbegin(); it != current.rend() && !handled; ++it)
      handled = (*it)(event_of(signal_number));
    if (!handled) end_by_default_action(signal_number);
  }
}

}  // namespace

bool SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, bool add) {
  std::lock_guard<std::mutex> lock(handlers_mutex);
  if (!add) {
    handlers.erase(std::remove(handlers.begin(), handlers.end(), handler), handlers.end());
    return true;
  }
  if (!waiter_started) {
    const sigset_t set = console_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    try {
      std::thread(wait_for_events).detach();
    } catch (...) {
      pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
      return false;
    }
    waiter_started = true;
  }
  handlers.push_back(handler);
  return true;
}

int ConsoleEventExitStatus(unsigned long event) {
  switch (event) {
    case CTRL_C_EVENT: return 128 + SIGINT;
    case CTRL_BREAK_EVENT: return 128 + SIGQUIT;
    case CTRL_CLOSE_EVENT: return 128 + SIGHUP;
    default: return 128 + SIGTERM;
  }
}
