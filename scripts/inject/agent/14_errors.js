// The page's console errors and warnings, its uncaught errors and
// unhandled rejections.

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
  call(addListener, window, ["error", function (e) {
    noteConsole("uncaught", [e && e.error && e.error.message ? e.error.message : e && e.message]);
  }]);
  call(addListener, window, ["unhandledrejection", function (e) {
    var reason = e && e.reason;
    noteConsole("unhandled rejection", [reason && reason.message ? reason.message : reason]);
  }]);
