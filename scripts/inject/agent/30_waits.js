// Waiting: the one loop every wait of the agent goes through, and the
// waits for the requests an action started and for a page to be ready.

  // Runs `fn` after `every` ms, or at the next animation frame when `every`
  // is "frame" (with a timer behind it: a page out of sight gets no frames).
  // `framesSeen` counts the frames that came: on a busy machine the timer
  // may run first, and a check run by it has seen no motion since the last.
  var framesSeen = 0;
  function later(fn, every) {
    if (every !== "frame") { setTimeout(fn, every); return; }
    var ran = false;
    var once = function () { if (!ran) { ran = true; fn(); } };
    if (requestFrame) call(requestFrame, window, [function () { framesSeen++; once(); }]);
    setTimeout(once, 100);
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
