// For the page benchmarks: the steps of the passing test of
// examples/login.js, as the script function login(), which the benchmarks
// time with waiting and without.
#ifndef QUORVANE_SCRIPTS_BENCH_LOGIN_STEPS_H_
#define QUORVANE_SCRIPTS_BENCH_LOGIN_STEPS_H_

namespace quorvane_bench {

constexpr const char kLoginSteps[] = R"js(
function login() {
  var page = open("/index.html");
  assertEqual(page.title(), "Login", "the sign-in page is shown");
  page.element("#user", "user field").type("guest");
  page.element("#password", "password field").type("secret");
  page.element("#sign-in", "sign-in button").click();
  assertEqual(page.title(), "Welcome", "the welcome page is shown");
  assertEqual(page.element("#greeting", "greeting").text(), "Welcome, guest", "the user is greeted");
  assertEqual(page.waitFor("#message").text(), "You have 3 new messages", "the messages are announced");
  var panel = page.frame("#panel");
  panel.element("#ping", "ping button").click();
  assertEqual(panel.element("#status", "panel status").text(), "Pinged", "the panel answers");
  page.close();
}
)js";

}  // namespace quorvane_bench

#endif  // QUORVANE_SCRIPTS_BENCH_LOGIN_STEPS_H_
