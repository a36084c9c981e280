// Finding elements (CSS, "xpath=", "text=") and what a user sees of them.

  function toArray(list) {
    var out = [];
    for (var i = 0; i < list.length; i++) out[out.length] = list[i];
    return out;
  }

  function textOf(node) { return (node.innerText !== undefined ? node.innerText : node.textContent) || ""; }

  function visible(el) {
    var r = call(getRect, el);
    if (r.width <= 0 && r.height <= 0) return false;
    var style = getComputedStyle(el);
    return style.visibility !== "hidden" && style.display !== "none";
  }

  function visibleCount(list) {
    var n = 0;
    for (var i = 0; i < list.length; i++) if (visible(list[i])) n++;
    return n;
  }

  // CSS, "xpath=..." or "text=..." (visible text, the innermost match).
  function find(selector, root) {
    root = root || document;
    if (selector.indexOf("xpath=") === 0) {
      var result = call(evaluate, document, [selector.substring(6), root, null, 7, null]);
      var out = [];
      for (var i = 0; i < result.snapshotLength; i++) out[out.length] = result.snapshotItem(i);
      return out;
    }
    if (selector.indexOf("text=") === 0) {
      var wanted = selector.substring(5);
      var all = toArray(call(querySelectorAll, document, ["body, body *"]));
      // Innermost first (from the end), then back in document order; by
      // index, since the page may have replaced Array.prototype.
      var found = [];
      for (var j = all.length - 1; j >= 0; j--) {
        var el = all[j];
        if (el.tagName === "SCRIPT" || el.tagName === "STYLE") continue;
        var t = textOf(el).replace(/\s+/g, " ").replace(/^ | $/g, "");
        if (t === wanted && visible(el)) {
          var inner = false;
          for (var k = 0; k < found.length; k++) if (el.contains(found[k])) inner = true;
          if (!inner) found[found.length] = el;
        }
      }
      var ordered = [];
      for (var m = found.length - 1; m >= 0; m--) ordered[ordered.length] = found[m];
      return ordered;
    }
    return toArray(call(querySelectorAll, document, [selector]));
  }

  function describe(v) {
    if (v === undefined) return "undefined";
    if (v === null) return null;
    if (typeof v === "object") {
      try { return parse(stringify(v)); } catch (e) { return String(v); }
    }
    return v;
  }
