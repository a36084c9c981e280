// The "remember me" box can be ticked and cleared.
test("Remember me ticks and clears", function () {
  var page = open("/index.html");
  var box = page.element("#remember", "remember box");
  box.check();
  assert(page.eval("document.getElementById('remember').checked") === true, "ticked");
  box.uncheck();
  assert(page.eval("document.getElementById('remember').checked") === false, "cleared");
});
