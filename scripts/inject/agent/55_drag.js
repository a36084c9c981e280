// The right button and dragging: a right click with its context menu
// event, and a drag from one element to another, as HTML5 drag and drop
// for an element marked draggable, else as mouse moves with the button
// held (what pages that drag with the mouse listen to).

  // Pointer and mouse down and up with button 2; the "contextmenu" event
  // follows the mousedown (as on Linux) and the page may cancel it.
  function rightClick(el) {
    var at = centreOf(el);
    var target = hit(el, at);
    moveTo(target, at);
    var down = fire(target, mouseEvent("pointerdown", at.x, at.y, 0, 2, 2, null, true));
    if (down && fire(target, mouseEvent("mousedown", at.x, at.y, 1, 2, 2))) focusOnPress(target);
    if (target.isConnected) fire(target, mouseEvent("contextmenu", at.x, at.y, 0, 2, 2));
    if (!target.isConnected) return;
    fire(target, mouseEvent("pointerup", at.x, at.y, 0, 2, 0, null, true));
    if (down) fire(target, mouseEvent("mouseup", at.x, at.y, 1, 2, 0));
    if (target.isConnected) fire(target, mouseEvent("auxclick", at.x, at.y, 1, 2, 0));
  }

  // The element a drag from `el` takes along as HTML5 drag and drop: the
  // nearest marked draggable="true"; null when none is.
  function draggableOf(el) {
    for (var n = el; n && n.nodeType === 1; n = n.parentNode) {
      if (n.getAttribute("draggable") === "true") return n;
    }
    return null;
  }

  function dragEvent(type, at, data) {
    var passive = type === "dragleave" || type === "dragend";
    var init = { bubbles: true, cancelable: !passive, composed: true, view: window, detail: 0,
                 clientX: at.x, clientY: at.y, screenX: at.x + (window.screenX || 0),
                 screenY: at.y + (window.screenY || 0), button: 0, buttons: type === "dragend" ? 0 : 1,
                 dataTransfer: data };
    return new DragEventType(type, init);
  }

  // The points of a move from `from` to `to` in `steps` equal steps.
  function stepsBetween(from, to, steps) {
    var points = [];
    for (var i = 1; i <= steps; i++) {
      points[points.length] = { x: Math.round(from.x + (to.x - from.x) * i / steps),
                                y: Math.round(from.y + (to.y - from.y) * i / steps) };
    }
    return points;
  }

  // HTML5 drag and drop of `source` (the button went down at `from`): one
  // DataTransfer from dragstart to dragend; drag, dragenter, dragleave and
  // dragover as the pointer passes; the drop only where the last dragover
  // was canceled.
  function dragAndDrop(source, points, target) {
    var data = new DataTransferType();
    if (!fire(source, dragEvent("dragstart", points[0], data))) return false;
    if (PointerEventType) fire(source, mouseEvent("pointercancel", points[0].x, points[0].y, 0, 0, 1, null, true));
    var over = null, allowed = false;
    for (var i = 1; i < points.length; i++) {
      var at = points[i];
      var now = i === points.length - 1 ? target : elementAt(at) || document.documentElement;
      fire(source, dragEvent("drag", at, data));
      if (now !== over) {
        fire(now, dragEvent("dragenter", at, data));
        if (over) fire(over, dragEvent("dragleave", at, data));
        over = now;
      }
      allowed = !fire(over, dragEvent("dragover", at, data));
    }
    var end = points[points.length - 1];
    if (over && allowed) fire(over, dragEvent("drop", end, data));
    else if (over) fire(over, dragEvent("dragleave", end, data));
    fire(source, dragEvent("dragend", end, data));
    under = over;
    pointerAt = end;
    return true;
  }

  // A drag from the element's centre to the target's in `steps` moves.
  function dragTo(el, targetEl, steps) {
    steps = steps > 0 ? Math.floor(steps) : 5;
    var from = centreOf(el), to = centreOf(targetEl);
    var source = hit(el, from), target = hit(targetEl, to);
    moveTo(source, from);
    pressed = 1;
    var down = fire(source, mouseEvent("pointerdown", from.x, from.y, 0, 0, 1, null, true));
    if (down && fire(source, mouseEvent("mousedown", from.x, from.y, 1, 0, 1))) focusOnPress(source);
    var points = stepsBetween(from, to, steps);
    var draggable = draggableOf(source);
    var path = [from];
    for (var p = 0; p < points.length; p++) path[path.length] = points[p];
    if (draggable && dragAndDrop(draggable, path, target)) {
      pressed = 0;
      return;
    }
    for (var i = 0; i < points.length; i++) moveToPoint(points[i]);
    buttonUp();
  }
