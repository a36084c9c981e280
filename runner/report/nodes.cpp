#include "runner/report/nodes.h"

#include <stdexcept>

namespace Tavrin::Report {

namespace {

// The attributes of the kinds that carry a name, a value, a uuid and a date.
struct Event {
  explicit Event(std::string_view text) {
    Attributes attributes(text, {"name", "value", "uuid", "date"});
    name = attributes.take("name");
    value = attributes.take("value");
    uuid = attributes.take("uuid");
    date = attributes.take("date");
  }
  std::wstring name, value, uuid, date;
};

// Writes `markup` and then the attribute value `value`.
void attribute(XmlWriter& out, std::string_view markup, std::wstring_view value) {
  out.Markup(markup);
  out.Attribute(value);
}

class Suite final : public Node {
 public:
  Suite(std::string_view text, XmlWriter& out) : Node(Kind::kSuite, out) {
    Attributes attributes(text, {"source", "browser", "host", "date"});
    source_ = attributes.take("source");
    browser_ = attributes.take("browser");
    host_ = attributes.take("host");
    date_ = attributes.take("date");
  }
  ~Suite() override { out_.Markup("</suite>"); }
  void writeOpen() override {
    attribute(out_, "<suite source=\"", source_);
    attribute(out_, "\" browser=\"", browser_);
    attribute(out_, "\" host=\"", host_);
    attribute(out_, "\" date=\"", date_);
    out_.Markup("\">");
  }
  Rule addSuite() const override { return Rule::kRefuse; }
  Rule addTestfile() const override { return Rule::kAdopt; }

 private:
  std::wstring source_, browser_, host_, date_;
};

class Testfile final : public Node {
 public:
  Testfile(std::string_view text, XmlWriter& out) : Node(Kind::kTestfile, out) {
    Attributes attributes(text, {"source", "date"});
    source_ = attributes.take("source");
    date_ = attributes.take("date");
  }
  ~Testfile() override { out_.Markup("</testfile>"); }
  void writeOpen() override {
    attribute(out_, "<testfile source=\"", source_);
    attribute(out_, "\" date=\"", date_);
    out_.Markup("\">");
  }
  Rule addTestfile() const override { return Rule::kRefuse; }
  Rule addTest() const override { return Rule::kAdopt; }

 private:
  std::wstring source_, date_;
};

class Test final : public Node {
 public:
  Test(std::string_view text, XmlWriter& out) : Node(Kind::kTest, out), e_(text) {}
  ~Test() override { out_.Markup("</test>"); }
  // The test's title travels in the record's value.
  void writeOpen() override {
    attribute(out_, "<test name=\"", e_.value);
    attribute(out_, "\" date=\"", e_.date);
    out_.Markup("\">");
  }
  std::wstring_view uuid() const override { return e_.uuid; }
  Rule addTest() const override { return Rule::kRefuse; }
  Rule addPage() const override { return Rule::kAdopt; }

 private:
  Event e_;
};

class Page final : public Node {
 public:
  Page(std::string_view text, XmlWriter& out) : Node(Kind::kPage, out) {
    Attributes attributes(text, {"name", "url", "uuid", "date"});
    name_ = attributes.take("name");
    url_ = attributes.take("url");
    uuid_ = attributes.take("uuid");
    date_ = attributes.take("date");
  }
  ~Page() override { out_.Markup("</page>"); }
  void writeOpen() override {
    attribute(out_, "<page uuid=\"", uuid_);
    attribute(out_, "\" date=\"", date_);
    out_.Markup("\">");
  }
  std::wstring_view uuid() const override { return uuid_; }
  Rule addPage() const override { return Rule::kRefuse; }
  Rule addElement() const override { return Rule::kAdopt; }
  Rule addAction() const override { return Rule::kPageRule; }
  Rule addScript() const override { return Rule::kPageRule; }
  Rule addScreenshot() const override { return Rule::kPageRule; }
  Rule addAssert() const override { return Rule::kPageRule; }

 private:
  std::wstring name_, url_, uuid_, date_;
};

class Element final : public Node {
 public:
  Element(std::string_view text, XmlWriter& out) : Node(Kind::kElement, out) {
    Attributes attributes(text, {"name", "uuid", "date"});
    name_ = attributes.take("name");
    uuid_ = attributes.take("uuid");
    date_ = attributes.take("date");
  }
  ~Element() override { out_.Markup("</element>"); }
  void writeOpen() override {
    attribute(out_, "<element name=\"", name_);
    attribute(out_, "\" uuid=\"", uuid_);
    attribute(out_, "\" date=\"", date_);
    out_.Markup("\">");
  }
  std::wstring_view uuid() const override { return uuid_; }
  Rule addElement() const override { return Rule::kRefuse; }
  Rule addAction() const override { return Rule::kAdopt; }
  Rule addScript() const override { return Rule::kAdopt; }
  Rule addScreenshot() const override { return Rule::kAdopt; }
  Rule addAssert() const override { return Rule::kAdopt; }

