// For tests of the registry: plays a page's agent without a channel. A
// poll reports the page and takes the command that waits for it, if any,
// through a sink that lives for the poll alone.
#ifndef QUORVANE_PROXY_PAGES_TESTING_AGENT_DOUBLE_H_
#define QUORVANE_PROXY_PAGES_TESTING_AGENT_DOUBLE_H_

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "proxy/pages/page_protocol.h"
#include "proxy/pages/page_registry.h"

namespace Tavrin::Proxy::Testing {

// A report, the run whose port it came in on and the token it carries.
struct AgentPoll : AgentReport {
  std::string run;
  std::string token;
};

class OneCommand final : public PageSink {
 public:
  void send(std::string command) override {
    std::lock_guard<std::mutex> lock(mutex_);
    command_ = std::move(command);
  }
  bool lasting() const override { return false; }
  void end() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
  }

  std::optional<std::string> taken() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return command_;
  }
  bool ended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
  }

 private:
  mutable std::mutex mutex_;
  std::optional<std::string> command_;
  bool ended_ = false;
};

// The command handed to the page by this poll, if any.
inline std::optional<std::string> poll(PageRegistry& pages, const AgentPoll& p) {
  if (!pages.report(p, p.run, p.token)) return std::nullopt;
  auto sink = std::make_shared<OneCommand>();
  if (!pages.attach(p.page, sink)) return std::nullopt;
  pages.detach(p.page, sink.get());
  return sink->taken();
}

// The page's poll that carries the answer `answer_text` to its command.
inline AgentPoll with_answer(AgentPoll p, const std::string& answer_text) {
  p.answer = read_answer(answer_text);
  return p;
}

// The "id" of a command text; empty if it has none.
inline std::string id_of(const std::string& command) {
  const std::optional<PageCommand> c = read_command(command);
  return c ? c->id : std::string();
}

}  // namespace Tavrin::Proxy::Testing

#endif  // QUORVANE_PROXY_PAGES_TESTING_AGENT_DOUBLE_H_
