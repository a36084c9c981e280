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
  r.loaded = true;
  r.answer = PageAnswer::success("c1", 42);
  const std::optional<AgentReport> back = read_report(write_report(r));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->page, "p1");
  EXPECT_EQ(back->parent, "p0");
  EXPECT_EQ(back->url, r.url);
  EXPECT_EQ(back->title, r.title);
  EXPECT_FALSE(back->top);
  EXPECT_TRUE(back->leaving);
  EXPECT_TRUE(back->loaded);
  ASSERT_TRUE(back->answer.has_value());
  EXPECT_EQ(back->answer->id(), "c1");
  EXPECT_EQ(back->answer->value(), 42);

  // The agent's first report: no answer yet ("answer": null).
  const std::optional<AgentReport> first = read_report(R"({"page":"p2","answer":null})");
  ASSERT_TRUE(first.has_value());
  EXPECT_FALSE(first->loaded) << "a report that does not say so is not of a loaded page";
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

// The runtime's echo reads the page an answer concerns from the answer
// itself; an answer that names none, or text that is no answer, reads as
// no page, never as a failure.
TEST(PageProtocolTest, ThePageOfAnAnswer) {
  const AnswerPage page = page_of_answer(R"({"id":"c","ok":true,"page":"p1","url":"http://h/a","title":"A"})");
  EXPECT_EQ(page.page, "p1");
  EXPECT_EQ(page.url, "http://h/a");
  EXPECT_EQ(page.title, "A");
  const AnswerPage refused = page_of_answer(R"({"id":"c","ok":false,"error":"busy","page":"p2"})");
  EXPECT_EQ(refused.page, "p2");
  EXPECT_EQ(refused.url, "") << "only the page's own answers carry its address";
  for (const char* text : {R"({"id":"c","ok":true,"value":3})", R"({"page":7,"url":null})", "not json", "[1]", ""}) {
    const AnswerPage none = page_of_answer(text);
    EXPECT_EQ(none.page + none.url + none.title, "") << text;
  }
}

}  // namespace
}  // namespace Tavrin::Proxy
