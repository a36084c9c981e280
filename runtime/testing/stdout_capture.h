// Test support: the bytes that reach the process's standard output
// (descriptor 1), written by the program itself or by the children it
// starts, as a user would see them with the run piped or redirected to a
// file.
//
// Streams are switched off the C library's buffers first, as the runner
// does at start-up, so that wide output goes through the console logger's
// UTF-8 conversion. Create the capture before the object whose logger
// writes to std::wcout.
#ifndef QUORVANE_RUNTIME_TESTING_STDOUT_CAPTURE_H_
#define QUORVANE_RUNTIME_TESTING_STDOUT_CAPTURE_H_

#include <memory>
#include <ostream>
#include <string>

namespace Tavrin::Runtime::Testing {

class StdoutCapture {
 public:
  enum class Target { kPipe, kFile };

  // Points descriptor 1 at a new pipe or file. Fails the test (and captures
  // nothing) when that cannot be done.
  explicit StdoutCapture(Target target = Target::kPipe);
  // Without a call of Finish: puts descriptor 1 back and, when the test
  // has failed, copies what was captured to standard error, so that
  // gtest's messages are not lost.
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  // Flushes the standard streams, puts descriptor 1 back and returns every
  // byte written since construction. Call it once; for a pipe, after every
  // child that holds the pipe has ended.
  std::string Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// gtest's name for a target, in test parameters.
void PrintTo(StdoutCapture::Target target, std::ostream* os);

}  // namespace Tavrin::Runtime::Testing

#endif  // QUORVANE_RUNTIME_TESTING_STDOUT_CAPTURE_H_
