#include "runner/report/convert_stream.h"

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "runner/report/log_line.h"
#include "runner/report/nodes.h"
#include "runner/report/open_chain.h"
#include "runner/report/xml_text.h"

namespace Tavrin::Report {

namespace {

constexpr std::size_t kReadSize = 64 * 1024;
// A line buffer that a long line has grown beyond this is given back after
// the line, so that one huge line does not hold memory for the rest of the
// pass.
constexpr std::size_t kKeptLineCapacity = 1024 * 1024;

class LogConverter {
 public:
  explicit LogConverter(std::ostream& report) : writer_(report), chain_(writer_) {
    writer_.Markup("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
  }

  StreamStatus Run(std::istream& log);

 private:
  void ConvertChunk(const char* p, const char* end);
  void ConvertLine(std::string_view line);

  XmlWriter writer_;
  OpenChain chain_;         // declared after writer_: closed before it flushes
  std::string pending_;     // start of a line that the next chunk goes on with
};

StreamStatus LogConverter::Run(std::istream& log) {
  const std::unique_ptr<char[]> chunk(new char[kReadSize]);
  while (writer_.ok()) {
    log.read(chunk.get(), static_cast<std::streamsize>(kReadSize));
    const auto got = static_cast<std::size_t>(log.gcount());
    if (log.bad()) return StreamStatus::kReadFailed;
    if (got == 0) break;
    ConvertChunk(chunk.get(), chunk.get() + got);
  }
  // What is left in pending_ is a final line without LF: it is not converted.
  chain_.CloseAll();
  writer_.Flush();
  return writer_.ok() ? StreamStatus::kOk : StreamStatus::kWriteFailed;
}

void LogConverter::ConvertChunk(const char* p, const char* const end) {
  if (!pending_.empty()) {
    const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (lf == nullptr) {
      pending_.append(p, end);
      return;
    }
    pending_.append(p, lf);
    ConvertLine(pending_);
    pending_.clear();
    if (pending_.capacity() > kKeptLineCapacity) std::string().swap(pending_);
    p = lf + 1;
  }
  while (p < end) {
    const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (lf == nullptr) {
      pending_.assign(p, end);
      return;
    }
    ConvertLine(std::string_view(p, static_cast<std::size_t>(lf - p)));
    p = lf + 1;
  }
}

void LogConverter::ConvertLine(std::string_view line) {
  const std::optional<Kind> kind = match_prefix(line);
  if (!kind) return;
  line.remove_prefix(prefix_length(*kind));
  std::unique_ptr<Node> node = make_node(*kind, line, writer_);
  if (*kind == Kind::kStats) {
    const std::wstring target(stats_target(*node));
    chain_.OfferByName(std::move(node), target);
  } else {
    chain_.Offer(std::move(node));
  }
}

}  // namespace

StreamStatus ConvertStream(std::istream& log, std::ostream& report) {
  LogConverter converter(report);
  return converter.Run(log);
}

}  // namespace Tavrin::Report