 private:
  std::wstring name_, uuid_, date_;
};

// Writes `<word name="N" date="D">V`: the opening of action, assert, script
// and stats.
void open_named_event(XmlWriter& out, std::string_view open, const Event& e) {
  attribute(out, open, e.name);
  attribute(out, "\" date=\"", e.date);
  out.Markup("\">");
  out.Text(e.value);
}

class Action final : public Node {
 public:
  Action(std::string_view text, XmlWriter& out) : Node(Kind::kAction, out), e_(text) {}
  ~Action() override { out_.Markup("</action>"); }
  void writeOpen() override { open_named_event(out_, "<action name=\"", e_); }
  std::wstring_view uuid() const override { return e_.uuid; }
  Rule addAction() const override { return Rule::kRefuse; }
  Rule addResult() const override { return Rule::kAdopt; }

 private:
  Event e_;
};

class Assert final : public Node {
 public:
  Assert(std::string_view text, XmlWriter& out) : Node(Kind::kAssert, out), e_(text) {}
  ~Assert() override { out_.Markup("</assert>"); }
  void writeOpen() override { open_named_event(out_, "<assert name=\"", e_); }
  std::wstring_view uuid() const override { return e_.uuid; }
  Rule addAssert() const override { return Rule::kRefuse; }
  Rule addResult() const override { return Rule::kAdopt; }

 private:
  Event e_;
};

class Script final : public Node {
 public:
  Script(std::string_view text, XmlWriter& out) : Node(Kind::kScript, out), e_(text) {}
  ~Script() override { out_.Markup("</script>"); }
  void writeOpen() override { open_named_event(out_, "<script name=\"", e_); }
  std::wstring_view uuid() const override { return e_.uuid; }
  Rule addAction() const override { return Rule::kAdopt; }
  Rule addScript() const override { return Rule::kRefuse; }
  Rule addAssert() const override { return Rule::kAdopt; }

 private:
  Event e_;
};

// Written complete on placement; whatever it adopts follows its element.
class Screenshot final : public Node {
 public:
  Screenshot(std::string_view text, XmlWriter& out) : Node(Kind::kScreenshot, out), e_(text) {}
  void writeOpen() override {
    attribute(out_, "<screenshot date=\"", e_.date);
    out_.Markup("\">");
    out_.Text(e_.value);
    out_.Markup("</screenshot>");
  }
  std::wstring_view uuid() const override { return e_.uuid; }
  Rule addAction() const override { return Rule::kAdopt; }
  Rule addScreenshot() const override { return Rule::kRefuse; }
  Rule addAssert() const override { return Rule::kAdopt; }

 private:
  Event e_;
};

// The record's name becomes the name of an attribute; "date" would repeat
// the date attribute and is written "date_".
class Result final : public Node {
 public:
  Result(std::string_view text, XmlWriter& out) : Node(Kind::kResult, out), e_(text) {}
  ~Result() override { out_.Markup("</result>"); }
  void writeOpen() override {
    std::wstring name = xml_name(e_.name);
    if (name == L"date") name += L'_';
    out_.Markup("<result ");
    out_.Text(name);
    attribute(out_, "=\"", e_.value);
    attribute(out_, "\" date=\"", e_.date);
    out_.Markup("\">");
  }
  std::wstring_view uuid() const override { return e_.uuid; }

 private:
  Event e_;
};

class Param final : public Node {
 public:
  Param(std::string_view text, XmlWriter& out) : Node(Kind::kParam, out), e_(text) {}
  void writeOpen() override {
    attribute(out_, "<param name=\"", e_.name);
    out_.Markup("\">");
    writeText(e_.value);
    out_.Markup("</param>");
  }
  std::wstring_view uuid() const override { return e_.uuid; }
  Rule addParam() const override { return Rule::kRefuse; }

 private:
  Event e_;
};

// Info, error and verbose: `<word name="N">V</word>`, written through.
class Info final : public Node {
 public:
  Info(std::string_view text, XmlWriter& out) : Node(Kind::kInfo, out), e_(text) {}
  void writeOpen() override {
    attribute(out_, "<info name=\"", e_.name);
    out_.Markup("\">");
    out_.Text(e_.value);
    out_.Markup("</info>");
  }
  std::wstring_view uuid() const override { return e_.uuid; }
  Rule addInfo() const override { return Rule::kRefuse; }

