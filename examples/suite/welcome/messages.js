// The message count appears a while after the welcome page has loaded.
test("New messages are announced", function () {
  var page = open("/index.html");
  page.element("#user", "user field").type("guest");
  page.element("#password", "password field").type("secret");
  page.element("#sign-in", "sign-in button").click();
  assertEqual(page.waitFor("#message").text(), "You have 3 new messages", "messages");
});
