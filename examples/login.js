// The bundled example: signs in to the small login site in examples/site,
// which the proxy serves as http://login.example.test/ (config.xml,
// "proxy"/"sites"). Run it with
//   build/bin/Quorvane examples/login.js -s login.example.test -b chromium
// One test passes; the other fails on purpose (it waits for a message that
// never comes), so the run exits with 1.

test("Sign in as guest", function () {
  var page = open("/index.html");
  assertEqual(page.title(), "Login", "the sign-in page is shown");
  page.element("#user", "user field").type("guest");
  page.element("#password", "password field").type("secret");
  page.element("#sign-in", "sign-in button").click();
  assertEqual(page.title(), "Welcome", "the welcome page is shown");
  assertEqual(page.element("#greeting", "greeting").text(), "Welcome, guest", "the user is greeted");
  // The message appears a while after the page has loaded.
  assertEqual(page.waitFor("#message").text(), "You have 3 new messages", "the messages are announced");
  var panel = page.frame("#panel");
  panel.element("#ping", "ping button").click();
  assertEqual(panel.element("#status", "panel status").text(), "Pinged", "the panel answers");
  page.close();
});

test("A wrong password is refused", function () {
  var page = open("/index.html");
  page.element("#user", "user field").type("guest");
  page.element("#password", "password field").type("wrong");
  page.element("#sign-in", "sign-in button").click();
  assertEqual(page.element("#error", "error message").text(), "Unknown user or wrong password",
              "the error is shown");
  // Fails on purpose: a refused user is never welcomed.
  pageTimeouts({ action: 2000 });
  page.waitFor("#greeting");
  page.close();
});
