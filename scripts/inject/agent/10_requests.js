// The page's requests: XMLHttpRequest and fetch, counted as they begin
// and end, so that an action can wait for those its events started.

  // Requests of the page in flight, numbered as they begin, so that an
  // action can wait for those its events started.
  var requestsBegun = 0;
  var requestsOpen = {};
  function requestBegins() { var n = ++requestsBegun; requestsOpen[n] = true; return n; }
  function requestEnds(n) { delete requestsOpen[n]; }
  function requestsOpenAfter(mark) {
    for (var n in requestsOpen) if (Number(n) > mark) return true;
    return false;
  }
  XHR.prototype.send = function () {
    var self = this;
    if (!self.__quorvaneOwn) {
      var n = requestBegins();
      call(addListener, self, ["loadend", function () { requestEnds(n); }]);
    }
    return call(xhrSend, self, arguments);
  };
  if (realFetch) {
    window.fetch = function () {
      var n = requestBegins();
      var done = function (v) { requestEnds(n); return v; };
      var fail = function (e) { requestEnds(n); throw e; };
      return call(realFetch, window, arguments).then(done, fail);
    };
  }
