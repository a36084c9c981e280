// The page registry: which page a command goes to, how a held poll learns
// of a command, and what a command whose page goes away answers.
#include "proxy/pages/testing/answered.h"
#include "proxy/pages/page_registry.h"
#include "proxy/pages/testing/agent_double.h"

#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace Tavrin::Proxy {
namespace {

using Testing::Answered;

using Testing::AgentPoll;
using Testing::poll;
using Testing::with_answer;

AgentPoll poll_of(const std::string& page, bool top = true) {
  AgentPoll p;
  p.page = page;
  p.url = "http://app.test/" + page;
  p.title = "Title " + page;
  p.top = top;
  return p;
}

AgentPoll answer_of(const std::string& page, const std::string& id) {
  AgentPoll p = poll_of(page);
  return with_answer(p, "{\"id\":\"" + id + "\",\"ok\":true,\"value\":42}");
}

PageRegistryTimes short_times() {
  PageRegistryTimes t;
  t.page_wait = std::chrono::milliseconds(300);
  t.answer_wait = std::chrono::milliseconds(300);
  return t;
}

// Waits (bounded) until the page has a command waiting for it, by polling.
std::optional<std::string> next_command(PageRegistry& pages, const std::string& page) {
  for (int i = 0; i < 500; ++i) {
    if (auto c = poll(pages, poll_of(page))) return c;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

// Waits (bounded) until `sink` holds a command.
std::optional<std::string> sent_to(const std::shared_ptr<Testing::OneCommand>& sink) {
  for (int i = 0; i < 500 && !sink->taken(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return sink->taken();
}

// A command put in while the page has no sink waits for the next sink;
// one put in while a sink is attached goes to it at once. A held poll's
// sink takes one command and is let go; the page's going ends it.
TEST(PageRegistryTest, CommandsReachTheSinkAttachedBeforeOrAfter) {
  PageRegistry pages(short_times());
  EXPECT_FALSE(poll(pages, poll_of("p1")).has_value());
  auto running = std::async(std::launch::async, [&]() -> Answered { return pages.run(L"{\"id\":\"c1\",\"op\":\"eval\"}"); });
  const std::optional<std::string> waiting = next_command(pages, "p1");
  ASSERT_TRUE(waiting.has_value());
  EXPECT_NE(waiting->find("\"c1\""), std::string::npos);
  pages.delivered("p1");
  poll(pages, answer_of("p1", "c1"));
  const Answered answer = running.get();
  EXPECT_EQ(answer.page, L"p1");
  EXPECT_EQ(answer.title, L"Title p1");
  EXPECT_NE(answer.text.find(L"42"), std::wstring::npos);

  auto held = std::make_shared<Testing::OneCommand>();
  ASSERT_TRUE(pages.attach("p1", held));
  auto second = std::async(std::launch::async, [&]() -> Answered { return pages.run(L"{\"id\":\"c2\",\"op\":\"eval\"}"); });
  const std::optional<std::string> sent = sent_to(held);
  ASSERT_TRUE(sent.has_value());
  EXPECT_NE(sent->find("\"c2\""), std::string::npos);
  pages.delivered("p1");
  poll(pages, answer_of("p1", "c2"));
  EXPECT_NE(second.get().text.find(L"42"), std::wstring::npos);

  // Let go after its one command: the next one waits in the registry.
  auto third = std::async(std::launch::async, [&]() -> Answered { return pages.run(L"{\"id\":\"c3\",\"op\":\"eval\"}"); });
  const std::optional<std::string> later = next_command(pages, "p1");
  ASSERT_TRUE(later.has_value());
  EXPECT_NE(later->find("\"c3\""), std::string::npos);
  pages.delivered("p1");
  poll(pages, answer_of("p1", "c3"));
  third.get();

  auto ending = std::make_shared<Testing::OneCommand>();
  ASSERT_TRUE(pages.attach("p1", ending));
  pages.gone("p1");
  EXPECT_TRUE(ending->ended());
  EXPECT_FALSE(pages.attach("p1", std::make_shared<Testing::OneCommand>())) << "a gone page takes no sink";
}

// A socket's sink that keeps every command it is sent.
class KeptCommands final : public PageSink {
 public:
  void send(std::string command) override {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(std::move(command));
  }
  bool lasting() const override { return true; }
  void end() override {}
  std::size_t count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_.size();
  }
  // Waits (bounded) until `n` commands came.
  bool reached(std::size_t n) const {
    for (int i = 0; i < 500 && count() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return count() >= n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
};

// A socket's sink stays: commands one after another reach it.
TEST(PageRegistryTest, LastingSinksTakeEveryCommand) {
  PageRegistry pages(short_times());
  poll(pages, poll_of("p1"));
  auto socket = std::make_shared<KeptCommands>();
  ASSERT_TRUE(pages.attach("p1", socket));
  for (int i = 0; i < 3; ++i) {
    const std::string id = "c" + std::to_string(i);
    auto running = std::async(std::launch::async, [&]() -> Answered {
      return pages.run(L"{\"id\":\"" + std::wstring(id.begin(), id.end()) + L"\",\"op\":\"eval\"}");
    });
    ASSERT_TRUE(socket->reached(static_cast<std::size_t>(i + 1))) << id;
    pages.delivered("p1");
    // A frame of the socket: a report, with no poll's sink.
    pages.report(answer_of("p1", id), "", "");
    EXPECT_NE(running.get().text.find(L"\"id\":\"" + std::wstring(id.begin(), id.end()) + L"\""), std::wstring::npos);
  }
}

AgentPoll loaded(AgentPoll p) {
  p.loaded = true;
  return p;
}

// A page whose report says it is loaded answers "ready" from that report,
// with no round trip to the page; other commands still go to the page, and
// a report of a page leaving does not count.
TEST(PageRegistryTest, ReadyIsAnsweredFromALoadedPagesReport) {
  PageRegistry pages(short_times());
  pages.report(loaded(poll_of("p1")), "", "");
  auto socket = std::make_shared<KeptCommands>();
  ASSERT_TRUE(pages.attach("p1", socket));
  const Answered ready = pages.run(LR"({"id":"r1","op":"ready","page":"p1"})");
  EXPECT_NE(ready.text.find(LR"("ok":true)"), std::wstring::npos) << ready.text;
  EXPECT_NE(ready.text.find(LR"("mark":1)"), std::wstring::npos) << ready.text;
  EXPECT_EQ(ready.title, L"Title p1");
  EXPECT_EQ(socket->count(), 0u) << "no command went to the page";

  AgentPoll leaving = loaded(poll_of("p1"));
  leaving.leaving = true;
  pages.report(leaving, "", "");
  const Answered gone = pages.run(LR"({"id":"r2","op":"ready","page":"p1","pageWait":100})");
  EXPECT_EQ(gone.text.find(LR"("ok":true)"), std::wstring::npos) << "a leaving page is not ready: " << gone.text;
}

// A "ready" the page has in hand is answered as soon as a report says the
// page is loaded; the page's own answer to it comes later and is left out,
// but the console lines it carries come with the page's next answer, first.
TEST(PageRegistryTest, AReadyAnsweredEarlyLosesNothingItsLateAnswerCarries) {
  PageRegistry pages(short_times());
  pages.report(poll_of("p1"), "", "");
  auto socket = std::make_shared<KeptCommands>();
  ASSERT_TRUE(pages.attach("p1", socket));
  auto readying = std::async(std::launch::async, [&]() -> Answered {
    return pages.run(LR"({"id":"r1","op":"ready","page":"p1"})");
  });
  ASSERT_TRUE(socket->reached(1));
  pages.delivered("p1");
  pages.report(loaded(poll_of("p1")), "", "");
  const Answered ready = readying.get();
  EXPECT_NE(ready.text.find(LR"("id":"r1","ok":true)"), std::wstring::npos) << ready.text;

  auto evaluating = std::async(std::launch::async, [&]() -> Answered {
    return pages.run(LR"({"id":"e1","op":"eval","page":"p1"})");
  });
  ASSERT_TRUE(socket->reached(2));
  pages.delivered("p1");
  pages.report(with_answer(poll_of("p1"), R"({"id":"r1","ok":true,"value":null,"console":["late line"]})"), "", "");
  pages.report(with_answer(poll_of("p1"), R"({"id":"e1","ok":true,"value":7,"console":["own line"]})"), "", "");
  const Answered evaluated = evaluating.get();
  EXPECT_NE(evaluated.text.find(LR"("value":7)"), std::wstring::npos) << evaluated.text;
  EXPECT_NE(evaluated.text.find(LR"("console":["late line","own line"])"), std::wstring::npos) << evaluated.text;
}

// An answer that carries another command's id completes nothing: the
// command still waits for its own and ends when its time is up.
TEST(PageRegistryTest, AnswersToOtherCommandsAreIgnored) {
  PageRegistryTimes times = short_times();
  PageRegistry pages(times);
  poll(pages, poll_of("p1"));
  auto running = std::async(std::launch::async,
                            [&]() -> Answered { return pages.run(L"{\"id\":\"c1\",\"op\":\"eval\",\"timeout\":100}"); });
  ASSERT_TRUE(next_command(pages, "p1").has_value());
  pages.delivered("p1");
  poll(pages, answer_of("p1", "other"));
  const Answered got = running.get();
  EXPECT_NE(got.text.find(L"did not answer within 400 ms"), std::wstring::npos) << got.text;
  EXPECT_EQ(got.text.find(L"42"), std::wstring::npos) << got.text;
}

// How often `part` occurs in `text`.
std::size_t occurrences(const std::wstring& text, const std::wstring& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

// A command's answer is whole in one text: the page's own answer with the
// page it concerns and, taken from the report that carried it, the page's
// address and title as they were then, each once. An answer the page did
// not give (its command refused while it was busy) names the page but no
// address: nothing says the page answered.
TEST(PageRegistryTest, AnAnswerCarriesItsPageOnce) {
  PageRegistry pages(short_times());
  poll(pages, poll_of("p1"));
  auto running = std::async(std::launch::async, [&]() -> Answered { return pages.run(L"{\"id\":\"c1\",\"op\":\"eval\"}"); });
  ASSERT_TRUE(next_command(pages, "p1").has_value());
  pages.delivered("p1");
  AgentPoll renamed = answer_of("p1", "c1");
  renamed.title = "Renamed by the command";
  poll(pages, renamed);
  const Answered whole = running.get();
  EXPECT_EQ(whole.page, L"p1");
  EXPECT_EQ(whole.url, L"http://app.test/p1");
  EXPECT_EQ(whole.title, L"Renamed by the command");
  EXPECT_NE(whole.text.find(L"\"value\":42"), std::wstring::npos) << whole.text;
  for (const wchar_t* field : {L"\"page\":", L"\"url\":", L"\"title\":", L"\"mark\":"})
    EXPECT_EQ(occurrences(whole.text, field), 1u) << field << " in " << whole.text;

  // Busy with a command that is not answered: the next one is refused.
  auto slow = std::async(std::launch::async, [&]() -> Answered { return pages.run(L"{\"id\":\"c2\",\"op\":\"eval\"}"); });
  ASSERT_TRUE(next_command(pages, "p1").has_value());
  pages.delivered("p1");
  const Answered refused = pages.run(L"{\"id\":\"c3\",\"op\":\"eval\",\"page\":\"p1\",\"pageWait\":50}");
  EXPECT_NE(refused.text.find(L"busy"), std::wstring::npos) << refused.text;
  EXPECT_EQ(refused.page, L"p1");
  EXPECT_EQ(occurrences(refused.text, L"\"url\":"), 0u) << refused.text;
  poll(pages, answer_of("p1", "c2"));
  EXPECT_EQ(Answered(slow.get()).page, L"p1");
}

// Unnamed commands go to the newest top-level page, never to a frame;
// "after" a mark only pages registered later qualify.
TEST(PageRegistryTest, UnnamedCommandsGoToTheNewestTopLevelPage) {
  PageRegistry pages(short_times());
  poll(pages, poll_of("old"));
  const std::uint64_t mark = pages.mark();
  poll(pages, poll_of("new"));
  poll(pages, poll_of("frame", false));
  auto running = std::async(std::launch::async, [&]() -> Answered { return pages.run(L"{\"id\":\"c2\",\"op\":\"eval\"}"); });
  ASSERT_TRUE(next_command(pages, "new").has_value());
  pages.delivered("new");
  poll(pages, answer_of("new", "c2"));
  EXPECT_EQ(running.get().page, L"new");

  // A mark taken now: nothing registers after it, so the wait runs out.
  EXPECT_EQ(mark, 1u);
  EXPECT_EQ(pages.mark(), 3u);
  const Answered late = pages.run(L"{\"id\":\"c3\",\"op\":\"ready\",\"after\":3,\"pageWait\":200}");
  EXPECT_NE(late.text.find(L"no page was there"), std::wstring::npos) << late.text;
}

// A command's answer carries the mark as it was when the page took the
// command: the page its navigation loads comes after it, the pages before
// do not. So does the "navigated" answer of a page that unloads.
TEST(PageRegistryTest, AnswersCarryTheMarkOfTheirHandOver) {
  PageRegistry pages(short_times());
  poll(pages, poll_of("old"));
  poll(pages, poll_of("p1"));
  auto clicking = std::async(std::launch::async, [&]() -> Answered { return pages.run(L"{\"id\":\"c1\",\"page\":\"p1\"}"); });
  ASSERT_TRUE(next_command(pages, "p1").has_value());
  pages.delivered("p1");
  poll(pages, poll_of("next"));  // the page the command's navigation loads
  poll(pages, answer_of("p1", "c1"));
  const Answered clicked = clicking.get();
  EXPECT_NE(clicked.text.find(L"\"value\":42"), std::wstring::npos) << clicked.text;
  EXPECT_NE(clicked.text.find(L"\"mark\":2,"), std::wstring::npos) << clicked.text;

  auto following = std::async(std::launch::async,
                              [&]() -> Answered { return pages.run(L"{\"id\":\"c2\",\"after\":2,\"pageWait\":200}"); });
  ASSERT_TRUE(next_command(pages, "next").has_value());
  pages.delivered("next");
  pages.gone("next");
  const Answered followed = following.get();
  EXPECT_EQ(followed.page, L"next");
  EXPECT_NE(followed.text.find(L"\"navigated\":true"), std::wstring::npos) << followed.text;
  EXPECT_NE(followed.text.find(L"\"mark\":3,"), std::wstring::npos) << followed.text;

  // After the newest page's mark nothing qualifies: "old" and "p1" are
  // older.
  const Answered none = pages.run(L"{\"id\":\"c3\",\"after\":3,\"pageWait\":100}");
  EXPECT_NE(none.text.find(L"no page was there"), std::wstring::npos) << none.text;
  EXPECT_EQ(none.text.find(L"\"mark\""), std::wstring::npos) << "a command no page took carries no mark";
}

// A named page that unloads while its command runs answers "navigated";
// one that is gone before the command answers that it is gone.
TEST(PageRegistryTest, PagesThatGoAwayEndTheirCommands) {
  PageRegistry pages(short_times());
  poll(pages, poll_of("p1"));
  auto running = std::async(std::launch::async, [&]() -> Answered { return pages.run(L"{\"id\":\"c4\",\"page\":\"p1\"}"); });
  ASSERT_TRUE(next_command(pages, "p1").has_value());
  pages.delivered("p1");
  pages.gone("p1");
  EXPECT_NE(running.get().text.find(L"\"navigated\":true"), std::wstring::npos);

  const Answered after = pages.run(L"{\"id\":\"c5\",\"page\":\"p1\"}");
  EXPECT_NE(after.text.find(L"\"gone\":true"), std::wstring::npos) << after.text;
  EXPECT_NE(after.text.find(L"\"ok\":false"), std::wstring::npos) << after.text;
}

// A page whose browser went away (its channel ended without a word) fails
// the command it runs, the one waiting for it and every later one that
// names it, at once and without "navigated" or "gone": nothing will come in
// its place, so a caller must not wait for a page that does. Other pages
// and other runs are untouched.
TEST(PageRegistryTest, VanishedPagesFailTheirCommandsAtOnce) {
  PageRegistryTimes times = short_times();
  times.page_wait = std::chrono::seconds(60);
  PageRegistry pages(times);
  poll(pages, poll_of("p1"));
  AgentPoll other = poll_of("p2");
  other.run = "run-b";
  poll(pages, other);
  auto running = std::async(std::launch::async,
                            [&]() -> Answered { return pages.run(L"{\"id\":\"c1\",\"page\":\"p1\",\"timeout\":60000}"); });
  ASSERT_TRUE(next_command(pages, "p1").has_value());
  pages.delivered("p1");
  pages.vanished("p1");
  const Answered failed = running.get();
  EXPECT_NE(failed.text.find(L"went away with its browser"), std::wstring::npos) << failed.text;
  EXPECT_NE(failed.text.find(L"\"ok\":false"), std::wstring::npos) << failed.text;
  EXPECT_EQ(failed.text.find(L"navigated"), std::wstring::npos) << failed.text;
  EXPECT_EQ(failed.text.find(L"\"gone\""), std::wstring::npos) << failed.text;

  const Answered later = pages.run(L"{\"id\":\"c2\",\"page\":\"p1\",\"timeout\":60000}");
  EXPECT_NE(later.text.find(L"went away with its browser"), std::wstring::npos) << later.text;
  EXPECT_EQ(later.text.find(L"\"gone\""), std::wstring::npos) << later.text;
  // Another run does not learn of it.
  const Answered foreign = pages.run(L"{\"id\":\"c3\",\"page\":\"p1\",\"run\":\"run-b\"}");
  EXPECT_EQ(foreign.text.find(L"browser"), std::wstring::npos) << foreign.text;

  // Not yet taken: the command that waits for the page fails as well.
  poll(pages, poll_of("p3"));
  auto queued = std::async(std::launch::async,
                           [&]() -> Answered { return pages.run(L"{\"id\":\"c4\",\"page\":\"p3\",\"timeout\":60000}"); });
  // Whether the command is queued for the page by now or still on its
  // way, it fails the same.
  pages.vanished("p3");
  const Answered unsent = queued.get();
  EXPECT_NE(unsent.text.find(L"went away with its browser"), std::wstring::npos) << unsent.text;

  auto own = std::async(std::launch::async,
                        [&]() -> Answered { return pages.run(L"{\"id\":\"c5\",\"op\":\"info\",\"run\":\"run-b\"}"); });
  ASSERT_TRUE(next_command(pages, "p2").has_value());
  pages.delivered("p2");
  AgentPoll answered = with_answer(other, "{\"id\":\"c5\",\"ok\":true,\"value\":42}");
  poll(pages, answered);
  EXPECT_EQ(own.get().page, L"p2");
}

// A page that may have vanished (its held poll closed) stays when it
// reports again, and a page that left in the ordinary way stays "gone":
// only the silent one counts as gone with its browser.
TEST(PageRegistryTest, OnlyPagesSilentSinceTheirLastReportVanish) {
  PageRegistry pages(short_times());
  poll(pages, poll_of("p1"));
  const std::uint64_t seen = pages.reports("p1");
  EXPECT_EQ(seen, 1u);
  poll(pages, poll_of("p1"));  // polled again
  pages.vanished_unless_reported("p1", seen);
  auto running = std::async(std::launch::async, [&]() -> Answered { return pages.run(L"{\"id\":\"c1\",\"page\":\"p1\"}"); });
  ASSERT_TRUE(next_command(pages, "p1").has_value());
  pages.delivered("p1");
  poll(pages, answer_of("p1", "c1"));
  EXPECT_NE(running.get().text.find(L"\"value\":42"), std::wstring::npos);

  poll(pages, poll_of("p2"));
  const std::uint64_t last = pages.reports("p2");
  pages.leave("p2", "");
  pages.vanished_unless_reported("p2", last);
  const Answered left = pages.run(L"{\"id\":\"c2\",\"page\":\"p2\"}");
  EXPECT_NE(left.text.find(L"\"gone\":true"), std::wstring::npos) << left.text;

  poll(pages, poll_of("p3"));
  pages.vanished_unless_reported("p3", pages.reports("p3"));
  const Answered silent = pages.run(L"{\"id\":\"c3\",\"page\":\"p3\"}");
  EXPECT_NE(silent.text.find(L"went away with its browser"), std::wstring::npos) << silent.text;

  // Its browser was there after all (a connection dropped): it is the same
  // page again, not a new one that a command after a mark would take.
  EXPECT_EQ(pages.mark(), 3u);
  poll(pages, poll_of("p3"));
  const Answered none = pages.run(L"{\"id\":\"c4\",\"after\":3,\"pageWait\":100}");
  EXPECT_NE(none.text.find(L"no page was there"), std::wstring::npos) << none.text;

  // A document that said it is leaving, whose socket then drops without a
  // close frame, has still gone the ordinary way.
  poll(pages, poll_of("p4"));
  AgentPoll leaving = poll_of("p4");
  leaving.leaving = true;
  poll(pages, leaving);
  pages.vanished("p4");
  const Answered unloaded = pages.run(L"{\"id\":\"c5\",\"page\":\"p4\"}");
  EXPECT_NE(unloaded.text.find(L"\"gone\":true"), std::wstring::npos) << unloaded.text;
  EXPECT_EQ(unloaded.text.find(L"browser"), std::wstring::npos) << unloaded.text;
}

// Pages that stop reporting are forgotten, gone ones too, but the
// registry looks for them at most once a second, not on every report.
TEST(PageRegistryTest, SilentPagesAreSweptAtMostOnceASecond) {
  PageRegistryTimes times = short_times();
  times.silent_limit = std::chrono::milliseconds(50);
  PageRegistry pages(times);
  poll(pages, poll_of("p1"));  // the first report sweeps (nothing yet)
  poll(pages, poll_of("p2"));
  pages.gone("p2");
  EXPECT_EQ(pages.page_count(), 2u);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  poll(pages, poll_of("p3"));  // within the second: no sweep yet
  EXPECT_EQ(pages.page_count(), 3u);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  poll(pages, poll_of("p4"));
  EXPECT_EQ(pages.page_count(), 1u) << "p1 to p3 fell silent";
  // A forgotten page is gone to commands that name it; unnamed ones find
  // the page that is left.
  EXPECT_NE(Answered(pages.run(L"{\"id\":\"c1\",\"page\":\"p1\"}")).text.find(L"\"gone\":true"), std::wstring::npos);
  auto running = std::async(std::launch::async, [&]() -> Answered { return pages.run(L"{\"id\":\"c2\",\"op\":\"info\"}"); });
  ASSERT_TRUE(next_command(pages, "p4").has_value());
  pages.delivered("p4");
  poll(pages, answer_of("p4", "c2"));
  EXPECT_EQ(running.get().page, L"p4");
}

// Malformed commands come back as failed answers, not as exceptions.
TEST(PageRegistryTest, MalformedCommandsAreAnsweredAsFailures) {
  PageRegistry pages(short_times());
  EXPECT_NE(Answered(pages.run(L"not json")).text.find(L"not a JSON object"), std::wstring::npos);
  EXPECT_NE(Answered(pages.run(L"[1,2]")).text.find(L"\"ok\":false"), std::wstring::npos);
}

}  // namespace
}  // namespace Tavrin::Proxy
