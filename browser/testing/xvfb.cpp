#include "browser/testing/xvfb.h"

#include <chrono>
#include <thread>

#include <boost/filesystem.hpp>

namespace Tavrin::Browser::Testing {

Xvfb::Xvfb() {
  if (!boost::filesystem::exists("/usr/bin/Xvfb")) return;
  Platform::Process::StartOptions options;
  options.arguments = {"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"};
  options.output_file = dir_.file("display");
  options.error_file = dir_.file("errors");
  try {
    server_.emplace(Platform::Process::start(options));
  } catch (const std::exception&) {
    return;
  }
  for (int i = 0; i < 200; ++i) {
    const std::string text = quorvane_test::read_file(dir_.file("display"));
    if (!text.empty() && text.back() == '\n') {
      display_ = ":" + text.substr(0, text.size() - 1);
      return;
    }
    if (server_->WaitFor(std::chrono::milliseconds(50))) return;  // ended
  }
}

Xvfb::~Xvfb() {
  if (server_) server_->Kill();
}

}  // namespace Tavrin::Browser::Testing
