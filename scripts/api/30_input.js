// Scrolling, the right button, dragging, the low-level mouse, the
// page's errors and DOM properties.

// The page as a user scrolls it, in CSS pixels; each answers after the
// page's "scroll" events and what they started (the next part of an
// infinite list, say).
QuorvanePage.prototype.scrollTo = function (x, y) {
  return this.navigationAction("scrollTo", { x: Number(x), y: Number(y) }, x + "," + y);
};
QuorvanePage.prototype.scrollBy = function (dx, dy) {
  return this.navigationAction("scrollBy", { x: Number(dx), y: Number(dy) }, dx + "," + dy);
};
// The pointer at (x, y) of the page's viewport (outside it, the pointer
// leaves the window), and its left button down and up where it is.
QuorvanePage.prototype.mouseMove = function (x, y) {
  return this.navigationAction("mouseMove", { x: Number(x), y: Number(y) }, x + "," + y);
};
QuorvanePage.prototype.mouseDown = function () { return this.navigationAction("mouseDown", {}); };
QuorvanePage.prototype.mouseUp = function () { return this.navigationAction("mouseUp", {}); };
// The page's uncaught errors and unhandled rejections since the last call
// (those of the pages this object came from too, and those while the page
// loaded), each as a text with its source and line.
QuorvanePage.prototype.errors = function () {
  var rest = this.command({ op: "errors" }).value;
  var seen = this.seenErrors || [];
  this.seenErrors = [];
  if (rest) for (var i = 0; i < rest.length; i++) seen[seen.length] = rest[i];
  return seen;
};

QuorvaneElement.prototype.rightClick = function () { this.act("rightClick"); return this; };
// Scrolls the element into view unless it is in view already.
QuorvaneElement.prototype.scrollIntoView = function () { this.act("scrollIntoView"); return this; };
// A DOM property (a dotted path such as "validity.valid" too), read once.
QuorvaneElement.prototype.prop = function (name) { return this.act("prop", name); };
// Drags the element onto `target` (an element or a selector of the same
// page): HTML5 drag and drop for an element marked draggable, else mouse
// moves with the button held, in `options.steps` steps (5).
QuorvaneElement.prototype.dragTo = function (target, options) {
  var self = this, page = this.page;
  var to = target instanceof QuorvaneElement ? target.selector : String(target);
  var steps = options && options.steps !== undefined ? Number(options.steps) : 5;
  this.announce();
  quorvaneRecorded("dragTo", to, this.uuid, function (passed) {
    page.command({ op: "dragTo", selector: self.selector, target: to, steps: steps, timeout: quorvaneLimit(),
                   wait: quorvanePages.waiting }, self.name, passed);
  });
  return this;
};
