// Elements of a page: the element object, its actions and reads, and the
// reads that wait until they hold.

function QuorvaneElement(page, selector, name) {
  this.page = page;
  this.selector = selector;
  this.name = name;
  this.uuid = quorvaneHost.uuid();
  this.announced = false;
}
QuorvaneElement.prototype.announce = function () {
  if (!this.announced) {
    this.announced = true;
    quorvaneHost.element(this.name, this.uuid);
  }
};
// One command on the element, recorded: its value.
QuorvaneElement.prototype.act = function (op, arg, ms) {
  var self = this, page = this.page;
  this.announce();
  return quorvaneRecorded(op, arg, this.uuid, function (passed) {
    return page.command({ op: op, selector: self.selector, arg: arg === undefined ? null : String(arg),
                          timeout: quorvaneLimit(ms), wait: quorvanePages.waiting }, self.name, passed).value;
  });
};
// A read that waits until it holds (see QuorvanePage.waiting).
QuorvaneElement.prototype.wait = function (op, fields, shown, ms) {
  var self = this, page = this.page;
  this.announce();
  return quorvaneRecorded(op, shown, this.uuid, function () {
    fields.op = op;
    fields.selector = self.selector;
    return page.waiting(fields, self.name, ms);
  });
};
(function () {
  var actions = ["click", "dblclick", "hover", "type", "clear", "press", "select", "check", "uncheck", "submit"];
  var reads = ["text", "value", "attr", "exists", "visible", "count", "visibleCount"];
  function define(op, returnsElement) {
    QuorvaneElement.prototype[op] = function (arg) {
      if (returnsElement) quorvaneNetwork.since = new Date().getTime();  // network control: after this action
      var value = this.act(op, arg);
      return returnsElement ? this : value;
    };
  }
  for (var i = 0; i < actions.length; i++) define(actions[i], true);
  for (var j = 0; j < reads.length; j++) define(reads[j], false);
})();
QuorvaneElement.prototype.waitText = function (wanted, ms) {
  return this.wait("waitText", { match: quorvaneMatch(wanted) }, wanted, ms);
};
QuorvaneElement.prototype.waitValue = function (wanted, ms) {
  return this.wait("waitValue", { match: quorvaneMatch(wanted) }, wanted, ms);
};
QuorvaneElement.prototype.waitCount = function (n, ms) {
  return this.wait("waitCount", { arg: String(n) }, n, ms);
};
QuorvaneElement.prototype.waitVisible = function (ms) {
  this.wait("waitVisible", {}, "", ms);
  return this;
};
QuorvaneElement.prototype.waitHidden = function (ms) {
  this.wait("waitHidden", {}, "", ms);
  return this;
};
