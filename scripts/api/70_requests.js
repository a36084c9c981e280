// The run's requests as the proxy kept them, and the waits for them.

// Removes the rules added with `pattern`.
function unroute(pattern) {
  quorvaneHost.unroute(quorvanePattern(pattern, "unroute()"));
}

function unrouteAll() {
  quorvaneHost.unroute(null);
}

// A request as the proxy saw it.
function QuorvaneRequest(r) {
  this.url = r.url;
  this.method = r.method;
  this.headers = r.headers;
  this.postData = r.postData;
  this.status = r.status;
  this.responseHeaders = r.responseHeaders;
  this.routed = r.routed;
  this.failure = r.failure;
  this.timing = r.timing;
  this.body = r.body;
}
QuorvaneRequest.prototype.postJSON = function () {
  if (this.postData === null) throw new Error("the request " + this.method + " " + this.url + " has no body");
  return JSON.parse(this.postData);
};
QuorvaneRequest.prototype.responseText = function () {
  return this.body;
};
QuorvaneRequest.prototype.responseJSON = function () {
  return JSON.parse(this.body);
};
QuorvaneRequest.prototype.toString = function () {
  return this.method + " " + this.url + (this.status ? " " + this.status : "") + (this.failure ? " (" + this.failure + ")" : "");
};

function quorvaneRequests(query) {
  var list = quorvaneHost.requests(query), out = [];
  for (var i = 0; i < list.length; i++) out[i] = new QuorvaneRequest(list[i]);
  return out;
}

// The run's requests that match `pattern` (all without one), oldest first.
function requests(pattern) {
  var query = {};
  if (pattern !== undefined) query.pattern = quorvanePattern(pattern, "requests()");
  return quorvaneRequests(query);
}

// The first request (waitResponse: whose answer has ended) that matches
// and came after the script's last action; throws after `ms` (default
// pageTimeouts().action) listing the requests seen since that action.
function quorvaneWaitRequest(what, pattern, ms, ended) {
  var limit = quorvaneLimit(ms);
  var query = { pattern: quorvanePattern(pattern, what), since: quorvaneNetwork.since, first: true, ended: ended,
                wait: limit };
  var found = quorvaneRequests(query);
  if (found.length) return found[0];
  var seen = quorvaneRequests({ since: quorvaneNetwork.since });
  var list = [];
  for (var i = 0; i < seen.length && i < 20; i++) list[i] = seen[i].toString();
  throw new Error(what + ": no " + (ended ? "answered " : "") + "request matched " + quorvanePatternLabel(pattern) +
                  " within " + limit + " ms; seen since the last action: " +
                  (list.length ? list.join("; ") + (seen.length > 20 ? "; ..." : "") : "none"));
}

function waitRequest(pattern, ms) {
  return quorvaneWaitRequest("waitRequest", pattern, ms, false);
}

function waitResponse(pattern, ms) {
  return quorvaneWaitRequest("waitResponse", pattern, ms, true);
}
