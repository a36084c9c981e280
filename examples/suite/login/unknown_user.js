// A user the site does not know is refused.
test("An unknown user is refused", function () {
  var page = open("/index.html");
  page.element("#user", "user field").type("mallory");
  page.element("#password", "password field").type("secret");
  page.element("#sign-in", "sign-in button").click();
  assertEqual(page.element("#error", "error message").text(), "Unknown user or wrong password", "the error");
});
