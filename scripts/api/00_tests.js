// The tester's API: tests, assertions and the events of a run.
//
// Loaded before every test script, and written so that it may run in a web
// page as well: it defines functions and its own counters only, and reaches
// everything outside through the object `quorvaneHost`, which whoever loads
// it provides (host.js in the runner). A host offers:
//   record(kind, name, value)  one event: writes the test log record (and
//                              echoes it); kind is "test", "assert",
//                              "result", "error", "info", "message",
//                              "param", "verbose", "screenshot" or "stats"
//   parameter(name)            the text of a run parameter
//   sleep(ms)                  waits
//   screenshot(name)           takes a screenshot, returns the file's path
//   runSuite(file)             runs another test script as a nested suite,
//                              returns its exit status
//
// JScript in the style of ECMAScript 3: var, function declarations, no
// getters, no Array extras.

var quorvaneApi = {
  passedTests: 0,
  failedTests: 0,
  // Failed assertions outside any test: each counts as one failure.
  failedOutside: 0,
  // Nested suites run, and those that exited with a non-zero status.
  suites: 0,
  failedSuites: 0,
  // The test that runs now, or null.
  current: null
};

// The text of a thrown value: "Name: message" for errors (also the
// automation errors that calls raise), the value's text otherwise.
function quorvaneErrorText(e) {
  if (e !== null && typeof e === "object") {
    var message = e.message;
    if (message === undefined || message === "") message = e.description;
    if (message !== undefined && message !== "") {
      return (e.name && e.name !== "Error") ? e.name + ": " + message : String(message);
    }
  }
  return String(e);
}

// "'text'" for values in assertion details.
function quorvaneQuote(value) {
  return "'" + String(value) + "'";
}

// Counts one assertion's outcome and records it with its result.
function quorvaneAssertion(passed, name, detail) {
  var test = quorvaneApi.current;
  if (test) {
    if (passed) test.passed++; else test.failed++;
  } else if (!passed) {
    quorvaneApi.failedOutside++;
  }
  quorvaneHost.record("assert", name, detail);
  quorvaneHost.record("result", "status", passed ? "passed" : "failed");
  return passed;
}

// Runs `fn` as the test `title`. A failed assertion fails the test; so does
// an exception, which is recorded as an error and ends only this test.
function test(title, fn) {
  var outer = quorvaneApi.current;
  var state = { title: String(title), passed: 0, failed: 0, errors: 0 };
  quorvaneApi.current = state;
  quorvaneHost.record("test", "test", state.title);
  try {
    fn();
  } catch (e) {
    state.errors++;
    quorvaneHost.record("error", "script", quorvaneErrorText(e));
  }
  // Requests that waited in vain for this script's handlers fail this test.
  if (quorvaneNetwork.owner) quorvaneHost.sleep(0);
  quorvaneApi.current = outer;
  quorvaneHost.record("stats", "test", state.passed + " passed, " + state.failed + " failed" +
                      (state.errors ? ", " + state.errors + " error" : ""));
  if (state.failed || state.errors) quorvaneApi.failedTests++; else quorvaneApi.passedTests++;
  return !(state.failed || state.errors);
}

// An assertion whose first argument is a function calls it again until
// the assertion holds or `ms` (default pageTimeouts().action) have passed,
// and fails with the last value it saw (or the last error it threw).
// Page commands inside the function keep within that time.
function quorvaneRetrying(subject, holds, ms) {
  if (typeof subject !== "function") return { value: subject, passed: holds(subject) };
  var limit = ms === undefined ? quorvanePages.action : Number(ms);
  var deadline = new Date().getTime() + limit;
  var outer = quorvanePages.deadline;
  if (outer === null || outer > deadline) quorvanePages.deadline = deadline;
  try {
    for (;;) {
      var seen, passed;
      try {
        seen = subject();
        passed = holds(seen);
      } catch (e) {
        seen = "error: " + quorvaneErrorText(e);
        passed = false;
      }
      if (passed || new Date().getTime() >= deadline) return { value: seen, passed: passed };
      quorvaneHost.sleep(quorvanePages.retryEvery);
    }
  } finally {
    quorvanePages.deadline = outer;
  }
}

function assert(condition, name, ms) {
  var r = quorvaneRetrying(condition, function (v) { return !!v; }, ms);
  return quorvaneAssertion(r.passed, name, r.passed ? quorvaneQuote(r.value)
                                                    : "expected true\ngot " + quorvaneQuote(r.value));
}

function assertEqual(actual, expected, name, ms) {
  var r = quorvaneRetrying(actual, function (v) { return v === expected; }, ms);
  return quorvaneAssertion(r.passed, name, r.passed ? quorvaneQuote(r.value)
                                                    : "expected " + quorvaneQuote(expected) + "\ngot " +
                                                      quorvaneQuote(r.value));
}

function assertMatch(text, regexp, name, ms) {
  var re = regexp instanceof RegExp ? regexp : new RegExp(String(regexp));
  var r = quorvaneRetrying(text, function (v) { re.lastIndex = 0; return re.test(String(v)); }, ms);
  return quorvaneAssertion(r.passed, name, r.passed ? quorvaneQuote(r.value)
                                                    : "expected to match " + String(re) + "\ngot " +
                                                      quorvaneQuote(r.value));
}

// A failed assertion named `name`, for checks the other forms do not make.
function fail(name, why) {
  return quorvaneAssertion(false, name, why === undefined ? "" : String(why));
}

function info(name, value) {
  quorvaneHost.record("info", name, String(value));
}

function message(text) {
  quorvaneHost.record("message", "message", String(text));
}

function verbose(name, text) {
  quorvaneHost.record("verbose", name, String(text));
}

// The run parameter `name` (file, server, port, browser, suite, log,
// default_browser, or one a script put), recorded.
function param(name) {
  var value = quorvaneHost.parameter(String(name));
  quorvaneHost.record("param", name, value);
  return value;
}

function sleep(ms) {
  quorvaneHost.sleep(ms);
}

// Takes a screenshot; returns the path of the stored image.
function screenshot(name) {
  var path = quorvaneHost.screenshot(String(name));
  quorvaneHost.record("screenshot", name, path);
  return path;
}

// Runs the test script `file` (relative to this script's folder) as a
// nested suite that writes into the same test log. Its outcome is recorded
// as an assertion "suite FILE": a non-zero exit status counts as one
// failure (of the current test, or of the run outside tests). Returns the
// exit status.
function suite(file) {
  var status = quorvaneHost.runSuite(String(file));
  quorvaneApi.suites++;
  if (status !== 0) quorvaneApi.failedSuites++;
  // The nested run's records came in between: this run's test continues.
  if (quorvaneApi.current) quorvaneHost.record("test", "test", quorvaneApi.current.title);
  quorvaneAssertion(status === 0, "suite " + file, "exit status " + status);
  return status;
}

// The run's outcome so far: 0 when every test passed and no assertion
// outside a test failed, else the number of failures.
function quorvaneFailures() {
  return quorvaneApi.failedTests + quorvaneApi.failedOutside;
}
