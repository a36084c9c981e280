// Waiting: the one loop every wait of the agent goes through, and the
// waits for the requests an action started and for a page to be ready.

  // Runs `fn` after `every` ms, or at the next animation frame when `every`
  // is "frame", with a timer behind it: a page out of sight gets no frames,
  // nor does a frame document the browser throttles (out of view), so those
  // wait 100 ms; a page in sight waits up to a second, since a busy
  // machine's frame may come after 100 ms, and an action must not answer
  // before the page's own frame callbacks have drawn its effect.
  // `framesSeen` counts the frames that came: the timer may still run
  // first, and a check run by it has seen no motion since the last.
  var framesSeen = 0;
  function later(fn, every) {
    if (every !== "frame") { setTimeout(fn, every); return; }
    var ran = false;
    var once = function () { if (!ran) { ran = true; fn(); } };
    if (requestFrame) call(requestFrame, window, [function () { framesSeen++; once(); }]);
    var inSight = document.visibilityState !== "hidden" && window.top === window;
    setTimeout(once, inSight ? 1000 : 100);
  }

  // Whether the page may be moving something from frame to frame: it
  // asked for an animation frame lately (jQuery's animations and most
  // scripted motion run on them), it runs an interval timer of a frame or
  // so (older scripted motion), or a CSS animation or transition runs. On
  // a page that does none of these an element stays where it is until a
  // script moves it, so an action need not wait a frame to see it still.
  var pageFrameAsked = -1000, shortIntervals = {}, intervalTicks = 0;
  if (requestFrame) {
    window.requestAnimationFrame = function () {
      pageFrameAsked = dateNow();
      return call(requestFrame, window, arguments);
    };
  }
  var setIntervalOf = window.setInterval, clearIntervalOf = window.clearInterval;
  window.setInterval = function (fn, ms) {
    var args = Array.prototype.slice.call(arguments);
    if (typeof fn === "function" && !(Number(ms) > 50)) {
      args[0] = function () { intervalTicks++; return fn.apply(this, arguments); };
    }
    var id = call(setIntervalOf, window, args);
    if (!(Number(ms) > 50)) shortIntervals[id] = true;
    return id;
  };
  window.clearInterval = function (id) {
    delete shortIntervals[id];
    return call(clearIntervalOf, window, arguments);
  };
  function shortIntervalRuns() {
    for (var id in shortIntervals) if (shortIntervals.hasOwnProperty(id)) return true;
    return false;
  }
  // What the page scheduled lately that may render only later than the
  // task that scheduled it: a timer of a frame or less, a message to
  // itself (the schedulers of some frameworks run their work as one), an
  // observer of intersections or sizes (they report at frames). Each is
  // noted by when it was last asked for; an observer once made stays.
  var zeroTimerSet = -1000, shortTimerSet = -1000, messagePosted = -1000, observing = false;
  // The short timers still to run (by id), with when they were set: an
  // action that set one answers once it has run (its effect may come after
  // the frame).
  var shortTimersPending = {};
  window.setTimeout = function (fn, ms) {
    var delay = Number(ms);
    if (!(delay > 0)) zeroTimerSet = dateNow();
    if (!(delay > 0 && delay <= 20)) return call(setTimeout, window, arguments);
    shortTimerSet = dateNow();
    if (typeof fn !== "function") return call(setTimeout, window, arguments);
    var id;
    var args = Array.prototype.slice.call(arguments);
    args[0] = function () {
      delete shortTimersPending[id];
      return call(fn, this, arguments);
    };
    id = call(setTimeout, window, args);
    shortTimersPending[id] = shortTimerSet;
    return id;
  };
  window.clearTimeout = function (id) {
    delete shortTimersPending[id];
    return call(clearTimeout, window, arguments);
  };
  function shortTimerPending(since, until) {
    for (var n in shortTimersPending) if (shortTimersPending[n] >= since && shortTimersPending[n] <= until) return true;
    return false;
  }
  var windowPost = window.postMessage;
  window.postMessage = function () {
    messagePosted = dateNow();
    return call(windowPost, window, arguments);
  };
  if (window.MessagePort) {
    var portPost = MessagePort.prototype.postMessage;
    MessagePort.prototype.postMessage = function () {
      messagePosted = dateNow();
      return call(portPost, this, arguments);
    };
  }
  var observerTypes = [window.IntersectionObserver, window.ResizeObserver];
  for (var ot = 0; ot < observerTypes.length; ot++) {
    if (!observerTypes[ot] || !observerTypes[ot].prototype.observe) continue;
    (function (proto) {
      var observe = proto.observe;
      proto.observe = function () {
        observing = true;
        return call(observe, this, arguments);
      };
    })(observerTypes[ot].prototype);
  }

  // Whether what an action's events did may show only at the next frame:
  // the page asked for a frame, a short timer or a message since `since`,
  // observes, or moves things. Otherwise the DOM as the events and their
  // promise callbacks left it is what the next frame shows.
  function showsAtNextFrame(since) {
    return pageFrameAsked >= since || shortTimerSet >= since || messagePosted >= since || observing || pageMoving();
  }
  // Whether the page deferred anything since `since`: that, or a timer of
  // no delay.
  function deferredSince(since) { return zeroTimerSet >= since || showsAtNextFrame(since); }

  // Runs `fn` once the promise callbacks queued now have run, and those
  // they queue in turn, a few deep (a framework's render after an await or
  // two): each step queues itself behind them.
  var queueMicrotaskOf = window.queueMicrotask;
  function afterMicrotasks(fn) {
    if (!queueMicrotaskOf) { setTimeout(fn, 0); return; }
    var steps = 0;
    (function step() {
      if (++steps > 20) fn(); else call(queueMicrotaskOf, window, [step]);
    })();
  }

  function pageMoving() {
    if (dateNow() - pageFrameAsked < 200) return true;
    if (shortIntervalRuns()) return true;
    var running = document.getAnimations ? document.getAnimations() : [];
    for (var i = 0; i < running.length; i++) if (running[i].playState === "running") return true;
    return false;
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

  // The load event has passed and the page's own load handlers have run:
  // what "ready" waits for first. Waits for it are called then, once.
  var loadPassed = false, loadWaits = [];
  function loadHasPassed() {
    loadPassed = true;
    var waits = loadWaits;
    loadWaits = [];
    for (var i = 0; i < waits.length; i++) waits[i]();
    settleLoad();
  }
  // "pageshow" comes right after "load" in the same task, once every load
  // listener has returned: a timer after "load" would wait behind the
  // browser's first paint.
  if (document.readyState === "complete") setTimeout(loadHasPassed, 0);
  else call(addListener, window, ["pageshow", function () { if (!loadPassed) loadHasPassed(); }]);

  // Loaded: the load has passed (or the limit), then the page's requests
  // have ended. A page still loading is answered from its load event
  // rather than at the next look of a timer: every navigation of a test
  // waits here.
  function whenReady(c, cmd) {
    var loaded = function () { afterRequests(cmd, 0, null); };
    if (loadPassed) { loaded(); return; }
    loadWaits[loadWaits.length] = loaded;
    setTimeout(function () { cmd.ok(null); }, cmd.limit);
  }

  // Whether the page is as "ready" waits for it, with nothing that waits
  // to travel with an answer: its reports say so ("loaded"), and the proxy
  // answers a "ready" from them, without the round trip to a page that is
  // busy with its first paint. The load has passed and the page's requests
  // have ended (or the wait for them gave up); a report says so at once.
  var loadSettled = false;
  function readyNow() {
    return loadSettled && !leaving && !requestsOpenAfter(0) && !dialogs.length && !consoleLines.length &&
           !pageErrors.length;
  }
  function settleLoad() {
    var settled = function () {
      loadSettled = true;
      if (!current) reportState();
    };
    waitUntil(function () {
      if (requestsOpenAfter(0)) return false;
      settled();
      return true;
    }, requestsLimit, 10, settled);
  }

  // An expression's value. Where the page's policy refuses eval, the
  // expression runs in a script element that carries the agent's nonce and
  // hands its value back through __quorvane.take; that way takes an
