// A wrong password is refused with a message.
test("A wrong password is refused", function () {
  var page = open("/index.html");
  page.element("#user", "user field").type("guest");
  page.element("#password", "password field").type("wrong");
  page.element("#sign-in", "sign-in button").click();
  assertEqual(page.element("#error", "error message").text(), "Unknown user or wrong password", "the error");
  assertEqual(page.title(), "Login", "still on the sign-in page");
});
