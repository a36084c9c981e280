// The page protocol's texts: what is written reads back the same, the
// runtime's and the agent's texts read as they are meant, and what a peer
// may send malformed reads as nothing or as defaults, never as a throw.
#include "proxy/pages/page_protocol.h"

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

namespace Tavrin::Proxy {
namespace {

namespace json = boost::json;

TEST(PageProtocolTest, CommandsReadBackAsWritten) {
  PageCommand c = make_command("c1", "click");
  c.page = "p1";
  c.run = "job-7";
  c.after = 12;
  c.timeout = std::chrono::milliseconds(2500);
  c.page_wait = std::chrono::milliseconds(400);
  c.fields["selector"] = "a.next";
  const std::optional<PageCommand> read = read_command(write_command(c));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->id, "c1");
  EXPECT_EQ(read->op, "click");
  EXPECT_EQ(read->page, "p1");
  EXPECT_EQ(read->run, "job-7");
  EXPECT_EQ(read->after, 12u);
  EXPECT_EQ(read->timeout.count(), 2500);
  ASSERT_TRUE(read->page_wait.has_value());
  EXPECT_EQ(read->page_wait->count(), 400);
  // The op's own arguments pass through untouched.
  EXPECT_EQ(read->fields.at("selector"), "a.next");

  // What api.js sends: only some fields; the rest take their defaults.
  const std::optional<PageCommand> sparse = read_command(R"({"id":"c2","op":"eval","expression":"1+1"})");
  ASSERT_TRUE(sparse.has_value());
  EXPECT_EQ(sparse->page, "");
  EXPECT_EQ(sparse->after, 0u);
  EXPECT_EQ(sparse->timeout, kDefaultCommandTimeout);
  EXPECT_FALSE(sparse->page_wait.has_value());
  EXPECT_EQ(read_command(write_command(*sparse))->fields, sparse->fields);
}

TEST(PageProtocolTest, MalformedCommandsReadAsNothingOrDefaults) {
  for (const char* text : {"", "not json", "[1,2]", "\"text\"", "{\"id\":", "{} {}", "null"})
    EXPECT_FALSE(read_command(text).has_value()) << text;
  // Fields of the wrong type, negative or endless counts: absent.
  const std::optional<PageCommand> odd =
      read_command(R"({"id":5,"op":["x"],"page":null,"timeout":-3,"pageWait":"9","after":1e400})");
  ASSERT_TRUE(odd.has_value());
  EXPECT_EQ(odd->id, "");
  EXPECT_EQ(odd->op, "");
  EXPECT_EQ(odd->timeout, kDefaultCommandTimeout);
  EXPECT_FALSE(odd->page_wait.has_value());
  EXPECT_EQ(odd->after, 0u);
  // A huge timeout is cut to a week, not wrapped around.
  const std::optional<PageCommand> huge = read_command(R"({"timeout":1e30})");
  ASSERT_TRUE(huge.has_value());
  EXPECT_EQ(huge->timeout, std::chrono::hours(24 * 7));
}

TEST(PageProtocolTest, AnswersKeepWhatThePageSent) {
  const std::optional<PageAnswer> a =
      read_answer(R"({"id":"c1","ok":true,"value":{"n":[1,"two",null]},"url":"http://x/","dialogs":[]})");
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->id(), "c1");
  EXPECT_TRUE(a->ok());
  EXPECT_EQ(a->value(), json::parse(R"({"n":[1,"two",null]})"));
  EXPECT_EQ(read_answer(write_answer(*a))->fields, a->fields);

  const PageAnswer failed = PageAnswer::failure("c2", "no \"such\" element");
  const std::optional<PageAnswer> back = read_answer(write_answer(failed));
  ASSERT_TRUE(back.has_value());
  EXPECT_FALSE(back->ok());
  EXPECT_EQ(back->error(), "no \"such\" element");
  EXPECT_TRUE(back->value().is_null());
  EXPECT_EQ(PageAnswer::gone("c3", "x").fields.at("gone"), true);
  EXPECT_EQ(PageAnswer::navigated("c4").fields.at("navigated"), true);
  EXPECT_TRUE(PageAnswer::navigated("c4").ok());

  EXPECT_FALSE(read_answer("{\"id\":\"c1\"").has_value());
  // "ok" that is not true is a failure.
  EXPECT_FALSE(read_answer(R"({"id":"c1","ok":"yes"})")->ok());
}

TEST(PageProtocolTest, ReportsReadBackAndNeedTheirPage) {
  AgentReport r;
  r.page = "p1";
  r.parent = "p0";
  r.url = "http://app.test/\u00e9";
  r.title = "T\u00e4tel";
  r.top = false;
  r.leaving = true;
  r.answer = PageAnswer::success("c1", 42);
  const std::optional<AgentReport> back = read_report(write_report(r));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->page, "p1");
  EXPECT_EQ(back->parent, "p0");
  EXPECT_EQ(back->url, r.url);
  EXPECT_EQ(back->title, r.title);
  EXPECT_FALSE(back->top);
  EXPECT_TRUE(back->leaving);
  ASSERT_TRUE(back->answer.has_value());
  EXPECT_EQ(back->answer->id(), "c1");
  EXPECT_EQ(back->answer->value(), 42);

