// The chain of open nodes of a report being written: the invisible root,
// its open child, that node's open child, and so on down to the deepest
// open node. New nodes are placed in it as the add… answers of the open
// nodes decide (the decision table, see nodes.h); placing a node closes the
// nodes that it ends, deepest first, each writing its closing tag.
//
// The answers are followed without recursion, and the chain keeps, for each
// kind, where the open nodes stand whose answer stops a walk down the chain,
// so a record is placed in constant amortised time however deep the chain
// has grown (consecutive result records, for one, nest without limit), and
// closing a deep chain uses no deep stack.
#ifndef QUORVANE_RUNNER_REPORT_OPEN_CHAIN_H_
#define QUORVANE_RUNNER_REPORT_OPEN_CHAIN_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "runner/report/nodes.h"

namespace Tavrin::Report {

class OpenChain {
 public:
  // Starts with the root alone. `out` must outlive the chain.
  explicit OpenChain(XmlWriter& out);
  // Closes every open node, innermost first.
  ~OpenChain();
  OpenChain(const OpenChain&) = delete;
  OpenChain& operator=(const OpenChain&) = delete;

  // Offers `node` (any kind but statistics) to the root, which offers it
  // down the chain with the add… operation of its kind: the node ends up
  // open at its place (closing what it ends) or, for the kinds that the
  // open nodes pass down, written complete after the deepest open node's
  // content so far.
  void Offer(std::unique_ptr<Node> node);
  // Places a statistics node by the kind word it names, compared without
  // regard to ASCII letter case: it closes everything below the topmost
  // open node of that kind ("node" names the root) and becomes that node's
  // open child; without such a node it becomes the deepest node's child.
  void OfferByName(std::unique_ptr<Node> node, std::wstring_view kind_word);

  // Closes every open node below the root, innermost first.
  void CloseAll() { CloseBelow(0); }

  // Number of open nodes below the root.
  std::size_t depth() const { return chain_.size() - 1; }

 private:
  // Closes the nodes below position `at`, then opens `node` below it.
  void Adopt(std::size_t at, std::unique_ptr<Node> node);
  void CloseBelow(std::size_t at);

  std::vector<std::unique_ptr<Node>> chain_;  // chain_[0] is the root
  // For each offered kind but statistics: positions of the open nodes whose
  // answer is neither D nor P, top first.
  std::array<std::vector<std::uint32_t>, kKindCount> stops_;
  // For each kind: positions of the open nodes of that kind, top first.
  std::array<std::vector<std::uint32_t>, kKindCount> positions_;
};

}  // namespace Tavrin::Report

#endif  // QUORVANE_RUNNER_REPORT_OPEN_CHAIN_H_
