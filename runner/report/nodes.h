// The nodes of the report tree. Each record of the test log becomes one node
// of its kind; a node knows the XML that it writes when it is placed
// (writeOpen) and when it is closed (its destructor), and, through its add…
// operations, how it treats a node of each kind that is offered to it while
// it is open: the row of the decision table that its class carries. The
// open nodes form one chain from the invisible root down (OpenChain, which
// applies these answers).
#ifndef QUORVANE_RUNNER_REPORT_NODES_H_
#define QUORVANE_RUNNER_REPORT_NODES_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runner/report/log_line.h"
#include "runner/report/xml_text.h"

namespace Tavrin::Report {

// How an open node treats a node offered to it.
enum class Rule {
  kDelegate,  // D: offer it to the open child; adopt it here when there is
              //    none or the child refuses (which closes the child)
  kPassDown,  // P: the open child's answer; without one, write it here at
              //    once (it never becomes open and closes nothing)
  kRefuse,    // R: the parent closes this node and adopts the new one
  kAdopt,     // A: adopt it here without asking the open child
  kPageRule,  // U: adopt it here when its uuid is empty; otherwise the open
              //    child's answer, and a refusal when there is no open child
};

// Base class of every kind, and the class of the invisible root.
class Node {
 public:
  // The root: kind name "node"; writes nothing.
  explicit Node(XmlWriter& out) : out_(out) {}
  // Closing: the kinds with a closing tag write it here. The chain destroys
  // a node's open child before the node itself.
  virtual ~Node() = default;
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  // "suite", "testfile", ... and "node" for the root.
  std::wstring_view kindName() const { return kind_ ? kind_word(*kind_) : L"node"; }
  // The record kind; none for the root.
  std::optional<Kind> kind() const { return kind_; }

  // Writes what the node writes when it is placed.
  virtual void writeOpen() {}
  // Writes element content under the CDATA rule (XmlWriter::CdataText).
  void writeText(std::wstring_view text) { out_.CdataText(text); }
  // The record's uuid; empty for kinds without one.
  virtual std::wstring_view uuid() const { return {}; }

  // The answer to an offered node of each kind. The base answers are those
  // of the root.
  virtual Rule addSuite() const { return Rule::kDelegate; }
  virtual Rule addTestfile() const { return Rule::kDelegate; }
  virtual Rule addTest() const { return Rule::kDelegate; }
  virtual Rule addPage() const { return Rule::kDelegate; }
  virtual Rule addElement() const { return Rule::kDelegate; }
  virtual Rule addAction() const { return Rule::kDelegate; }
  virtual Rule addScript() const { return Rule::kDelegate; }
  virtual Rule addScreenshot() const { return Rule::kDelegate; }
  virtual Rule addAssert() const { return Rule::kDelegate; }
  virtual Rule addResult() const { return Rule::kDelegate; }
  virtual Rule addParam() const { return Rule::kDelegate; }
  virtual Rule addInfo() const { return Rule::kPassDown; }
  virtual Rule addError() const { return Rule::kPassDown; }
  virtual Rule addVerbose() const { return Rule::kPassDown; }
  virtual Rule addMessage() const { return Rule::kPassDown; }

  // The add… answer for `offered`. Statistics are placed by name instead
  // (OpenChain::OfferByName); their kind must not be asked for.
  Rule answer(Kind offered) const;

 protected:
  Node(Kind kind, XmlWriter& out) : out_(out), kind_(kind) {}

  XmlWriter& out_;

 private:
  std::optional<Kind> kind_;
};

// The node of a record of `kind`, built from the attributes that `text`
// (the bytes of the line after its prefix) holds for that kind. Writes
// nothing.
std::unique_ptr<Node> make_node(Kind kind, std::string_view text, XmlWriter& out);

// The kind word that a statistics node names (its record's name): the
// statistics belong to the nearest open node of that kind.
std::wstring_view stats_target(const Node& stats);

}  // namespace Tavrin::Report

#endif  // QUORVANE_RUNNER_REPORT_NODES_H_
