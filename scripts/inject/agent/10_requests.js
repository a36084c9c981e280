// The page's requests: XMLHttpRequest and fetch, counted as they begin
// and end, so that an action can wait for those its events started.

  // Requests of the page in flight, numbered as they begin, so that an
  // action can wait for those its events started. Only requests to the
  // page's own site count: those to other sites (analytics, tracking,
  // advertising, a log server that never answers) are no part of what the
  // page shows, and a page that sends them on every load would otherwise
  // hold every command up to the wait's cap. A fetch marked keepalive is a
  // beacon by its own word and does not count either.
  var requestsBegun = 0;
  var requestsOpen = {};
  function requestBegins() { var n = ++requestsBegun; requestsOpen[n] = true; return n; }
  function requestEnds(n) { delete requestsOpen[n]; }
  function requestsOpenAfter(mark) {
    for (var n in requestsOpen) if (Number(n) > mark) return true;
    return false;
  }

  // Whether `host` (a host name) belongs to the page's site: the same host,
  // or the same last two labels of a name (www. and api. of one domain).
  var ipHost = /^[0-9.]+$|^\[|:/;
  function siteOf(host) {
    if (ipHost.test(host)) return host;
    var labels = host.split(".");
    return labels.length <= 2 ? host : labels[labels.length - 2] + "." + labels[labels.length - 1];
  }
  function ownSite(url) {
    var host;
    try { host = new URLType(String(url), location.href).hostname; } catch (e) { return true; }
    return !host || siteOf(host.toLowerCase()) === siteOf(location.hostname.toLowerCase());
  }

  // The address each request object was opened with.
  var xhrTargets = new WeakMapType();
  XHR.prototype.open = function (method, url) {
    call(weakMapSet, xhrTargets, [this, url]);
    return call(xhrOpen, this, arguments);
  };
  XHR.prototype.send = function () {
    var self = this;
    if (self.__quorvaneOwn || !ownSite(call(weakMapGet, xhrTargets, [self]))) return call(xhrSend, self, arguments);
    var n = requestBegins();
    call(addListener, self, ["loadend", function () { requestEnds(n); }]);
    try {
      return call(xhrSend, self, arguments);
    } catch (e) {
      // Refused at once (not opened, sent twice, a synchronous request
      // that failed): no loadend follows.
      requestEnds(n);
      throw e;
    }
  };
  if (realFetch) {
    window.fetch = function (resource, options) {
      var url = resource && typeof resource === "object" && resource.url !== undefined ? resource.url : resource;
      var beacon = options && options.keepalive || resource && typeof resource === "object" && resource.keepalive;
      if (beacon || !ownSite(url)) return call(realFetch, window, arguments);
      var n = requestBegins();
      var done = function (v) { requestEnds(n); return v; };
      var fail = function (e) { requestEnds(n); throw e; };
      return call(realFetch, window, arguments).then(done, fail);
    };
  }
