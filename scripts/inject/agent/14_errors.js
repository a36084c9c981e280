// The page's console errors and warnings, its uncaught errors and
// unhandled rejections: for the test's records, and for the test itself
// (op "errors"), from the agent's start on, so an error while the page
// loads is kept too.

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

  // The uncaught errors and unhandled rejections not yet read by the test
  // (at most 100), each as a text with its source and line. They travel
  // with the next answer as well (field "errors"), so that those of a page
  // that navigated away are not lost with it.
  var pageErrors = [];
  function noteError(text) {
    if (pageErrors.length < 100) pageErrors[pageErrors.length] = text;
  }
  // "message (source:line:column)": the source and line of the error
  // event, else the first place its stack names.
  function placed(message, source, line, column, stack) {
    if (!source && typeof stack === "string") {
      var at = /((?:https?|file):\/\/[^\s()]+?):(\d+):(\d+)/.exec(stack);
      if (at) { source = at[1]; line = at[2]; column = at[3]; }
    }
    if (!source) return message;
    return message + " (" + source + ":" + (line || 0) + (column ? ":" + column : "") + ")";
  }
  call(addListener, window, ["error", function (e) {
    var error = e && e.error;
    noteConsole("uncaught", [error && error.message ? error.message : e && e.message]);
    var text = error && error.message !== undefined ? (error.name ? error.name + ": " : "") + error.message
                                                    : String(e && e.message);
    noteError(placed(text, e.filename, e.lineno, e.colno, e.error && e.error.stack));
  }]);
  call(addListener, window, ["unhandledrejection", function (e) {
    var reason = e && e.reason;
    noteConsole("unhandled rejection", [reason && reason.message ? reason.message : reason]);
    var text = reason && reason.message !== undefined ? (reason.name ? reason.name + ": " : "") + reason.message : String(reason);
    noteError(placed("Unhandled rejection: " + text, "", 0, 0, reason && reason.stack));
  }]);

  // A browser reports an unhandled rejection in a task of its own, queued
  // after the task that left it unhandled (an action's click, whose answer
  // may already be out) and not always run before the command's message:
  // the errors are read a few milliseconds on, when it has run.
  function errorsCommand(c, cmd) {
    setTimeout(function () { var seen = pageErrors; pageErrors = []; cmd.ok(seen); }, 10);
  }
