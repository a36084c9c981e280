// Back from the help page returns to the sign-in page.
test("Back from help returns to sign-in", function () {
  var page = open("/index.html");
  page.element("#help", "help link").click();
  page.back();
  assertEqual(page.title(), "Login", "sign-in page again");
});
