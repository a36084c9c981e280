#include "platform/display_on_demand.h"

#include <exception>

#include "platform/process_watch.h"

namespace Tavrin::Platform {
namespace {

std::mutex g_current_mutex;
DisplayOnDemand* g_current = nullptr;

}  // namespace

DisplayOnDemand::DisplayOnDemand(int width, int height) : width_(width), height_(height) {
  std::lock_guard<std::mutex> lock(g_current_mutex);
  g_current = this;
}

DisplayOnDemand::~DisplayOnDemand() {
  {
    std::lock_guard<std::mutex> lock(g_current_mutex);
    if (g_current == this) g_current = nullptr;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  display_.reset();
}

bool DisplayOnDemand::Need() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (display_) return true;
  if (tried_) return false;
  tried_ = true;
  try {
    auto display = std::make_unique<PrivateDisplay>(width_, height_);
    Process::set_own_environment("DISPLAY", display->name());
    display_ = std::move(display);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::string DisplayOnDemand::name() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return display_ ? display_->name() : std::string();
}

int DisplayOnDemand::server_pid() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return display_ ? display_->server_pid() : -1;
}

void need_display() {
  // Held while the display starts, so that the owner cannot go meanwhile.
  std::lock_guard<std::mutex> lock(g_current_mutex);
  if (g_current) g_current->Need();
}

}  // namespace Tavrin::Platform
