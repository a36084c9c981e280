#include "proxy/pages/download_table.h"

namespace Tavrin::Proxy {

void DownloadTable::begin(const Download& download) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    downloads_.push_back(download);
    if (downloads_.size() > kKept) downloads_.pop_front();
  }
  changed_.notify_all();
}

void DownloadTable::end(std::uint64_t mark, std::uint64_t size, const std::string& error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Download& d : downloads_) {
      if (d.mark != mark) continue;
      d.size = size;
      d.error = error;
      d.ended = true;
    }
  }
  changed_.notify_all();
}

std::optional<Download> DownloadTable::next(const std::string& run, std::uint64_t after,
                                            std::chrono::milliseconds limit, bool* started) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    Download* first = nullptr;
    for (Download& d : downloads_) {
      if (d.run == run && d.mark > after && !d.taken) {
        first = &d;
        break;
      }
    }
    if (started) *started = first != nullptr;
    if (first && first->ended) {
      first->taken = true;
      return *first;
    }
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      // One last look: it may have ended just now.
      for (Download& d : downloads_) {
        if (d.run == run && d.mark > after && !d.taken && d.ended) {
          d.taken = true;
          return d;
        }
      }
      return std::nullopt;
    }
  }
}

}  // namespace Tavrin::Proxy
