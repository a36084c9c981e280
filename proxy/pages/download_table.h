// The downloads of the runs: answers to a run's navigations that the
// browser would have saved (an attachment, a type it does not show). The
// proxy saves each one itself, whole, into the results folder and answers
// the browser 204, so the page stays where it was and no browser dialog
// comes up, the same in every browser. A test asks for the next download
// since a mark (page_registry.h: the marks of pages and downloads are one
// sequence); each download is handed out once, after it has ended.
//
// Thread-safe.
#ifndef QUORVANE_PROXY_PAGES_DOWNLOAD_TABLE_H_
#define QUORVANE_PROXY_PAGES_DOWNLOAD_TABLE_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace Tavrin::Proxy {

struct Download {
  std::uint64_t mark = 0;
  std::string run;
  std::string url;
  std::string name;  // the name the browser would suggest
  std::string path;  // where the file is saved
  std::uint64_t size = 0;
  bool ended = false;
  std::string error{};  // why it failed; empty when whole
  bool taken = false;
};

class DownloadTable {
 public:
  // How many downloads are remembered, all runs together.
  static constexpr std::size_t kKept = 256;

  void begin(const Download& download);
  // The download `mark` has ended: whole with `size` bytes, or failed.
  void end(std::uint64_t mark, std::uint64_t size, const std::string& error);
  // The first download of `run` with a mark above `after` that no call
  // has returned yet, once it has ended; std::nullopt when none has
  // within `limit`. `started` tells whether one had begun by then.
  std::optional<Download> next(const std::string& run, std::uint64_t after, std::chrono::milliseconds limit,
                               bool* started = nullptr);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Download> downloads_;
};

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_PAGES_DOWNLOAD_TABLE_H_
