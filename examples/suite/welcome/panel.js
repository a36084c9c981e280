// The panel in the welcome page's frame answers a ping.
test("The panel answers a ping", function () {
  var page = open("/index.html");
  page.element("#user", "user field").type("guest");
  page.element("#password", "password field").type("secret");
  page.element("#sign-in", "sign-in button").click();
  var panel = page.frame("#panel");
  panel.element("#ping", "ping button").click();
  assertEqual(panel.element("#status", "panel status").text(), "Pinged", "panel status");
});
