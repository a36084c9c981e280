// Commands and their answers: one command at a time, its answer, and an
// action's run: what it dispatched, whether it navigates, what it waits
// for afterwards.

  // The page's address and title travel in the report that carries the
  // answer (70_channel.js); the proxy writes them into the answer.
  function answer(id, ok, value, extra) {
    var a = { id: id, ok: ok, value: describe(value) };
    if (extra) for (var k in extra) a[k] = extra[k];
    // Dialogs shown so far travel with the answer, so that those of a
    // command that navigates away are not lost with the document.
    if (dialogs.length) { a.dialogs = dialogs; dialogs = []; }
    if (consoleLines.length) { a.console = consoleLines; consoleLines = []; }
    if (pageErrors.length) { a.errors = pageErrors; pageErrors = []; }
    if (leaving) { if (closingSelf) a.closing = true; else a.navigating = true; }
    queued = a;
    flush();
  }

  // The command the page runs now (one at a time): it answers once, by ok()
  // or fail(), or when the page begins to leave.
  var current = null;
  function Command(c) {
    this.id = c.id;
    this.started = dateNow();
    this.limit = c.timeout || 10000;
    this.waiting = c.wait !== false;
    this.answered = false;
  }
  Command.prototype.ok = function (value, extra) { this.finish(true, value, extra); };
  Command.prototype.fail = function (error, extra) {
    var fields = { error: error };
    if (extra) for (var k in extra) fields[k] = extra[k];
    this.finish(false, null, fields);
  };
  Command.prototype.finish = function (ok, value, extra) {
    if (this.answered) return;
    this.answered = true;
    if (current === this) current = null;
    answer(this.id, ok, value, extra);
  };
  // The time left of the command's limit.
  Command.prototype.left = function () {
    var left = this.limit - (dateNow() - this.started);
    return left > 0 ? left : 0;
  };

  // A navigation of this document has begun (a link, a form, a script):
  // the command that runs answers at once, and the agent stops taking
  // commands; the next page registers itself. Firefox fires beforeunload
  // inside a script's location.href assignment and closes the channel
  // before that script returns, so a command answers from beforeunload
  // itself.
  // With no command running, the proxy still hears of it at once, so that
  // the next command goes to the page that comes instead.
  var leaving = false;
  // The page closes its own window (window.close()): it leaves, and no
  // page comes in its place.
  var closingSelf = false;
  function leave() {
    leaving = true;
    if (current) current.ok(null); else flush();
  }
  call(addListener, window, ["beforeunload", leave]);

  // What an action started: the clicks and submissions it dispatched (to
  // tell whether their default is to navigate) and navigations that began.
  var watching = null;
  var navigationBegan = 0;
  // While a click of the mouse is dispatched, its number (1, or 2 for the
  // second of a double click): the click a label forwards to its control
  // carries it too, as it does for real input.
  var clickDetail = 0;
  function watchEvent(e) {
    if (watching) watching.events[watching.events.length] = e;
    if (clickDetail && e.type === "click" && e.detail === 0) {
      try { call(defineProperty, Object, [e, "detail", { value: clickDetail }]); } catch (x) { /* kept */ }
    }
  }
  call(addListener, window, ["click", watchEvent, true]);
  call(addListener, window, ["submit", watchEvent, true]);
  if (window.navigation && window.navigation.addEventListener) {
    call(addListener, window.navigation, ["navigate", function (e) {
      if (!e.hashChange && !(e.destination && e.destination.sameDocument)) navigationBegan = dateNow();
    }]);
  }

  function sameDocument(href) {
    var here = location.href.split("#")[0];
    return href.split("#")[0] === here && href.indexOf("#") >= 0;
  }

  // Whether a click or submission the action dispatched goes on to load
  // another document in this window.
  function navigates(events) {
    for (var i = 0; i < events.length; i++) {
      var e = events[i];
      if (e.defaultPrevented) continue;
      if (e.type === "submit") {
        var form = e.target;
        var how = String(form.getAttribute("method") || "").toLowerCase();
        var into = String(form.getAttribute("target") || "");
        var to = String(form.getAttribute("action") || "");
        if (how !== "dialog" && to.indexOf("javascript:") !== 0 &&
            (!into || into === "_self" || into === "_top" || into === "_parent")) return true;
        continue;
      }
      for (var n = e.target; n && n.nodeType === 1; n = n.parentNode) {
        if ((n.tagName === "A" || n.tagName === "AREA") && n.hasAttribute("href")) {
          var target = String(n.getAttribute("target") || "");
          var href = n.href;
          if (n.hasAttribute("download") || (target && target !== "_self" && target !== "_top" && target !== "_parent")) break;
          if (href.indexOf("javascript:") === 0 || sameDocument(href)) break;
          return true;
        }
      }
    }
    return false;
  }

  // How long an action waits for a navigation it started to begin, and at
  // most for the requests its events started.
  var navigationStart = 2000;
  var requestsLimit = 5000;

  // Runs an action for the command and answers once its events have run
  // and, where the page may render only then, its next animation frame has
  // come (see later()), so that what an application renders at its next
  // frame is there, and a scroll's "scroll" events have been dispatched;
  // when it started a navigation, as the page leaves; when its events
  // started requests, once those have ended. `until` (optional) holds the
  // answer back, at most a second, until it returns true (a scroll's
  // events have come for where the page is).
  Command.prototype.act = function (fn, until) {
    var mark = requestsBegun;
    var began = dateNow();
    current = this;
    watching = { events: [] };
    var value;
    try {
      value = fn();
    } finally {
      var seen = watching;
      watching = null;
    }
    if (this.answered) return;
    this.afterEvents(mark, began, seen.events, value, until, true);
  };

  // The wait of an action whose events have been dispatched (by the agent,
  // or by the real pointer since `began`): `events` are the clicks and
  // submissions among them, `mark` the requests begun before. Events the
  // agent dispatched itself (`dispatched`) have run by now: their promise
  // callbacks run next, then timers of no delay where the page set any,
  // and the next frame is waited for only where the page may show their
  // effect then; the real pointer's events come from the browser, frame by
  // frame.
  Command.prototype.afterEvents = function (mark, began, events, value, until, dispatched) {
    if (!this.waiting) { this.ok(value); return; }
    var self = this;
    var expectNavigation = navigates(events) || navigationBegan >= began;
    // Timers of no delay and promise callbacks that the events queued run
    // first.
    var settle = function () { self.settle(mark, began, expectNavigation, value); };
    var go = function () { setTimeout(settle, 0); };
    // Short timers set before that frame (by the events, not by a page's
    // timer that keeps setting the next) have run too: a busy machine's
    // frame may come first.
    var framed = 0;
    var holds = function () { return (!until || until()) && !shortTimerPending(began, framed); };
    var afterFrame = function () {
      later(function () {
        framed = dateNow();
        if (holds()) { go(); return; }
        waitUntil(function () {
          if (!holds()) return false;
          go();
          return true;
        }, 1000, "frame", go);
      }, "frame");
    };
    if (!dispatched || until) { afterFrame(); return; }
    afterMicrotasks(function () {
      // Nothing deferred: the page is as the events left it.
      if (!deferredSince(began)) { settle(); return; }
      setTimeout(function () { if (showsAtNextFrame(began)) afterFrame(); else settle(); }, 0);
    });
  };

  // The rest of an action: waits for the navigation it started to begin
  // (the page leaving answers the command), else for its requests.
  Command.prototype.settle = function (mark, began, expectNavigation, value) {
    var self = this;
    if (navigationBegan >= began) expectNavigation = true;
    var until = dateNow() + navigationStart;
    waitUntil(function () {
      if (navigationBegan >= began) expectNavigation = true;
      if (expectNavigation && dateNow() < until) return false;
      afterRequests(self, mark, value);
      return true;
    }, navigationStart, 10, function () { afterRequests(self, mark, value); });
  };
