// Element commands: waiting for the element to be there (and for an
// action, ready to take input), then acting or reading.

  // Whether a user sees the element's centre: inside the window, and not
  // cut off by a scrolled box around it.
  function inView(el) {
    var r = call(getRect, el);
    var cx = r.left + r.width / 2, cy = r.top + r.height / 2;
    if (cx < 0 || cy < 0 || cx >= window.innerWidth || cy >= window.innerHeight) return false;
    for (var n = el.parentElement; n && n !== document.body && n !== document.documentElement; n = n.parentElement) {
      var style = getComputedStyle(n);
      if (style.overflowX === "visible" && style.overflowY === "visible") continue;
      var box = call(getRect, n);
      if (cx < box.left || cx >= box.right || cy < box.top || cy >= box.bottom) return false;
    }
    return true;
  }

  // Scrolls the element into the middle of the view as a user would, in
  // one step: the page's scroll listeners get their "scroll" events at the
  // next frame, as for a user's scrolling.
  function scrollToElement(el) {
    try { el.scrollIntoView({ block: "center", inline: "center", behavior: "instant" }); } catch (e) { el.scrollIntoView(); }
  }

  // What a user's pointer would hit at the element's centre instead of it:
  // another element on top (an overlay, a cookie banner, a dialog's
  // backdrop); null where the element gets it. Its own label counts as the
  // element (a styled checkbox hides its input under the label), and so
  // does an element around it (the pointer passes through one that has
  // `pointer-events: none`, or through a gap of an inline element).
  function coverOf(el) {
    var r = call(getRect, el);
    var root = el.getRootNode ? el.getRootNode() : document;
    if (!root.elementFromPoint) root = document;
    var hit = root.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2);
    if (!hit || hit === el || el.contains(hit)) return null;
    for (var n = el; n; n = n.parentNode || n.host) if (n === hit) return null;
    var label = hit.closest ? hit.closest("label") : null;
    if (label && label.control === el) return null;
    return hit;
  }

  function nameOf(el) {
    var name = el.tagName.toLowerCase() + (el.id ? "#" + el.id : "");
    var classes = typeof el.className === "string" ? el.className.split(/\s+/) : [];
    for (var i = 0; i < classes.length && i < 2; i++) if (classes[i]) name += "." + classes[i];
    return name;
  }

  // What an action waits for before it acts; true, or what is missing. An
  // element out of view is scrolled into view first (once), then waited
  // for to stand still there. "clickable": an action of the pointer, whose
  // element has to be the one the pointer hits, not one on top of it, as
  // for a user. "pointer": as that, but may be disabled (a hover).
  function ready(el, need, state) {
    var placed = readyInPlace(el, need, state);
    if (placed !== true || (need !== "clickable" && need !== "pointer")) return placed;
    var cover = coverOf(el);
    return cover ? "be uncovered (" + nameOf(cover) + " is over it)" : true;
  }

  function readyInPlace(el, need, state) {
    if (need === "exists") return true;
    if (!visible(el)) return "be visible";
    if (need === "visible") return true;
    if ((need === "actionable" || need === "clickable") && el.disabled) return "be enabled";
    if (!state.scrolled && !inView(el)) {
      state.scrolled = true;
      scrollToElement(el);
      state.box = "";
      return "stand still";
    }
    // Still: the same box when the next animation frame comes as before it
    // (an animation or transition moves it from frame to frame); at once
    // where nothing moves by itself and nothing was scrolled just now. On
    // a page that moves things, for two frames and 60 ms: a timer's step
    // may miss a frame, more so on a busy machine. A look counts only when
    // a frame came since the last (and a step of the page's short interval
    // timers ran, where they run): between frames nothing moves, and a
    // busy machine may give none for longer than the fallback timer waits.
    // A page out of sight gets no frames: there, a second of the same box.
    if (state.box === undefined && !pageMoving()) return true;
    var r = call(getRect, el);
    var box = r.left + "," + r.top + "," + r.width + "," + r.height;
    var looked = state.frames !== framesSeen && (!shortIntervalRuns() || state.ticks !== intervalTicks);
    if (state.box !== box) {
      state.box = box; state.same = 0; state.since = dateNow();
      state.frames = framesSeen; state.ticks = intervalTicks;
      return "stand still";
    }
    if (!looked) return pageMoving() && dateNow() - state.since < 1000 ? "stand still" : true;
    state.same++;
    state.frames = framesSeen; state.ticks = intervalTicks;
    return !pageMoving() || (state.same >= 2 && dateNow() - state.since >= 60) ? true : "stand still";
  }

  // Waits until the command's element is there as `need` asks, then calls
  // `then` with it. Without waiting (the test asked for none, and the
  // command is no wait itself) the element has to be there at once.
  function withElement(c, cmd, need, then, always) {
    var state = {};
    var missing = "exist";
    var every = need === "actionable" || need === "clickable" || need === "pointer" ? "frame" : 25;
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

  // A DOM property of the element; a dotted path ("validity.valid") reads
  // through the objects on the way.
  function propertyOf(el, path) {
    var parts = String(path === null || path === undefined ? "" : path).split(".");
    var value = el, read = "";
    for (var i = 0; i < parts.length; i++) {
      if (parts[i] === "") throw new Error("no property '" + path + "'");
      if (value === null || value === undefined) {
        throw new Error("'" + read + "' is " + String(value) + ", so it has no '" + parts[i] + "'");
      }
      value = value[parts[i]];
      read += (i ? "." : "") + parts[i];
    }
    return typeof value === "function" ? "function" : value;
  }

  // Brings the element into view unless a user sees it already.
  function scrollIntoViewCommand(c, cmd) {
    withElement(c, cmd, "visible", function (el) {
      scrollAction(cmd, function () { if (!inView(el)) scrollToElement(el); });
    });
  }

  // A drag of the element onto the element `c.target` names, which has to
  // exist and be visible too.
  function dragCommand(c, cmd) {
    withElement(c, cmd, "clickable", function (el) {
      var goal = find(String(c.target));
      if (!goal.length || !visible(goal[0])) {
        cmd.fail("'" + c.target + "' (where to drag to) " + (goal.length ? "is not visible" : "does not exist"));
        return;
      }
      realDrag(c, cmd, el, goal[0]);
    });
  }

