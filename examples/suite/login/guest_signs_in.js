// A guest with the right password reaches the welcome page.
test("A guest signs in", function () {
  var page = open("/index.html");
  page.element("#user", "user field").type("guest");
  page.element("#password", "password field").type("secret");
  page.element("#sign-in", "sign-in button").click();
  assertEqual(page.title(), "Welcome", "the welcome page is shown");
});