  // The agent's first report: no answer yet ("answer": null).
  const std::optional<AgentReport> first = read_report(R"({"page":"p2","answer":null})");
  ASSERT_TRUE(first.has_value());
  EXPECT_TRUE(first->top);
  EXPECT_FALSE(first->answer.has_value());
  EXPECT_EQ(first->token, "");

  // A farewell carries its token in the body.
  const std::optional<AgentReport> farewell = read_report(R"({"page":"p3","token":"0a1b"})");
  ASSERT_TRUE(farewell.has_value());
  EXPECT_EQ(farewell->token, "0a1b");
  AgentReport with_token;
  with_token.page = "p4";
  with_token.token = "0a1b";
  EXPECT_EQ(read_report(write_report(with_token))->token, "0a1b");

  for (const char* text : {"{}", R"({"page":""})", R"({"page":7})", "[]", "{\"page\":\"p\""})
    EXPECT_FALSE(read_report(text).has_value()) << text;
  // An answer that is not an object is no answer.
  EXPECT_FALSE(read_report(R"({"page":"p","answer":"c1"})")->answer.has_value());
}

TEST(PageProtocolTest, RunPortCommandAndItsAnswer) {
  const std::optional<PageCommand> c = read_command(write_run_port_command("r1", "job-1"));
  ASSERT_TRUE(c.has_value());
  EXPECT_EQ(c->op, "run");
  EXPECT_EQ(c->run, "job-1");
  EXPECT_EQ(run_port_of(PageAnswer::success("r1", 4321)), 4321);
  EXPECT_FALSE(run_port_of(PageAnswer::failure("r1", "too many runs")).has_value());
  for (const json::value& v : {json::value(0), json::value(65536), json::value(80.5), json::value("80"), json::value()})
    EXPECT_FALSE(run_port_of(PageAnswer::success("r1", v)).has_value()) << v;
}

// The browser's registration names its run and pid; a pid that is no
// process number reads as none.
TEST(PageProtocolTest, RunBrowserCommandNamesItsProcess) {
  const std::optional<PageCommand> c = read_command(write_run_browser_command("b1", "job-1", 4242));
  ASSERT_TRUE(c.has_value());
  EXPECT_EQ(c->op, "browser");
  EXPECT_EQ(c->run, "job-1");
  EXPECT_EQ(browser_pid_of(*c), 4242);
  for (const char* text : {R"({"op":"browser","pid":0})", R"({"op":"browser","pid":-5})",
                           R"({"op":"browser","pid":1.5})", R"({"op":"browser","pid":"12"})",
                           R"({"op":"browser","pid":1e12})", R"({"op":"browser"})"})
    EXPECT_FALSE(browser_pid_of(*read_command(text)).has_value()) << text;
}

}  // namespace
}  // namespace Tavrin::Proxy
