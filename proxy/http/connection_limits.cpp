#include "proxy/http/connection_limits.h"

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

namespace Tavrin::Proxy::Http {

namespace {

std::uint64_t kernel_open_file_ceiling() {
  std::ifstream in("/proc/sys/fs/nr_open");
  std::uint64_t value = 0;
  if (in >> value && value > 0) return value;
  return 1u << 20;
}

}  // namespace

std::uint64_t raise_descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  rlim_t wanted = limit.rlim_max;
  if (wanted == RLIM_INFINITY) wanted = static_cast<rlim_t>(kernel_open_file_ceiling());
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
    rlimit raised = limit;
    raised.rlim_cur = wanted;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit.rlim_cur == RLIM_INFINITY ? kernel_open_file_ceiling() : static_cast<std::uint64_t>(limit.rlim_cur);
}

std::size_t connection_cap(std::size_t configured, std::uint64_t descriptor_limit) {
  const std::uint64_t room =
      descriptor_limit > kReservedDescriptors ? (descriptor_limit - kReservedDescriptors) / kDescriptorsPerConnection : 0;
  return static_cast<std::size_t>(std::max<std::uint64_t>(1, std::min<std::uint64_t>(configured, room)));
}

bool is_descriptor_shortage(const boost::system::error_code& ec) {
  if (ec.category() != boost::system::system_category()) return false;
  const int value = ec.value();
  return value == EMFILE || value == ENFILE || value == ENOBUFS || value == ENOMEM;
}

ConnectionGate::ConnectionGate(std::size_t cap, std::function<void()> trim)
    : cap_(cap), trim_(trim ? std::move(trim) : [] { ::malloc_trim(0); }) {}

bool ConnectionGate::trim_if_due(Clock::time_point now) {
  const std::uint64_t ended = ended_.load(std::memory_order_relaxed) - ended_at_trim_;
  if (ended == 0) return false;
  const auto since = now - last_trim_;
  if (since < std::chrono::seconds(1)) return false;
  if (open() > 0 && ended < kEndedPerTrim && since < std::chrono::seconds(10)) return false;
  ended_at_trim_ += ended;
  last_trim_ = now;
  trim_();
  return true;
}

}  // namespace Tavrin::Proxy::Http
