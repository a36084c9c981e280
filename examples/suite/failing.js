// Fails on purpose: the sign-in page is not the welcome page.
test("The sign-in page says Welcome (fails on purpose)", function () {
  var page = open("/index.html");
  assertEqual(page.title(), "Welcome", "title");
});
