// Element commands: waiting for the element to be there (and for an
// action, ready to take input), then acting or reading.

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

  function waitForCommand(c, cmd) { withElement(c, cmd, "visible", function () { cmd.ok(true); }, true); }

  // The waiting reads.
  var waitText = elementWait(matchingRead(textOf), function (c) { return "to have the text " + matcher(c).what; });
  var waitValue = elementWait(matchingRead(function (el) { return el.value; }),
                              function (c) { return "to have the value " + matcher(c).what; });
  var waitCount = elementWait(function (list, c) {
    var n = visibleCount(list);
    return { held: n === Number(c.arg), seen: n };
  }, function (c) { return "to show " + c.arg + " times"; });
  var waitVisible = elementWait(function (list) {
    var shown = list.length > 0 && visible(list[0]);
    return { held: shown, seen: list.length ? "hidden" : undefined, value: true };
  }, function () { return "to be visible"; });
  var waitHidden = elementWait(function (list) {
    var hidden = !list.length || !visible(list[0]);
    return { held: hidden, seen: "visible", value: true };
  }, function () { return "to be hidden"; });

