// Waiting: the one loop every wait of the agent goes through, and the
// waits for the requests an action started and for a page to be ready.

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
