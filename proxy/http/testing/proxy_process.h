// proxy_http_host as a child of a test, for tests that watch the server as
// a process of its own (its descriptors, its memory, its life). It serves
// until the test process ends, so it never outlives the test; destroying
// the object kills it.
#ifndef QUORVANE_PROXY_HTTP_TESTING_PROXY_PROCESS_H_
#define QUORVANE_PROXY_HTTP_TESTING_PROXY_PROCESS_H_

#include <string>
#include <vector>

#include "platform/process.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Proxy::Http::Testing {

class ProxyProcess {
 public:
  // `launcher` goes before the host (a program that execs the rest, such as
  // prlimit with its options); `options` after it.
  explicit ProxyProcess(std::vector<std::string> launcher = {}, std::vector<std::string> options = {});
  int pid() const { return child_.pid(); }
  int port() const { return port_; }
  bool running();
  // What it wrote on standard error, for failure messages.
  std::string errors() const;

 private:
  quorvane_test::TempDir dir_;
  Platform::Process::Child child_;
  int port_ = 0;
};

// Resident memory (VmRSS) and its peak (VmHWM) of process `pid`, in kB;
// -1 when not known.
long resident_kb_of(int pid);
long peak_resident_kb_of(int pid);
// Descriptors open in process `pid`.
int open_descriptors_of(int pid);

}  // namespace Tavrin::Proxy::Http::Testing

#endif  // QUORVANE_PROXY_HTTP_TESTING_PROXY_PROCESS_H_
