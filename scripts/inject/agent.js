// The page agent: injected into every document the proxy serves. It
// registers the document with the proxy (a page uuid made for each load,
// its url and title, its parent for a frame), keeps a channel open on a
// path of the page's own origin, runs the commands it is sent and sends
// their answers back. The channel is a WebSocket, one per document, whose
// frames carry the same JSON as the polls would; where no socket can be
// opened (or the proxy asks for it) the agent long-polls instead, sending
// each answer with its next poll.
//
// The channel's path carries the run's secret, which the proxy puts behind
// the "#" of this script's address (never sent to a server), followed by
// ";poll" when the agent is to long-poll only. Everything the agent needs
// is taken before the page's own scripts run, so a page that replaces
// JSON, Array.prototype, WebSocket or XMLHttpRequest does not break it. It
// adds one name to the page: `__quorvane`.
(function () {
  "use strict";
  if (window.__quorvane) return;
  var script = document.currentScript;
  var src = script ? script.src : "";
  var fragment = src.indexOf("#") >= 0 ? src.substring(src.indexOf("#") + 1) : "";
  var secret = fragment.split(";")[0];
  if (!secret) return;
  var pollOnly = fragment.indexOf(";poll") >= 0;

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
  var dateNow = Date.now;
  var fnApply = Function.prototype.apply;
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
  var channel = "/quorvane/special/channel/" + secret;
  var socketAddress = (location.protocol === "https:" ? "wss://" : "ws://") + location.host + channel;

  function call(fn, self, args) { return fnApply.call(fn, self, args || []); }

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
  var inFlight = 0;
  var lastActivity = dateNow();
  var dialogAnswer = null;
  var dialogs = [];
  var queued = null;   // the answer to send with the next frame or poll
  var gone = false;

  // Requests of the page in flight, for the settling wait.
  XHR.prototype.send = function () {
    var self = this;
    if (!self.__quorvaneOwn) {
      inFlight++;
      call(addListener, self, ["loadend", function () { inFlight--; lastActivity = dateNow(); }]);
    }
    return call(xhrSend, self, arguments);
  };
  if (realFetch) {
    window.fetch = function () {
      inFlight++;
      var done = function (v) { inFlight--; lastActivity = dateNow(); return v; };
      var fail = function (e) { inFlight--; lastActivity = dateNow(); throw e; };
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

  // What an action waits for, checked every few milliseconds until it holds
  // or the time is up.
  function ready(el, need, state) {
    if (need === "exists") return true;
    if (!visible(el)) return "visible";
    if (need === "visible") return true;
    if (el.disabled) return "enabled";
    var r = call(getRect, el);
    var box = r.left + "," + r.top + "," + r.width + "," + r.height;
    if (state.box !== box) { state.box = box; state.steady = 0; return "no longer moving"; }
    if (++state.steady < 2) return "no longer moving";
    return true;
  }

  function fire(el, type, init) {
    var ev;
    if (type === "click" || type === "dblclick" || type.indexOf("mouse") === 0) {
      ev = new MouseEvent(type, { bubbles: true, cancelable: true, view: window });
    } else if (type.indexOf("key") === 0) {
      ev = new KeyboardEvent(type, { bubbles: true, cancelable: true, key: init });
    } else {
      ev = new Event(type, { bubbles: true, cancelable: true });
    }
    return el.dispatchEvent(ev);
  }

  function setValue(el, value) {
    var proto = el.tagName === "TEXTAREA" ? HTMLTextAreaElement.prototype : HTMLInputElement.prototype;
    var setter = Object.getOwnPropertyDescriptor(proto, "value").set;
    call(setter, el, [value]);
  }

  var actions = {
    click: function (el) { if (el.focus) el.focus(); fire(el, "mousedown"); fire(el, "mouseup"); el.click(); },
    dblclick: function (el) { actions.click(el); actions.click(el); fire(el, "dblclick"); },
    hover: function (el) { fire(el, "mouseover"); fire(el, "mouseenter"); fire(el, "mousemove"); },
    type: function (el, text) {
      if (el.focus) el.focus();
      for (var i = 0; i < text.length; i++) {
        var c = text.charAt(i);
        fire(el, "keydown", c);
        setValue(el, el.value + c);
        fire(el, "input");
        fire(el, "keyup", c);
      }
      fire(el, "change");
    },
    clear: function (el) { setValue(el, ""); fire(el, "input"); fire(el, "change"); },
    press: function (el, key) {
      if (el.focus) el.focus();
      var go = fire(el, "keydown", key);
      fire(el, "keyup", key);
      if (go && key === "Enter" && el.form) submit(el.form);
    },
    select: function (el, wanted) {
      for (var i = 0; i < el.options.length; i++) {
        var o = el.options[i];
        if (o.value === wanted || o.text === wanted) { el.selectedIndex = i; fire(el, "input"); fire(el, "change"); return; }
      }
      throw new Error("no option '" + wanted + "'");
    },
    check: function (el) { if (!el.checked) el.click(); },
    uncheck: function (el) { if (el.checked) el.click(); },
    submit: function (el) { submit(el.form || el); },
    text: function (el) { return textOf(el); },
    value: function (el) { return el.value; },
    attr: function (el, name) { return el.getAttribute(name); }
  };
  var needs = { text: "exists", value: "exists", attr: "exists", hover: "visible" };

  function submit(form) {
    if (form.requestSubmit) form.requestSubmit(); else form.submit();
  }

  function answer(id, ok, value, extra) {
    var a = { id: id, ok: ok, value: describe(value), url: location.href, title: document.title };
    if (extra) for (var k in extra) a[k] = extra[k];
    // Dialogs shown so far travel with the answer, so that those of a
    // command that navigates away are not lost with the document.
    if (dialogs.length) { a.dialogs = dialogs; dialogs = []; }
    if (consoleLines.length) { a.console = consoleLines; consoleLines = []; }
    if (leaving) a.navigating = true;
    queued = a;
    flush();
  }

  // A navigation of this document has begun (a link, a form, a script):
  // the command that caused it answers at once, and the agent stops taking
  // commands; the next page registers itself.
  var leaving = false;
  var settling = null;
  // The command whose action runs now. Firefox fires beforeunload inside a
  // script's location.href assignment and closes the channel before that
  // script returns, so such a command answers from beforeunload itself.
  var acting = null;
  function leave() {
    leaving = true;
    if (settling) { var s = settling; settling = null; s(); }
    if (acting) { var id = acting; acting = null; answer(id, true, null); }
  }
  // Runs `fn` for the command `id`: its value, or `answered` when the page
  // began to leave meanwhile and the command has answered already.
  function act(id, fn) {
    acting = id;
    try {
      var value = fn();
      if (acting !== id) return { answered: true };
      return { value: value };
    } finally {
      if (acting === id) acting = null;
    }
  }
  call(addListener, window, ["beforeunload", leave]);

  // Answers once the page has settled: no request of the page in flight
  // for a quiet time, or a navigation has begun.
  function settle(id, value, started, limit) {
    var quiet = 300;
    var timer = 0;
    settling = function () { clearTimeout(timer); answer(id, true, value); };
    (function wait() {
      if (gone || !settling) return;
      var since = dateNow() - (lastActivity > started ? lastActivity : started);
      if (leaving || (inFlight === 0 && since >= quiet) || dateNow() - started > limit) {
        settling = null;
        answer(id, true, value);
        return;
      }
      timer = setTimeout(wait, 20);
    })();
  }

  // Loaded: the load event has passed (or 10 s) and then the page settled.
  function whenReady(id, started, limit) {
    (function wait() {
      if (document.readyState === "complete" || dateNow() - started > limit) {
        settle(id, null, dateNow(), 5000);
        return;
      }
      setTimeout(wait, 20);
    })();
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

  function run(c) {
    var started = dateNow();
    var limit = c.timeout || 10000;
    try {
      if (c.op === "eval") {
        var evaluated = act(c.id, function () { return valueOf(c.expression); });
        if (!evaluated.answered) answer(c.id, true, evaluated.value);
        return;
      }
      if (c.op === "info") { answer(c.id, true, null); return; }
      if (c.op === "ready") { whenReady(c.id, started, limit); return; }
      if (c.op === "dialogs") { var seen = dialogs; dialogs = []; answer(c.id, true, seen); return; }
      if (c.op === "dialog") { dialogAnswer = c.answer; answer(c.id, true, null); return; }
      if (c.op === "navigate" || c.op === "back" || c.op === "reload") {
        answer(c.id, true, null, { navigating: true });
        setTimeout(function () {
          if (c.op === "navigate") location.href = c.url;
          else if (c.op === "back") history.back();
          else location.reload();
        }, 0);
        return;
      }
      if (c.op === "frame") {
        var frames = find(c.selector);
        var fw = frames.length && frames[0].contentWindow;
        var fp = "";
        try { fp = fw && fw.__quorvane ? fw.__quorvane.page : ""; } catch (e) { fp = ""; }
        if (!fp) {
          if (dateNow() - started < limit) { setTimeout(function () { c.timeout = limit - (dateNow() - started); run(c); }, 50); return; }
        }
        answer(c.id, !!fp, fp, fp ? null : { error: "no frame with an agent matches " + c.selector });
        return;
      }
      if (c.op === "waitForText") {
        (function wait() {
          if (textOf(document.body || document.documentElement).indexOf(c.text) >= 0) { answer(c.id, true, true); return; }
          if (dateNow() - started >= limit) {
            answer(c.id, false, null, { error: "waited " + limit + " ms for the text '" + c.text + "' to appear" });
            return;
          }
          setTimeout(wait, 25);
        })();
        return;
      }
      // Element commands.
      var state = {};
      (function attempt() {
        var list = find(c.selector);
        if (c.op === "count") { answer(c.id, true, list.length); return; }
        if (c.op === "exists") { answer(c.id, true, list.length > 0); return; }
        if (c.op === "visible") { answer(c.id, true, list.length > 0 && visible(list[0])); return; }
        var need = c.op === "waitFor" ? "visible" : (needs[c.op] || "actionable");
        var missing = "exist";
        if (list.length) {
          var r = c.wait === false ? true : ready(list[0], need, state);
          if (r === true) {
            if (c.op === "waitFor") { answer(c.id, true, true); return; }
            var done = act(c.id, function () { return actions[c.op](list[0], c.arg); });
            if (done.answered) return;
            var value = done.value;
            if (value !== undefined) answer(c.id, true, value);
            else if (c.wait === false) answer(c.id, true, null);
            else settle(c.id, null, dateNow(), 5000);
            return;
          }
          missing = "be " + r;
        }
        if (dateNow() - started >= limit || c.wait === false) {
          answer(c.id, false, null, { error: "waited " + limit + " ms for '" + c.selector + "' to " + missing });
          return;
        }
        setTimeout(attempt, 25);
      })();
    } catch (e) {
      answer(c.id, false, null, { error: String(e && e.message !== undefined ? e.message : e) });
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

  // A socket that never opens makes the agent long-poll from then on; one
  // that closes while the document lives is opened again.
  function openSocket() {
    var opened = false;
    var s;
    try { s = new WS(socketAddress); } catch (e) { mode = "poll"; poll(); return; }
    socket = s;
    call(addListener, s, ["open", function () {
      opened = true;
      failures = 0;
      socketOpen = true;
      flush();
    }]);
    call(addListener, s, ["message", function (e) {
      if (leaving || typeof e.data !== "string") return;
      var command = null;
      try { command = parse(e.data); } catch (x) { command = null; }
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
    x.onload = function () {
      polling = false;
      failures = 0;
      if (leaving) return;
      var command = null;
      try { command = parse(x.responseText); } catch (e) { command = null; }
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
    try { navigator.sendBeacon(channel + "/bye", stringify({ page: page })); } catch (e) { /* closing anyway */ }
  }
  call(addListener, window, ["pagehide", bye]);
  call(addListener, window, ["pageshow", function (e) {
    if (e.persisted) { gone = false; leaving = false; failures = 0; page = uuid(); connect(); }
  }]);

  Object.defineProperty(window, "__quorvane", {
    value: { get page() { return page; }, get channel() { return mode; }, take: take }, enumerable: false });

  function start() { connect(); }
  if (document.readyState === "loading") call(addListener, document, ["DOMContentLoaded", start]);
  else start();
})();
