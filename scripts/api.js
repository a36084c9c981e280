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

// Pages in browsers. open() starts a browser on a page and returns a page
// object; its methods and those of its elements are commands that the
// page's agent runs. Actions wait (up to pageTimeouts().action ms) until
// their element exists, is visible, enabled and no longer moving; they
// answer once their events have run, and after what they started: a new
// page loaded, the requests their events began ended. Reads read once;
// the waiting reads (waitText, waitCount ...) and the assertions given a
// function retry until they hold. A failed action throws, so the test
// fails and the run goes on.
var quorvanePages = {
  action: 10000,      // ms an element command waits for its element
  navigation: 30000,  // ms a new page may take to load
  waiting: true,      // false: act at once, no waiting before or after
  retryEvery: 20,     // ms between the tries of a retrying assertion
  deadline: null      // while an assertion retries: when its time is up
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

// The limit of a command that would take `ms`: no more than what a
// retrying assertion around it has left.
function quorvaneLimit(ms) {
  var limit = ms === undefined ? quorvanePages.action : Number(ms);
  if (quorvanePages.deadline !== null) {
    var left = quorvanePages.deadline - new Date().getTime();
    if (left < limit) limit = left > 0 ? left : 0;
  }
  return limit;
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
  try {
    return quorvaneHost.mark();
  } catch (e) {
    throw new Error("the proxy gave no page mark: " + (e && e.message ? e.message : e));
  }
}

// Waits until a top-level page registered after `mark` has loaded;
// returns its answer.
function quorvaneNewPage(mark, limit) {
  var answer = quorvaneHost.command({ op: "ready", page: "", after: mark, timeout: limit, pageWait: limit,
                                      navigation: true });
  if (!answer.ok || (!answer.page && !answer.outcome)) {
    throw new Error("waited " + limit + " ms for a new page to load" + (answer.error ? " (" + answer.error + ")" : ""));
  }
  return answer;
}

// One recorded step: an action record (`op`, `value`, the element's uuid),
// then `fn(passed)`, which calls passed() once the page has answered (so
// that the result precedes the records of a page it loads); the result is
// "failed" when fn throws before.
function quorvaneRecorded(op, value, uuid, fn) {
  quorvaneHost.record("action", op, value === undefined || value === null ? "" : String(value), uuid);
  var recorded = false;
  function passed() {
    if (recorded) return;
    recorded = true;
    quorvaneHost.record("result", "status", "passed", uuid);
  }
  var out;
  try {
    out = fn(passed);
  } catch (e) {
    if (!recorded) quorvaneHost.record("result", "status", "failed", uuid);
    throw e;
  }
  passed();
  return out;
}

// A regular expression or a text as a waiting read's wanted value.
function quorvaneMatch(wanted) {
  if (wanted instanceof RegExp) {
    return { source: wanted.source, flags: (wanted.ignoreCase ? "i" : "") + (wanted.multiline ? "m" : "") };
  }
  return { text: String(wanted) };
}

function QuorvanePage(uuid, frameOf) {
  this.uuid = uuid;
  this.frameOf = frameOf || null;
  this.elements = {};
  // What onDialog set (undefined: nothing), for every page this object
  // moves to; and the dialogs that answers brought along, for dialogs().
  this.dialogAnswer = undefined;
  this.seenDialogs = [];
  // The mark of the page's last answer: the page that comes in its place
  // registers after it, while the run's older pages (other windows) came
  // before.
  this.mark = 0;
}

// Keeps the dialogs an answer reports (those a page showed while it ran a
// command, even one that navigated it away), and its mark.
QuorvanePage.prototype.collect = function (answer) {
  var list = answer && answer.dialogs;
  if (list) for (var i = 0; i < list.length; i++) this.seenDialogs[this.seenDialogs.length] = list[i];
  var errors = answer && answer.errors;
  if (errors) {
    if (!this.seenErrors) this.seenErrors = [];
    for (var j = 0; j < errors.length; j++) this.seenErrors[this.seenErrors.length] = errors[j];
  }
  if (answer && typeof answer.mark === "number") this.mark = answer.mark;
  return answer;
};

// Follows the page that loaded in this one's place: its elements are new,
// and the dialog answer the test set holds there too.
QuorvanePage.prototype.moveTo = function (uuid, loaded) {
  this.uuid = uuid;
  this.bare = null;
  this.elements = {};
  if (loaded) this.collect(loaded);
  if (this.dialogAnswer !== undefined) {
    this.collect(quorvaneCommand(uuid, { op: "dialog", answer: this.dialogAnswer }, "dialog answer"));
  }
  if (this.geolocation !== undefined) {
    this.collect(quorvaneCommand(uuid, { op: "geolocation", position: this.geolocation }, "geolocation"));
  }
};

// The page that took this one's place after it navigated (for a frame: the
// page now in the frame), waited for up to `limit` ms.
QuorvanePage.prototype.follow = function (mark, limit) {
  if (this.frameOf) {
    this.moveTo(this.frameOf.frameUuid(this.frameSelector, limit));
  } else {
    var loaded = quorvaneNewPage(mark === undefined ? 0 : mark, limit);
    if (loaded.outcome) this.ended(loaded.outcome, loaded);
    else this.moveTo(loaded.page, loaded);
  }
};

// Runs a command on this page; a command that made the page navigate moves
// this object to the page that loaded instead (unless `stay`).
// `answered` (optional) runs once the page has answered, before a new page
// is waited for, so that the action's records precede the new page's.
// `deadline` (optional, a time in ms): when a waiting command's time is
// up, which bounds the wait for a page that navigates meanwhile.
//
// How long a new page may take: a page that said it was leaving (the
// command, or the page itself, began a navigation) has the navigation
// limit; a page that went away without a word (its window closed, its
// frame removed, its browser ended) only what is left of the command's
// own limit, since nothing may come in its place.
QuorvanePage.prototype.command = function (fields, what, answered, stay, deadline) {
  if (this.closed) throw new Error((what ? what + ": " : "") + "the page was closed");
  if (this.bare) return this.bareCommand(fields, what);
  fields.page = this.uuid;
  if (fields.timeout === undefined) fields.timeout = quorvaneLimit();
  var until = new Date().getTime() + Number(fields.timeout);
  if (deadline !== undefined && deadline < until) until = deadline;
  var self = this;
  function left() { return Math.max(0, until - new Date().getTime()); }
  // Follows the page in this one's place; a failure says that the page
  // went away, which a page gone without a word does not tell otherwise.
  function follow(mark, limit, announced) {
    try {
      self.follow(mark, limit);
    } catch (e) {
      if (announced) throw e;
      throw new Error((what ? what + ": " : "") + "the page went away while it ran the command; " + e.message);
    }
  }
  var answer = this.collect(quorvaneHost.command(fields));
  if (!answer.ok && answer.gone && !stay) {
    // The page went away on its own (a script or a timer navigated it): the
    // command goes to the page in its place instead, found within the
    // command's own limit; not to an older page of the run.
    follow(this.mark, left(), false);
    fields.page = this.uuid;
    fields.timeout = left();
    answer = this.collect(quorvaneHost.command(fields));
  }
  if (!answer.ok) throw new Error((what ? what + ": " : "") + (answer.error || "the page failed the command"));
  if (quorvaneActions[fields.op] && typeof answer.mark === "number") this.actionMark = answer.mark;
  if (answered) answered();
  // The page closed its own window: nothing comes in its place.
  if (answer.closing && !stay) {
    this.closed = true;
    return answer;
  }
  if ((answer.navigating || answer.navigated) && !stay) {
    if (!answer.navigating) follow(answer.mark, left(), false);
    else follow(answer.mark, deadline === undefined ? quorvanePages.navigation : left(), true);
  }
  return answer;
};

// A waiting command: sent again to the page that loaded when the page
// navigated before the wait held, until its limit has passed. Its value.
QuorvanePage.prototype.waiting = function (fields, what, ms) {
  var limit = quorvaneLimit(ms);
  var deadline = new Date().getTime() + limit;
  for (;;) {
    var left = deadline - new Date().getTime();
    fields.timeout = left > 0 ? left : 0;
    var answer = this.command(fields, what, null, false, deadline);
    if (answer.held || !(answer.navigating || answer.navigated) || left <= 0) return answer.value;
  }
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
// Waits until the page expression is truthy; returns its value.
QuorvanePage.prototype.waitUntil = function (expression, ms) {
  var self = this;
  return quorvaneRecorded("waitUntil", expression, undefined, function () {
    return self.waiting({ op: "waitUntil", expression: String(expression) }, "waitUntil", ms);
  });
};
QuorvanePage.prototype.waitFor = function (selector, ms) {
  var element = this.element(selector);
  element.act("waitFor", undefined, ms);
  return element;
};
QuorvanePage.prototype.waitForText = function (text, ms) {
  var self = this;
  return quorvaneRecorded("waitForText", text, undefined, function () {
    self.command({ op: "waitForText", text: String(text), timeout: quorvaneLimit(ms) });
    return true;
  });
};
QuorvanePage.prototype.navigationAction = function (op, fields, value) {
  var self = this;
  quorvaneNetwork.since = new Date().getTime();  // network control: requests after this action
  fields.op = op;
  quorvaneRecorded(op, value, undefined, function (passed) { self.command(fields, op, passed); });
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
// Closes the page's window; returns at once when it is gone already.
// Its later commands throw.
QuorvanePage.prototype.close = function () {
  if (this.closed) return;
  try {
    this.command({ op: "close" }, "close", null, true);
  } catch (e) { /* the page is gone already */ }
  this.closed = true;
};
QuorvanePage.prototype.frameUuid = function (selector, limit) {
  return this.command({ op: "frame", selector: String(selector),
                        timeout: limit === undefined ? quorvanePages.navigation : limit },
                      "frame " + selector).value;
};
QuorvanePage.prototype.frame = function (selector) {
  var frame = new QuorvanePage(this.frameUuid(selector), this);
  frame.frameSelector = String(selector);
  // The parent sees its frame's document before that document's agent has
  // reached the proxy, which until then calls the page gone: ask again
  // within the navigation limit.
  var limit = quorvanePages.navigation;
  var started = new Date().getTime();
  for (;;) {
    var left = Math.max(0, limit - (new Date().getTime() - started));
    var answer = quorvaneHost.command({ op: "ready", page: frame.uuid, timeout: left });
    if (answer.ok) break;
    if (!answer.gone || left === 0) throw new Error("frame " + selector + ": " + (answer.error || "the page failed the command"));
    quorvaneHost.sleep(quorvanePages.retryEvery);
  }
  frame.collect(answer);
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
// One command on the element, recorded: its value.
QuorvaneElement.prototype.act = function (op, arg, ms) {
  var self = this, page = this.page;
  this.announce();
  return quorvaneRecorded(op, arg, this.uuid, function (passed) {
    return page.command({ op: op, selector: self.selector, arg: arg === undefined ? null : String(arg),
                          timeout: quorvaneLimit(ms), wait: quorvanePages.waiting }, self.name, passed).value;
  });
};
// A read that waits until it holds (see QuorvanePage.waiting).
QuorvaneElement.prototype.wait = function (op, fields, shown, ms) {
  var self = this, page = this.page;
  this.announce();
  return quorvaneRecorded(op, shown, this.uuid, function () {
    fields.op = op;
    fields.selector = self.selector;
    return page.waiting(fields, self.name, ms);
  });
};
(function () {
  var actions = ["click", "dblclick", "hover", "type", "clear", "press", "select", "check", "uncheck", "submit"];
  var reads = ["text", "value", "attr", "exists", "visible", "count", "visibleCount"];
  function define(op, returnsElement) {
    QuorvaneElement.prototype[op] = function (arg) {
      if (returnsElement) quorvaneNetwork.since = new Date().getTime();  // network control: after this action
      var value = this.act(op, arg);
      return returnsElement ? this : value;
    };
  }
  for (var i = 0; i < actions.length; i++) define(actions[i], true);
  for (var j = 0; j < reads.length; j++) define(reads[j], false);
})();
QuorvaneElement.prototype.waitText = function (wanted, ms) {
  return this.wait("waitText", { match: quorvaneMatch(wanted) }, wanted, ms);
};
QuorvaneElement.prototype.waitValue = function (wanted, ms) {
  return this.wait("waitValue", { match: quorvaneMatch(wanted) }, wanted, ms);
};
QuorvaneElement.prototype.waitCount = function (n, ms) {
  return this.wait("waitCount", { arg: String(n) }, n, ms);
};
QuorvaneElement.prototype.waitVisible = function (ms) {
  this.wait("waitVisible", {}, "", ms);
  return this;
};
QuorvaneElement.prototype.waitHidden = function (ms) {
  this.wait("waitHidden", {}, "", ms);
  return this;
};

// ---- Scrolling, the right button, dragging, the low-level mouse, the
// page's errors and DOM properties.

// The page as a user scrolls it, in CSS pixels; each answers after the
// page's "scroll" events and what they started (the next part of an
// infinite list, say).
QuorvanePage.prototype.scrollTo = function (x, y) {
  return this.navigationAction("scrollTo", { x: Number(x), y: Number(y) }, x + "," + y);
};
QuorvanePage.prototype.scrollBy = function (dx, dy) {
  return this.navigationAction("scrollBy", { x: Number(dx), y: Number(dy) }, dx + "," + dy);
};
// The pointer at (x, y) of the page's viewport (outside it, the pointer
// leaves the window), and its left button down and up where it is.
QuorvanePage.prototype.mouseMove = function (x, y) {
  return this.navigationAction("mouseMove", { x: Number(x), y: Number(y) }, x + "," + y);
};
QuorvanePage.prototype.mouseDown = function () { return this.navigationAction("mouseDown", {}); };
QuorvanePage.prototype.mouseUp = function () { return this.navigationAction("mouseUp", {}); };
// The page's uncaught errors and unhandled rejections since the last call
// (those of the pages this object came from too, and those while the page
// loaded), each as a text with its source and line.
QuorvanePage.prototype.errors = function () {
  var rest = this.command({ op: "errors" }).value;
  var seen = this.seenErrors || [];
  this.seenErrors = [];
  if (rest) for (var i = 0; i < rest.length; i++) seen[seen.length] = rest[i];
  return seen;
};

QuorvaneElement.prototype.rightClick = function () { this.act("rightClick"); return this; };
// Scrolls the element into view unless it is in view already.
QuorvaneElement.prototype.scrollIntoView = function () { this.act("scrollIntoView"); return this; };
// A DOM property (a dotted path such as "validity.valid" too), read once.
QuorvaneElement.prototype.prop = function (name) { return this.act("prop", name); };
// Drags the element onto `target` (an element or a selector of the same
// page): HTML5 drag and drop for an element marked draggable, else mouse
// moves with the button held, in `options.steps` steps (5).
QuorvaneElement.prototype.dragTo = function (target, options) {
  var self = this, page = this.page;
  var to = target instanceof QuorvaneElement ? target.selector : String(target);
  var steps = options && options.steps !== undefined ? Number(options.steps) : 5;
  this.announce();
  quorvaneRecorded("dragTo", to, this.uuid, function (passed) {
    page.command({ op: "dragTo", selector: self.selector, target: to, steps: steps, timeout: quorvaneLimit(),
                   wait: quorvanePages.waiting }, self.name, passed);
  });
  return this;
};
// ---- (end of scrolling, dragging, the low-level mouse, errors, properties)

// Opens `url` (relative to the run's server, or absolute) in `browser`
// (default: the run's -b) and returns its page once it has loaded.
function open(url, browser) {
  var absolute = quorvaneAbsoluteUrl(url);
  var name = browser === undefined ? quorvaneHost.parameter("browser") : String(browser);
  var mark = quorvanePageMark();
  quorvaneNetwork.since = new Date().getTime();  // network control: requests after this action
  quorvaneHost.openUrl(name, absolute);
  var loaded = quorvaneNewPage(mark, quorvanePages.navigation);
  var page = new QuorvanePage(loaded.page, null);
  if (loaded.outcome) {
    if (loaded.outcome.stays) {
      throw new Error("open: " + absolute + " answered " + loaded.outcome.status + " (" + loaded.outcome.kind +
                      ") and brought no page");
    }
    page.ended(loaded.outcome, loaded);
    return page;
  }
  page.collect(loaded);
  return page;
}

// ---- Around the page: navigations without a page, downloads, windows,
// files and the position.

// The commands that count as the page's last action: downloads and windows
// that came after one belong to it.
var quorvaneActions = { click: 1, dblclick: 1, hover: 1, type: 1, clear: 1, press: 1, select: 1, check: 1,
                        uncheck: 1, submit: 1, navigate: 1, back: 1, reload: 1, setFiles: 1 };

// A navigation of the page ended on an answer that brought no page of the
// agent's: the page stays where it was (a 204, a download), or the browser
// shows a document no agent runs in (XML, PDF, media): the page object then
// knows its address and status only.
QuorvanePage.prototype.ended = function (outcome, answer) {
  quorvaneHost.record("info", "navigation ended", outcome.status + " " + outcome.kind + " " + outcome.url);
  this.status = outcome.status;
  // What comes next comes after this end.
  if (answer && typeof answer.mark === "number") this.mark = answer.mark;
  if (outcome.stays) return;
  this.bare = { url: outcome.url, status: outcome.status, kind: outcome.kind };
  this.uuid = "";
  this.elements = {};
};

// The commands of a page that shows no document of the agent's: it has an
// address and a status, nothing else to read or drive.
QuorvanePage.prototype.bareCommand = function (fields, what) {
  if (fields.op === "info") return { ok: true, url: this.bare.url, title: "", value: null };
  throw new Error((what ? what + ": " : "") + "the page " + this.bare.url + " (" + this.bare.status +
                  ") is shown by the browser itself, with no agent to run '" + fields.op + "'; open() another page");
};

// The next download since the page's last action, once it has been saved
// whole under the run's results folder: {url, suggestedName, path, size}.
// Each download is returned once. `ms` defaults to the navigation limit.
QuorvanePage.prototype.waitForDownload = function (ms) {
  var self = this;
  var limit = quorvaneLimit(ms === undefined ? quorvanePages.navigation : ms);
  return quorvaneRecorded("waitForDownload", "", undefined, function () {
    var answer = quorvaneHost.command({ op: "download", after: self.actionMark || self.mark, timeout: limit });
    if (!answer.ok) throw new Error("waitForDownload: " + (answer.error || "no download"));
    var d = answer.value;
    quorvaneHost.record("info", "download", d.url + " saved as " + d.path + " (" + d.size + " bytes)");
    return d;
  });
};

// The run's open top-level pages, oldest first: [{page, url, title, order}].
function quorvanePageList() {
  var answer = quorvaneHost.command({ op: "pages" });
  if (!answer.ok) throw new Error("pages: " + answer.error);
  return answer.value;
}

// The run's open windows as page objects, oldest first.
function pages() {
  var list = quorvanePageList(), out = [];
  for (var i = 0; i < list.length; i++) {
    var page = new QuorvanePage(list[i].page, null);
    page.mark = list[i].order;
    out[out.length] = page;
  }
  return out;
}

// The page of a window that this page opened after its last action (a
// link with target=_blank, window.open), once it has loaded. Each window
// is returned once.
QuorvanePage.prototype.waitForPopup = function (ms) {
  var self = this;
  var limit = quorvaneLimit(ms);
  var after = this.actionMark || this.mark;
  if (!this.popupsTaken) this.popupsTaken = {};
  return quorvaneRecorded("waitForPopup", "", undefined, function () {
    var deadline = new Date().getTime() + limit;
    for (;;) {
      var list = quorvanePageList();
      for (var i = 0; i < list.length; i++) {
        var p = list[i];
        if (p.order <= after || p.page === self.uuid || self.popupsTaken[p.page]) continue;
        self.popupsTaken[p.page] = true;
        var left = Math.max(0, deadline - new Date().getTime());
        var loaded = quorvaneHost.command({ op: "ready", page: p.page, timeout: left });
        if (!loaded.ok) throw new Error("waitForPopup: " + loaded.error);
        var popup = new QuorvanePage(p.page, null);
        popup.collect(loaded);
        popup.opener = self;
        return popup;
      }
      if (new Date().getTime() >= deadline) throw new Error("waitForPopup: no window opened within " + limit + " ms");
      quorvaneHost.sleep(50);
    }
  });
};

// The content type a browser gives a file by its name.
function quorvaneFileType(name) {
  var types = { txt: "text/plain", html: "text/html", htm: "text/html", css: "text/css", js: "text/javascript",
                json: "application/json", xml: "application/xml", csv: "text/csv", png: "image/png",
                jpg: "image/jpeg", jpeg: "image/jpeg", gif: "image/gif", svg: "image/svg+xml", webp: "image/webp",
                pdf: "application/pdf", zip: "application/zip", gz: "application/gzip", mp3: "audio/mpeg",
                mp4: "video/mp4", doc: "application/msword", bin: "application/octet-stream" };
  var dot = name.lastIndexOf(".");
  var type = dot < 0 ? undefined : types[name.substring(dot + 1).toLowerCase()];
  return type === undefined ? "" : type;
}

// Puts files into a file input (<input type=file>), as a user choosing them
// does: `paths` is a path or a list of them, relative to the script's
// folder; [] empties the input. A missing file or a folder throws at once.
QuorvaneElement.prototype.setFiles = function (paths) {
  var list = paths instanceof Array ? paths : [paths];
  var files = [], names = [];
  for (var i = 0; i < list.length; i++) {
    var file = quorvaneHost.scriptFile(String(list[i]));
    files[files.length] = { path: file.path, name: file.name, type: quorvaneFileType(file.name) };
    names[names.length] = file.name;
  }
  var self = this, page = this.page;
  this.announce();
  quorvaneRecorded("setFiles", names.join(", "), this.uuid, function (passed) {
    return page.command({ op: "setFiles", selector: self.selector, files: files, timeout: quorvaneLimit(),
                          wait: quorvanePages.waiting }, self.name, passed).value;
  });
  return this;
};

// The position the page's navigator.geolocation answers with (permission
// granted), for this page and the run's pages that load after it;
// setGeolocation(null) answers as a refused permission.
QuorvanePage.prototype.setGeolocation = function (latitude, longitude, accuracy) {
  var position = latitude === null || latitude === undefined ? null
      : { latitude: Number(latitude), longitude: Number(longitude), accuracy: accuracy === undefined ? 0 : Number(accuracy) };
  this.geolocation = position;
  var self = this;
  quorvaneRecorded("setGeolocation", position ? latitude + ", " + longitude : "denied", undefined, function () {
    self.command({ op: "geolocation", position: position });
  });
  return this;
};

// Credentials for HTTP authentication, for the rest of the run: the proxy
// answers the Basic and Digest challenges of `origin` (for instance
// "https://example.com:8443"; left out: every origin) with them, so no
// browser asks. Wrong ones give the origin's 401 page.
function httpCredentials(user, password, origin) {
  var where = "";
  if (origin !== undefined && origin !== null && origin !== "") {
    var m = /^([a-zA-Z][a-zA-Z0-9+.\-]*):\/\/([^\/?#]+)/.exec(String(origin));
    if (!m) throw new Error("httpCredentials: the origin '" + origin + "' is no address such as https://example.com");
    var scheme = m[1].toLowerCase(), host = m[2].toLowerCase().replace(/^.*@/, "");
    if ((scheme === "http" && /:80$/.test(host)) || (scheme === "https" && /:443$/.test(host))) host = host.replace(/:\d+$/, "");
    where = scheme + "://" + host;
  }
  var answer = quorvaneHost.command({ op: "credentials", user: String(user), password: String(password), origin: where });
  if (!answer.ok) throw new Error("httpCredentials: " + answer.error);
  quorvaneHost.record("info", "http credentials", String(user) + (where ? " for " + where : " for every origin"));
}

// ---- Network control: routes and requests of the whole run ----
//
// Rules are kept and applied by the proxy for all of the run's pages and
// browsers; the run's requests are kept there too (the newest 10000).
// A host offers for this: route(rule), unroute(pattern or null),
// requests(query) and scriptFolder().
var quorvaneNetwork = {
  since: 0  // when the script's last action began (ms since the epoch)
};

// A pattern as the proxy reads it: a glob text, a RegExp, or {url, method}.
function quorvanePattern(pattern, what) {
  if (pattern instanceof RegExp) return { regex: pattern.source, flags: pattern.ignoreCase ? "i" : "" };
  if (typeof pattern === "string") return { glob: pattern };
  if (pattern !== null && typeof pattern === "object" && !(pattern instanceof Array)) {
    var out = pattern.url === undefined ? {} : quorvanePattern(pattern.url, what);
    if (pattern.method !== undefined) out.method = String(pattern.method);
    return out;
  }
  throw new Error(what + ": the pattern is not a URL glob, a RegExp or {url, method} (got " + String(pattern) + ")");
}

function quorvanePatternLabel(pattern) {
  if (pattern !== null && typeof pattern === "object" && !(pattern instanceof RegExp)) {
    return (pattern.method ? String(pattern.method) + " " : "") + (pattern.url === undefined ? "" : String(pattern.url));
  }
  return String(pattern);
}

// The action as the proxy reads it: `file` made absolute against the
// script's folder, RegExps of response.replace in their JSON form, `times`
// taken out to the rule.
function quorvaneAction(action) {
  var out = {}, key;
  for (key in action) if (action.hasOwnProperty(key) && key !== "times") out[key] = action[key];
  if (typeof out.file === "string" && !/^([a-zA-Z]:)?[\\\/]/.test(out.file)) out.file = quorvaneHost.scriptFolder() + out.file;
  if (out.response && out.response.replace instanceof Array) {
    var replace = [];
    for (var i = 0; i < out.response.replace.length; i++) {
      var pair = out.response.replace[i];
      if (!(pair instanceof Array) || pair.length !== 2) {
        throw new Error("route(): the action.response.replace[" + i + "] is not a pair [from, to]");
      }
      var from = pair[0];
      if (from instanceof RegExp) {
        from = { regex: from.source, flags: (from.global ? "g" : "") + (from.ignoreCase ? "i" : "") };
      }
      replace[i] = [from, pair[1]];
    }
    out.response = { status: out.response.status, headers: out.response.headers, replace: replace };
  }
  return out;
}

// Adds a rule for the whole run, tried before the rules added earlier:
// `action` is an object that the proxy applies itself ({status, headers,
// body}, {json}, {file}, {base64}, {abort}, {delay}, {throttle},
// {continue}, {response}, with times: n). Bad input throws at once and
// adds nothing.
function route(pattern, action) {
  if (typeof action === "function") {
    throw new Error("route(): handler functions are not served yet; give an action object");
  }
  if (action === null || typeof action !== "object" || action instanceof Array) {
    throw new Error("route(): the action is not an object (got " + String(action) + ")");
  }
  var rule = { pattern: quorvanePattern(pattern, "route()"), label: quorvanePatternLabel(pattern),
               action: quorvaneAction(action) };
  if (action.times !== undefined) rule.times = action.times;
  quorvaneHost.route(rule);
}

// Answers the run's requests from the entries of the HAR `file` (relative
// to the script), in the proxy: by method and URL, the query's parameters
// in any order, the header fields the page set, and the body. `options`:
// ignoreQuery (names, or true for all), ignoreHeaders (the same), body
// ("exact", "ignore" or "json"), notFound ("abort" or "fallback": to the
// older rules and the network), url (a pattern: only those requests).
// A HAR that does not parse or lacks a field throws at once, naming its
// path and the first entry at fault; nothing is added then.
function routeFromHar(file, options) {
  if (typeof file !== "string" || file === "") {
    throw new Error("routeFromHar(): the file is not a path (got " + String(file) + ")");
  }
  if (options === undefined || options === null) options = {};
  if (typeof options !== "object" || options instanceof Array) {
    throw new Error("routeFromHar(): the options are not an object (got " + String(options) + ")");
  }
  var path = /^([a-zA-Z]:)?[\\\/]/.test(file) ? file : quorvaneHost.scriptFolder() + file;
  var rest = {}, key;
  for (key in options) if (options.hasOwnProperty(key) && key !== "url") rest[key] = options[key];
  var url = options.url === undefined ? "**" : options.url;
  quorvaneHost.route({ pattern: quorvanePattern(url, "routeFromHar(): the options.url"),
                       label: "routeFromHar " + file, har: { file: path, options: rest } });
}

// Removes the rules added with `pattern`.
function unroute(pattern) {
  quorvaneHost.unroute(quorvanePattern(pattern, "unroute()"));
}

function unrouteAll() {
  quorvaneHost.unroute(null);
}

// A request as the proxy saw it.
function QuorvaneRequest(r) {
  this.url = r.url;
  this.method = r.method;
  this.headers = r.headers;
  this.postData = r.postData;
  this.status = r.status;
  this.responseHeaders = r.responseHeaders;
  this.routed = r.routed;
  this.failure = r.failure;
  this.timing = r.timing;
  this.body = r.body;
}
QuorvaneRequest.prototype.postJSON = function () {
  if (this.postData === null) throw new Error("the request " + this.method + " " + this.url + " has no body");
  return JSON.parse(this.postData);
};
QuorvaneRequest.prototype.responseText = function () {
  return this.body;
};
QuorvaneRequest.prototype.responseJSON = function () {
  return JSON.parse(this.body);
};
QuorvaneRequest.prototype.toString = function () {
  return this.method + " " + this.url + (this.status ? " " + this.status : "") + (this.failure ? " (" + this.failure + ")" : "");
};

function quorvaneRequests(query) {
  var list = quorvaneHost.requests(query), out = [];
  for (var i = 0; i < list.length; i++) out[i] = new QuorvaneRequest(list[i]);
  return out;
}

// The run's requests that match `pattern` (all without one), oldest first.
function requests(pattern) {
  var query = {};
  if (pattern !== undefined) query.pattern = quorvanePattern(pattern, "requests()");
  return quorvaneRequests(query);
}

// The first request (waitResponse: whose answer has ended) that matches
// and came after the script's last action; throws after `ms` (default
// pageTimeouts().action) listing the requests seen since that action.
function quorvaneWaitRequest(what, pattern, ms, ended) {
  var limit = quorvaneLimit(ms);
  var query = { pattern: quorvanePattern(pattern, what), since: quorvaneNetwork.since, first: true, ended: ended,
                wait: limit };
  var found = quorvaneRequests(query);
  if (found.length) return found[0];
  var seen = quorvaneRequests({ since: quorvaneNetwork.since });
  var list = [];
  for (var i = 0; i < seen.length && i < 20; i++) list[i] = seen[i].toString();
  throw new Error(what + ": no " + (ended ? "answered " : "") + "request matched " + quorvanePatternLabel(pattern) +
                  " within " + limit + " ms; seen since the last action: " +
                  (list.length ? list.join("; ") + (seen.length > 20 ? "; ..." : "") : "none"));
}

function waitRequest(pattern, ms) {
  return quorvaneWaitRequest("waitRequest", pattern, ms, false);
}

function waitResponse(pattern, ms) {
  return quorvaneWaitRequest("waitResponse", pattern, ms, true);
}
// ---- end of network control
