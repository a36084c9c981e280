// Two tests in one script, each with its own page.
test("The sign-in button is there", function () {
  var page = open("/index.html");
  assertEqual(page.element("#sign-in", "sign-in button").text(), "Sign in", "button label");
});
test("The heading is there", function () {
  var page = open("/index.html");
  assertEqual(page.element("h1", "heading").text(), "Sign in", "heading");
});
