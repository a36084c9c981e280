// The console echo of the runtime object: one short line per event that the
// script reports with LogNode and LogElement, on the console logger's
// channel of the event's kind word, with long values shortened. Context
// headers keep the echo readable; each is printed only when its context
// changes: the test file being run, the page that Remote reported last, and
// the page element that an event concerns.
//
// Line forms (each ends with one line feed, UTF-8 on the console):
//   TYPE: NAME="SHOWN"                    an event
//   testfile: source="FILE"               the test-file header
//   page: uuid="PAGEUUID"                 the page header
//   element: name="NAME" uuid="UUID"      an element line
//
// ConsoleEcho is a view over the object's state for the length of one call;
// it owns nothing. Not thread-safe: the object is called on one thread.
#ifndef QUORVANE_RUNTIME_CONSOLE_ECHO_H_
#define QUORVANE_RUNTIME_CONSOLE_ECHO_H_

#include <map>
#include <optional>
#include <string>

#include "common/configuration.h"
#include "common/logger.h"

namespace Tavrin::Runtime {

struct PageState;

// What the echo remembers between calls.
struct EchoState {
  // The test-file header of this run has been printed; stays true.
  bool test_file_announced = false;
  // The test-file header for `reannounce_name` goes before the next page
  // header (set after a nested suite has written to the console).
  bool reannounce_pending = false;
  std::wstring reannounce_name;
  // Elements registered by LogElement, uuid to name; only grows.
  std::map<std::wstring, std::wstring> element_names;
  // The uuid of the element whose line was printed last.
  std::optional<std::wstring> last_element_shown;
};

// The value as the event line shows it: a value longer than `max_length`,
// or one that both begins and ends with two double quotes, loses one quote
// at each doubled end and is then cut to `max_length` characters followed
// by "..." if it is still too long. Anything else is shown as it is.
std::wstring shown_value(const std::wstring& value, int max_length);

// The folder part of a script path: the text before its last backslash,
// else before its last slash, else the whole text.
std::wstring script_directory(const std::wstring& full_name);
// The file name of a script path: the text after its last backslash or
// slash, or the whole text.
std::wstring script_file_name(const std::wstring& full_name);

// The path that the test-file header reports for `file`: `file` joined to
// the folder of `full_name` with the native separator (a backslash counts
// as a separator and is written as "/"); an absolute `file`, or any `file`
// when `full_name` names no folder, as it is.
std::wstring announced_path(const std::wstring& full_name, const std::wstring& file);

class ConsoleEcho {
 public:
  ConsoleEcho(Logger::ConsoleLogger& logger, const Configuration& configuration, const std::wstring& script_full_name,
              PageState& page, EchoState& state, int max_console_value)
      : logger_(logger),
        configuration_(configuration),
        script_full_name_(script_full_name),
        page_(page),
        state_(state),
        max_console_value_(max_console_value) {}

  // Echoes one event. Throws Configuration::ConfigurationError when the
  // top-level announcement is due and "common"/suite is missing; a line may
  // be partly written by then.
  void Node(const std::wstring& uuid, const std::wstring& type, const std::wstring& name, const std::wstring& value);
  // Registers element `uuid` under `name` (a known uuid keeps its first
  // name) and shows it. An empty uuid does nothing beyond the top-level
  // announcement. Throws as Node.
  void Element(const std::wstring& name, const std::wstring& uuid);
  // Prints the test-file header for `file` and its "info" path event, and
  // marks the test file announced.
  void TestFileHeader(const std::wstring& file);

 private:
  // The test-file header of a top-level run, once, before anything else.
  void AnnounceTopLevel();
  void PageHeader();
  void ShowElement(const std::wstring& uuid, const std::wstring& name);

  Logger::ConsoleLogger& logger_;
  const Configuration& configuration_;
  const std::wstring& script_full_name_;
  PageState& page_;
  EchoState& state_;
  int max_console_value_;
};

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_CONSOLE_ECHO_H_
