// Opening a page, and around the page: navigations without a page,
// downloads, windows, files, the position and HTTP credentials.

// Opens `url` (relative to the run's server, or absolute) in `browser`
// (default: the run's -b) and returns its page once it has loaded.
function open(url, browser) {
  var absolute = quorvaneAbsoluteUrl(url);
  var name = browser === undefined ? quorvaneHost.parameter("browser") : String(browser);
  var mark = quorvanePageMark();
  quorvaneNetwork.since = new Date().getTime();  // network control: requests after this action
  quorvaneHost.openUrl(name, absolute);
  var loaded = quorvaneNewPage(mark, quorvanePages.navigation);
  var page = new QuorvanePage(loaded.page, null);
  if (loaded.outcome) {
    if (loaded.outcome.stays) {
      throw new Error("open: " + absolute + " answered " + loaded.outcome.status + " (" + loaded.outcome.kind +
                      ") and brought no page");
    }
    page.ended(loaded.outcome, loaded);
    return page;
  }
  page.collect(loaded);
  return page;
}

// Around the page: navigations without a page, downloads, windows,
// files and the position.

// The commands that count as the page's last action: downloads and windows
// that came after one belong to it.
var quorvaneActions = { click: 1, dblclick: 1, hover: 1, type: 1, clear: 1, press: 1, select: 1, check: 1,
                        uncheck: 1, submit: 1, navigate: 1, back: 1, reload: 1, setFiles: 1 };

// A navigation of the page ended on an answer that brought no page of the
// agent's: the page stays where it was (a 204, a download), or the browser
// shows a document no agent runs in (XML, PDF, media): the page object then
// knows its address and status only.
QuorvanePage.prototype.ended = function (outcome, answer) {
  quorvaneHost.record("info", "navigation ended", outcome.status + " " + outcome.kind + " " + outcome.url);
  this.status = outcome.status;
  // What comes next comes after this end.
  if (answer && typeof answer.mark === "number") this.mark = answer.mark;
  if (outcome.stays) return;
  this.bare = { url: outcome.url, status: outcome.status, kind: outcome.kind };
  this.uuid = "";
  this.elements = {};
};

// The commands of a page that shows no document of the agent's: it has an
// address and a status, nothing else to read or drive.
QuorvanePage.prototype.bareCommand = function (fields, what) {
  if (fields.op === "info") return { ok: true, url: this.bare.url, title: "", value: null };
  throw new Error((what ? what + ": " : "") + "the page " + this.bare.url + " (" + this.bare.status +
                  ") is shown by the browser itself, with no agent to run '" + fields.op + "'; open() another page");
};

// The next download since the page's last action, once it has been saved
// whole under the run's results folder: {url, suggestedName, path, size}.
// Each download is returned once. `ms` defaults to the navigation limit.
QuorvanePage.prototype.waitForDownload = function (ms) {
  var self = this;
  var limit = quorvaneLimit(ms === undefined ? quorvanePages.navigation : ms);
  return quorvaneRecorded("waitForDownload", "", undefined, function () {
    var answer = quorvaneHost.command({ op: "download", after: self.actionMark || self.mark, timeout: limit });
    if (!answer.ok) throw new Error("waitForDownload: " + (answer.error || "no download"));
    var d = answer.value;
    quorvaneHost.record("info", "download", d.url + " saved as " + d.path + " (" + d.size + " bytes)");
    return d;
  });
};

// The run's open top-level pages, oldest first: [{page, url, title, order}].
function quorvanePageList() {
  var answer = quorvaneHost.command({ op: "pages" });
  if (!answer.ok) throw new Error("pages: " + answer.error);
  return answer.value;
}

// The run's open windows as page objects, oldest first.
function pages() {
  var list = quorvanePageList(), out = [];
  for (var i = 0; i < list.length; i++) {
    var page = new QuorvanePage(list[i].page, null);
    page.mark = list[i].order;
    out[out.length] = page;
  }
  return out;
}

