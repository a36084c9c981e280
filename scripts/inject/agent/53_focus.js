// Focus: what takes it, moving it as the browser does, the tab order.

  function focusable(el) {
    if (!el || el.nodeType !== 1 || el.disabled) return false;
    if (el.isContentEditable) return true;
    if (el.hasAttribute("tabindex")) return true;
    var tag = el.tagName;
    if (tag === "A" || tag === "AREA") return el.hasAttribute("href");
    return tag === "INPUT" ? el.type !== "hidden" : (tag === "BUTTON" || tag === "SELECT" || tag === "TEXTAREA" ||
                                                      tag === "IFRAME" || tag === "SUMMARY");
  }

  function active() { return document.activeElement || document.body; }

  // Moves the focus as the browser does: the field left commits its edit
  // first. `el` null: the focus leaves to the page itself.
  function focusOn(el) {
    var was = document.activeElement;
    if (was === el) return;
    if (was && was !== document.body) commit(was);
    if (el) call(focusElement, el, []);
    else if (was && was.blur) was.blur();
  }

  // Tab order: positive tabindex first in order, then the rest in the
  // document's order; only what is visible and focusable.
  function tabOrder() {
    var all = toArray(call(querySelectorAll, document, ["*"]));
    var first = [], rest = [];
    for (var i = 0; i < all.length; i++) {
      var el = all[i];
      if (!focusable(el) || el.tabIndex < 0 || !visible(el)) continue;
      if (el.tabIndex > 0) first[first.length] = el; else rest[rest.length] = el;
    }
    for (var a = 1; a < first.length; a++) {
      for (var b = a; b > 0 && first[b - 1].tabIndex > first[b].tabIndex; b--) {
        var t = first[b]; first[b] = first[b - 1]; first[b - 1] = t;
      }
    }
    for (var r = 0; r < rest.length; r++) first[first.length] = rest[r];
    return first;
  }

  function tab(backward) {
    var order = tabOrder();
    if (!order.length) return;
    var at = -1;
    for (var i = 0; i < order.length; i++) if (order[i] === document.activeElement) at = i;
    var next = at < 0 ? (backward ? order.length - 1 : 0) : (at + (backward ? order.length - 1 : 1)) % order.length;
    var el = order[next];
    focusOn(el);
    if (textField(el) && el.select) el.select();
  }
