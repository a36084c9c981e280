// Text fields: their value, selection and caret, the edit committed by a
// change event, text typed and deleted.

  var textTypes = { text: 1, search: 1, url: 1, tel: 1, email: 1, password: 1, number: 1 };
  function textField(el) {
    if (!el || el.disabled) return false;
    if (el.tagName === "TEXTAREA") return true;
    return el.tagName === "INPUT" && textTypes.hasOwnProperty(String(el.type).toLowerCase());
  }
  function editable(el) { return textField(el) && !el.readOnly; }

  function setValue(el, value) {
    var proto = el.tagName === "TEXTAREA" ? HTMLTextAreaElement.prototype : HTMLInputElement.prototype;
    var setter = Object.getOwnPropertyDescriptor(proto, "value").set;
    call(setter, el, [value]);
  }

  // The selection of a text field; fields without one (email, number)
  // have the caret at the end.
  function selectionOf(el) {
    var start = null, end = null;
    try { start = el.selectionStart; end = el.selectionEnd; } catch (e) { start = null; }
    if (start === null || start === undefined) { start = end = el.value.length; }
    return { start: start, end: end };
  }
  function setCaret(el, at) {
    try { el.setSelectionRange(at, at); } catch (e) { /* no selection in this field */ }
  }

  // Fields whose value the user changed since they got the focus: their
  // change event comes when the edit is committed.
  var changed = [];
  function markChanged(el) {
    for (var i = 0; i < changed.length; i++) if (changed[i] === el) return;
    changed[changed.length] = el;
  }
  function commit(el) {
    for (var i = 0; i < changed.length; i++) {
      if (changed[i] === el) {
        for (var j = i + 1; j < changed.length; j++) changed[j - 1] = changed[j];
        changed.length = changed.length - 1;
        fire(el, plainEvent("change", true));
        return;
      }
    }
  }
  // The focus leaving a field some other way (a script, the page) commits
  // it too.
  call(addListener, window, ["focusout", function (e) { commit(e.target); }, true]);

  function replaceSelection(el, text, inputType) {
    if (!editable(el)) return false;
    if (!fire(el, inputEvent("beforeinput", inputType, text))) return false;
    var s = selectionOf(el);
    var value = el.value;
    var room = el.maxLength >= 0 ? el.maxLength - (value.length - (s.end - s.start)) : text.length;
    if (room < text.length) text = text.substring(0, room > 0 ? room : 0);
    setValue(el, value.substring(0, s.start) + text + value.substring(s.end));
    setCaret(el, s.start + text.length);
    markChanged(el);
    fire(el, inputEvent("input", inputType, text || null));
    return true;
  }

  function insertText(el, text) {
    if (el.isContentEditable) { document.execCommand("insertText", false, text); return; }
    replaceSelection(el, text, "insertText");
  }

  function deleteText(el, backward) {
    if (el.isContentEditable) { document.execCommand(backward ? "delete" : "forwardDelete", false, null); return; }
    if (!editable(el)) return;
    var s = selectionOf(el);
    if (s.start === s.end) {
      if (backward ? s.start === 0 : s.end >= el.value.length) return;
      try { el.setSelectionRange(backward ? s.start - 1 : s.start, backward ? s.end : s.end + 1); } catch (e) { return; }
    }
    var inputType = backward ? "deleteContentBackward" : "deleteContentForward";
    var before = selectionOf(el);
    if (!fire(el, inputEvent("beforeinput", inputType, null))) { setCaret(el, s.start); return; }
    var value = el.value;
    setValue(el, value.substring(0, before.start) + value.substring(before.end));
    setCaret(el, before.start);
    markChanged(el);
    fire(el, inputEvent("input", inputType, null));
  }
