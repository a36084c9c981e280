// Hangs on purpose: sleeps without end once its page is open,
// so the suite's --timeout ends it and its browser.
test("Waits for ever (hangs on purpose)", function () {
  var page = open("/index.html");
  for (;;) {
    sleep(1000);
  }
});
