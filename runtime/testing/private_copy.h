// Test support for the runtime object, which reads config.xml from the
// directory of the running program: a test that creates the object runs
// again in a copy of the test program placed in a fresh folder of its own,
// with the config.xml the test chooses beside it. Test programs thus never
// write beside themselves or into the build's bin folder, and tests that
// want different files do not disturb each other.
//
//   TEST_F(Fixture, Name) {
//     if (!InPrivateCopy(kConfig)) return;  // the original process stops here
//     ... the body, run by the copy ...
//   }
#ifndef QUORVANE_RUNTIME_TESTING_PRIVATE_COPY_H_
#define QUORVANE_RUNTIME_TESTING_PRIVATE_COPY_H_

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace Tavrin::Runtime::Testing {

// In the test program itself: runs the current test in a private copy with
// `config_xml` (std::nullopt: no file) beside it, fails the test with the copy's
// output if the copy fails, and returns false. In the copy: returns true.
bool InPrivateCopy(const std::optional<std::string>& config_xml);

// What the private copy's folder holds besides the copy itself.
struct CopyLayout {
  std::optional<std::string> config_xml;  // config.xml beside the copy, or none
  // The copy's folder, relative to a fresh temporary folder (may hold
  // blanks); the temporary folder itself when empty.
  std::string folder;
  // Further programs placed beside the copy: source path, file name.
  std::vector<std::pair<std::string, std::string>> programs;
};
bool InPrivateCopy(const CopyLayout& layout);

// Collects what is written to std::wcout while it lives (the runtime
// object's console logger writes there).
class ConsoleCapture {
 public:
  ConsoleCapture();
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  std::wstring text() const { return buffer_.str(); }
  void clear() { buffer_.str(L""); }

 private:
  std::wostringstream buffer_;
  std::wstreambuf* previous_;
};

// A config.xml whose "runtime" section carries `console_log_level`, with
// run parameters server and port in "common".
std::string config_with_level(const std::string& console_log_level);

}  // namespace Tavrin::Runtime::Testing

#endif  // QUORVANE_RUNTIME_TESTING_PRIVATE_COPY_H_
