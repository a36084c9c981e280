// The table of commands, by "op", and the one way a command is run. Each
// entry gets the command's fields and its Command, and answers through
// that. One entry a line: scripts/README.md's op table is checked against
// these names.

  var ops = {
    info: function (c, cmd) { cmd.ok(null); },
    eval: evalCommand,
    waitUntil: waitUntilCommand,
    ready: whenReady,
    painted: paintedCommand,
    dialogs: dialogsCommand,
    dialog: dialogCommand,
    navigate: navigation(function (c) { location.href = c.url; }),
    back: navigation(function () { history.back(); }),
    reload: navigation(function () { location.reload(); }),
    close: closeCommand,
    frame: frameCommand,
    waitForText: waitForTextCommand,
    errors: errorsCommand,
    scrollTo: scrollCommand(false),
    scrollBy: scrollCommand(true),
    mouseMove: mouseMoveCommand,
    mouseDown: mouseDownCommand,
    mouseUp: mouseUpCommand,
    count: query(function (list) { return list.length; }),
    visibleCount: query(visibleCount),
    exists: query(function (list) { return list.length > 0; }),
    visible: query(function (list) { return list.length > 0 && visible(list[0]); }),
    text: elementRead(textOf),
    value: elementRead(function (el) { return el.value; }),
    attr: elementRead(function (el, name) { return el.getAttribute(name); }),
    prop: elementRead(propertyOf),
    waitFor: waitForCommand,
    waitText: waitText,
    waitValue: waitValue,
    waitCount: waitCount,
    waitVisible: waitVisible,
    waitHidden: waitHidden,
    click: elementAction(function (el) { click(el, 1); }, "clickable"),
    dblclick: elementAction(function (el) { click(el, 2); }, "clickable"),
    hover: function (c, cmd) { withElement(c, cmd, "pointer", function (el) { realHover(c, cmd, el); }); },
    pointed: pointedCommand,
    rightClick: elementAction(function (el) { rightClick(el); }, "clickable"),
    dragTo: dragCommand,
    scrollIntoView: scrollIntoViewCommand,
    type: elementAction(function (el, text) { type(el, text); }),
    clear: elementAction(function (el) { clear(el); }),
    press: elementAction(function (el, key) { press(el, key); }),
    select: elementAction(function (el, wanted) { select(el, wanted); }),
    check: elementAction(function (el) { check(el, true); }, "clickable"),
    uncheck: elementAction(function (el) { check(el, false); }, "clickable"),
    submit: elementAction(function (el) { submit(el.form || el); })
  };

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