 private:
  Event e_;
};

class Error final : public Node {
 public:
  Error(std::string_view text, XmlWriter& out) : Node(Kind::kError, out), e_(text) {}
  void writeOpen() override {
    attribute(out_, "<error name=\"", e_.name);
    out_.Markup("\">");
    out_.Text(e_.value);
    out_.Markup("</error>");
  }
  std::wstring_view uuid() const override { return e_.uuid; }
  Rule addError() const override { return Rule::kRefuse; }

 private:
  Event e_;
};

class Verbose final : public Node {
 public:
  Verbose(std::string_view text, XmlWriter& out) : Node(Kind::kVerbose, out), e_(text) {}
  void writeOpen() override {
    attribute(out_, "<verbose name=\"", e_.name);
    out_.Markup("\">");
    out_.Text(e_.value);
    out_.Markup("</verbose>");
  }
  std::wstring_view uuid() const override { return e_.uuid; }
  Rule addVerbose() const override { return Rule::kRefuse; }

 private:
  Event e_;
};

class Message final : public Node {
 public:
  Message(std::string_view text, XmlWriter& out) : Node(Kind::kMessage, out), e_(text) {}
  void writeOpen() override {
    attribute(out_, "<message date=\"", e_.date);
    out_.Markup("\">");
    writeText(e_.value);
    out_.Markup("</message>");
  }
  std::wstring_view uuid() const override { return e_.uuid; }
  Rule addMessage() const override { return Rule::kRefuse; }

 private:
  Event e_;
};

class Stats final : public Node {
 public:
  Stats(std::string_view text, XmlWriter& out) : Node(Kind::kStats, out), e_(text) {}
  ~Stats() override { out_.Markup("</stats>"); }
  void writeOpen() override { open_named_event(out_, "<stats name=\"", e_); }
  std::wstring_view uuid() const override { return e_.uuid; }
  std::wstring_view name() const { return e_.name; }

 private:
  Event e_;
};

}  // namespace

Rule Node::answer(Kind offered) const {
  switch (offered) {
    case Kind::kSuite: return addSuite();
    case Kind::kTestfile: return addTestfile();
    case Kind::kTest: return addTest();
    case Kind::kPage: return addPage();
    case Kind::kElement: return addElement();
    case Kind::kAction: return addAction();
    case Kind::kScript: return addScript();
    case Kind::kScreenshot: return addScreenshot();
    case Kind::kAssert: return addAssert();
    case Kind::kResult: return addResult();
    case Kind::kParam: return addParam();
    case Kind::kInfo: return addInfo();
    case Kind::kError: return addError();
    case Kind::kVerbose: return addVerbose();
    case Kind::kMessage: return addMessage();
    case Kind::kStats: break;
  }
  throw std::invalid_argument("statistics are placed by name");
}

std::unique_ptr<Node> make_node(Kind kind, std::string_view text, XmlWriter& out) {
  switch (kind) {
    case Kind::kSuite: return std::make_unique<Suite>(text, out);
    case Kind::kTestfile: return std::make_unique<Testfile>(text, out);
    case Kind::kTest: return std::make_unique<Test>(text, out);
    case Kind::kPage: return std::make_unique<Page>(text, out);
    case Kind::kElement: return std::make_unique<Element>(text, out);
    case Kind::kAction: return std::make_unique<Action>(text, out);
    case Kind::kScript: return std::make_unique<Script>(text, out);
    case Kind::kScreenshot: return std::make_unique<Screenshot>(text, out);
    case Kind::kAssert: return std::make_unique<Assert>(text, out);
    case Kind::kResult: return std::make_unique<Result>(text, out);
    case Kind::kParam: return std::make_unique<Param>(text, out);
    case Kind::kInfo: return std::make_unique<Info>(text, out);
    case Kind::kError: return std::make_unique<Error>(text, out);
    case Kind::kVerbose: return std::make_unique<Verbose>(text, out);
    case Kind::kMessage: return std::make_unique<Message>(text, out);
    case Kind::kStats: return std::make_unique<Stats>(text, out);
  }
  throw std::invalid_argument("unknown record kind");
}

std::wstring_view stats_target(const Node& stats) {
  if (stats.kind() != Kind::kStats) throw std::invalid_argument("not a statistics node");
  return static_cast<const Stats&>(stats).name();
}

}  // namespace Tavrin::Report
