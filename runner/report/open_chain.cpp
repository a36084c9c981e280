#include "runner/report/open_chain.h"

#include <optional>

namespace Tavrin::Report {

namespace {

bool ascii_iequals(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'A' && x <= L'Z') x += L'a' - L'A';
    if (y >= L'A' && y <= L'Z') y += L'a' - L'A';
    if (x != y) return false;
  }
  return true;
}

bool is_stop(Rule rule) { return rule != Rule::kDelegate && rule != Rule::kPassDown; }

}  // namespace

OpenChain::OpenChain(XmlWriter& out) { chain_.push_back(std::make_unique<Node>(out)); }

OpenChain::~OpenChain() { CloseBelow(0); }

// Follows the answers from the root down. Every open node that is not a
// stop for this kind answers as the root does (D for the kinds that nodes
// adopt, P for those written through), so the walk only looks at the stops:
//  - A adopts at the stop;
//  - R refuses, and the refusal lands on the delegating node above the stop
//    (through a page that asked its child, further up);
//  - U adopts at the page when the uuid is empty, refuses when the page has
//    no open child, and otherwise asks the child, passing its answer up;
//  - with no stop left, the deepest node adopts (D) or writes through (P).
void OpenChain::Offer(std::unique_ptr<Node> node) {
  const Kind kind = *node->kind();
  const Rule through = chain_[0]->answer(kind);
  const std::size_t deepest = chain_.size() - 1;
  std::size_t fallback = 0;  // where a refusal passed up by a page lands
  std::optional<std::size_t> asking_page;
  for (const std::uint32_t stop : stops_[static_cast<int>(kind)]) {
    const bool below_page = asking_page && *asking_page + 1 == stop;
    const std::size_t refusal = through == Rule::kDelegate && !below_page ? stop - 1 : fallback;
    switch (chain_[stop]->answer(kind)) {
      case Rule::kAdopt:
        Adopt(stop, std::move(node));
        return;
      case Rule::kRefuse:
        Adopt(refusal, std::move(node));
        return;
      case Rule::kPageRule:
        if (node->uuid().empty()) {
          Adopt(stop, std::move(node));
          return;
        }
        if (stop == deepest) {
          Adopt(refusal, std::move(node));
          return;
        }
        fallback = refusal;
        asking_page = stop;
        continue;
      case Rule::kDelegate:
      case Rule::kPassDown:
        break;
    }
  }
  if (through == Rule::kDelegate) {
    Adopt(deepest, std::move(node));
  } else {
    node->writeOpen();
  }
}

void OpenChain::OfferByName(std::unique_ptr<Node> node, std::wstring_view kind_word_text) {
  if (ascii_iequals(kind_word_text, chain_[0]->kindName())) {
    Adopt(0, std::move(node));
    return;
  }
  for (int k = 0; k < kKindCount; ++k) {
    if (!ascii_iequals(kind_word_text, kind_word(static_cast<Kind>(k)))) continue;
    if (!positions_[k].empty()) {
      Adopt(positions_[k].front(), std::move(node));
      return;
    }
    break;
  }
  Adopt(chain_.size() - 1, std::move(node));
}

void OpenChain::Adopt(std::size_t at, std::unique_ptr<Node> node) {
  CloseBelow(at);
  const auto position = static_cast<std::uint32_t>(chain_.size());
  const Kind kind = *node->kind();
  positions_[static_cast<int>(kind)].push_back(position);
  for (int k = 0; k < kKindCount; ++k)
    if (k != static_cast<int>(Kind::kStats) && is_stop(node->answer(static_cast<Kind>(k))))
      stops_[k].push_back(position);
  chain_.push_back(std::move(node));
  chain_.back()->writeOpen();
}

void OpenChain::CloseBelow(std::size_t at) {
  if (chain_.size() <= at + 1) return;
  while (chain_.size() > at + 1) chain_.pop_back();
  auto trim = [at](std::vector<std::uint32_t>& positions) {
    while (!positions.empty() && positions.back() > at) positions.pop_back();
  };
  for (auto& positions : stops_) trim(positions);
  for (auto& positions : positions_) trim(positions);
}

}  // namespace Tavrin::Report
