// Internal to the proxy's HTTP side: one budget of bytes for all the pages
// that connections hold whole to inject them. Pages of many origins that
// send slowly, or stall, could otherwise take memory without bound; a page
// that would pass the budget is streamed on as it comes, without the
// support scripts.
//
// Safe for concurrent use by multiple threads.
#ifndef QUORVANE_PROXY_HTTP_PAGE_BUDGET_H_
#define QUORVANE_PROXY_HTTP_PAGE_BUDGET_H_

#include <atomic>
#include <cstddef>

namespace Tavrin::Proxy::Http {

class PageBudget {
 public:
  explicit PageBudget(std::size_t limit) : limit_(limit) {}
  PageBudget(const PageBudget&) = delete;
  PageBudget& operator=(const PageBudget&) = delete;

  std::size_t limit() const { return limit_; }
  std::size_t used() const { return used_.load(std::memory_order_relaxed); }

  // The bytes one page holds, given back when destroyed.
  class Hold {
   public:
    explicit Hold(PageBudget& budget) : budget_(budget) {}
    ~Hold() { budget_.give(held_); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

    // Grows the hold to `bytes`; false (the hold unchanged) when the budget
    // has not that much left.
    bool grow_to(std::size_t bytes) {
      if (bytes <= held_) return true;
      if (!budget_.take(bytes - held_)) return false;
      held_ = bytes;
      return true;
    }
    std::size_t held() const { return held_; }

   private:
    PageBudget& budget_;
    std::size_t held_ = 0;
  };

 private:
  bool take(std::size_t bytes) {
    std::size_t used = used_.load(std::memory_order_relaxed);
    do {
      if (bytes > limit_ || used > limit_ - bytes) return false;
    } while (!used_.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
    return true;
  }
  void give(std::size_t bytes) { used_.fetch_sub(bytes, std::memory_order_relaxed); }

  const std::size_t limit_;
  std::atomic<std::size_t> used_{0};
};

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_PAGE_BUDGET_H_
