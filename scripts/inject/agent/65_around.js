  // ---- Around the page: navigations that stay, files, the position -------
  //
  // Commands for what happens around the page rather than in it, kept
  // together: "stay" (the navigation the page began ended where it is, on
  // a download or a 204: the agent takes commands again), "setFiles" (the
  // files of a file input, whose content the proxy read) and
  // "geolocation" (the position navigator.geolocation answers with; the
  // run's setting also comes with the key, ";geo=...", so a page that asks
  // as it loads gets it too).
  (function () {
    ops.stay = function (c, cmd) {
      leaving = false;
      cmd.ok(null);
    };

    var realClose = window.close;
    window.close = function () {
      closingSelf = true;
      try { return call(realClose, window, arguments); } finally { if (!window.closed) closingSelf = false; }
    };

    var FileType = window.File, atobReal = window.atob;
    var Uint8 = window.Uint8Array;
    function fileOf(entry) {
      var bytes = call(atobReal, window, [entry.data || ""]);
      var buffer = new Uint8(bytes.length);
      for (var i = 0; i < bytes.length; i++) buffer[i] = bytes.charCodeAt(i);
      return new FileType([buffer], entry.name, { type: entry.type || "" });
    }
    ops.setFiles = function (c, cmd) {
      withElement(c, cmd, "exists", function (el) {
        if (!el.tagName || el.tagName !== "INPUT" || String(el.type).toLowerCase() !== "file") {
          cmd.fail("the element " + c.selector + " is no file input (<input type=file>)");
          return;
        }
        var files = c.files || [];
        if (files.length > 1 && !el.multiple) {
          cmd.fail("the file input " + c.selector + " takes one file, not " + files.length);
          return;
        }
        var transfer = new DataTransferType();
        for (var i = 0; i < files.length; i++) transfer.items.add(fileOf(files[i]));
        el.files = transfer.files;
        call(dispatch, el, [new EventType("input", { bubbles: true, composed: true })]);
        call(dispatch, el, [new EventType("change", { bubbles: true })]);
        cmd.ok(files.length);
      });
    };

    // null: the browser's own answers; else {denied} or {coords}.
    var position = null;
    var geoKey = /;geo=([^;]*)/.exec(agentKey);
    function setPosition(p) {
      if (p === null || p === undefined || p === "denied") { position = { denied: true }; return; }
      position = { coords: { latitude: Number(p.latitude), longitude: Number(p.longitude),
                             accuracy: Number(p.accuracy === undefined ? 0 : p.accuracy) } };
    }
    if (geoKey) {
      var parts = geoKey[1].split(",");
      setPosition(geoKey[1] === "denied" ? null
                  : { latitude: parts[0], longitude: parts[1], accuracy: parts[2] });
    }
    ops.geolocation = function (c, cmd) {
      setPosition(c.position);
      cmd.ok(null);
    };
    // Objects of the browser's own types, their values own properties.
    function made(type, values) {
      var o = Object.create(type ? type.prototype : Object.prototype);
      for (var k in values) defineProperty(o, k, { value: values[k], enumerable: true });
      return o;
    }
    function answerPosition(success, failure) {
      if (position.denied) {
        if (typeof failure === "function") {
          failure(made(window.GeolocationPositionError, { code: 1, message: "User denied Geolocation",
                                                          PERMISSION_DENIED: 1, POSITION_UNAVAILABLE: 2, TIMEOUT: 3 }));
        }
        return;
      }
      var p = position.coords;
      var coords = made(window.GeolocationCoordinates, { latitude: p.latitude, longitude: p.longitude,
                                                         accuracy: p.accuracy, altitude: null, altitudeAccuracy: null,
                                                         heading: null, speed: null });
      if (typeof success === "function") success(made(window.GeolocationPosition, { coords: coords, timestamp: dateNow() }));
    }
    var geolocation = navigator.geolocation;
    if (geolocation) {
      var realGet = geolocation.getCurrentPosition, realWatch = geolocation.watchPosition;
      var realClear = geolocation.clearWatch;
      var watches = 0;
      geolocation.getCurrentPosition = function (success, failure) {
        if (!position) return call(realGet, geolocation, arguments);
        setTimeout(function () { answerPosition(success, failure); }, 0);
      };
      geolocation.watchPosition = function (success, failure) {
        if (!position) return call(realWatch, geolocation, arguments);
        setTimeout(function () { answerPosition(success, failure); }, 0);
        return 1000000 + ++watches;
      };
      geolocation.clearWatch = function (id) {
        if (id > 1000000) return undefined;
        return call(realClear, geolocation, arguments);
      };
    }
    var permissions = navigator.permissions;
    if (permissions && permissions.query) {
      var realQuery = permissions.query;
      permissions.query = function (descriptor) {
        if (!position || !descriptor || descriptor.name !== "geolocation") return call(realQuery, permissions, arguments);
        var status = made(window.PermissionStatus, { name: "geolocation", state: position.denied ? "denied" : "granted",
                                                     onchange: null });
        return Promise.resolve(status);
      };
    }
  })();

