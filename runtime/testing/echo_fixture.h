// Test support for the console echo and nested suites: a runtime object
// created by class id in a private copy of the test program, called by
// member name through IDispatch, with the bytes of standard output
// captured.
#ifndef QUORVANE_RUNTIME_TESTING_ECHO_FIXTURE_H_
#define QUORVANE_RUNTIME_TESTING_ECHO_FIXTURE_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/com.h"
#include "runtime/testing/stdout_capture.h"
#include "runtime/velmora_script.h"

namespace Tavrin::Runtime::Testing {

// A config.xml with console_log_level (none when nullopt),
// max_console_value and `runtime` (further parameter elements) in
// "runtime", and `common` (parameter elements) in "common".
std::string echo_config(const std::optional<std::string>& console_log_level, int max_console_value = 50,
                        const std::string& common = "", const std::string& runtime = "");

class EchoTest : public ::testing::Test {
 protected:
  void TearDown() override;

  // Starts capturing standard output, registers the runtime server and the
  // fake proxy, creates the object by class id and puts the run parameter
  // suite (none when nullopt) and the script's full name.
  void Create(const std::optional<std::wstring>& suite = L"0", const std::wstring& script = L"/tests/main.js",
              StdoutCapture::Target target = StdoutCapture::Target::kPipe);

  Platform::Com::Variant Call(const std::wstring& name, const std::vector<Platform::Com::Variant>& args);
  // LogNode / LogElement by name.
  void Node(const std::wstring& uuid, const std::wstring& type, const std::wstring& name, const std::wstring& value);
  void Element(const std::wstring& name, const std::wstring& uuid);
  // Remote with the fake proxy's page command: sets page pending.
  void Page(const std::wstring& uuid, const std::wstring& url, const std::wstring& title);
  // The failure code of a call, and its description in *description.
  HRESULT Failure(const std::wstring& name, const std::vector<Platform::Com::Variant>& args,
                  std::wstring* description = nullptr);
  Platform::Com::ComPtr<IVelmoraScript> Direct();

  // Releases the object (its logger flushes) and returns what reached
  // standard output.
  std::string Transcript();

  bool initialised_ = false;
  std::unique_ptr<StdoutCapture> capture_;
  Platform::Com::ComPtr<IDispatch> object_;
};

}  // namespace Tavrin::Runtime::Testing

#endif  // QUORVANE_RUNTIME_TESTING_ECHO_FIXTURE_H_