// The page of a window that this page opened after its last action (a
// link with target=_blank, window.open), once it has loaded. Each window
// is returned once.
QuorvanePage.prototype.waitForPopup = function (ms) {
  var self = this;
  var limit = quorvaneLimit(ms);
  var after = this.actionMark || this.mark;
  if (!this.popupsTaken) this.popupsTaken = {};
  return quorvaneRecorded("waitForPopup", "", undefined, function () {
    var deadline = new Date().getTime() + limit;
    for (;;) {
      var list = quorvanePageList();
      for (var i = 0; i < list.length; i++) {
        var p = list[i];
        if (p.order <= after || p.page === self.uuid || self.popupsTaken[p.page]) continue;
        self.popupsTaken[p.page] = true;
        var left = Math.max(0, deadline - new Date().getTime());
        var loaded = quorvaneHost.command({ op: "ready", page: p.page, timeout: left });
        if (!loaded.ok) throw new Error("waitForPopup: " + loaded.error);
        var popup = new QuorvanePage(p.page, null);
        popup.collect(loaded);
        popup.opener = self;
        return popup;
      }
      if (new Date().getTime() >= deadline) throw new Error("waitForPopup: no window opened within " + limit + " ms");
      quorvaneHost.sleep(50);
    }
  });
};

// The content type a browser gives a file by its name.
function quorvaneFileType(name) {
  var types = { txt: "text/plain", html: "text/html", htm: "text/html", css: "text/css", js: "text/javascript",
                json: "application/json", xml: "application/xml", csv: "text/csv", png: "image/png",
                jpg: "image/jpeg", jpeg: "image/jpeg", gif: "image/gif", svg: "image/svg+xml", webp: "image/webp",
                pdf: "application/pdf", zip: "application/zip", gz: "application/gzip", mp3: "audio/mpeg",
                mp4: "video/mp4", doc: "application/msword", bin: "application/octet-stream" };
  var dot = name.lastIndexOf(".");
  var type = dot < 0 ? undefined : types[name.substring(dot + 1).toLowerCase()];
  return type === undefined ? "" : type;
}

// Puts files into a file input (<input type=file>), as a user choosing them
// does: `paths` is a path or a list of them, relative to the script's
// folder; [] empties the input. A missing file or a folder throws at once.
QuorvaneElement.prototype.setFiles = function (paths) {
  var list = paths instanceof Array ? paths : [paths];
  var files = [], names = [];
  for (var i = 0; i < list.length; i++) {
    var file = quorvaneHost.scriptFile(String(list[i]));
    files[files.length] = { path: file.path, name: file.name, type: quorvaneFileType(file.name) };
    names[names.length] = file.name;
  }
  var self = this, page = this.page;
  this.announce();
  quorvaneRecorded("setFiles", names.join(", "), this.uuid, function (passed) {
    return page.command({ op: "setFiles", selector: self.selector, files: files, timeout: quorvaneLimit(),
                          wait: quorvanePages.waiting }, self.name, passed).value;
  });
  return this;
};

// The position the page's navigator.geolocation answers with (permission
// granted), for this page and the run's pages that load after it;
// setGeolocation(null) answers as a refused permission.
QuorvanePage.prototype.setGeolocation = function (latitude, longitude, accuracy) {
  var position = latitude === null || latitude === undefined ? null
      : { latitude: Number(latitude), longitude: Number(longitude), accuracy: accuracy === undefined ? 0 : Number(accuracy) };
  this.geolocation = position;
  var self = this;
  quorvaneRecorded("setGeolocation", position ? latitude + ", " + longitude : "denied", undefined, function () {
    self.command({ op: "geolocation", position: position });
  });
  return this;
};

// Credentials for HTTP authentication, for the rest of the run: the proxy
// answers the Basic and Digest challenges of `origin` (for instance
// "https://example.com:8443"; left out: every origin) with them, so no
// browser asks. Wrong ones give the origin's 401 page.
function httpCredentials(user, password, origin) {
  var where = "";
  if (origin !== undefined && origin !== null && origin !== "") {
    var m = /^([a-zA-Z][a-zA-Z0-9+.\-]*):\/\/([^\/?#]+)/.exec(String(origin));
    if (!m) throw new Error("httpCredentials: the origin '" + origin + "' is no address such as https://example.com");
    var scheme = m[1].toLowerCase(), host = m[2].toLowerCase().replace(/^.*@/, "");
    if ((scheme === "http" && /:80$/.test(host)) || (scheme === "https" && /:443$/.test(host))) host = host.replace(/:\d+$/, "");
    where = scheme + "://" + host;
  }
  var answer = quorvaneHost.command({ op: "credentials", user: String(user), password: String(password), origin: where });
  if (!answer.ok) throw new Error("httpCredentials: " + answer.error);
  quorvaneHost.record("info", "http credentials", String(user) + (where ? " for " + where : " for every origin"));
}
