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

void ConnectionGate::release() {
  const bool last_one = open_.fetch_sub(1, std::memory_order_acq_rel) == 1;
  // Hand freed heap pages back when the last connection has gone, and now
  // and then under steady traffic; not more often (a trim walks every
  // arena).
  const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
  std::int64_t last = last_trim_ms_.load(std::memory_order_relaxed);
  if (now - last < (last_one ? 1000 : 10000)) return;
  if (!last_trim_ms_.compare_exchange_strong(last, now)) return;
  ::malloc_trim(0);
}

}  // namespace Tavrin::Proxy::Http
