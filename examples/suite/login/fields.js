// The form has its fields and they start empty.
test("The form's fields start empty", function () {
  var page = open("/index.html");
  assert(page.element("#user", "user field").exists(), "user field");
  assert(page.element("#password", "password field").exists(), "password field");
  assertEqual(page.element("#user").value(), "", "user field empty");
});
