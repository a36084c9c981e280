// Typed text lands in the field, and clearing empties it.
test("Typing and clearing a field", function () {
  var page = open("/index.html");
  var user = page.element("#user", "user field");
  user.type("someone");
  assertEqual(user.value(), "someone", "typed");
  user.clear();
  assertEqual(user.value(), "", "cleared");
});
