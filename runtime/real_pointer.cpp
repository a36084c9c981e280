#include "runtime/real_pointer.h"

#include <exception>
#include <optional>
#include <vector>

#include "platform/pointer.h"
#include "platform/text.h"
#include "proxy/pages/pointer_protocol.h"

namespace Tavrin::Runtime {
namespace {

namespace Pointer = Platform::Pointer;

// A drag takes four (to the source, the press and first step, the rest of
// the way, the release), a move one more and a correction one: a page that
// asks for more is told to act on its own.
constexpr int kMostRounds = 8;

Pointer::Step platform_step(const Proxy::PointerStep& s) {
  using Kind = Proxy::PointerStep::Kind;
  Pointer::Step step;
  step.kind = s.kind == Kind::kMove      ? Pointer::Step::Kind::kMove
              : s.kind == Kind::kPress   ? Pointer::Step::Kind::kPress
              : s.kind == Kind::kRelease ? Pointer::Step::Kind::kRelease
                                         : Pointer::Step::Kind::kPause;
  step.x = s.x;
  step.y = s.y;
  step.button = s.button;
  step.ms = s.ms;
  return step;
}

// Does the steps; empty when done, else why not.
std::string run(const std::vector<Proxy::PointerStep>& steps, int round) {
  if (round > kMostRounds) return "the page asked for the pointer more than " + std::to_string(kMostRounds) + " times";
  if (steps.empty()) return "the page asked for pointer steps that cannot be read";
  std::vector<Pointer::Step> platform;
  for (const Proxy::PointerStep& s : steps) platform.push_back(platform_step(s));
  try {
    Pointer::run_steps(platform);
    return "";
  } catch (const std::exception& e) {
    return e.what();
  }
}

}  // namespace

std::string send_page_command(const std::string& text, const RemoteSend& send) {
  const std::optional<Proxy::PageCommand> command = Proxy::read_command(text);
  if (!command || !Proxy::moves_pointer(*command) || !Pointer::has_display()) return send(text);
  std::string reply = send(Proxy::write_real_pointer_command(*command));
  std::vector<Proxy::PageAnswer> answers;
  for (int round = 1;; ++round) {
    std::optional<Proxy::PageAnswer> answer = Proxy::read_answer(reply);
    // A reply that is no answer is passed on as it came.
    if (!answer) return reply;
    answers.push_back(std::move(*answer));
    const std::optional<std::vector<Proxy::PointerStep>> steps = Proxy::pointer_steps_of(answers.back());
    // The round after the one told to act on its own ends it in any case.
    if (!steps || round > kMostRounds + 1) break;
    const std::string failure = run(*steps, round);
    reply = send(Proxy::write_pointed_command(*command, Proxy::page_of_answer(reply).page, round, failure));
  }
  return Proxy::write_answer(Proxy::pointer_exchange_answer(answers));
}

}  // namespace Tavrin::Runtime
