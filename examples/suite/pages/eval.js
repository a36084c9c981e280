// Expressions run in the page.
test("The page evaluates expressions", function () {
  var page = open("/index.html");
  assertEqual(page.eval("1 + 2"), 3, "arithmetic");
  assertEqual(page.eval("document.forms.length"), 1, "one form");
});
