// Pages: the page object and its commands, the waiting limits, and how a
// command follows the page that loaded in its page's place.

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
