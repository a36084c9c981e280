// Test program: a runner in the middle of a run, with the real console
// handler and host slot and a host that reports each stop on standard
// output. Arguments: the suite number and how long the "script" runs, in
// milliseconds.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/console_events.h"
#include "runner/startup.h"

namespace {

void say(const char* text) {
  const std::string s(text);
  [[maybe_unused]] auto ignored = ::write(1, s.data(), s.size());
}

class RecordingHost final : public Tavrin::Runner::StoppableHost {
 public:
  void StopProxy() override { say("stop\n"); }
};

}  // namespace

int main(int argc, char** argv) {
  using namespace Tavrin::Runner;
  const int suite = argc > 1 ? std::atoi(argv[1]) : 0;
  const int run_ms = argc > 2 ? std::atoi(argv[2]) : 10000;
  SetConsoleCtrlHandler(&OnConsoleEvent, true);
  host_slot().set_suite(suite);
  host_slot().Set(std::make_shared<RecordingHost>());
  say("running\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(run_ms));
  ReleaseHost();  // the end of a run that was not interrupted
  ReleaseHost();  // shutdown releases again; the slot is empty by now
  say("ended\n");
  return 0;
}
