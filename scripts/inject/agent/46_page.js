// Commands on the page as a whole: its navigations, closing it, its
// dialogs, its frames, its text, and a wait for what it painted.

  // A navigation the command starts itself: the answer goes first, the
  // navigation follows.
  function navigation(how) {
    return function (c, cmd) {
      cmd.ok(null, { navigating: true });
      setTimeout(function () { how(c); }, 0);
    };
  }

  // Answers, then closes the window; one that scripts may not close is
  // left on an empty page, so this page is gone either way.
  function closeCommand(c, cmd) {
    cmd.ok(null, { closing: true });
    setTimeout(function () {
      window.close();
      if (!window.closed) location.replace("about:blank");
    }, 0);
  }

  // The page uuid of the frame the selector names, once its agent is there.
  function frameCommand(c, cmd) {
    waitUntil(function () {
      var frames = find(c.selector);
      var fw = frames.length && frames[0].contentWindow;
      var fp = "";
      try { fp = fw && fw.__quorvane ? fw.__quorvane.page : ""; } catch (e) { fp = ""; }
      if (!fp) return false;
      cmd.ok(fp);
      return true;
    }, cmd.limit, 50, function () { cmd.fail("no frame with an agent matches " + c.selector); });
  }

  function waitForTextCommand(c, cmd) {
    waitUntil(function () {
      if (textOf(document.body || document.documentElement).indexOf(c.text) < 0) return false;
      cmd.ok(true);
      return true;
    }, cmd.limit, 25, function () {
      cmd.fail("waited " + cmd.limit + " ms for the text '" + c.text + "' to appear");
    });
  }

  // Answers once the page's latest changes are on the screen: two frames
  // (the second begins after the first was drawn) and a moment for the
  // browser to hand the picture to the display. A screenshot taken right
  // after a change would otherwise show the page as it was.
  function paintedCommand(c, cmd) {
    later(function () { later(function () { setTimeout(function () { cmd.ok(true); }, 100); }, "frame"); }, "frame");
  }

  function dialogsCommand(c, cmd) { var seen = dialogs; dialogs = []; cmd.ok(seen); }
  function dialogCommand(c, cmd) { dialogAnswer = c.answer; cmd.ok(null); }

  // Runs `scroll` (which may move the page) as an action that answers once
  // the page's "scroll" event has come for where the page is, when the page
  // moved. Firefox may settle a scroll a pixel away a frame later, with a
  // "scroll" event of its own: the page's listeners see that one too.
  function scrollAction(cmd, scroll) {
    var at = function () { return window.scrollX + "," + window.scrollY; };
    var before = at(), seenAt = null, frameOfEvent = 0;
    var onScroll = function () { seenAt = at(); frameOfEvent = framesSeen; };
    call(addListener, window, ["scroll", onScroll, true]);
    cmd.act(scroll, function () {
      var now = at();
      if (seenAt === null ? now !== before : seenAt !== now) return false;
      // That pixel moves at the paint after the event: the position holds
      // until the frame after that paint (the first frame callback after a
      // "scroll" event may run before the paint that follows it).
      if (seenAt !== null && framesSeen < frameOfEvent + 2) return false;
      call(removeListener, window, ["scroll", onScroll, true]);
      return true;
    });
  }

  // Scrolls the page to a point, or by a distance, in CSS pixels, as one
  // step of a user's scrolling; answers after its "scroll" events and what
  // they started.
  function scrollCommand(by) {
    return function (c, cmd) {
      var x = Number(c.x), y = Number(c.y);
      if (x !== x || y !== y) { cmd.fail("scroll: x and y are numbers"); return; }
      scrollAction(cmd, function () {
        var where = { left: x, top: y, behavior: "instant" };
        try {
          if (by) window.scrollBy(where); else window.scrollTo(where);
        } catch (e) {
          if (by) window.scrollBy(x, y); else window.scrollTo(x, y);
        }
      });
    };
  }

  // The pointer at a point of the viewport (outside it: it leaves the
  // window), and its left button.
  function mouseMoveCommand(c, cmd) {
    var x = Number(c.x), y = Number(c.y);
    if (x !== x || y !== y) { cmd.fail("mouseMove: x and y are numbers"); return; }
    realMouseMove(c, cmd, { x: x, y: y });
  }
  function mouseDownCommand(c, cmd) { realButton(c, cmd, true); }
  function mouseUpCommand(c, cmd) { realButton(c, cmd, false); }

