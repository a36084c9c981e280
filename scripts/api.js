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
  quorvaneApi.current = outer;
  quorvaneHost.record("stats", "test", state.passed + " passed, " + state.failed + " failed" +
                      (state.errors ? ", " + state.errors + " error" : ""));
  if (state.failed || state.errors) quorvaneApi.failedTests++; else quorvaneApi.passedTests++;
  return !(state.failed || state.errors);
}

function assert(condition, name) {
  var passed = !!condition;
  return quorvaneAssertion(passed, name, passed ? quorvaneQuote(condition)
                                                : "expected true\ngot " + quorvaneQuote(condition));
}

function assertEqual(actual, expected, name) {
  var passed = actual === expected;
  return quorvaneAssertion(passed, name, passed ? quorvaneQuote(actual)
                                                : "expected " + quorvaneQuote(expected) + "\ngot " +
                                                  quorvaneQuote(actual));
}

function assertMatch(text, regexp, name) {
  var re = regexp instanceof RegExp ? regexp : new RegExp(String(regexp));
  var passed = re.test(String(text));
  return quorvaneAssertion(passed, name, passed ? quorvaneQuote(text)
                                                : "expected to match " + String(re) + "\ngot " +
                                                  quorvaneQuote(text));
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

// Pages in browsers. open() starts a browser on a page and returns a page
// object; its methods and those of its elements are commands that the
// page's agent runs. Actions wait (up to pageTimeouts().action ms) until
// their element exists, is visible, enabled and no longer moving, and
// afterwards until the page has settled or a new page has loaded. A failed
// action throws, so the test fails and the run goes on.
var quorvanePages = {
  action: 10000,      // ms an element command waits for its element
  navigation: 30000,  // ms a new page may take to load
  waiting: true       // false: act at once, no waiting before or after
};

// Changes the waiting limits: pageTimeouts({ action: ms, navigation: ms,
// waiting: false }); returns the settings in force.
function pageTimeouts(settings) {
  if (settings) {
    if (settings.action !== undefined) quorvanePages.action = Number(settings.action);
    if (settings.navigation !== undefined) quorvanePages.navigation = Number(settings.navigation);
    if (settings.waiting !== undefined) quorvanePages.waiting = !!settings.waiting;
  }
  return quorvanePages;
}

// The address of `url` on the run's server (-s and -p), unless it is
// absolute already.
function quorvaneAbsoluteUrl(url) {
  url = String(url);
  if (/^[a-zA-Z][a-zA-Z0-9+.\-]*:/.test(url)) return url;
  var server = quorvaneHost.parameter("server");
  var port = "";
  try { port = quorvaneHost.parameter("port"); } catch (e) { port = ""; }
  if (!server) throw new Error("no server (-s) to open '" + url + "' on");
  return "http://" + server + (port && port !== "80" ? ":" + port : "") + (url.charAt(0) === "/" ? "" : "/") + url;
}

// Sends one command to the page `uuid` ("" for the run's newest page);
// throws what the page answered when it failed.
function quorvaneCommand(uuid, fields, what) {
  fields.page = uuid;
  var answer = quorvaneHost.command(fields);
  if (!answer.ok) throw new Error((what ? what + ": " : "") + (answer.error || "the page failed the command"));
  return answer;
}

// A mark of the pages registered so far, for quorvaneNewPage. A command
// that reached its page needs none: its answer carries the mark ("mark") as
// it was when the page took it.
function quorvanePageMark() {
  var answer = quorvaneHost.command({ op: "mark" });
  if (!answer.ok) throw new Error("the proxy gave no page mark: " + answer.error);
  return answer.value;
}

// Waits until a top-level page registered after `mark` has loaded;
// returns its answer.
function quorvaneNewPage(mark, limit) {
  var answer = quorvaneHost.command({ op: "ready", page: "", after: mark, timeout: limit, pageWait: limit });
  if (!answer.ok || !answer.page) {
    throw new Error("waited " + limit + " ms for a new page to load" + (answer.error ? " (" + answer.error + ")" : ""));
  }
  return answer;
}

function QuorvanePage(uuid, frameOf) {
  this.uuid = uuid;
  this.frameOf = frameOf || null;
  this.elements = {};
  // What onDialog set (undefined: nothing), for every page this object
  // moves to; and the dialogs that answers brought along, for dialogs().
  this.dialogAnswer = undefined;
  this.seenDialogs = [];
}

// Keeps the dialogs an answer reports (those a page showed while it ran a
// command, even one that navigated it away).
QuorvanePage.prototype.collect = function (answer) {
  var list = answer && answer.dialogs;
  if (list) for (var i = 0; i < list.length; i++) this.seenDialogs[this.seenDialogs.length] = list[i];
  return answer;
};

// Follows the page that loaded in this one's place: its elements are new,
// and the dialog answer the test set holds there too.
QuorvanePage.prototype.moveTo = function (uuid, loaded) {
  this.uuid = uuid;
  this.elements = {};
  if (loaded) this.collect(loaded);
  if (this.dialogAnswer !== undefined) {
    this.collect(quorvaneCommand(uuid, { op: "dialog", answer: this.dialogAnswer }, "dialog answer"));
  }
};

// Runs a command on this page; a command that made the page navigate moves
// this object to the page that loaded instead.
// `answered` (optional) runs once the page has answered, before a new page
// is waited for, so that the action's records precede the new page's.
QuorvanePage.prototype.command = function (fields, what, answered) {
  fields.page = this.uuid;
  var answer = this.collect(quorvaneHost.command(fields));
  if (!answer.ok && answer.gone && !this.frameOf) {
    // The page went away on its own (a script or a timer navigated it):
    // the command goes to the window's newest page instead.
    var replaced = quorvaneNewPage(0, quorvanePages.navigation);
    this.moveTo(replaced.page, replaced);
    fields.page = this.uuid;
    answer = this.collect(quorvaneHost.command(fields));
  }
  if (!answer.ok) throw new Error((what ? what + ": " : "") + (answer.error || "the page failed the command"));
  if (answered) answered();
  if (answer.navigating || answer.navigated) {
    if (this.frameOf) {
      this.moveTo(this.frameOf.frameUuid(this.frameSelector));
    } else {
      var loaded = quorvaneNewPage(answer.mark === undefined ? 0 : answer.mark, quorvanePages.navigation);
      this.moveTo(loaded.page, loaded);
    }
  }
  return answer;
};

QuorvanePage.prototype.title = function () {
  return this.command({ op: "info" }).title;
};
QuorvanePage.prototype.url = function () {
  return this.command({ op: "info" }).url;
};
QuorvanePage.prototype.eval = function (expression) {
  quorvaneHost.record("script", "eval", String(expression));
  return this.command({ op: "eval", expression: String(expression) }, "eval").value;
};
QuorvanePage.prototype.waitFor = function (selector, ms) {
  var limit = ms === undefined ? quorvanePages.action : Number(ms);
  this.action("waitFor", this.element(selector), undefined, limit);
  return this.element(selector);
};
QuorvanePage.prototype.waitForText = function (text, ms) {
  var limit = ms === undefined ? quorvanePages.action : Number(ms);
  quorvaneHost.record("action", "waitForText", String(text));
  try {
    this.command({ op: "waitForText", text: String(text), timeout: limit });
  } catch (e) {
    quorvaneHost.record("result", "status", "failed");
    throw e;
  }
  quorvaneHost.record("result", "status", "passed");
  return true;
};
QuorvanePage.prototype.navigationAction = function (op, fields, value) {
  quorvaneHost.record("action", op, value === undefined ? "" : value);
  fields.op = op;
  var recorded = false;
  try {
    this.command(fields, op, function () {
      recorded = true;
      quorvaneHost.record("result", "status", "passed");
    });
  } catch (e) {
    if (!recorded) quorvaneHost.record("result", "status", "failed");
    throw e;
  }
  return this;
};
QuorvanePage.prototype.navigate = function (url) {
  var absolute = quorvaneAbsoluteUrl(url);
  return this.navigationAction("navigate", { url: absolute }, absolute);
};
QuorvanePage.prototype.back = function () { return this.navigationAction("back", {}); };
QuorvanePage.prototype.reload = function () { return this.navigationAction("reload", {}); };
// How the page's next dialogs answer: true (the default) accepts (a prompt
// gets its default text), false refuses (a prompt gets null), a text is
// what a prompt gets (a confirm takes it as accepted).
// The answer holds for the pages this object moves to as well.
QuorvanePage.prototype.onDialog = function (answer) {
  this.dialogAnswer = answer === undefined ? null : answer;
  this.command({ op: "dialog", answer: this.dialogAnswer });
  return this;
};
// The dialogs ({kind, text}) shown since the last call, by this page and
// by those it navigated from.
QuorvanePage.prototype.dialogs = function () {
  var rest = this.command({ op: "dialogs" }).value;
  var seen = this.seenDialogs;
  this.seenDialogs = [];
  if (rest) for (var i = 0; i < rest.length; i++) seen[seen.length] = rest[i];
  return seen;
};
QuorvanePage.prototype.close = function () {
  try {
    this.command({ op: "eval", expression: "window.close(), true" });
  } catch (e) { /* the page is gone already */ }
};
QuorvanePage.prototype.frameUuid = function (selector) {
  return this.command({ op: "frame", selector: String(selector), timeout: quorvanePages.navigation },
                      "frame " + selector).value;
};
QuorvanePage.prototype.frame = function (selector) {
  var frame = new QuorvanePage(this.frameUuid(selector), this);
  frame.frameSelector = String(selector);
  frame.collect(quorvaneCommand(frame.uuid, { op: "ready", timeout: quorvanePages.navigation }, "frame " + selector));
  return frame;
};
QuorvanePage.prototype.element = function (selector, name) {
  selector = String(selector);
  var known = this.elements[selector];
  if (known) return known;
  var made = new QuorvaneElement(this, selector, name === undefined ? selector : String(name));
  this.elements[selector] = made;
  return made;
};

// One action: its records, the command, the outcome.
QuorvanePage.prototype.action = function (op, element, arg, limit) {
  element.announce();
  quorvaneHost.record("action", op, arg === undefined ? "" : String(arg), element.uuid);
  var answer;
  var recorded = false;
  try {
    answer = this.command({ op: op, selector: element.selector, arg: arg === undefined ? null : String(arg),
                            timeout: limit === undefined ? quorvanePages.action : limit,
                            wait: quorvanePages.waiting }, element.name, function () {
      recorded = true;
      quorvaneHost.record("result", "status", "passed", element.uuid);
    });
  } catch (e) {
    if (!recorded) quorvaneHost.record("result", "status", "failed", element.uuid);
    throw e;
  }
  return answer.value;
};

function QuorvaneElement(page, selector, name) {
  this.page = page;
  this.selector = selector;
  this.name = name;
  this.uuid = quorvaneHost.uuid();
  this.announced = false;
}
QuorvaneElement.prototype.announce = function () {
  if (!this.announced) {
    this.announced = true;
    quorvaneHost.element(this.name, this.uuid);
  }
};
(function () {
  var ops = ["click", "dblclick", "hover", "type", "clear", "press", "select", "check", "uncheck", "submit",
             "text", "value", "attr", "exists", "visible", "count"];
  for (var i = 0; i < ops.length; i++) {
    (function (op) {
      QuorvaneElement.prototype[op] = function (arg) {
        var value = this.page.action(op, this, arg);
        return op === "click" || op === "dblclick" || op === "hover" || op === "type" || op === "clear" ||
               op === "press" || op === "select" || op === "check" || op === "uncheck" || op === "submit"
               ? this : value;
      };
    })(ops[i]);
  }
})();

// Opens `url` (relative to the run's server, or absolute) in `browser`
// (default: the run's -b) and returns its page once it has loaded.
function open(url, browser) {
  var absolute = quorvaneAbsoluteUrl(url);
  var name = browser === undefined ? quorvaneHost.parameter("browser") : String(browser);
  var mark = quorvanePageMark();
  quorvaneHost.openUrl(name, absolute);
  var loaded = quorvaneNewPage(mark, quorvanePages.navigation);
  var page = new QuorvanePage(loaded.page, null);
  page.collect(loaded);
  return page;
}
