// The page agent: injected into every document the proxy serves. It
// registers the document with the proxy (a page uuid made for each load,
// its url and title, its parent for a frame), keeps a channel open on a
// path of the page's own origin, runs the commands it is sent and sends
// their answers back. The channel is a WebSocket, one per document, whose
// frames carry the same JSON as the polls would; where no socket can be
// opened (or the proxy asks for it) the agent long-polls instead, sending
// each answer with its next poll.
//
// The proxy puts the document's page token into this script's element
// (attribute "data-quorvane"), followed by ";poll" when the agent is to
// long-poll only; a document served without one gets an agent that does
// nothing. The agent takes the token and removes the attribute as its
// first act, before any script of the page runs, and presents it only in
// request headers and in bodies, never in an address (page scripts read
// addresses in resource timing entries). Everything else the agent needs
// is taken before the page's own scripts run too, so a page that replaces
// JSON, Array.prototype, WebSocket or XMLHttpRequest does not break it. It
// adds one name to the page: `__quorvane`.
(function () {
  "use strict";
  var script = document.currentScript;
  var key = script ? script.getAttribute("data-quorvane") || "" : "";
  if (script) script.removeAttribute("data-quorvane");
  if (window.__quorvane) return;
  var pageToken = key.split(";")[0];
  if (!pageToken) return;
  var pollOnly = key.indexOf(";poll") >= 0;

  var stringify = JSON.stringify, parse = JSON.parse;
  var XHR = window.XMLHttpRequest;
  var xhrOpen = XHR.prototype.open, xhrSend = XHR.prototype.send, xhrSetHeader = XHR.prototype.setRequestHeader;
  var WS = window.WebSocket;
  var wsSend = WS && WS.prototype.send, wsClose = WS && WS.prototype.close;
  var addListener = EventTarget.prototype.addEventListener;
  var querySelectorAll = Document.prototype.querySelectorAll;
  var elementQueryAll = Element.prototype.querySelectorAll;
  var evaluate = Document.prototype.evaluate;
  var getRect = Element.prototype.getBoundingClientRect;
  var getComputedStyle = window.getComputedStyle;
  var elementFromPoint = Document.prototype.elementFromPoint;
  var setTimeout = window.setTimeout, clearTimeout = window.clearTimeout;
  var requestFrame = window.requestAnimationFrame;
  var dispatch = EventTarget.prototype.dispatchEvent;
  var focusElement = HTMLElement.prototype.focus;
  var defineProperty = Object.defineProperty;
  var MouseEventType = window.MouseEvent, KeyboardEventType = window.KeyboardEvent;
  var PointerEventType = window.PointerEvent, InputEventType = window.InputEvent, EventType = window.Event;
  var dateNow = Date.now;
  // apply, bound once: calls through it look nothing up that the page may
  // replace later (as Function.prototype.call).
  var applyTo = Function.prototype.call.bind(Function.prototype.apply);
  var realFetch = window.fetch;
  var indirectEval = window.eval;
  var EvalErrorType = window.EvalError;
  var createElement = Document.prototype.createElement;
  var appendChild = Node.prototype.appendChild, removeChild = Node.prototype.removeChild;
  var textSetter = Object.getOwnPropertyDescriptor(HTMLScriptElement.prototype, "text").set;
  var setAttribute = Element.prototype.setAttribute;
  // The nonce the proxy gave this script when the page's policy asks for
  // one: scripts that carry it run where eval is refused.
  var nonce = script ? script.nonce || "" : "";
  var random = Math.random, floor = Math.floor;
  var sendBeacon = navigator.sendBeacon;
  var iteratorKey = Symbol.iterator;
  var channel = "/quorvane/special/channel/";
  var socketAddress = (location.protocol === "https:" ? "wss://" : "ws://") + location.host + channel;

  function call(fn, self, args) { return applyTo(fn, self, args || []); }

  function uuid() {
    var hex = "0123456789abcdef", out = "";
    for (var i = 0; i < 36; i++) {
      if (i === 8 || i === 13 || i === 18 || i === 23) { out += "-"; continue; }
      var d = floor(random() * 16);
      if (i === 14) d = 4;
      if (i === 19) d = (d & 3) | 8;
      out += hex.charAt(d);
    }
    return out;
  }

  var page = uuid();
  var parentPage = "";
  var dialogAnswer = null;
  var dialogs = [];
  var queued = null;   // the answer to send with the next frame or poll
  var gone = false;

  // Requests of the page in flight, numbered as they begin, so that an
  // action can wait for those its events started.
  var requestsBegun = 0;
  var requestsOpen = {};
  function requestBegins() { var n = ++requestsBegun; requestsOpen[n] = true; return n; }
  function requestEnds(n) { delete requestsOpen[n]; }
  function requestsOpenAfter(mark) {
    for (var n in requestsOpen) if (Number(n) > mark) return true;
    return false;
  }
  XHR.prototype.send = function () {
    var self = this;
    if (!self.__quorvaneOwn) {
      var n = requestBegins();
      call(addListener, self, ["loadend", function () { requestEnds(n); }]);
    }
    return call(xhrSend, self, arguments);
  };
  if (realFetch) {
    window.fetch = function () {
      var n = requestBegins();
      var done = function (v) { requestEnds(n); return v; };
      var fail = function (e) { requestEnds(n); throw e; };
      return call(realFetch, window, arguments).then(done, fail);
    };
  }

  // Dialogs answer as the test asked and are recorded.
  var realAlert = window.alert, realConfirm = window.confirm, realPrompt = window.prompt;
  window.alert = function (text) { dialogs[dialogs.length] = { kind: "alert", text: String(text) }; };
  window.confirm = function (text) {
    dialogs[dialogs.length] = { kind: "confirm", text: String(text) };
    return dialogAnswer === null ? true : !!dialogAnswer;
  };
  // A prompt accepted (no answer set, or true) gets its default text,
  // refused (false) gets null, and any other answer is its text.
  window.prompt = function (text, value) {
    dialogs[dialogs.length] = { kind: "prompt", text: String(text) };
    if (dialogAnswer === false) return null;
    if (dialogAnswer === null || dialogAnswer === true) return value === undefined ? "" : String(value);
    return String(dialogAnswer);
  };
  void realAlert; void realConfirm; void realPrompt;

  // The page's console errors and warnings, and its uncaught errors and
  // rejections, travel with the next answer for the test's records (at
  // most 50 between two answers).
  var consoleLines = [];
  function noteConsole(level, parts) {
    if (consoleLines.length >= 50) return;
    var text = level + ":";
    for (var i = 0; i < parts.length; i++) {
      try { text += " " + String(parts[i]); } catch (e) { text += " ?"; }
    }
    consoleLines[consoleLines.length] = text;
  }
  var pageConsole = window.console;
  if (pageConsole) {
    var realError = pageConsole.error, realWarn = pageConsole.warn;
    pageConsole.error = function () { noteConsole("error", arguments); return call(realError, pageConsole, arguments); };
    pageConsole.warn = function () { noteConsole("warning", arguments); return call(realWarn, pageConsole, arguments); };
  }
  call(addListener, window, ["error", function (e) {
    noteConsole("uncaught", [e && e.error && e.error.message ? e.error.message : e && e.message]);
  }]);
  call(addListener, window, ["unhandledrejection", function (e) {
    var reason = e && e.reason;
    noteConsole("unhandled rejection", [reason && reason.message ? reason.message : reason]);
  }]);

  try {
    if (window.parent !== window && window.parent.__quorvane) parentPage = window.parent.__quorvane.page;
  } catch (e) { /* a frame of another origin: no parent known */ }

  function toArray(list) {
    var out = [];
    for (var i = 0; i < list.length; i++) out[out.length] = list[i];
    return out;
  }

  function textOf(node) { return (node.innerText !== undefined ? node.innerText : node.textContent) || ""; }

  function visible(el) {
    var r = call(getRect, el);
    if (r.width <= 0 && r.height <= 0) return false;
    var style = getComputedStyle(el);
    return style.visibility !== "hidden" && style.display !== "none";
  }

  function visibleCount(list) {
    var n = 0;
    for (var i = 0; i < list.length; i++) if (visible(list[i])) n++;
    return n;
  }

  // CSS, "xpath=..." or "text=..." (visible text, the innermost match).
  function find(selector, root) {
    root = root || document;
    if (selector.indexOf("xpath=") === 0) {
      var result = call(evaluate, document, [selector.substring(6), root, null, 7, null]);
      var out = [];
      for (var i = 0; i < result.snapshotLength; i++) out[out.length] = result.snapshotItem(i);
      return out;
    }
    if (selector.indexOf("text=") === 0) {
      var wanted = selector.substring(5);
      var all = toArray(call(querySelectorAll, document, ["body, body *"]));
      // Innermost first (from the end), then back in document order; by
      // index, since the page may have replaced Array.prototype.
      var found = [];
      for (var j = all.length - 1; j >= 0; j--) {
        var el = all[j];
        if (el.tagName === "SCRIPT" || el.tagName === "STYLE") continue;
        var t = textOf(el).replace(/\s+/g, " ").replace(/^ | $/g, "");
        if (t === wanted && visible(el)) {
          var inner = false;
          for (var k = 0; k < found.length; k++) if (el.contains(found[k])) inner = true;
          if (!inner) found[found.length] = el;
        }
      }
      var ordered = [];
      for (var m = found.length - 1; m >= 0; m--) ordered[ordered.length] = found[m];
      return ordered;
    }
    return toArray(call(querySelectorAll, document, [selector]));
  }

  function describe(v) {
    if (v === undefined) return "undefined";
    if (v === null) return null;
    if (typeof v === "object") {
      try { return parse(stringify(v)); } catch (e) { return String(v); }
    }
    return v;
  }

  // ---- Waiting -------------------------------------------------------------

  // Runs `fn` after `every` ms, or at the next animation frame when `every`
  // is "frame" (with a timer behind it: a page out of sight gets no frames).
  function later(fn, every) {
    if (every !== "frame") { setTimeout(fn, every); return; }
    var ran = false;
    var once = function () { if (!ran) { ran = true; fn(); } };
    if (requestFrame) call(requestFrame, window, [once]);
    setTimeout(once, 100);
  }

  // Calls `check` now and then every `every` ms until it returns true, or
  // until `limit` ms have passed: then `onTimeout`. A check that throws ends
  // the wait with `onError`. Stops when the page leaves: the command has
  // answered then. Every wait of the agent is one of these.
  function waitUntil(check, limit, every, onTimeout, onError) {
    var started = dateNow();
    (function attempt() {
      if (gone || leaving) return;
      var held;
      try { held = check(); } catch (e) { if (onError) onError(e); else throw e; return; }
      if (held) return;
      if (dateNow() - started >= limit) { onTimeout(); return; }
      later(attempt, every);
    })();
  }

  function errorText(e) { return String(e && e.message !== undefined ? e.message : e); }

  // ---- Commands ------------------------------------------------------------

  function answer(id, ok, value, extra) {
    var a = { id: id, ok: ok, value: describe(value), url: location.href, title: document.title };
    if (extra) for (var k in extra) a[k] = extra[k];
    // Dialogs shown so far travel with the answer, so that those of a
    // command that navigates away are not lost with the document.
    if (dialogs.length) { a.dialogs = dialogs; dialogs = []; }
    if (consoleLines.length) { a.console = consoleLines; consoleLines = []; }
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

  // Runs an action for the command and answers once its events have run:
  // at once on an idle page; when it started a navigation, as the page
  // leaves; when its events started requests, once those have ended.
  Command.prototype.act = function (fn) {
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
    if (!this.waiting) { this.ok(value); return; }
    var self = this;
    var expectNavigation = navigates(seen.events) || navigationBegan >= began;
    // Timers of no delay and promise callbacks that the events queued run
    // first.
    setTimeout(function () {
      if (navigationBegan >= began) expectNavigation = true;
      var until = dateNow() + navigationStart;
      waitUntil(function () {
        if (navigationBegan >= began) expectNavigation = true;
        if (expectNavigation && dateNow() < until) return false;
        afterRequests(self, mark, value);
        return true;
      }, navigationStart, 10, function () { afterRequests(self, mark, value); });
    }, 0);
  };

  // What an action waits for before it acts; true, or what is missing.
  function ready(el, need, state) {
    if (need === "exists") return true;
    if (!visible(el)) return "be visible";
    if (need === "visible") return true;
    if (el.disabled) return "be enabled";
    var r = call(getRect, el);
    var cx = r.left + r.width / 2, cy = r.top + r.height / 2;
    if (cx < 0 || cy < 0 || cx > window.innerWidth || cy > window.innerHeight) {
      if (!state.scrolled) {
        state.scrolled = true;
        try { el.scrollIntoView({ block: "center", inline: "center", behavior: "instant" }); } catch (e) { el.scrollIntoView(); }
        state.box = "";
        return "stand still";
      }
    }
    // Still: the same box over two animation frames.
    var box = r.left + "," + r.top + "," + r.width + "," + r.height;
    if (state.box !== box) { state.box = box; state.steady = 0; return "stand still"; }
    if (++state.steady < 2) return "stand still";
    return true;
  }

  // Waits until the command's element is there as `need` asks, then calls
  // `then` with it. Without waiting (the test asked for none, and the
  // command is no wait itself) the element has to be there at once.
  function withElement(c, cmd, need, then, always) {
    var state = {};
    var missing = "exist";
    var every = need === "actionable" ? "frame" : 25;
    var waiting = cmd.waiting || always;
    waitUntil(function () {
      var list = find(c.selector);
      if (!list.length) { missing = "exist"; return false; }
      var r = waiting ? ready(list[0], need, state) : true;
      if (r !== true) { missing = r; return false; }
      then(list[0]);
      return true;
    }, waiting ? cmd.limit : 0, every, function () {
      cmd.fail(waiting ? "waited " + cmd.limit + " ms for '" + c.selector + "' to " + missing
                       : "'" + c.selector + "' does not " + missing);
    }, function (e) { cmd.fail(errorText(e)); });
  }

  function elementAction(fn, need) {
    return function (c, cmd) {
      withElement(c, cmd, need || "actionable", function (el) {
        cmd.act(function () { return fn(el, c.arg); });
      });
    };
  }

  function elementRead(fn) {
    return function (c, cmd) {
      withElement(c, cmd, "exists", function (el) { cmd.ok(fn(el, c.arg)); });
    };
  }

  function query(fn) {
    return function (c, cmd) { cmd.ok(fn(find(c.selector))); };
  }

  // The wanted text of a waiting read: {text} or {source, flags}.
  function matcher(c) {
    var wanted = c.match || { text: c.arg === null || c.arg === undefined ? "" : String(c.arg) };
    if (wanted.source !== undefined) {
      var re = new RegExp(wanted.source, wanted.flags || "");
      return { test: function (s) { re.lastIndex = 0; return re.test(s); }, what: String(re) };
    }
    return { test: function (s) { return s === wanted.text; }, what: "'" + wanted.text + "'" };
  }

  // A read that waits until it holds: `state(list, c)` gives {held, seen}.
  function elementWait(state, what) {
    return function (c, cmd) {
      var seen;
      waitUntil(function () {
        var s = state(find(c.selector), c);
        seen = s.seen;
        if (!s.held) return false;
        cmd.ok(s.value === undefined ? s.seen : s.value, { held: true });
        return true;
      }, cmd.limit, 25, function () {
        cmd.fail("waited " + cmd.limit + " ms for '" + c.selector + "' " + what(c) + "; " +
                 (seen === undefined ? "it was not there" : "it was " + (typeof seen === "string" ? "'" + seen + "'" : String(seen))),
                 { last: seen });
      }, function (e) { cmd.fail(errorText(e)); });
    };
  }

  function matchingRead(read) {
    return function (list, c) {
      if (!list.length) return { held: false };
      var s = String(read(list[0]));
      return { held: matcher(c).test(s), seen: s };
    };
  }

  // Answers `value` once the requests begun after `mark` have ended, at
  // most for a few seconds and within the command's limit.
  function afterRequests(cmd, mark, value) {
    var limit = requestsLimit < cmd.left() ? requestsLimit : cmd.left();
    waitUntil(function () {
      if (requestsOpenAfter(mark)) return false;
      cmd.ok(value);
      return true;
    }, limit, 10, function () { cmd.ok(value); });
  }

  // Loaded: the load event has passed (or the limit), then the page's
  // requests have ended.
  function whenReady(c, cmd) {
    waitUntil(function () {
      if (document.readyState !== "complete") return false;
      afterRequests(cmd, 0, null);
      return true;
    }, cmd.limit, 10, function () { cmd.ok(null); });
  }

  // An expression's value. Where the page's policy refuses eval, the
  // expression runs in a script element that carries the agent's nonce and
  // hands its value back through __quorvane.take; that way takes an
  // expression only, not a list of statements.
  var evalRefused = false;
  var taking = null;
  function valueOf(expression) {
    if (!evalRefused) {
      try {
        return indirectEval(expression);
      } catch (e) {
        if (!(e instanceof EvalErrorType)) throw e;
        evalRefused = true;
      }
    }
    if (!nonce) throw new Error("the page's policy refuses eval and gives the agent no nonce to run scripts with");
    var token = uuid();
    var outcome = { token: token, done: false, ok: false, value: undefined };
    taking = outcome;
    var el = call(createElement, document, ["script"]);
    call(setAttribute, el, ["nonce", nonce]);
    call(textSetter, el, ["__quorvane.take(\"" + token + "\", function () { return (\n" + expression + "\n); });"]);
    var parent = document.head || document.documentElement;
    call(appendChild, parent, [el]);
    call(removeChild, parent, [el]);
    taking = null;
    if (!outcome.done) {
      throw new Error("the page's policy refuses eval, and '" + expression + "' did not run as an expression");
    }
    if (!outcome.ok) throw outcome.value;
    return outcome.value;
  }
  function take(token, fn) {
    var outcome = taking;
    if (!outcome || outcome.token !== token || outcome.done) return;
    outcome.done = true;
    try { outcome.value = fn(); outcome.ok = true; } catch (e) { outcome.value = e; }
  }

  function navigation(how) {
    return function (c, cmd) {
      cmd.ok(null, { navigating: true });
      setTimeout(function () { how(c); }, 0);
    };
  }

  // ---- Input as a user gives it ----------------------------------------------
  //
  // The events a browser dispatches for a user's keys and mouse, in its
  // order and with its properties, and the default actions that follow
  // them (a canceled event has none). The events are made by the page's
  // own constructors, so `isTrusted` is false; everything else a page
  // reads matches what real input gives.
  var input = (function () {
    var firefox = /Firefox\//.test(navigator.userAgent);
    var named = {
      Enter: [13, "Enter"], Tab: [9, "Tab"], Backspace: [8, "Backspace"], Delete: [46, "Delete"],
      Escape: [27, "Escape"], ArrowLeft: [37, "ArrowLeft"], ArrowUp: [38, "ArrowUp"],
      ArrowRight: [39, "ArrowRight"], ArrowDown: [40, "ArrowDown"], Home: [36, "Home"], End: [35, "End"],
      PageUp: [33, "PageUp"], PageDown: [34, "PageDown"], Insert: [45, "Insert"],
      Shift: [16, "ShiftLeft"], Control: [17, "ControlLeft"], Alt: [18, "AltLeft"], Meta: [91, "MetaLeft"]
    };
    var aliases = { Esc: "Escape", Return: "Enter", Ctrl: "Control", Cmd: "Meta", Left: "ArrowLeft",
                    Right: "ArrowRight", Up: "ArrowUp", Down: "ArrowDown", Space: " ", Del: "Delete" };
    var punctuation = {
      ";": [firefox ? 59 : 186, "Semicolon"], "=": [firefox ? 61 : 187, "Equal"], ",": [188, "Comma"],
      "-": [firefox ? 173 : 189, "Minus"], ".": [190, "Period"], "/": [191, "Slash"], "`": [192, "Backquote"],
      "[": [219, "BracketLeft"], "\\": [220, "Backslash"], "]": [221, "BracketRight"], "'": [222, "Quote"]
    };
    var shifted = { "!": "1", "@": "2", "#": "3", "$": "4", "%": "5", "^": "6", "&": "7", "*": "8", "(": "9",
                    ")": "0", ":": ";", "+": "=", "<": ",", "_": "-", ">": ".", "?": "/", "~": "`", "{": "[",
                    "|": "\\", "}": "]", "\"": "'" };
    var modifierNames = { Shift: "shiftKey", Control: "ctrlKey", Alt: "altKey", Meta: "metaKey" };

    // A key as a US keyboard gives it: {key, code, keyCode, text, shift}.
    function keyOf(name) {
      if (aliases.hasOwnProperty(name)) name = aliases[name];
      if (named.hasOwnProperty(name)) return { key: name, code: named[name][1], keyCode: named[name][0], text: "" };
      var f = /^F([1-9]|1[0-2])$/.exec(name);
      if (f) return { key: name, code: name, keyCode: 111 + Number(f[1]), text: "" };
      if (name.length !== 1) throw new Error("no key '" + name + "'");
      var c = name;
      if (c === " ") return { key: c, code: "Space", keyCode: 32, text: c };
      if (/[a-z]/.test(c)) return { key: c, code: "Key" + c.toUpperCase(), keyCode: c.toUpperCase().charCodeAt(0), text: c };
      if (/[A-Z]/.test(c)) return { key: c, code: "Key" + c, keyCode: c.charCodeAt(0), text: c, shift: true };
      if (/[0-9]/.test(c)) return { key: c, code: "Digit" + c, keyCode: c.charCodeAt(0), text: c };
      if (punctuation.hasOwnProperty(c)) return { key: c, code: punctuation[c][1], keyCode: punctuation[c][0], text: c };
      if (shifted.hasOwnProperty(c)) {
        var base = keyOf(shifted[c]);
        return { key: c, code: base.code, keyCode: base.keyCode, text: c, shift: true };
      }
      return { key: c, code: "", keyCode: 0, text: c };
    }

    // The modifiers held and the key of a name like "Shift+Tab".
    function chord(name) {
      var parts = String(name).split("+");
      // "+" itself, and "Control++".
      if (parts.length > 1 && parts[parts.length - 1] === "") { parts.length = parts.length - 2; parts[parts.length] = "+"; }
      var mods = { shiftKey: false, ctrlKey: false, altKey: false, metaKey: false, keys: [] };
      for (var i = 0; i < parts.length - 1; i++) {
        var m = aliases.hasOwnProperty(parts[i]) ? aliases[parts[i]] : parts[i];
        if (!modifierNames.hasOwnProperty(m)) throw new Error("no modifier '" + parts[i] + "' in '" + name + "'");
        mods[modifierNames[m]] = true;
        mods.keys[mods.keys.length] = keyOf(m);
      }
      return { mods: mods, key: keyOf(parts[parts.length - 1]) };
    }

    function fire(target, ev) { return call(dispatch, target, [ev]); }

    // Sets what the constructor leaves at 0 in some browsers.
    function force(ev, name, value) {
      if (ev[name] !== value) { try { call(defineProperty, Object, [ev, name, { value: value }]); } catch (e) { /* kept */ } }
    }

    function keyEvent(type, k, mods) {
      var press = type === "keypress";
      var charCode = press ? (k.key === "Enter" ? 13 : k.text.charCodeAt(0)) : 0;
      var keyCode = press ? charCode : k.keyCode;
      var which = press ? charCode : keyCode;
      var ev = new KeyboardEventType(type, {
        bubbles: true, cancelable: true, composed: true, view: window, key: k.key, code: k.code,
        location: /Left$/.test(k.code) && k.keyCode >= 16 && k.keyCode <= 91 ? 1 : 0,
        shiftKey: mods.shiftKey || !!k.shift, ctrlKey: mods.ctrlKey, altKey: mods.altKey, metaKey: mods.metaKey,
        keyCode: keyCode, charCode: charCode, which: which });
      force(ev, "keyCode", keyCode);
      force(ev, "charCode", charCode);
      force(ev, "which", which);
      return ev;
    }

    function inputEvent(type, inputType, data) {
      var init = { bubbles: true, cancelable: type === "beforeinput", composed: true, inputType: inputType,
                   data: data === undefined ? null : data };
      return InputEventType ? new InputEventType(type, init) : new EventType(type, init);
    }

    function plainEvent(type, bubbles) { return new EventType(type, { bubbles: bubbles, cancelable: false }); }

    // ---- Text fields

    var textTypes = { text: 1, search: 1, url: 1, tel: 1, email: 1, password: 1, number: 1 };
    function textField(el) {
      if (!el || el.disabled) return false;
      if (el.tagName === "TEXTAREA") return true;
      return el.tagName === "INPUT" && textTypes.hasOwnProperty(String(el.type).toLowerCase());
    }
    function editable(el) { return textField(el) && !el.readOnly; }

    function setValue(el, value) {
      var proto = el.tagName === "TEXTAREA" ? HTMLTextAreaElement.prototype : HTMLInputElement.prototype;
      var setter = Object.getOwnPropertyDescriptor(proto, "value").set;
      call(setter, el, [value]);
    }

    // The selection of a text field; fields without one (email, number)
    // have the caret at the end.
    function selectionOf(el) {
      var start = null, end = null;
      try { start = el.selectionStart; end = el.selectionEnd; } catch (e) { start = null; }
      if (start === null || start === undefined) { start = end = el.value.length; }
      return { start: start, end: end };
    }
    function setCaret(el, at) {
      try { el.setSelectionRange(at, at); } catch (e) { /* no selection in this field */ }
    }

    // Fields whose value the user changed since they got the focus: their
    // change event comes when the edit is committed.
    var changed = [];
    function markChanged(el) {
      for (var i = 0; i < changed.length; i++) if (changed[i] === el) return;
      changed[changed.length] = el;
    }
    function commit(el) {
      for (var i = 0; i < changed.length; i++) {
        if (changed[i] === el) {
          for (var j = i + 1; j < changed.length; j++) changed[j - 1] = changed[j];
          changed.length = changed.length - 1;
          fire(el, plainEvent("change", true));
          return;
        }
      }
    }
    // The focus leaving a field some other way (a script, the page) commits
    // it too.
    call(addListener, window, ["focusout", function (e) { commit(e.target); }, true]);

    function replaceSelection(el, text, inputType) {
      if (!editable(el)) return false;
      if (!fire(el, inputEvent("beforeinput", inputType, text))) return false;
      var s = selectionOf(el);
      var value = el.value;
      var room = el.maxLength >= 0 ? el.maxLength - (value.length - (s.end - s.start)) : text.length;
      if (room < text.length) text = text.substring(0, room > 0 ? room : 0);
      setValue(el, value.substring(0, s.start) + text + value.substring(s.end));
      setCaret(el, s.start + text.length);
      markChanged(el);
      fire(el, inputEvent("input", inputType, text || null));
      return true;
    }

    function insertText(el, text) {
      if (el.isContentEditable) { document.execCommand("insertText", false, text); return; }
      replaceSelection(el, text, "insertText");
    }

    function deleteText(el, backward) {
      if (el.isContentEditable) { document.execCommand(backward ? "delete" : "forwardDelete", false, null); return; }
      if (!editable(el)) return;
      var s = selectionOf(el);
      if (s.start === s.end) {
        if (backward ? s.start === 0 : s.end >= el.value.length) return;
        try { el.setSelectionRange(backward ? s.start - 1 : s.start, backward ? s.end : s.end + 1); } catch (e) { return; }
      }
      var inputType = backward ? "deleteContentBackward" : "deleteContentForward";
      var before = selectionOf(el);
      if (!fire(el, inputEvent("beforeinput", inputType, null))) { setCaret(el, s.start); return; }
      var value = el.value;
      setValue(el, value.substring(0, before.start) + value.substring(before.end));
      setCaret(el, before.start);
      markChanged(el);
      fire(el, inputEvent("input", inputType, null));
    }

    // ---- Focus

    function focusable(el) {
      if (!el || el.nodeType !== 1 || el.disabled) return false;
      if (el.isContentEditable) return true;
      if (el.hasAttribute("tabindex")) return true;
      var tag = el.tagName;
      if (tag === "A" || tag === "AREA") return el.hasAttribute("href");
      return tag === "INPUT" ? el.type !== "hidden" : (tag === "BUTTON" || tag === "SELECT" || tag === "TEXTAREA" ||
                                                        tag === "IFRAME" || tag === "SUMMARY");
    }

    function active() { return document.activeElement || document.body; }

    // Moves the focus as the browser does: the field left commits its edit
    // first. `el` null: the focus leaves to the page itself.
    function focusOn(el) {
      var was = document.activeElement;
      if (was === el) return;
      if (was && was !== document.body) commit(was);
      if (el) call(focusElement, el, []);
      else if (was && was.blur) was.blur();
    }

    // Tab order: positive tabindex first in order, then the rest in the
    // document's order; only what is visible and focusable.
    function tabOrder() {
      var all = toArray(call(querySelectorAll, document, ["*"]));
      var first = [], rest = [];
      for (var i = 0; i < all.length; i++) {
        var el = all[i];
        if (!focusable(el) || el.tabIndex < 0 || !visible(el)) continue;
        if (el.tabIndex > 0) first[first.length] = el; else rest[rest.length] = el;
      }
      for (var a = 1; a < first.length; a++) {
        for (var b = a; b > 0 && first[b - 1].tabIndex > first[b].tabIndex; b--) {
          var t = first[b]; first[b] = first[b - 1]; first[b - 1] = t;
        }
      }
      for (var r = 0; r < rest.length; r++) first[first.length] = rest[r];
      return first;
    }

    function tab(backward) {
      var order = tabOrder();
      if (!order.length) return;
      var at = -1;
      for (var i = 0; i < order.length; i++) if (order[i] === document.activeElement) at = i;
      var next = at < 0 ? (backward ? order.length - 1 : 0) : (at + (backward ? order.length - 1 : 1)) % order.length;
      var el = order[next];
      focusOn(el);
      if (textField(el) && el.select) el.select();
    }

    // ---- Keys

    // Enter in a single-line field: its edit is committed, then its form is
    // submitted as the browser's implicit submission does: by a click on
    // its first submit button, or directly when it has no button and at
    // most one such field.
    var blocking = { text: 1, search: 1, url: 1, tel: 1, email: 1, password: 1, number: 1, date: 1, time: 1,
                     "datetime-local": 1, month: 1, week: 1 };
    function implicitSubmission(el) {
      commit(el);
      var form = el.form;
      if (!form) return;
      var fields = form.elements, fieldsBlocking = 0;
      for (var i = 0; i < fields.length; i++) {
        var f = fields[i], type = String(f.type).toLowerCase();
        if ((f.tagName === "BUTTON" && type === "submit") || (f.tagName === "INPUT" && (type === "submit" || type === "image"))) {
          if (!f.disabled) fire(f, mouseEvent("click", 0, 0, 0, 0, 0));
          return;
        }
        if (f.tagName === "INPUT" && blocking.hasOwnProperty(type)) fieldsBlocking++;
      }
      if (fieldsBlocking <= 1) submit(form);
    }

    function activates(el) {
      var tag = el.tagName, type = String(el.type).toLowerCase();
      return tag === "BUTTON" || tag === "SUMMARY" || (tag === "A" && el.hasAttribute("href")) ||
             (tag === "INPUT" && (type === "button" || type === "submit" || type === "reset" || type === "checkbox" ||
                                  type === "radio" || type === "image"));
    }

    // What a key does when no listener canceled it.
    function keyDefault(el, k, mods) {
      var command = mods.ctrlKey || mods.metaKey;
      if (command) {
        if (k.key === "a" || k.key === "A") {
          if (textField(el)) el.select(); else if (document.execCommand) document.execCommand("selectAll");
        }
        return;
      }
      if (k.key === "Tab") { tab(mods.shiftKey); return; }
      if (k.key === "Backspace" || k.key === "Delete") { deleteText(el, k.key === "Backspace"); return; }
      if (k.key === "Enter") {
        if (el.tagName === "TEXTAREA") { replaceSelection(el, "\n", "insertLineBreak"); return; }
        if (el.isContentEditable) { document.execCommand("insertParagraph"); return; }
        // Both browsers offer the line break to a single-line field too.
        if (textField(el)) {
          if (editable(el) && !fire(el, inputEvent("beforeinput", "insertLineBreak", null))) return;
          implicitSubmission(el);
          return;
        }
        if (el.tagName !== "INPUT" && activates(el)) fire(el, mouseEvent("click", 0, 0, 0, 0, 0));
        return;
      }
      if (textField(el) && (k.key === "ArrowLeft" || k.key === "ArrowRight" || k.key === "Home" || k.key === "End")) {
        var s = selectionOf(el);
        var at = k.key === "Home" ? 0 : k.key === "End" ? el.value.length :
                 k.key === "ArrowLeft" ? (s.start === s.end ? s.start - 1 : s.start) : (s.start === s.end ? s.end + 1 : s.end);
        setCaret(el, at < 0 ? 0 : at > el.value.length ? el.value.length : at);
        return;
      }
      if (k.text) {
        if (textField(el) || el.isContentEditable) insertText(el, k.text);
      }
    }

    // One key with the modifiers held: the modifiers go down first and up
    // last; keydown, keypress (keys that give a character, and Enter), the
    // default action, keyup.
    function pressChord(ch) {
      var mods = ch.mods, k = ch.key, none = { shiftKey: false, ctrlKey: false, altKey: false, metaKey: false };
      var held = { shiftKey: false, ctrlKey: false, altKey: false, metaKey: false };
      for (var i = 0; i < mods.keys.length; i++) {
        held[modifierNames[mods.keys[i].key]] = true;
        fire(active(), keyEvent("keydown", mods.keys[i], held));
      }
      var shift = k.shift && !mods.shiftKey ? { key: "Shift", code: "ShiftLeft", keyCode: 16, text: "" } : null;
      if (shift) fire(active(), keyEvent("keydown", shift, { shiftKey: true, ctrlKey: mods.ctrlKey, altKey: mods.altKey, metaKey: mods.metaKey }));
      var target = active();
      var go = fire(target, keyEvent("keydown", k, mods));
      var gives = (k.text || k.key === "Enter") && !mods.ctrlKey && !mods.metaKey && !mods.altKey;
      if (go && gives) go = fire(target, keyEvent("keypress", k, mods));
      if (go) keyDefault(active() === target ? target : active(), k, mods);
      fire(active(), keyEvent("keyup", k, mods));
      if (shift) fire(active(), keyEvent("keyup", shift, { shiftKey: false, ctrlKey: mods.ctrlKey, altKey: mods.altKey, metaKey: mods.metaKey }));
      for (var j = mods.keys.length - 1; j >= 0; j--) {
        held[modifierNames[mods.keys[j].key]] = false;
        fire(active(), keyEvent("keyup", mods.keys[j], held));
      }
      void none;
    }

    // The element takes the focus first, as a click into it gives; the
    // caret goes to the end of a field that just got it.
    function focusForKeys(el) {
      if (document.activeElement === el) return;
      focusOn(el);
      if (textField(el)) setCaret(el, el.value.length);
    }

    // ---- Mouse

    var under = null;  // what the pointer is over
    function centreOf(el) {
      var r = call(getRect, el);
      var left = r.left > 0 ? r.left : 0, top = r.top > 0 ? r.top : 0;
      var right = r.right < window.innerWidth ? r.right : window.innerWidth;
      var bottom = r.bottom < window.innerHeight ? r.bottom : window.innerHeight;
      if (right <= left || bottom <= top) return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
      return { x: Math.round((left + right) / 2), y: Math.round((top + bottom) / 2) };
    }
    // The innermost element at the point, where it belongs to `el` (a user
    // clicking a button clicks the text inside it).
    function hit(el, at) {
      var found = call(elementFromPoint, document, [at.x, at.y]);
      return found && (found === el || el.contains(found)) ? found : el;
    }

    function mouseEvent(type, x, y, detail, button, buttons, related, pointer) {
      var init = { bubbles: type !== "mouseenter" && type !== "mouseleave" && type !== "pointerenter" && type !== "pointerleave",
                   cancelable: type !== "mouseenter" && type !== "mouseleave" && type !== "pointerenter" &&
                               type !== "pointerleave",
                   composed: true, view: window, detail: detail, clientX: x, clientY: y,
                   screenX: x + (window.screenX || 0), screenY: y + (window.screenY || 0),
                   button: button, buttons: buttons, relatedTarget: related || null };
      if (pointer && PointerEventType) {
        init.pointerId = 1; init.pointerType = "mouse"; init.isPrimary = true; init.width = 1; init.height = 1;
        init.pressure = buttons ? 0.5 : 0;
        init.detail = 0;
        return new PointerEventType(type, init);
      }
      return new MouseEventType(type, init);
    }

    function moveTo(target, at) {
      if (under !== target) {
        var from = under && under.isConnected ? under : null;
        if (from) {
          fire(from, mouseEvent("pointerout", at.x, at.y, 0, 0, 0, target, true));
          fire(from, mouseEvent("pointerleave", at.x, at.y, 0, 0, 0, target, true));
          fire(from, mouseEvent("mouseout", at.x, at.y, 0, 0, 0, target));
          fire(from, mouseEvent("mouseleave", at.x, at.y, 0, 0, 0, target));
        }
        fire(target, mouseEvent("pointerover", at.x, at.y, 0, 0, 0, from, true));
        fire(target, mouseEvent("pointerenter", at.x, at.y, 0, 0, 0, from, true));
        fire(target, mouseEvent("mouseover", at.x, at.y, 0, 0, 0, from));
        fire(target, mouseEvent("mouseenter", at.x, at.y, 0, 0, 0, from));
        under = target;
      }
      fire(target, mouseEvent("pointermove", at.x, at.y, 0, -1, 0, null, true));
      fire(target, mouseEvent("mousemove", at.x, at.y, 0, 0, 0));
    }

    // Mousedown's default: the focus goes to the focusable element clicked
    // (or one around it), else away from the field that had it.
    function focusOnPress(target) {
      for (var n = target; n && n.nodeType === 1; n = n.parentNode) {
        if (focusable(n)) { focusOn(n); return; }
      }
      focusOn(null);
    }

    // `count` presses of the left button at the element's visible centre;
    // two give a dblclick after the second click.
    function click(el, count) {
      var at = centreOf(el);
      var target = hit(el, at);
      moveTo(target, at);
      for (var i = 1; i <= count; i++) {
        var down = fire(target, mouseEvent("pointerdown", at.x, at.y, 0, 0, 1, null, true));
        // A canceled pointerdown holds back the mouse events, not the click.
        if (down && fire(target, mouseEvent("mousedown", at.x, at.y, i, 0, 1))) focusOnPress(target);
        if (!target.isConnected) return;
        fire(target, mouseEvent("pointerup", at.x, at.y, 0, 0, 0, null, true));
        if (down) fire(target, mouseEvent("mouseup", at.x, at.y, i, 0, 0));
        if (!target.isConnected) return;
        // The click's own default follows its dispatch: a checkbox toggles
        // (input, change), a label forwards it, a link or a submit button
        // navigates.
        clickDetail = i;
        var clicked;
        try { clicked = fire(target, mouseEvent("click", at.x, at.y, i, 0, 0)); } finally { clickDetail = 0; }
        if (clicked) focusLabelled(target);
      }
      if (count === 2 && target.isConnected) fire(target, mouseEvent("dblclick", at.x, at.y, 2, 0, 0));
    }

    // A click on a label focuses the text field it stands for.
    function focusLabelled(target) {
      for (var n = target; n && n.nodeType === 1; n = n.parentNode) {
        if (n.tagName === "LABEL") {
          var control = n.control;
          if (control && textField(control)) focusOn(control);
          return;
        }
      }
    }

    function hover(el) {
      var at = centreOf(el);
      moveTo(hit(el, at), at);
    }

    function check(el, wanted) {
      if (el.checked === wanted) return;
      click(el, 1);
      if (el.checked !== wanted) throw new Error("the click did not " + (wanted ? "check" : "uncheck") + " it");
    }

    function type(el, text) {
      focusForKeys(el);
      text = String(text === null || text === undefined ? "" : text);
      for (var i = 0; i < text.length; i++) {
        var c = text.charAt(i);
        pressChord({ mods: { shiftKey: false, ctrlKey: false, altKey: false, metaKey: false, keys: [] },
                     key: c === "\n" ? keyOf("Enter") : keyOf(c) });
      }
    }

    function press(el, name) {
      var ch = chord(name);
      focusForKeys(el);
      pressChord(ch);
    }

    // As a user does it: everything selected, then deleted.
    function clear(el) {
      focusForKeys(el);
      pressChord(chord("Control+a"));
      if (el.value !== "") pressChord(chord("Backspace"));
    }

    function select(el, wanted) {
      for (var i = 0; i < el.options.length; i++) {
        var o = el.options[i];
        if (o.value === wanted || o.text === wanted) {
          focusOn(el);
          if (el.selectedIndex === i) return;
          el.selectedIndex = i;
          fire(el, plainEvent("input", true));
          fire(el, plainEvent("change", true));
          return;
        }
      }
      throw new Error("no option '" + wanted + "'");
    }

    return { click: click, hover: hover, check: check, type: type, press: press, clear: clear, select: select };
  })();

  // The commands, by "op". Each gets the command's fields and its Command,
  // and answers through that.
  var ops = {
    info: function (c, cmd) { cmd.ok(null); },
    eval: function (c, cmd) {
      current = cmd;
      var value = valueOf(c.expression);
      cmd.ok(value);
    },
    // Waits until the expression is truthy; its value.
    waitUntil: function (c, cmd) {
      var last;
      waitUntil(function () {
        last = valueOf(c.expression);
        if (!last) return false;
        cmd.ok(last, { held: true });
        return true;
      }, cmd.limit, 25, function () {
        cmd.fail("waited " + cmd.limit + " ms for '" + c.expression + "' to be true; it was " + String(last), { last: describe(last) });
      }, function (e) { cmd.fail(errorText(e)); });
    },
    ready: whenReady,
    // Answers once the page's latest changes are on the screen: two frames
    // (the second begins after the first was drawn) and a moment for the
    // browser to hand the picture to the display. A screenshot taken right
    // after a change would otherwise show the page as it was.
    painted: function (c, cmd) {
      later(function () { later(function () { setTimeout(function () { cmd.ok(true); }, 100); }, "frame"); }, "frame");
    },
    dialogs: function (c, cmd) { var seen = dialogs; dialogs = []; cmd.ok(seen); },
    dialog: function (c, cmd) { dialogAnswer = c.answer; cmd.ok(null); },
    navigate: navigation(function (c) { location.href = c.url; }),
    back: navigation(function () { history.back(); }),
    reload: navigation(function () { location.reload(); }),
    // Answers, then closes the window; one that scripts may not close is
    // left on an empty page, so this page is gone either way.
    close: function (c, cmd) {
      cmd.ok(null, { closing: true });
      setTimeout(function () {
        window.close();
        if (!window.closed) location.replace("about:blank");
      }, 0);
    },
    frame: function (c, cmd) {
      waitUntil(function () {
        var frames = find(c.selector);
        var fw = frames.length && frames[0].contentWindow;
        var fp = "";
        try { fp = fw && fw.__quorvane ? fw.__quorvane.page : ""; } catch (e) { fp = ""; }
        if (!fp) return false;
        cmd.ok(fp);
        return true;
      }, cmd.limit, 50, function () { cmd.fail("no frame with an agent matches " + c.selector); });
    },
    waitForText: function (c, cmd) {
      waitUntil(function () {
        if (textOf(document.body || document.documentElement).indexOf(c.text) < 0) return false;
        cmd.ok(true);
        return true;
      }, cmd.limit, 25, function () {
        cmd.fail("waited " + cmd.limit + " ms for the text '" + c.text + "' to appear");
      });
    },

    count: query(function (list) { return list.length; }),
    visibleCount: query(visibleCount),
    exists: query(function (list) { return list.length > 0; }),
    visible: query(function (list) { return list.length > 0 && visible(list[0]); }),
    text: elementRead(textOf),
    value: elementRead(function (el) { return el.value; }),
    attr: elementRead(function (el, name) { return el.getAttribute(name); }),

    waitFor: function (c, cmd) { withElement(c, cmd, "visible", function () { cmd.ok(true); }, true); },
    waitText: elementWait(matchingRead(textOf), function (c) { return "to have the text " + matcher(c).what; }),
    waitValue: elementWait(matchingRead(function (el) { return el.value; }),
                           function (c) { return "to have the value " + matcher(c).what; }),
    waitCount: elementWait(function (list, c) {
      var n = visibleCount(list);
      return { held: n === Number(c.arg), seen: n };
    }, function (c) { return "to show " + c.arg + " times"; }),
    waitVisible: elementWait(function (list) {
      var shown = list.length > 0 && visible(list[0]);
      return { held: shown, seen: list.length ? "hidden" : undefined, value: true };
    }, function () { return "to be visible"; }),
    waitHidden: elementWait(function (list) {
      var hidden = !list.length || !visible(list[0]);
      return { held: hidden, seen: "visible", value: true };
    }, function () { return "to be hidden"; }),

    click: elementAction(function (el) { input.click(el, 1); }),
    dblclick: elementAction(function (el) { input.click(el, 2); }),
    hover: elementAction(function (el) { input.hover(el); }, "visible"),
    type: elementAction(function (el, text) { input.type(el, text); }),
    clear: elementAction(function (el) { input.clear(el); }),
    press: elementAction(function (el, key) { input.press(el, key); }),
    select: elementAction(function (el, wanted) { input.select(el, wanted); }),
    check: elementAction(function (el) { input.check(el, true); }),
    uncheck: elementAction(function (el) { input.check(el, false); }),
    submit: elementAction(function (el) { submit(el.form || el); })
  };

  function submit(form) {
    if (form.requestSubmit) form.requestSubmit(); else form.submit();
  }

  function run(c) {
    // The proxy's word that the navigation this page began ended where it is.
    if (c.stay) leaving = false;
    var cmd = new Command(c);
    var op = ops.hasOwnProperty(c.op) ? ops[c.op] : null;
    if (!op) { cmd.fail("no command '" + c.op + "'"); return; }
    current = cmd;
    try {
      op(c, cmd);
    } catch (e) {
      cmd.fail(errorText(e));
    }
  }

  // What every frame and poll carries: the page's facts and the answer to
  // its last command.
  function report() {
    var body = { page: page, parent: parentPage, url: location.href, title: document.title,
                 top: window.top === window, answer: queued, leaving: leaving };
    queued = null;
    return stringify(body);
  }

  function flush() {
    if (mode === "socket") { if (socketOpen) call(wsSend, socket, [report()]); return; }
    if (!polling) poll();
  }

  var mode = pollOnly || !WS ? "poll" : "socket";
  var socket = null, socketOpen = false;
  var failures = 0;

  // `items` as a list that only the agent reads: the browser takes a list
  // through its iterator, and an array's iterator (Array.prototype, or the
  // array iterators' next) is the page's to replace.
  function ownList(items) {
    return { [iteratorKey]: function () {
      var i = 0;
      return { next: function () {
        return i < items.length ? { value: items[i++], done: false } : { value: undefined, done: true };
      } };
    } };
  }

  // A socket that never opens makes the agent long-poll from then on; one
  // that closes while the document lives is opened again. A page's socket
  // can set no header of its own, so it presents the token as its second
  // subprotocol (the proxy accepts the first, "quorvane").
  function openSocket() {
    var opened = false;
    var s;
    try { s = new WS(socketAddress, ownList(["quorvane", pageToken])); } catch (e) { mode = "poll"; poll(); return; }
    socket = s;
    call(addListener, s, ["open", function () {
      opened = true;
      failures = 0;
      socketOpen = true;
      flush();
    }]);
    call(addListener, s, ["message", function (e) {
      if (typeof e.data !== "string") return;
      var command = null;
      try { command = parse(e.data); } catch (x) { command = null; }
      if (leaving && !(command && (command.op === "stay" || command.stay))) return;
      if (command && command.id) run(command);
    }]);
    // A socket that is refused may end with "error" alone (no "close"), as
    // Chromium's does for a policy that forbids it.
    var ended = false;
    function end() {
      if (ended) return;
      ended = true;
      if (socket === s) { socket = null; socketOpen = false; }
      if (gone) return;
      if (!opened) mode = "poll";
      if (++failures < 20) setTimeout(connect, mode === "poll" ? 0 : 250);
    }
    call(addListener, s, ["close", end]);
    call(addListener, s, ["error", function () {
      if (!opened) { end(); return; }
      // An open socket's error is followed by its close.
    }]);
  }

  var polling = false;
  function poll() {
    if (gone) return;
    polling = true;
    var x = new XHR();
    x.__quorvaneOwn = true;
    call(xhrOpen, x, ["POST", channel, true]);
    call(xhrSetHeader, x, ["Content-Type", "text/plain"]);
    call(xhrSetHeader, x, ["X-Quorvane-Token", pageToken]);
    x.onload = function () {
      polling = false;
      failures = 0;
      var command = null;
      try { command = parse(x.responseText); } catch (e) { command = null; }
      // A page that said it was leaving polls on until it is gone or told
      // to stay (its navigation ended where it is: a download, a 204).
      if (leaving && !(command && (command.op === "stay" || command.stay))) { setTimeout(poll, 250); return; }
      if (command && command.id) {
        // Its answer sends the next poll.
        run(command);
      } else {
        poll();
      }
    };
    x.onerror = function () {
      polling = false;
      if (++failures < 20) setTimeout(poll, 250);
    };
    call(xhrSend, x, [report()]);
  }

  function connect() {
    if (gone) return;
    if (mode === "socket") openSocket(); else poll();
  }

  function bye() {
    if (gone) return;
    gone = true;
    if (socket) {
      // Its closing tells the proxy that the page is gone.
      var s = socket;
      socket = null;
      socketOpen = false;
      try { call(wsClose, s); } catch (e) { /* closing anyway */ }
      return;
    }
    // A beacon carries no header of its own: the token goes in its body,
    // written out by hand, since JSON.stringify would call a toJSON the
    // page gave String.prototype (the page id and token need no escaping).
    var farewell = "{\"page\":\"" + page + "\",\"token\":\"" + pageToken + "\"}";
    try { call(sendBeacon, navigator, [channel + "bye", farewell]); } catch (e) { /* closing anyway */ }
  }
  call(addListener, window, ["pagehide", bye]);
  call(addListener, window, ["pageshow", function (e) {
    if (e.persisted) { gone = false; leaving = false; failures = 0; page = uuid(); connect(); }
  }]);

  // ---- Around the page: navigations that stay, files, the position -------
  //
  // Commands for what happens around the page rather than in it, kept
  // together: "stay" (the navigation the page began ended where it is, on
  // a download or a 204: the agent takes commands again), "setFiles" (the
  // files of a file input, whose content the proxy read) and
  // "geolocation" (the position navigator.geolocation answers with; the
  // run's setting also comes with the key, ";geo=...", so a page that asks
  // as it loads gets it too).
  (function () {
    ops.stay = function (c, cmd) {
      leaving = false;
      cmd.ok(null);
    };

    var realClose = window.close;
    window.close = function () {
      closingSelf = true;
      try { return call(realClose, window, arguments); } finally { if (!window.closed) closingSelf = false; }
    };

    var FileType = window.File, DataTransferType = window.DataTransfer, atobReal = window.atob;
    var Uint8 = window.Uint8Array;
    function fileOf(entry) {
      var bytes = call(atobReal, window, [entry.data || ""]);
      var buffer = new Uint8(bytes.length);
      for (var i = 0; i < bytes.length; i++) buffer[i] = bytes.charCodeAt(i);
      return new FileType([buffer], entry.name, { type: entry.type || "" });
    }
    ops.setFiles = function (c, cmd) {
      withElement(c, cmd, "exists", function (el) {
        if (!el.tagName || el.tagName !== "INPUT" || String(el.type).toLowerCase() !== "file") {
          cmd.fail("the element " + c.selector + " is no file input (<input type=file>)");
          return;
        }
        var files = c.files || [];
        if (files.length > 1 && !el.multiple) {
          cmd.fail("the file input " + c.selector + " takes one file, not " + files.length);
          return;
        }
        var transfer = new DataTransferType();
        for (var i = 0; i < files.length; i++) transfer.items.add(fileOf(files[i]));
        el.files = transfer.files;
        call(dispatch, el, [new EventType("input", { bubbles: true, composed: true })]);
        call(dispatch, el, [new EventType("change", { bubbles: true })]);
        cmd.ok(files.length);
      });
    };

    // null: the browser's own answers; else {denied} or {coords}.
    var position = null;
    var geoKey = /;geo=([^;]*)/.exec(key);
    function setPosition(p) {
      if (p === null || p === undefined || p === "denied") { position = { denied: true }; return; }
      position = { coords: { latitude: Number(p.latitude), longitude: Number(p.longitude),
                             accuracy: Number(p.accuracy === undefined ? 0 : p.accuracy) } };
    }
    if (geoKey) {
      var parts = geoKey[1].split(",");
      setPosition(geoKey[1] === "denied" ? null
                  : { latitude: parts[0], longitude: parts[1], accuracy: parts[2] });
    }
    ops.geolocation = function (c, cmd) {
      setPosition(c.position);
      cmd.ok(null);
    };
    // Objects of the browser's own types, their values own properties.
    function made(type, values) {
      var o = Object.create(type ? type.prototype : Object.prototype);
      for (var k in values) defineProperty(o, k, { value: values[k], enumerable: true });
      return o;
    }
    function answerPosition(success, failure) {
      if (position.denied) {
        if (typeof failure === "function") {
          failure(made(window.GeolocationPositionError, { code: 1, message: "User denied Geolocation",
                                                          PERMISSION_DENIED: 1, POSITION_UNAVAILABLE: 2, TIMEOUT: 3 }));
        }
        return;
      }
      var p = position.coords;
      var coords = made(window.GeolocationCoordinates, { latitude: p.latitude, longitude: p.longitude,
                                                         accuracy: p.accuracy, altitude: null, altitudeAccuracy: null,
                                                         heading: null, speed: null });
      if (typeof success === "function") success(made(window.GeolocationPosition, { coords: coords, timestamp: dateNow() }));
    }
    var geolocation = navigator.geolocation;
    if (geolocation) {
      var realGet = geolocation.getCurrentPosition, realWatch = geolocation.watchPosition;
      var realClear = geolocation.clearWatch;
      var watches = 0;
      geolocation.getCurrentPosition = function (success, failure) {
        if (!position) return call(realGet, geolocation, arguments);
        setTimeout(function () { answerPosition(success, failure); }, 0);
      };
      geolocation.watchPosition = function (success, failure) {
        if (!position) return call(realWatch, geolocation, arguments);
        setTimeout(function () { answerPosition(success, failure); }, 0);
        return 1000000 + ++watches;
      };
      geolocation.clearWatch = function (id) {
        if (id > 1000000) return undefined;
        return call(realClear, geolocation, arguments);
      };
    }
    var permissions = navigator.permissions;
    if (permissions && permissions.query) {
      var realQuery = permissions.query;
      permissions.query = function (descriptor) {
        if (!position || !descriptor || descriptor.name !== "geolocation") return call(realQuery, permissions, arguments);
        var status = made(window.PermissionStatus, { name: "geolocation", state: position.denied ? "denied" : "granted",
                                                     onchange: null });
        return Promise.resolve(status);
      };
    }
  })();

  Object.defineProperty(window, "__quorvane", {
    value: { get page() { return page; }, get channel() { return mode; }, take: take }, enumerable: false });

  function start() { connect(); }
  if (document.readyState === "loading") call(addListener, document, ["DOMContentLoaded", start]);
  else start();
})();
