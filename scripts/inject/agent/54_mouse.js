// The mouse: the events of a pointer moving over the page and of its
// buttons, and their defaults (focus, a label's control).

  var under = null;  // what the pointer is over
  function centreOf(el) {
    var r = call(getRect, el);
    var left = r.left > 0 ? r.left : 0, top = r.top > 0 ? r.top : 0;
    var right = r.right < window.innerWidth ? r.right : window.innerWidth;
    var bottom = r.bottom < window.innerHeight ? r.bottom : window.innerHeight;
    if (right <= left || bottom <= top) return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
    return { x: Math.round((left + right) / 2), y: Math.round((top + bottom) / 2) };
  }
  // The innermost element at the point, where it belongs to `el` (a user
  // clicking a button clicks the text inside it).
  function hit(el, at) {
    var found = call(elementFromPoint, document, [at.x, at.y]);
    return found && (found === el || el.contains(found)) ? found : el;
  }

  function mouseEvent(type, x, y, detail, button, buttons, related, pointer) {
    var init = { bubbles: type !== "mouseenter" && type !== "mouseleave" && type !== "pointerenter" && type !== "pointerleave",
                 cancelable: type !== "mouseenter" && type !== "mouseleave" && type !== "pointerenter" &&
                             type !== "pointerleave",
                 composed: true, view: window, detail: detail, clientX: x, clientY: y,
                 screenX: x + (window.screenX || 0), screenY: y + (window.screenY || 0),
                 button: button, buttons: buttons, relatedTarget: related || null };
    if (pointer && PointerEventType) {
      init.pointerId = 1; init.pointerType = "mouse"; init.isPrimary = true; init.width = 1; init.height = 1;
      init.pressure = buttons ? 0.5 : 0;
      init.detail = 0;
      return new PointerEventType(type, init);
    }
    return new MouseEventType(type, init);
  }

  // The element and those around it, innermost first; across shadow roots.
  function ancestry(el) {
    var chain = [];
    for (var n = el; n; n = n.parentNode || n.host || null) if (n.nodeType === 1) chain[chain.length] = n;
    return chain;
  }
  function within(chain, el) {
    for (var i = 0; i < chain.length; i++) if (chain[i] === el) return true;
    return false;
  }

  // The pointer goes from what it was over to `target` (null: out of the
  // window): out and over on the two, leave on each element it left
  // (innermost first), enter on each it entered (outermost first).
  function crossTo(target, at) {
    var from = under && under.isConnected ? under : null;
    var left = from ? ancestry(from) : [], entered = target ? ancestry(target) : [];
    if (from) {
      fire(from, mouseEvent("pointerout", at.x, at.y, 0, 0, pressed, target, true));
      for (var i = 0; i < left.length; i++) {
        if (!within(entered, left[i])) fire(left[i], mouseEvent("pointerleave", at.x, at.y, 0, 0, pressed, target, true));
      }
      fire(from, mouseEvent("mouseout", at.x, at.y, 0, 0, pressed, target));
      for (var j = 0; j < left.length; j++) {
        if (!within(entered, left[j])) fire(left[j], mouseEvent("mouseleave", at.x, at.y, 0, 0, pressed, target));
      }
    }
    under = target;
    if (!target) return;
    fire(target, mouseEvent("pointerover", at.x, at.y, 0, 0, pressed, from, true));
    for (var k = entered.length - 1; k >= 0; k--) {
      if (!within(left, entered[k])) fire(entered[k], mouseEvent("pointerenter", at.x, at.y, 0, 0, pressed, from, true));
    }
    fire(target, mouseEvent("mouseover", at.x, at.y, 0, 0, pressed, from));
    for (var m = entered.length - 1; m >= 0; m--) {
      if (!within(left, entered[m])) fire(entered[m], mouseEvent("mouseenter", at.x, at.y, 0, 0, pressed, from));
    }
  }

  // The buttons held (1: the left one): moves while it is down are a drag.
  var pressed = 0;
  var pointerAt = { x: 0, y: 0 };

  function moveTo(target, at) {
    if (under !== target) crossTo(target, at);
    pointerAt = at;
    fire(target, mouseEvent("pointermove", at.x, at.y, 0, -1, pressed, null, true));
    fire(target, mouseEvent("mousemove", at.x, at.y, 0, 0, pressed));
  }

  // The innermost element at a point of the viewport, inside open shadow
  // roots too; null outside the viewport.
  function elementAt(at) {
    if (at.x < 0 || at.y < 0 || at.x >= window.innerWidth || at.y >= window.innerHeight) return null;
    var found = call(elementFromPoint, document, [at.x, at.y]);
    while (found && found.shadowRoot) {
      var inner = found.shadowRoot.elementFromPoint(at.x, at.y);
      if (!inner || inner === found) break;
      found = inner;
    }
    return found || document.documentElement;
  }

  // The pointer moves to a point of the viewport; outside it, the pointer
  // leaves the window (out and leave, with no element it goes to).
  function moveToPoint(at) {
    var target = elementAt(at);
    if (!target) {
      if (under) crossTo(null, at);
      pointerAt = at;
      return;
    }
    moveTo(target, at);
  }

  // The left button goes down or up where the pointer is.
  function buttonDown() {
    var target = under && under.isConnected ? under : elementAt(pointerAt) || document.documentElement;
    pressed = 1;
    if (fire(target, mouseEvent("pointerdown", pointerAt.x, pointerAt.y, 0, 0, 1, null, true)) &&
        fire(target, mouseEvent("mousedown", pointerAt.x, pointerAt.y, 1, 0, 1))) focusOnPress(target);
  }
  function buttonUp() {
    var target = under && under.isConnected ? under : elementAt(pointerAt) || document.documentElement;
    pressed = 0;
    fire(target, mouseEvent("pointerup", pointerAt.x, pointerAt.y, 0, 0, 0, null, true));
    fire(target, mouseEvent("mouseup", pointerAt.x, pointerAt.y, 1, 0, 0));
  }

  // Mousedown's default: the focus goes to the focusable element clicked
  // (or one around it), else away from the field that had it.
  function focusOnPress(target) {
    for (var n = target; n && n.nodeType === 1; n = n.parentNode) {
      if (focusable(n)) { focusOn(n); return; }
    }
    focusOn(null);
  }

  // `count` presses of the left button at the element's visible centre;
  // two give a dblclick after the second click.
  function click(el, count) {
    var at = centreOf(el);
    var target = hit(el, at);
    moveTo(target, at);
    for (var i = 1; i <= count; i++) {
      var down = fire(target, mouseEvent("pointerdown", at.x, at.y, 0, 0, 1, null, true));
      // A canceled pointerdown holds back the mouse events, not the click.
      if (down && fire(target, mouseEvent("mousedown", at.x, at.y, i, 0, 1))) focusOnPress(target);
      if (!target.isConnected) return;
      fire(target, mouseEvent("pointerup", at.x, at.y, 0, 0, 0, null, true));
      if (down) fire(target, mouseEvent("mouseup", at.x, at.y, i, 0, 0));
      if (!target.isConnected) return;
      // The click's own default follows its dispatch: a checkbox toggles
      // (input, change), a label forwards it, a link or a submit button
      // navigates.
      clickDetail = i;
      var clicked;
      try { clicked = fire(target, mouseEvent("click", at.x, at.y, i, 0, 0)); } finally { clickDetail = 0; }
      if (clicked) focusLabelled(target);
    }
    if (count === 2 && target.isConnected) fire(target, mouseEvent("dblclick", at.x, at.y, 2, 0, 0));
  }

  // A click on a label focuses the text field it stands for.
  function focusLabelled(target) {
    for (var n = target; n && n.nodeType === 1; n = n.parentNode) {
      if (n.tagName === "LABEL") {
        var control = n.control;
        if (control && textField(control)) focusOn(control);
        return;
      }
    }
  }

  function hover(el) {
    var at = centreOf(el);
    moveTo(hit(el, at), at);
  }
