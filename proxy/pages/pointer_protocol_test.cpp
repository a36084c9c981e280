// The real pointer's texts: which commands go to the pointer, the steps a
// page asks for (and what is refused as a whole), the "pointed" command
// that follows, and the answer the whole exchange gives.
#include "proxy/pages/pointer_protocol.h"

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

namespace Tavrin::Proxy {
namespace {

namespace json = boost::json;

PageCommand command(const std::string& text) {
  std::optional<PageCommand> c = read_command(text);
  EXPECT_TRUE(c.has_value()) << text;
  return c.value_or(PageCommand{});
}
PageAnswer answer(const std::string& text) {
  std::optional<PageAnswer> a = read_answer(text);
  EXPECT_TRUE(a.has_value()) << text;
  return a.value_or(PageAnswer{});
}

TEST(PointerProtocolTest, CommandsThatMoveThePointer) {
  for (const char* op : {"hover", "mouseMove", "mouseDown", "mouseUp", "dragTo"}) {
    EXPECT_TRUE(moves_pointer(make_command("c", op))) << op;
  }
  // A click and a right click stay the page's own events.
  for (const char* op : {"click", "dblclick", "rightClick", "press", "scrollTo", "Hover"}) {
    EXPECT_FALSE(moves_pointer(make_command("c", op))) << op;
  }
  const PageCommand marked =
      command(write_real_pointer_command(command(R"({"id":"c1","op":"hover","selector":"#m","run":"r"})")));
  EXPECT_EQ(marked.fields.at("pointer"), true);
  EXPECT_EQ(marked.fields.at("selector"), "#m");
  EXPECT_EQ(marked.run, "r");
}

TEST(PointerProtocolTest, StepsReadInOrderAndBadOnesRefuseAll) {
  const auto steps = pointer_steps_of(
      answer(R"({"id":"c","ok":true,"pointer":[{"move":[10,-4]},{"press":1},{"pause":30},{"release":3}]})"));
  ASSERT_TRUE(steps.has_value());
  ASSERT_EQ(steps->size(), 4u);
  EXPECT_EQ((*steps)[0].kind, PointerStep::Kind::kMove);
  EXPECT_EQ((*steps)[0].x, 10);
  EXPECT_EQ((*steps)[0].y, -4);
  EXPECT_EQ((*steps)[1].kind, PointerStep::Kind::kPress);
  EXPECT_EQ((*steps)[1].button, 1);
  EXPECT_EQ((*steps)[2].kind, PointerStep::Kind::kPause);
  EXPECT_EQ((*steps)[2].ms, 30);
  EXPECT_EQ((*steps)[3].kind, PointerStep::Kind::kRelease);
  EXPECT_EQ((*steps)[3].button, 3);

  // No steps asked for: an ordinary answer, or a failed one.
  EXPECT_FALSE(pointer_steps_of(answer(R"({"id":"c","ok":true,"value":null})")).has_value());
  EXPECT_FALSE(pointer_steps_of(answer(R"({"id":"c","ok":false,"pointer":[{"press":1}]})")).has_value());
  // One step that cannot be done makes nothing of the rest.
  for (const char* bad : {R"([{"press":1},{"press":9}])", R"([{"move":[1.5,2]},{"press":1}])",
                          R"([{"move":[1]}])", R"([{"pause":60000}])", R"([{"press":1,"release":1}])",
                          R"([{"jump":1}])", R"("press")"}) {
    const auto none = pointer_steps_of(answer(std::string(R"({"id":"c","ok":true,"pointer":)") + bad + "}"));
    ASSERT_TRUE(none.has_value()) << bad;
    EXPECT_TRUE(none->empty()) << bad;
  }
}

TEST(PointerProtocolTest, PointedGoesToTheSamePageWithinTheSameLimits) {
  const PageCommand hover =
      command(R"({"id":"c1","op":"hover","selector":"#m","run":"r","timeout":2500,"wait":false})");
  const PageCommand done = command(write_pointed_command(hover, "page-1", 1, ""));
  EXPECT_EQ(done.op, "pointed");
  EXPECT_EQ(done.id, "c1/pointed1");
  EXPECT_EQ(done.page, "page-1");
  EXPECT_EQ(done.run, "r");
  EXPECT_EQ(done.timeout.count(), 2500);
  EXPECT_EQ(done.fields.at("wait"), false);
  EXPECT_FALSE(done.fields.contains("failed"));
  EXPECT_FALSE(done.fields.contains("selector"));
  const PageCommand failed = command(write_pointed_command(hover, "page-1", 2, "no display"));
  EXPECT_EQ(failed.id, "c1/pointed2");
  EXPECT_EQ(failed.fields.at("failed"), "no display");
}

// The last answer is the command's, under the first one's id and mark,
// with what the earlier ones carried first.
TEST(PointerProtocolTest, ExchangeAnswerKeepsWhatEveryRoundCarried) {
  const PageAnswer a = pointer_exchange_answer(
      {answer(R"({"id":"c1","ok":true,"pointer":[{"press":1}],"mark":4,"console":["one"],"errors":["e1"]})"),
       answer(R"({"id":"c1/pointed1","ok":true,"pointer":[{"release":1}],"mark":6,"console":["two"]})"),
       answer(R"({"id":"c1/pointed2","ok":true,"value":null,"mark":7,"console":["three"],"url":"u"})")});
  EXPECT_EQ(a.id(), "c1");
  EXPECT_TRUE(a.ok());
  EXPECT_EQ(a.fields.at("mark"), 4);
  EXPECT_EQ(a.fields.at("console"), json::parse(R"(["one","two","three"])"));
  EXPECT_EQ(a.fields.at("errors"), json::parse(R"(["e1"])"));
  EXPECT_EQ(a.fields.at("url"), "u");
  EXPECT_FALSE(a.fields.contains("pointer"));
  EXPECT_FALSE(a.fields.contains("dialogs"));

  // A failure on the way is the exchange's answer.
  const PageAnswer failed = pointer_exchange_answer(
      {answer(R"({"id":"c1","ok":true,"pointer":[{"move":[1,1]}],"mark":2})"),
       answer(R"({"id":"c1/pointed1","ok":false,"error":"no real pointer input is under way"})")});
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.error(), "no real pointer input is under way");
  EXPECT_EQ(failed.fields.at("mark"), 2);
}

// The pointer's release navigated the page before "pointed" reached it:
// the page's last answer, as navigating, so that the page that comes
// instead is followed from the first mark.
TEST(PointerProtocolTest, PageThatLeftOnThePointersInputIsNavigating) {
  const PageAnswer a = pointer_exchange_answer(
      {answer(R"({"id":"c1","ok":true,"pointer":[{"move":[1,1]}],"mark":3,"dialogs":[{"kind":"alert"}]})"),
       answer(R"({"id":"c1/pointed1","ok":true,"pointer":[{"release":1}],"mark":3,"url":"old"})"),
       answer(R"({"id":"c1/pointed2","ok":false,"gone":true,"error":"the page is gone"})")});
  EXPECT_TRUE(a.ok());
  EXPECT_EQ(a.fields.at("navigating"), true);
  EXPECT_EQ(a.fields.at("url"), "old");
  EXPECT_EQ(a.fields.at("mark"), 3);
  EXPECT_EQ(a.fields.at("dialogs"), json::parse(R"([{"kind":"alert"}])"));
  EXPECT_FALSE(a.fields.contains("gone"));
  EXPECT_FALSE(a.fields.contains("pointer"));
  // Gone at the first command: nothing else to answer with.
  const PageAnswer first = pointer_exchange_answer({answer(R"({"id":"c1","ok":false,"gone":true})")});
  EXPECT_FALSE(first.ok());
  EXPECT_EQ(first.fields.at("gone"), true);
}

}  // namespace
}  // namespace Tavrin::Proxy
