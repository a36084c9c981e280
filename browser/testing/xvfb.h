// A private X server for tests and benchmarks: Xvfb on a free display
// number (it reports the one it took through -displayfd), ended when the
// object goes.
#ifndef QUORVANE_BROWSER_TESTING_XVFB_H_
#define QUORVANE_BROWSER_TESTING_XVFB_H_

#include <optional>
#include <string>

#include "platform/process.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Browser::Testing {

class Xvfb {
 public:
  // Starts Xvfb with one 1280x1024x24 screen; display() is empty when Xvfb
  // is missing or did not come up within ten seconds.
  Xvfb();
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  // ":N", or empty.
  const std::string& display() const { return display_; }

 private:
  quorvane_test::TempDir dir_;
  std::optional<Platform::Process::Child> server_;
  std::string display_;
};

}  // namespace Tavrin::Browser::Testing

#endif  // QUORVANE_BROWSER_TESTING_XVFB_H_
