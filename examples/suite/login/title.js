// The sign-in page opens with its title.
test("The sign-in page has its title", function () {
  var page = open("/index.html");
  assertEqual(page.title(), "Login", "title");
});
