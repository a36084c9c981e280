// The help link leads to the help page.
test("The help link opens the help page", function () {
  var page = open("/index.html");
  page.element("#help", "help link").click();
  assertEqual(page.title(), "Help", "help page");
});
