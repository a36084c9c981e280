// A reload keeps the page.
test("Reload keeps the sign-in page", function () {
  var page = open("/index.html");
  page.reload();
  assertEqual(page.title(), "Login", "title after reload");
});
