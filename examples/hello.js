// hello.js: a first test script. It needs no browser: it tries the tester's
// API (tests, assertions, information, a run parameter) and runs a nested
// suite. Run it and turn its test log into a report:
//
//   build/bin/Quorvane examples/hello.js --log "$PWD/build/hello.log"
//   build/bin/Quorvane --mode=convert -i build/hello.log -o build/hello-report.xml
//
// Two of its tests fail on purpose, so the run exits with 2, the number of
// failed tests.

message("Hello from " + param("file"));

test("arithmetic", function () {
  assertEqual(1 + 1, 2, "one plus one");
  assert(10 > 9, "ten is more than nine");
});

test("text", function () {
  assertMatch("Quorvane, a test bench", /test bench$/, "ends with test bench");
  assertEqual("Grüße aus 日本".length, 12, "each character counts once");
  // Fails on purpose: the report shows what was expected and what came.
  assertEqual("hello".toUpperCase(), "Hello", "capitalised");
});

test("an exception fails only its own test", function () {
  info("step", "calling a function that does not exist");
  noSuchFunction();
});

// A nested suite: another script, run by a second runner one level deeper,
// writing into the same test log. Its exit status counts here.
suite("nested/child.js");
