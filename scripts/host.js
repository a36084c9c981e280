// The runner's side of the support scripts: the host that api.js reports
// to. It writes the test log, one record a line in the format the runner's
// convert mode reads (kind: name=[[[value]]] ...), echoes every event on
// the console through the runtime object's LogNode, and ends the run with
// quorvaneFinal.
//
// The log file is the run parameter "log". A relative name is made
// absolute against the current folder of the top-level run and handed back
// to the runtime object at once, so that nested runs, which get it passed
// on, append to the same file. The top-level run starts the file afresh:
// a log holds one run, so that it converts into one report. Each record is appended and the file closed
// again, so a nested run's records land in order between the parent's and
// nothing is lost when a run dies.
//
// The top-level run (suite "0") writes the suite record; every run writes a
// testfile record for its script. Both come before the run's first event.
// The test file and suite records are announced on the console by the
// runner and the runtime object themselves, so only the other records are
// echoed.

var quorvaneHost = (function () {
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  var forWriting = 2, forAppending = 8;
  var topLevel = String(Quorvane.GetParameter("suite")) === "0";
  var logPath = fso.GetAbsolutePathName(String(Quorvane.GetParameter("log")));
  Quorvane.PutParameter("log", logPath);
  var script = String(Quorvane.GetParameter("file"));
  var headerWritten = false;
  // The top-level run starts the log afresh; nested runs append to it.
  var fresh = topLevel;

  function pad(number) {
    return number < 10 ? "0" + number : String(number);
  }

  // Local time, "YYYY-MM-DD HH:MM:SS", in every record. A run writes many
  // records a second, and each local-time getter is a conversion: the text
  // is made once a second.
  var nowSecond = -1, nowText = "";
  function now() {
    var d = new Date();
    var second = Math.floor(d.getTime() / 1000);
    if (second === nowSecond) return nowText;
    nowSecond = second;
    nowText = d.getFullYear() + "-" + pad(d.getMonth() + 1) + "-" + pad(d.getDate()) + " " +
              pad(d.getHours()) + ":" + pad(d.getMinutes()) + ":" + pad(d.getSeconds());
    return nowText;
  }

  function text(value) {
    return value === undefined || value === null ? "" : String(value);
  }

  // A value as the log carries it: CR and LF as "[\r]" and "[\n]"; a "]]]"
  // (or a "]" at the end, which would join the closing brackets) broken up
  // by a zero-width space, as is a literal "[\r]" or "[\n]", so that the
  // record still reads back as written.
  function escapeValue(value) {
    var s = text(value);
    if (!/[\[\]\r\n]/.test(s)) return s;  // the usual value: nothing to do
    s = s.replace(/\[\\([rn])\]/g, "[\u200B\\$1]");
    s = s.replace(/\r/g, "[\\r]").replace(/\n/g, "[\\n]");
    s = s.replace(/\]\](?=\])/g, "]]\u200B");
    if (s.charAt(s.length - 1) === "]") s += "\u200B";
    return s;
  }

  function attribute(name, value) {
    return name + "=[[[" + escapeValue(value) + "]]]";
  }

  function append(line) {
    var stream = fso.OpenTextFile(logPath, fresh ? forWriting : forAppending, true);
    fresh = false;
    try {
      stream.Write(line + "\n");
    } finally {
      stream.Close();
    }
  }

  function fileName(path) {
    return path.replace(/^.*[\\\/]/, "");
  }

  function writeTestfile() {
    append("testfile: " + attribute("source", fileName(script)) + " " + attribute("date", now()));
  }

  function header() {
    if (headerWritten) return;
    headerWritten = true;
    if (topLevel) {
      var port = text(Quorvane.GetParameter("port"));
      append("suite: " + attribute("source", fileName(script)) + " " +
             attribute("browser", Quorvane.GetParameter("browser")) + " " +
             attribute("host", text(Quorvane.GetParameter("server")) + (port ? ":" + port : "")) + " " +
             attribute("date", now()));
    }
    writeTestfile();
  }

  // `uuid` (optional): the page element the event concerns.
  function record(kind, name, value, uuid) {
    header();
    append(kind + ": " + attribute("name", name) + " " + attribute("value", value) + " " +
           attribute("uuid", uuid) + " " + attribute("date", now()));
    Quorvane.LogNode(text(uuid), kind, text(name), text(value));
    if (kind === "result" && text(value) === "failed") failureEvidence();
  }

  // The evidence of a failed step while a page is open: its URL and title,
  // its HTML as it is now and a screenshot, saved beside the log and
  // recorded ("page url", "page title", "page html" information records and
  // a "failure" screenshot record). What cannot be had (no page left, no
  // screen) is left out; evidence never fails the run.
  var evidenceCount = 0;
  var takingEvidence = false;
  function failureEvidence() {
    // A page that did not answer the failed command would keep the run
    // waiting once more for nothing: its evidence is left out.
    if (!answeringPage || takingEvidence) return;
    takingEvidence = true;
    try {
      var answer = command({ op: "eval", page: answeringPage, timeout: 1000,
                             expression: "document.documentElement.outerHTML" });
      if (!answer.ok) return;
      evidenceCount++;
      var base = logPath.replace(/\.log$/i, "") + ".failure" + evidenceCount;
      record("info", "page url", text(answer.url));
      record("info", "page title", text(answer.title));
      var html = fso.CreateTextFile(base + ".html", true);
      try {
        html.Write(text(answer.value));
      } finally {
        html.Close();
      }
      record("info", "page html", base + ".html");
      var shot = "";
      try {
        command({ op: "painted", page: answeringPage, timeout: 1000 });
        shot = text(Quorvane.ScreenShot("failure"));
      } catch (e) {
        shot = "";
      }
      if (shot && fso.FileExists(shot)) {
        var extension = shot.replace(/^.*(\.[^.\/\\]*)$/, "$1");
        fso.CopyFile(shot, base + extension, true);
        fso.DeleteFile(shot);
        record("screenshot", "failure", base + extension);
      }
    } catch (e) {
      // The page is gone or the file cannot be written: no evidence.
    } finally {
      takingEvidence = false;
    }
  }

  // The command loop. Its contract: command(fields) sends one page command
  // (page_protocol.h) through one call of Quorvane.Remote and returns its
  // answer, the whole of it, as an object: the proxy writes into it the
  // page it concerns ("page"; none for the proxy's own answers) and, when
  // the page itself answered, its "url" and "title". Nothing else carries
  // any part of the answer. The run's current page, whose header the echo
  // shows, is the runtime object's (Remote reads it from the answer); this
  // file keeps only the page of the last answer a page gave itself, for
  // the evidence of a failure. Each page gets its record the first time an
  // answer comes from it. A command blocks this script until it is
  // answered; whatever runs while it waits runs outside this loop.
  var pagesLogged = {};
  // The page that gave the last answer itself; "" when the proxy gave the
  // last answer (it gave up on the page, or answered on its own).
  var answeringPage = "";
  // Commands of a run reach only the pages of the browsers that run
  // opened (its own port of the proxy); other runs' pages are unknown to it.
  var run = null;
  function runId() {
    if (run === null) {
      try {
        run = text(Quorvane.GetParameter("run"));
      } catch (e) {
        run = "";
      }
    }
    return run;
  }
  function command(fields) {
    if (runId()) fields.run = run;
    if (quorvaneNetwork.owner) fields.handlers = quorvaneNetwork.owner;  // a due handler may interrupt it
    fields.id = String(Quorvane.GenerateUUID());
    var answer = remote(fields);
    while (fields.handlers && answer && answer.missed) {
      quorvaneServeDue(answer);
      answer = remote({ op: "resume", run: fields.run, handlers: fields.handlers, call: fields.id });
    }
    if (!answer || typeof answer !== "object") answer = { ok: false, error: "the proxy gave no answer to the command" };
    var page = text(answer.page);
    answeringPage = page && answer.url !== undefined ? page : "";
    pageConsole(answer.console);
    if (answeringPage && !pagesLogged[page]) {
      pagesLogged[page] = true;
      header();
      append("page: " + attribute("name", answer.title) + " " + attribute("url", answer.url) + " " +
             attribute("uuid", page) + " " + attribute("date", now()));
    }
    return answer;
  }

  // A mark of the pages registered so far (the proxy's Mark): a command
  // with it as "after" reaches only pages that register from now on.
  function mark() {
    return Number(proxy().Mark());
  }

  // The answer of one command sent through Quorvane.Remote, or null.
  function remote(fields) {
    try {
      return JSON.parse(text(Quorvane.Remote(JSON.stringify(fields))));
    } catch (e) {
      return null;
    }
  }

  // The page's console errors, warnings and uncaught errors that came
  // with an answer: information records "console" of the running test.
  function pageConsole(lines) {
    if (!lines || typeof lines.length !== "number") return;
    for (var i = 0; i < lines.length; i++) record("info", "console", text(lines[i]));
  }

  function element(name, uuid) {
    header();
    append("element: " + attribute("name", name) + " " + attribute("uuid", uuid) + " " + attribute("date", now()));
    Quorvane.LogElement(text(name), text(uuid));
  }

  function openUrl(browser, url) {
    Quorvane.OpenURL(browser, url);
  }

  function uuid() {
    return String(Quorvane.GenerateUUID());
  }

  function parameter(name) {
    var value;
    try {
      value = Quorvane.GetParameter(name);
    } catch (e) {
      throw new Error("no run parameter '" + name + "'");
    }
    return text(value);
  }

  // With handlers, a sleep runs those that come due meanwhile.
  function sleep(ms) {
    if (!quorvaneNetwork.owner) return Quorvane.Sleep(ms);
    var deadline = new Date().getTime() + (Number(ms) > 0 ? Number(ms) : 0);
    do {
      var due = text(networkCall("AwaitHandler", Math.max(0, deadline - new Date().getTime())));
      if (due) quorvaneServeDue(JSON.parse(due));
    } while (new Date().getTime() < deadline);
  }

  // A file to give a page (`path` relative to the script's folder): its
  // full path and name. Throws, naming it, for a missing file or a folder.
  function scriptFile(path) {
    var full = /^([\/]|[a-zA-Z]:)/.test(path) ? path
        : fso.BuildPath(fso.GetParentFolderName(fso.GetAbsolutePathName(script)), path);
    if (fso.FolderExists(full)) throw new Error("setFiles: " + path + " is a folder, not a file (" + full + ")");
    if (!fso.FileExists(full)) throw new Error("setFiles: there is no file " + path + " (" + full + ")");
    return { path: String(full), name: String(fso.GetFileName(full)) };
  }

  // The screen once the page of the last answer has painted: an action
  // answers before the browser draws its effect, where nothing of the
  // page waits for a frame.
  function screenshot(name) {
    if (answeringPage) {
      try {
        command({ op: "painted", page: answeringPage, timeout: 1000 });
      } catch (e) {
        // The page is gone: the screen as it is.
      }
    }
    return text(Quorvane.ScreenShot(name));
  }

  function runSuite(file) {
    header();
    var status = Quorvane.BenchExec(file);
    // The nested run wrote its own test file; this script's records follow
    // in a test file of their own again.
    writeTestfile();
    return status;
  }

  // The proxy object's own methods (the mark, the network control), made
  // once per run.
  var proxyObject = null;
  function proxy() {
    if (!proxyObject) proxyObject = Quorvane.CreateObject("Quorvane.Proxy");
    return proxyObject;
  }

  // ---- Network control: the run's routes and requests, which the proxy
  // keeps for the run (proxy/network/).
  function networkCall(method, a, b) {
    var id = runId();
    if (!id) throw new Error("this run has no id for the proxy to keep its routes under");
    if (method === "Route") return proxy().Route(id, a);
    if (method === "Unroute") return proxy().Unroute(id, a);
    if (method === "AwaitHandler") return proxy().AwaitHandler(id, quorvaneNetwork.owner, a);
    if (method === "HandlerAnswer") return proxy().HandlerAnswer(id, quorvaneNetwork.owner, a, b.action, b.error);
    if (method === "EndHandlers") return proxy().EndHandlers(id, quorvaneNetwork.owner);
    return proxy().Requests(id, a);
  }
  function handlerAnswer(held, action, error) {
    networkCall("HandlerAnswer", held, { action: action, error: error });
  }
  function route(rule) {
    networkCall("Route", JSON.stringify(rule));
  }
  // `pattern`: the pattern's JSON form; null removes every route.
  function unroute(pattern) {
    networkCall("Unroute", pattern === null ? "" : JSON.stringify(pattern));
  }
  // With handlers, a query that waits runs those that come due meanwhile.
  function requests(query) {
    var interruptible = quorvaneNetwork.owner && query.wait;
    if (interruptible) {
      query.handlers = quorvaneNetwork.owner;
      query.call = uuid();
    }
    var list = JSON.parse(text(networkCall("Requests", JSON.stringify(query))));
    while (interruptible && !(list instanceof Array)) {
      quorvaneServeDue(list);
      list = JSON.parse(text(networkCall("Requests", JSON.stringify({ handlers: query.handlers, resume: query.call }))));
    }
    return list;
  }
  // The folder of the running script, with its separator.
  function scriptFolder() {
    return fso.GetAbsolutePathName(script).replace(/[^\\\/]*$/, "");
  }
  // ---- end of network control

  function counts(passed, failed) {
    var outside = quorvaneApi.failedOutside;
    return passed + " passed, " + failed + " failed" + (outside ? ", " + outside + " failed outside tests" : "");
  }

  // The last statistics; the run's result.
  function finish() {
    header();
    // The script's handlers end with it (a nested suite's run goes on).
    if (quorvaneNetwork.owner) {
      sleep(0);
      networkCall("EndHandlers");
    }
    record("stats", "testfile", counts(quorvaneApi.passedTests, quorvaneApi.failedTests));
    if (topLevel) {
      var suites = quorvaneApi.suites;
      record("stats", "suite", counts(quorvaneApi.passedTests, quorvaneApi.failedTests) +
             (suites ? ", " + suites + " nested suites (" + quorvaneApi.failedSuites + " failed)" : ""));
    }
    return quorvaneFailures();
  }

  return {
    record: record,
    parameter: parameter,
    sleep: sleep,
    scriptFile: scriptFile,
    screenshot: screenshot,
    runSuite: runSuite,
    command: command,
    mark: mark,
    element: element,
    openUrl: openUrl,
    uuid: uuid,
    route: route,
    unroute: unroute,
    requests: requests,
    handlerAnswer: handlerAnswer,
    file: (function () { try { throw new Error("here"); } catch (e) { return String(e.fileName || ""); } })(),
    scriptFolder: scriptFolder,
    finish: finish
  };
})();

// Ends a run whose script did not return earlier: 0 when every test passed,
// else the number of failures (each failed test, and each failed assertion
// outside a test).
function quorvaneFinal() {
  return quorvaneHost.finish();
}
