// Test support for browser launching: a private registry per test, stand-in
// browsers that record how they were started, and the keys that register
// them.
//
// A stand-in is a small shell script. Started, it writes its arguments
// (each followed by a NUL byte) to "<record folder>/<its name>.args", after
// its process id to "<name>.pid", $QUORVANE_BROWSER_OWNER to
// "<name>.owner" and $DISPLAY to "<name>.display", and,
// when $STAND_IN_SLEEP is set, stays alive that many seconds. Asked for
// --version it prints "<name> 12.16 Build 1860" and nothing else.
#ifndef QUORVANE_RUNTIME_TESTING_STAND_IN_BROWSERS_H_
#define QUORVANE_RUNTIME_TESTING_STAND_IN_BROWSERS_H_

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "test_support/temp_dir.h"

namespace Tavrin::Runtime::Testing {

class StandInBrowsers {
 public:
  // Points both registry hives at fresh folders of a new temporary folder.
  StandInBrowsers();
  ~StandInBrowsers();

  // Writes the stand-in `name` and returns its path.
  std::string Make(const std::string& name);
  // The arguments stand-in `name` was started with, waiting up to `timeout`
  // for it to write them; nullopt when it did not.
  std::optional<std::vector<std::string>> Arguments(
      const std::string& name, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  // The process id and the run owner that stand-in `name` recorded (after
  // Arguments has seen it start); -1 and "" when it did not.
  int Pid(const std::string& name) const;
  std::string Owner(const std::string& name) const;
  // The $DISPLAY that stand-in `name` saw (after Arguments has seen it).
  std::string Display(const std::string& name) const;
  std::string folder() const { return dir_.path(); }

  // Registry values (default value unless `name`).
  static void SetClassCommand(const std::wstring& prog_id, const std::wstring& command);
  static void SetAppPath(const std::wstring& exe, const std::wstring& command);
  static void SetUserChoice(const std::wstring& prog_id);
  static void SetHttpCommand(const std::wstring& command);

 private:
  quorvane_test::TempDir dir_;
  std::unique_ptr<quorvane_test::ScopedEnv> machine_;
  std::unique_ptr<quorvane_test::ScopedEnv> user_;
  std::unique_ptr<quorvane_test::ScopedEnv> data_;
};

// `path` in double quotes.
std::wstring quoted(const std::string& path);

}  // namespace Tavrin::Runtime::Testing

#endif  // QUORVANE_RUNTIME_TESTING_STAND_IN_BROWSERS_H_
