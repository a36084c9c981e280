// Stand-ins for the three objects that the script host creates, built into
// the test process as built-in classes under the real class ids: a script
// control that records what it is told and fails on demand, a runtime
// object that records its parameters, and a proxy object. All three write
// into one journal, so a test sees the order of calls across them.
#ifndef QUORVANE_RUNNER_TESTING_FAKE_SCRIPT_OBJECTS_H_
#define QUORVANE_RUNNER_TESTING_FAKE_SCRIPT_OBJECTS_H_

#include <string>
#include <vector>

#include "platform/com/variant.h"

namespace Tavrin::Runner::Testing {

// What the fakes do and what they saw. Reset by install_fake_script_objects.
struct FakeScriptState {
  // One line per call, in order: "Language=JScript", "AllowUI=-1",
  // "AddObject Quorvane members=0", "Timeout=3600000", "AddCode <code>",
  // "Run quorvaneRun args=0 from 0", "PutParameter file=<value>",
  // "scriptFullName=<path>", "LogNode <uuid>|<type>|<name>|<value>",
  // "SetStop <0|-1>".
  std::vector<std::wstring> journal;
  // What Run returns.
  Platform::Com::Variant run_result;
  // When not 0: AddCode of the code containing `fail_code_marker` (any code
  // when the marker is empty), or Run when `fail_run`, fails with this
  // number, filling the error object with the fields below.
  long fail_number = 0;
  std::wstring fail_code_marker;
  bool fail_run = false;
  std::wstring fail_description;
  std::wstring fail_text;
  long fail_line = 0;
  long fail_column = 0;
  // Which of the three classes can be created.
  bool engine_available = true;
  bool runtime_available = true;
  bool proxy_available = true;
};

FakeScriptState& fake_state();

// Registers the three fakes as built-in classes (once per process) and
// resets the state.
void install_fake_script_objects();

}  // namespace Tavrin::Runner::Testing

#endif  // QUORVANE_RUNNER_TESTING_FAKE_SCRIPT_OBJECTS_H_
