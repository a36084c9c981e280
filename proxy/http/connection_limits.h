// Internal to the proxy's HTTP side: how many connections the server holds
// at once, so that a flood of connections (idle ones included) never runs
// the process out of file descriptors. At start the soft descriptor limit
// is raised to the hard one; the connection cap is then the configured one
// or what the descriptors allow (each connection may hold a client and an
// origin socket), whichever is smaller. Beyond the cap the accept loops
// stop taking connections, which wait in the kernel's queue until others
// end; a descriptor shortage on accept pauses accepting briefly instead of
// ending anything.
//
// ConnectionGate is safe for concurrent use by multiple threads.
#ifndef QUORVANE_PROXY_HTTP_CONNECTION_LIMITS_H_
#define QUORVANE_PROXY_HTTP_CONNECTION_LIMITS_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

#include <boost/system/error_code.hpp>

namespace Tavrin::Proxy::Http {

// Descriptors kept apart from connections: listeners, the authority's
// files, the component transport, name lookups.
inline constexpr std::uint64_t kReservedDescriptors = 64;
// A client's socket and the one to its origin.
inline constexpr std::uint64_t kDescriptorsPerConnection = 2;

// Raises the soft RLIMIT_NOFILE to the hard limit (to fs.nr_open when the
// hard one is unlimited). Returns the soft limit in force afterwards.
// Never throws: a limit that cannot be raised stays as it was.
std::uint64_t raise_descriptor_limit();

// The number of connections served at once: `configured`, lowered to what
// `descriptor_limit` leaves room for; at least 1.
std::size_t connection_cap(std::size_t configured, std::uint64_t descriptor_limit);

// Whether an accept failed for want of descriptors or kernel memory, a
// state that passes as connections end.
bool is_descriptor_shortage(const boost::system::error_code& ec);

// Counts the open connections against the cap, and hands the heap memory
// that ended connections freed back to the system: the allocator keeps
// freed pages resident, so a burst of 2,000 idle connections would
// otherwise leave some 13 MB behind for good. trim_if_due(), called about
// once a second, trims when connections have ended since the last trim
// and none is left, or many have ended, or ten seconds have passed; not
// more often than once a second, since a trim walks every arena.
class ConnectionGate {
 public:
  using Clock = std::chrono::steady_clock;
  // How many ended connections call for a trim while others stay open.
  static constexpr std::uint64_t kEndedPerTrim = 256;

  // `trim` hands freed memory back (null: the allocator's own trim).
  explicit ConnectionGate(std::size_t cap, std::function<void()> trim = nullptr);
  ConnectionGate(const ConnectionGate&) = delete;
  ConnectionGate& operator=(const ConnectionGate&) = delete;

  std::size_t cap() const { return cap_; }
  std::size_t open() const { return open_.load(std::memory_order_relaxed); }
  bool full() const { return open() >= cap_; }

  // Trims when it is due (see above); returns whether it trimmed. Called
  // from one thread at a time.
  bool trim_if_due(Clock::time_point now);

  // Holds one connection's place until destroyed.
  class Slot {
   public:
    explicit Slot(ConnectionGate& gate) : gate_(&gate) { gate_->open_.fetch_add(1, std::memory_order_relaxed); }
    ~Slot() {
      if (gate_) {
        gate_->open_.fetch_sub(1, std::memory_order_relaxed);
        gate_->ended_.fetch_add(1, std::memory_order_relaxed);
      }
    }
    Slot(Slot&& other) noexcept : gate_(other.gate_) { other.gate_ = nullptr; }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    Slot& operator=(Slot&&) = delete;

   private:
    ConnectionGate* gate_;
  };

 private:
  const std::size_t cap_;
  const std::function<void()> trim_;
  std::atomic<std::size_t> open_{0};
  std::atomic<std::uint64_t> ended_{0};
  // As of the last trim; touched by trim_if_due() alone.
  std::uint64_t ended_at_trim_ = 0;
  Clock::time_point last_trim_{};
};

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_CONNECTION_LIMITS_H_
