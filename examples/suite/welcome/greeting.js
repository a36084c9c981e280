// The welcome page greets the user by name.
test("The guest is greeted", function () {
  var page = open("/index.html");
  page.element("#user", "user field").type("guest");
  page.element("#password", "password field").type("secret");
  page.element("#sign-in", "sign-in button").click();
  assertEqual(page.element("#greeting", "greeting").text(), "Welcome, guest", "greeting");
});
