// A script without a browser.
test("Numbers add up", function () {
  message("adding");
  assertEqual(1 + 1, 2, "one and one");
  assertEqual(String(0.1 + 0.2).substr(0, 3), "0.3", "tenths");
});
