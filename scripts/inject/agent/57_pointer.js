// The real pointer: where the run has a display, a command that moves the
// pointer or presses its button ("pointer": true) is not acted out with
// the page's own events. The agent waits for the element as before, then
// answers with the steps for the screen's pointer ("pointer": moves in
// screen pixels, presses, releases, pauses); the runner does them and
// sends "pointed", which waits until the browser has delivered their
// events (trusted, with its own hover, sliders and drag and drop) and then
// settles as any action does. A drag takes two rounds: the pointer first
// goes to the source, so that where the viewport lies on the screen is
// known from the browser's own event before a button goes down.
//
// Where the real input does not reach the page (a frame, a window hidden
// or covered by another, the runner's pointer failing), the agent acts
// the command out with page events instead, as in a headless browser.

  // The viewport's top left corner on the screen, in CSS pixels, once a
  // trusted mouse event has told it (its screen and client points).
  var screenOrigin = null;
  // Where the real pointer last was over the viewport (client point), and
  // whether it is over it now.
  var realAt = null, realInside = false;
  // The real input under way: { phases, expect, fallback, mark, began,
  // seen (trusted event types since the phase began), moved (client points
  // of the trusted moves) }.
  var pointing = null;

  // Whether the loaded page has been drawn: two animation frames have run
  // since its load. Chromium was seen to take no pointer moves at all into
  // a document it had not painted yet (on a busy machine the first paint
  // comes late), and a move not taken gives no :hover: the first real
  // input of a page waits for its paint, a second at most.
  var drawn = !requestFrame;
  loadWaits[loadWaits.length] = function () {
    if (!requestFrame) return;
    call(requestFrame, window, [function () {
      call(requestFrame, window, [function () { drawn = true; }]);
    }]);
  };

  function noteTrusted(e) {
    if (!e.isTrusted) return;
    if (e.type === "mouseout" && !e.relatedTarget) {
      realInside = false;
    } else if (e.type !== "dragend" && e.type !== "drop") {
      screenOrigin = { x: e.screenX - e.clientX, y: e.screenY - e.clientY };
      realAt = { x: e.clientX, y: e.clientY };
      realInside = true;
    }
    if (pointing) {
      pointing.reached = true;
      pointing.seen[pointing.seen.length] = e.type;
      if (e.type === "mousemove" || e.type === "mouseover" || e.type === "dragover") {
        pointing.moved[pointing.moved.length] = { x: e.clientX, y: e.clientY };
      }
    }
  }
  var trustedTypes = ["mousemove", "mouseover", "mouseout", "mousedown", "mouseup", "click", "dragstart",
                      "dragover", "drop", "dragend"];
  for (var t = 0; t < trustedTypes.length; t++) call(addListener, window, [trustedTypes[t], noteTrusted, true]);

  // The viewport on the screen: as the browser's events tell it, else as
  // the window tells it (Firefox knows it; Chromium's toolbars are above
  // the page and its borders even on both sides).
  function viewportOrigin() {
    if (screenOrigin) return screenOrigin;
    if (window.mozInnerScreenX !== undefined) return { x: window.mozInnerScreenX, y: window.mozInnerScreenY };
    return { x: window.screenX + (window.outerWidth - window.innerWidth) / 2,
             y: window.screenY + window.outerHeight - window.innerHeight };
  }
  function screenMove(at) {
    var o = viewportOrigin(), ratio = window.devicePixelRatio || 1;
    return { move: [Math.round((o.x + at.x) * ratio), Math.round((o.y + at.y) * ratio)] };
  }
  function insideViewport(at) {
    return at.x >= 0 && at.y >= 0 && at.x < window.innerWidth && at.y < window.innerHeight;
  }
  function samePoint(a, b) { return a && b && Math.abs(a.x - b.x) <= 1 && Math.abs(a.y - b.y) <= 1; }

  // Whether this command goes to the real pointer.
  function realPointer(c) {
    return c.pointer === true && window.top === window && document.visibilityState !== "hidden";
  }

  // A phase: the steps and what has to come of them. `to`: the pointer
  // goes there (a client point); `events`: any of these types has to come.
  function movePhase(at) {
    return { steps: [screenMove(at)], to: at, events: null };
  }
  function buttonPhase(steps, events) { return { steps: steps, to: null, events: events }; }

  // Starts real input for `cmd`: answers with the first phase's steps.
  // `fallback` acts the same out with page events.
  function point(cmd, phases, fallback) {
    pointing = { phases: phases, fallback: fallback, mark: requestsBegun, began: dateNow(), corrected: false };
    watching = { events: [] };
    if (drawn) { nextPhase(cmd); return; }
    waitUntil(function () {
      if (!drawn) return false;
      nextPhase(cmd);
      return true;
    }, 1000, 10, function () {
      drawn = true;
      nextPhase(cmd);
    });
  }
  // A phase given as a function is made when it comes, from where the
  // pointer is known to be by then.
  function nextPhase(cmd) {
    var phase = pointing.phases.shift();
    if (typeof phase === "function") phase = phase();
    pointing.phase = phase;
    pointing.seen = [];
    pointing.moved = [];
    // Nothing moves where the pointer is already.
    pointing.still = phase.to && realInside && samePoint(realAt, phase.to);
    cmd.ok(null, { pointer: phase.steps });
  }

  // Whether the phase's input has come: true, false (not yet), or
  // "elsewhere" (the pointer came, to another point).
  function arrived(p) {
    var phase = p.phase;
    if (phase.events) {
      for (var i = 0; i < p.seen.length; i++) if (phase.events.indexOf(p.seen[i]) >= 0) return true;
      return false;
    }
    if (p.still) return true;
    if (!insideViewport(phase.to)) return !realInside;
    for (var j = 0; j < p.moved.length; j++) if (samePoint(p.moved[j], phase.to)) return true;
    return p.moved.length ? "elsewhere" : false;
  }

  // "pointed": the runner did the steps ("failed": it could not).
  function pointedCommand(c, cmd) {
    var p = pointing;
    if (!p) { cmd.fail("no real pointer input is under way"); return; }
    if (c.failed) { fallBack(cmd, p); return; }
    var asked = dateNow();
    waitUntil(function () {
      var got = arrived(p);
      if (got === false && !p.seen.length && !p.nudged && p.phase.to && insideViewport(p.phase.to) &&
          dateNow() - asked >= 250) {
        // A browser may miss the first move into a window it has just
        // opened: the pointer goes a pixel aside and back.
        p.nudged = true;
        var to = p.phase.to;
        p.phases.unshift({ steps: [screenMove({ x: to.x + 1, y: to.y }), { pause: 20 }, screenMove(to)], to: to,
                           events: null });
        nextPhase(cmd);
        return true;
      }
      if (got === false) return false;
      if (got === "elsewhere" && !p.corrected) {
        // The browser told where the viewport is: the pointer goes again.
        p.corrected = true;
        p.phases.unshift(movePhase(p.phase.to));
        nextPhase(cmd);
        return true;
      }
      if (p.phases.length) nextPhase(cmd);
      else finishPointing(cmd, p);
      return true;
    }, 1000, 10, function () {
      // The rounds go on whatever came of this one: a button pressed comes
      // up again. A move out of the window from outside it moves nothing
      // the page sees; input of which nothing ever came did not reach the
      // page, which then acts on its own.
      if (p.phases.length) nextPhase(cmd);
      else if (p.reached || (p.phase.to && !insideViewport(p.phase.to))) finishPointing(cmd, p);
      else fallBack(cmd, p);
    });
  }

  function finishPointing(cmd, p) {
    pointing = null;
    // Page events that follow (a click) leave what the real pointer is over.
    under = realInside && realAt ? elementAt(realAt) : null;
    var seen = watching ? watching.events : [];
    watching = null;
    cmd.afterEvents(p.mark, p.began, seen, null);
  }
  function fallBack(cmd, p) {
    pointing = null;
    watching = null;
    cmd.act(p.fallback);
  }

  // The commands: each acts out with page events unless real.
  function realHover(c, cmd, el) {
    var at = centreOf(el);
    if (!realPointer(c)) { cmd.act(function () { hover(el); }); return; }
    pointerAt = at;
    point(cmd, [movePhase(at)], function () { moveTo(hit(el, at), at); });
  }
  function realMouseMove(c, cmd, at) {
    if (!realPointer(c)) { cmd.act(function () { moveToPoint(at); }); return; }
    pointerAt = at;
    var phase = movePhase(at);
    // Out of the window by way of its edge, as a hand moves: the browser
    // sees the pointer inside before it leaves.
    if (!insideViewport(at)) {
      var edge = { x: Math.min(Math.max(at.x, 1), window.innerWidth - 2), y: Math.min(Math.max(at.y, 1), window.innerHeight - 2) };
      phase.steps = [screenMove(edge), { pause: 30 }, screenMove(at)];
    }
    point(cmd, [phase], function () { moveToPoint(at); });
  }
  function realButton(c, cmd, down) {
    if (!realPointer(c)) { cmd.act(down ? buttonDown : buttonUp); return; }
    var steps = [screenMove(pointerAt), down ? { press: 1 } : { release: 1 }];
    pressed = down ? 1 : 0;
    point(cmd, [buttonPhase(steps, down ? ["mousedown", "dragstart"] : ["mouseup", "click", "drop", "dragend"])],
          down ? buttonDown : buttonUp);
  }

  // A drag in `steps` moves with pauses between them, in rounds that each
  // wait for the browser: the button goes down and the pointer takes its
  // first step (until the browser begins its own drag and drop, or the
  // page gets the move), the pointer goes the rest of the way (until the
  // drop target is dragged over, or the page gets the last move), and the
  // button comes up (until the drop or the mouseup). A browser starts
  // and follows its own drag at its own pace, which a busy machine slows.
  function realDrag(c, cmd, el, goal) {
    var steps = Number(c.steps) > 0 ? Math.floor(Number(c.steps)) : 5;
    var from = centreOf(el), to = centreOf(goal);
    if (!realPointer(c)) { cmd.act(function () { dragTo(el, goal, steps); }); return; }
    var native = draggableOf(hit(el, from)) !== null;
    var points = stepsBetween(from, to, steps);
    var begin = function () {
      return buttonPhase([{ press: 1 }, { pause: 50 }, screenMove(points[0]), { pause: 30 }],
                         native ? ["dragstart"] : ["mousemove"]);
    };
    var rest = function () {
      var moves = [];
      for (var i = 1; i < points.length; i++) {
        moves[moves.length] = screenMove(points[i]);
        moves[moves.length] = { pause: 30 };
      }
      // Once more a pixel aside and back: the drop target sees the pointer
      // over it after the drag has begun.
      moves[moves.length] = screenMove({ x: to.x + 1, y: to.y });
      moves[moves.length] = { pause: 30 };
      moves[moves.length] = screenMove(to);
      return buttonPhase(moves, native ? ["dragover"] : ["mousemove"]);
    };
    var end = function () {
      return buttonPhase([{ pause: 30 }, { release: 1 }], ["mouseup", "drop", "dragend"]);
    };
    pointerAt = to;
    point(cmd, [movePhase(from), begin, rest, end], function () { dragTo(el, goal, steps); });
  }
