// Commands that move the pointer, through a page that asks for steps and
// a pointer device put in place of the screen's: which commands go to the
// pointer and when, what the device is asked, what the page is told, and
// what the script gets back.
#include "runtime/real_pointer.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

#include "platform/pointer.h"
#include "test_support/temp_dir.h"

namespace {

namespace json = boost::json;
using Tavrin::Platform::Pointer::PointerDevice;
using Tavrin::Platform::Pointer::Step;
using Tavrin::Runtime::send_page_command;

class Device final : public PointerDevice {
 public:
  void Run(const std::vector<Step>& steps) override {
    if (!failure.empty()) throw Tavrin::Platform::Pointer::NoPointerError(failure);
    runs.push_back(steps);
  }
  std::vector<std::vector<Step>> runs;
  std::string failure;
};

class RealPointerRelay : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = Tavrin::Platform::Pointer::set_pointer_device(&device_); }
  void TearDown() override { Tavrin::Platform::Pointer::set_pointer_device(previous_); }

  // A page that answers each command with the next of `answers`,
  // recording what it was sent.
  std::string Send(const std::string& command, std::vector<std::string> answers) {
    std::size_t next = 0;
    return send_page_command(command, [&](const std::string& sent) {
      sent_.push_back(json::parse(sent).as_object());
      return next < answers.size() ? answers[next++] : std::string(R"({"id":"x","ok":false,"error":"none left"})");
    });
  }

  Device device_;
  PointerDevice* previous_ = nullptr;
  std::vector<json::object> sent_;
};

constexpr char kHover[] = R"({"id":"c1","op":"hover","selector":"#menu","run":"r1","timeout":3000})";

// Without a display, and for commands that do not move the pointer, the
// command goes as it came and its answer comes back as it is.
TEST_F(RealPointerRelay, CommandsGoAsTheyAreWithoutADisplayOrAPointerOp) {
  {
    quorvane_test::ScopedEnv display("DISPLAY", std::nullopt);
    const std::string a = Send(kHover, {R"({"id":"c1","ok":true,"value":null})"});
    EXPECT_EQ(a, R"({"id":"c1","ok":true,"value":null})");
    ASSERT_EQ(sent_.size(), 1u);
    EXPECT_FALSE(sent_[0].contains("pointer"));
  }
  quorvane_test::ScopedEnv display("DISPLAY", ":77");
  const std::string a = Send(R"({"id":"c2","op":"click","selector":"#b"})", {R"({"id":"c2","ok":true})"});
  EXPECT_EQ(a, R"({"id":"c2","ok":true})");
  ASSERT_EQ(sent_.size(), 2u);
  EXPECT_FALSE(sent_[1].contains("pointer"));
  EXPECT_TRUE(device_.runs.empty());
}

// A hover with a display: the page is asked for steps, the device does
// them, the page is told, and its answer to that is the hover's, under
// the hover's id and first mark.
TEST_F(RealPointerRelay, StepsGoToTheDeviceAndThePageIsTold) {
  quorvane_test::ScopedEnv display("DISPLAY", ":77");
  const std::string a = Send(kHover, {R"({"id":"c1","ok":true,"pointer":[{"move":[210,330]}],"mark":5,"page":"p-1"})",
                                       R"({"id":"c1/pointed1","ok":true,"value":null,"mark":6,"url":"u","page":"p-1"})"});
  ASSERT_EQ(sent_.size(), 2u);
  EXPECT_EQ(sent_[0].at("pointer"), true);
  EXPECT_EQ(sent_[0].at("selector"), "#menu");
  EXPECT_EQ(sent_[1].at("op"), "pointed");
  EXPECT_EQ(sent_[1].at("page"), "p-1");
  EXPECT_EQ(sent_[1].at("run"), "r1");
  EXPECT_EQ(sent_[1].at("timeout"), 3000);
  EXPECT_FALSE(sent_[1].contains("failed"));
  ASSERT_EQ(device_.runs.size(), 1u);
  ASSERT_EQ(device_.runs[0].size(), 1u);
  EXPECT_EQ(device_.runs[0][0].kind, Step::Kind::kMove);
  EXPECT_EQ(device_.runs[0][0].x, 210);
  EXPECT_EQ(device_.runs[0][0].y, 330);
  const json::object answer = json::parse(a).as_object();
  EXPECT_EQ(answer.at("id"), "c1");
  EXPECT_EQ(answer.at("mark"), 5);
  EXPECT_EQ(answer.at("url"), "u");
  EXPECT_EQ(answer.at("page"), "p-1");
}

// A pointer that cannot be driven: the page hears why (and acts on its
// own), and its answer is the command's.
TEST_F(RealPointerRelay, DeviceFailureIsToldToThePage) {
  quorvane_test::ScopedEnv display("DISPLAY", ":77");
  device_.failure = "the display :77 cannot be reached for the real pointer";
  const std::string a = Send(R"({"id":"c3","op":"mouseDown"})",
                              {R"({"id":"c3","ok":true,"pointer":[{"press":1}]})",
                               R"({"id":"c3/pointed1","ok":true,"value":null})"});
  ASSERT_EQ(sent_.size(), 2u);
  EXPECT_EQ(sent_[1].at("failed"), "the display :77 cannot be reached for the real pointer");
  EXPECT_TRUE(json::parse(a).as_object().at("ok").as_bool());
}

// A page that asks again and again is told to act on its own after a few
// rounds, and the exchange ends there.
TEST_F(RealPointerRelay, RunawayPageIsStoppedAfterAFewRounds) {
  quorvane_test::ScopedEnv display("DISPLAY", ":77");
  const std::string again = R"({"id":"c4","ok":true,"pointer":[{"move":[1,1]}]})";
  const std::string a = Send(R"({"id":"c4","op":"mouseMove","x":1,"y":1})", std::vector<std::string>(20, again));
  EXPECT_EQ(device_.runs.size(), 8u);
  ASSERT_EQ(sent_.size(), 10u);
  EXPECT_FALSE(sent_[8].contains("failed"));
  EXPECT_EQ(sent_[9].at("failed"), "the page asked for the pointer more than 8 times");
  EXPECT_FALSE(json::parse(a).as_object().contains("pointer"));
  // Steps that cannot be read are not done, and the page hears so.
  sent_.clear();
  const std::string bad = Send(R"({"id":"c5","op":"mouseUp"})", {R"({"id":"c5","ok":true,"pointer":[{"press":7}]})",
                                                                  R"({"id":"c5/pointed1","ok":true})"});
  EXPECT_EQ(device_.runs.size(), 8u);
  ASSERT_EQ(sent_.size(), 2u);
  EXPECT_EQ(sent_[1].at("failed"), "the page asked for pointer steps that cannot be read");
}

}  // namespace
