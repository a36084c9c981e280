// Expressions in the page: eval, or a script element with the agent's
// nonce where the page's policy refuses eval.

  // expression only, not a list of statements.
  var evalRefused = false;
  var taking = null;
  function valueOf(expression) {
    if (!evalRefused) {
      try {
        return indirectEval(expression);
      } catch (e) {
        if (!(e instanceof EvalErrorType)) throw e;
        evalRefused = true;
      }
    }
    if (!nonce) throw new Error("the page's policy refuses eval and gives the agent no nonce to run scripts with");
    var token = uuid();
    var outcome = { token: token, done: false, ok: false, value: undefined };
    taking = outcome;
    var el = call(createElement, document, ["script"]);
    call(setAttribute, el, ["nonce", nonce]);
    call(textSetter, el, ["__quorvane.take(\"" + token + "\", function () { return (\n" + expression + "\n); });"]);
    var parent = document.head || document.documentElement;
    call(appendChild, parent, [el]);
    call(removeChild, parent, [el]);
    taking = null;
    if (!outcome.done) {
      throw new Error("the page's policy refuses eval, and '" + expression + "' did not run as an expression");
    }
    if (!outcome.ok) throw outcome.value;
    return outcome.value;
  }
  function take(token, fn) {
    var outcome = taking;
    if (!outcome || outcome.token !== token || outcome.done) return;
    outcome.done = true;
    try { outcome.value = fn(); outcome.ok = true; } catch (e) { outcome.value = e; }
  }

  function evalCommand(c, cmd) {
    current = cmd;
    var value = valueOf(c.expression);
    cmd.ok(value);
  }

  // Waits until the expression is truthy; its value.
  function waitUntilCommand(c, cmd) {
    var last;
    waitUntil(function () {
      last = valueOf(c.expression);
      if (!last) return false;
      cmd.ok(last, { held: true });
      return true;
    }, cmd.limit, 25, function () {
      cmd.fail("waited " + cmd.limit + " ms for '" + c.expression + "' to be true; it was " + String(last), { last: describe(last) });
    }, function (e) { cmd.fail(errorText(e)); });
  }
