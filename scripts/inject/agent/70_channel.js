// The channel to the proxy: what every frame and poll carries, the
// WebSocket or the long poll, the farewell when the document goes; this
// file closes the function that 00_start.js opened.

  try {
    if (window.parent !== window && window.parent.__quorvane) parentPage = window.parent.__quorvane.page;
  } catch (e) { /* a frame of another origin: no parent known */ }

  // What every frame and poll carries: the page's facts and the answer to
  // its last command.
  function report() {
    var body = { page: page, parent: parentPage, url: location.href, title: document.title,
                 top: window.top === window, answer: queued, leaving: leaving, loaded: readyNow() };
    queued = null;
    return stringify(body);
  }

  // The socket is opened as the agent starts, so that its handshake runs
  // while the page loads; the page registers with its first report, once
  // its document has been parsed (`started`), as it does by long poll.
  var started = false;
  function flush() {
    if (mode === "socket") { if (socketOpen && started) call(wsSend, socket, [report()]); return; }
    if (!polling) poll();
  }

  // A report of the page's state with no answer: over the socket only (a
  // long poll is held by the proxy until a command comes).
  function reportState() {
    if (mode === "socket") flush();
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
    if (socket) return;
    var opened = false;
    var s;
    try { s = new WS(socketAddress, ownList(["quorvane", pageToken])); } catch (e) { mode = "poll"; connect(); return; }
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
    if (mode === "socket") openSocket(); else if (started) poll();
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
    // Back from the back-forward cache: the requests it had in flight were
    // cut off without an end.
    if (e.persisted) { gone = false; leaving = false; failures = 0; requestsOpen = {}; page = uuid(); connect(); }
  }]);

  Object.defineProperty(window, "__quorvane", {
    value: { get page() { return page; }, get channel() { return mode; }, take: take }, enumerable: false });

  function start() {
    started = true;
    if (mode === "poll") poll(); else if (socketOpen) flush(); else if (!socket) connect();
  }
  if (mode === "socket") openSocket();
  if (document.readyState === "loading") call(addListener, document, ["DOMContentLoaded", start]);
  else start();
})();
