// Network control: routes and requests of the whole run.
//
// Rules are kept and applied by the proxy for all of the run's pages and
// browsers; the run's requests are kept there too (the newest 10000).
// A host offers for this: route(rule), unroute(pattern or null),
// requests(query) and scriptFolder().
var quorvaneNetwork = {
  since: 0  // when the script's last action began (ms since the epoch)
};

// A pattern as the proxy reads it: a glob text, a RegExp, or {url, method}.
function quorvanePattern(pattern, what) {
  if (pattern instanceof RegExp) return { regex: pattern.source, flags: pattern.ignoreCase ? "i" : "" };
  if (typeof pattern === "string") return { glob: pattern };
  if (pattern !== null && typeof pattern === "object" && !(pattern instanceof Array)) {
    var out = pattern.url === undefined ? {} : quorvanePattern(pattern.url, what);
    if (pattern.method !== undefined) out.method = String(pattern.method);
    return out;
  }
  throw new Error(what + ": the pattern is not a URL glob, a RegExp or {url, method} (got " + String(pattern) + ")");
}

function quorvanePatternLabel(pattern) {
  if (pattern !== null && typeof pattern === "object" && !(pattern instanceof RegExp)) {
    return (pattern.method ? String(pattern.method) + " " : "") + (pattern.url === undefined ? "" : String(pattern.url));
  }
  return String(pattern);
}

// The action as the proxy reads it: `file` made absolute against the
// script's folder, RegExps of response.replace in their JSON form, `times`
// taken out to the rule.
function quorvaneAction(action) {
  var out = {}, key;
  for (key in action) if (action.hasOwnProperty(key) && key !== "times") out[key] = action[key];
  if (typeof out.file === "string" && !/^([a-zA-Z]:)?[\\\/]/.test(out.file)) out.file = quorvaneHost.scriptFolder() + out.file;
  if (out.response && out.response.replace instanceof Array) {
    var replace = [];
    for (var i = 0; i < out.response.replace.length; i++) {
      var pair = out.response.replace[i];
      if (!(pair instanceof Array) || pair.length !== 2) {
        throw new Error("route(): the action.response.replace[" + i + "] is not a pair [from, to]");
      }
      var from = pair[0];
      if (from instanceof RegExp) {
        from = { regex: from.source, flags: (from.global ? "g" : "") + (from.ignoreCase ? "i" : "") };
      }
      replace[i] = [from, pair[1]];
    }
    out.response = { status: out.response.status, headers: out.response.headers, replace: replace };
  }
  return out;
}

// Adds a rule for the whole run, tried before the rules added earlier:
// `action` is an object that the proxy applies itself ({status, headers,
// body}, {json}, {file}, {base64}, {abort}, {delay}, {throttle},
// {continue}, {response}, with times: n). Bad input throws at once and
// adds nothing.
function route(pattern, action) {
  if (typeof action === "function") return quorvaneRouteHandler(pattern, action);
  if (action === null || typeof action !== "object" || action instanceof Array) {
    throw new Error("route(): the action is not an object (got " + String(action) + ")");
  }
  var rule = { pattern: quorvanePattern(pattern, "route()"), label: quorvanePatternLabel(pattern),
               action: quorvaneAction(action) };
  if (action.times !== undefined) rule.times = action.times;
  quorvaneHost.route(rule);
}

// Answers the run's requests from the entries of the HAR `file` (relative
// to the script), in the proxy: by method and URL, the query's parameters
// in any order, the header fields the page set, and the body. `options`:
// ignoreQuery (names, or true for all), ignoreHeaders (the same), body
// ("exact", "ignore" or "json"), notFound ("abort" or "fallback": to the
// older rules and the network), url (a pattern: only those requests).
// A HAR that does not parse or lacks a field throws at once, naming its
// path and the first entry at fault; nothing is added then.
function routeFromHar(file, options) {
  if (typeof file !== "string" || file === "") {
    throw new Error("routeFromHar(): the file is not a path (got " + String(file) + ")");
  }
  if (options === undefined || options === null) options = {};
  if (typeof options !== "object" || options instanceof Array) {
    throw new Error("routeFromHar(): the options are not an object (got " + String(options) + ")");
  }
  var path = /^([a-zA-Z]:)?[\\\/]/.test(file) ? file : quorvaneHost.scriptFolder() + file;
  var rest = {}, key;
  for (key in options) if (options.hasOwnProperty(key) && key !== "url") rest[key] = options[key];
  var url = options.url === undefined ? "**" : options.url;
  quorvaneHost.route({ pattern: quorvanePattern(url, "routeFromHar(): the options.url"),
                       label: "routeFromHar " + file, har: { file: path, options: rest } });
}
