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

  // The open shadow roots in `root` (a document or a shadow root) and in
  // those, in document order.
  function shadowRoots(root, into) {
    var all = call(root.nodeType === 9 ? querySelectorAll : fragmentQueryAll, root, ["*"]);
    for (var i = 0; i < all.length; i++) {
      var inner = all[i].shadowRoot;
      if (inner) { into[into.length] = inner; shadowRoots(inner, into); }
    }
    return into;
  }

  // The elements of `root` and of the open shadow roots in it that
  // `test` accepts, in document order (a host's shadow tree after the host).
  function walkComposed(root, test, into) {
    var all = call(root.nodeType === 9 ? querySelectorAll : fragmentQueryAll, root, ["*"]);
    for (var i = 0; i < all.length; i++) {
      if (test(all[i])) into[into.length] = all[i];
      if (all[i].shadowRoot) walkComposed(all[i].shadowRoot, test, into);
    }
    return into;
  }

  // Whether `inner` lies in `outer`, across shadow roots.
  function containsComposed(outer, inner) {
    for (var n = inner; n; n = n.parentNode || n.host) if (n === outer) return true;
    return false;
  }

  // CSS that also matches inside open shadow roots, as a user sees the
  // page (a selector does not cross a shadow root's edge, as in the
  // page's own style sheets).
  function findCss(selector) {
    if (!shadowRoots(document, []).length) return toArray(call(querySelectorAll, document, [selector]));
    // A bad selector throws here as it does without shadow roots.
    call(querySelectorAll, document, [selector]);
    return walkComposed(document, function (el) { return call(matches, el, [selector]); }, []);
  }

  // Visible text, the innermost match, inside open shadow roots too.
  function findText(wanted) {
    var all = walkComposed(document, function (el) {
      return el.tagName !== "SCRIPT" && el.tagName !== "STYLE" && el.tagName !== "HEAD" &&
             !(el.parentNode && el.parentNode.nodeType === 1 && el.parentNode.tagName === "HEAD");
    }, []);
    // Innermost first (from the end), then back in document order; by
    // index, since the page may have replaced Array.prototype.
    var found = [];
    for (var j = all.length - 1; j >= 0; j--) {
      var el = all[j];
      if (el === document.documentElement) continue;
      var t = textOf(el).replace(/\s+/g, " ").replace(/^ | $/g, "");
      if (t === wanted && visible(el)) {
        var inner = false;
        for (var k = 0; k < found.length; k++) if (containsComposed(el, found[k])) inner = true;
        if (!inner) found[found.length] = el;
      }
    }
    var ordered = [];
    for (var m = found.length - 1; m >= 0; m--) ordered[ordered.length] = found[m];
    return ordered;
  }

  // CSS, "xpath=..." or "text=..." (visible text, the innermost match).
  // CSS and text reach into open shadow roots; XPath does not.
  function find(selector) {
    if (selector.indexOf("xpath=") === 0) {
      var result = call(evaluate, document, [selector.substring(6), document, null, 7, null]);
      var out = [];
      for (var i = 0; i < result.snapshotLength; i++) out[out.length] = result.snapshotItem(i);
      return out;
    }
    if (selector.indexOf("text=") === 0) return findText(selector.substring(5));
    return findCss(selector);
  }

  function describe(v) {
    if (v === undefined) return "undefined";
    if (v === null) return null;
    if (typeof v === "object") {
      try { return parse(stringify(v)); } catch (e) { return String(v); }
    }
    return v;
  }
