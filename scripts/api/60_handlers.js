// Handler functions: route(pattern, function (request) {...}). The
// proxy holds a matching request until the script runs the handler, which
// it does whenever it waits in the proxy (a page command, a wait, sleep,
// waitRequest): the host's wait ends early with the request due, and
// quorvaneServeDue runs the handler and gives the proxy its answer.
// A host offers for this: handlerAnswer(id, action, error).

// The handlers of this script by id, and the script's name for them at
// the proxy (its runs of nested suites share the run, not the handlers).
quorvaneNetwork.handlers = {};
quorvaneNetwork.handlerCount = 0;
quorvaneNetwork.owner = "";

function quorvaneRouteHandler(pattern, handler) {
  var rule = { pattern: quorvanePattern(pattern, "route()"), label: quorvanePatternLabel(pattern) };
  if (!quorvaneNetwork.owner) quorvaneNetwork.owner = quorvaneHost.uuid();
  var id = String(++quorvaneNetwork.handlerCount);
  rule.handler = { owner: quorvaneNetwork.owner, id: id, limit: quorvanePages.action };
  quorvaneNetwork.handlers[id] = { fn: handler, label: rule.label };
  quorvaneHost.route(rule);
}

// An error of the network control in the running test (so it fails), or
// outside tests a failure of the run.
function quorvaneNetworkError(text) {
  if (quorvaneApi.current) quorvaneApi.current.errors++; else quorvaneApi.failedOutside++;
  quorvaneHost.record("error", "handler", text);
}

// Where in the script an error was thrown: " (line N)" from its stack's
// first frame in a block of code outside the support scripts (the
// engine's own frames name its source files), or "".
var quorvaneSupportFile = (function () {
  try { throw new Error("here"); } catch (e) { return String(e.fileName || ""); }
})();
function quorvaneErrorLine(e) {
  if (e === null || typeof e !== "object") return "";
  var stack = String(e.stack || ""), re = /\((block \d+):(\d+)\)/g, m;
  while ((m = re.exec(stack)) !== null) {
    if (m[1] !== quorvaneSupportFile && m[1] !== quorvaneHostFile()) return " (line " + m[2] + ")";
  }
  if (e.lineNumber && String(e.fileName) !== quorvaneSupportFile) return " (line " + e.lineNumber + ")";
  return "";
}
function quorvaneHostFile() {
  return typeof quorvaneHost.file === "string" ? quorvaneHost.file : "";
}

// What the proxy said is due while the script waited: the notes of
// requests that waited in vain (errors of the running test), and a request
// for a handler, which runs now.
function quorvaneServeDue(due) {
  var missed = due.missed || [];
  for (var i = 0; i < missed.length; i++) quorvaneNetworkError(String(missed[i]));
  if (!due.due) return;
  var held = due.due;
  var entry = quorvaneNetwork.handlers[held.handler];
  var action = "", error = "";
  try {
    if (!entry) throw new Error("this script has no handler " + held.handler);
    var result = entry.fn(new QuorvaneRequest(held.request));
    if (result !== undefined && result !== null) {
      if (typeof result !== "object" || result instanceof Array) {
        throw new Error("the handler returned " + String(result) + ", not an action object");
      }
      action = JSON.stringify(quorvaneAction(result));
    }
  } catch (e) {
    error = quorvaneErrorText(e) + quorvaneErrorLine(e);
  }
  var what = "the handler of route " + held.route + " for " + held.request.method + " " + held.request.url;
  if (error) quorvaneNetworkError(what + " threw: " + error);
  try {
    quorvaneHost.handlerAnswer(held.id, action, error);
  } catch (e) {
    if (!error) quorvaneNetworkError(what + ": " + quorvaneErrorText(e));
  }
}
