// Keys as a user gives them. This file and the input files after it
// (text, focus, mouse, forms) give the events a browser dispatches for a
// user's keys and mouse, in its order and with its properties, and the
// default actions that follow them (a canceled event has none). The events
// are made by the page's own constructors, so `isTrusted` is false;
// everything else a page reads matches what real input gives.

  var firefox = /Firefox\//.test(navigator.userAgent);
  var named = {
    Enter: [13, "Enter"], Tab: [9, "Tab"], Backspace: [8, "Backspace"], Delete: [46, "Delete"],
    Escape: [27, "Escape"], ArrowLeft: [37, "ArrowLeft"], ArrowUp: [38, "ArrowUp"],
    ArrowRight: [39, "ArrowRight"], ArrowDown: [40, "ArrowDown"], Home: [36, "Home"], End: [35, "End"],
    PageUp: [33, "PageUp"], PageDown: [34, "PageDown"], Insert: [45, "Insert"],
    Shift: [16, "ShiftLeft"], Control: [17, "ControlLeft"], Alt: [18, "AltLeft"], Meta: [91, "MetaLeft"]
  };
  var aliases = { Esc: "Escape", Return: "Enter", Ctrl: "Control", Cmd: "Meta", Left: "ArrowLeft",
                  Right: "ArrowRight", Up: "ArrowUp", Down: "ArrowDown", Space: " ", Del: "Delete" };
  var punctuation = {
    ";": [firefox ? 59 : 186, "Semicolon"], "=": [firefox ? 61 : 187, "Equal"], ",": [188, "Comma"],
    "-": [firefox ? 173 : 189, "Minus"], ".": [190, "Period"], "/": [191, "Slash"], "`": [192, "Backquote"],
    "[": [219, "BracketLeft"], "\\": [220, "Backslash"], "]": [221, "BracketRight"], "'": [222, "Quote"]
  };
  var shifted = { "!": "1", "@": "2", "#": "3", "$": "4", "%": "5", "^": "6", "&": "7", "*": "8", "(": "9",
                  ")": "0", ":": ";", "+": "=", "<": ",", "_": "-", ">": ".", "?": "/", "~": "`", "{": "[",
                  "|": "\\", "}": "]", "\"": "'" };
  var modifierNames = { Shift: "shiftKey", Control: "ctrlKey", Alt: "altKey", Meta: "metaKey" };

  // A key as a US keyboard gives it: {key, code, keyCode, text, shift}.
  function keyOf(name) {
    if (aliases.hasOwnProperty(name)) name = aliases[name];
    if (named.hasOwnProperty(name)) return { key: name, code: named[name][1], keyCode: named[name][0], text: "" };
    var f = /^F([1-9]|1[0-2])$/.exec(name);
    if (f) return { key: name, code: name, keyCode: 111 + Number(f[1]), text: "" };
    if (name.length !== 1) throw new Error("no key '" + name + "'");
    var c = name;
    if (c === " ") return { key: c, code: "Space", keyCode: 32, text: c };
    if (/[a-z]/.test(c)) return { key: c, code: "Key" + c.toUpperCase(), keyCode: c.toUpperCase().charCodeAt(0), text: c };
    if (/[A-Z]/.test(c)) return { key: c, code: "Key" + c, keyCode: c.charCodeAt(0), text: c, shift: true };
    if (/[0-9]/.test(c)) return { key: c, code: "Digit" + c, keyCode: c.charCodeAt(0), text: c };
    if (punctuation.hasOwnProperty(c)) return { key: c, code: punctuation[c][1], keyCode: punctuation[c][0], text: c };
    if (shifted.hasOwnProperty(c)) {
      var base = keyOf(shifted[c]);
      return { key: c, code: base.code, keyCode: base.keyCode, text: c, shift: true };
    }
    return { key: c, code: "", keyCode: 0, text: c };
  }

  // The modifiers held and the key of a name like "Shift+Tab".
  function chord(name) {
    var parts = String(name).split("+");
    // "+" itself, and "Control++".
    if (parts.length > 1 && parts[parts.length - 1] === "") { parts.length = parts.length - 2; parts[parts.length] = "+"; }
    var mods = { shiftKey: false, ctrlKey: false, altKey: false, metaKey: false, keys: [] };
    for (var i = 0; i < parts.length - 1; i++) {
      var m = aliases.hasOwnProperty(parts[i]) ? aliases[parts[i]] : parts[i];
      if (!modifierNames.hasOwnProperty(m)) throw new Error("no modifier '" + parts[i] + "' in '" + name + "'");
      mods[modifierNames[m]] = true;
      mods.keys[mods.keys.length] = keyOf(m);
    }
    return { mods: mods, key: keyOf(parts[parts.length - 1]) };
  }

  function fire(target, ev) { return call(dispatch, target, [ev]); }

  // Sets what the constructor leaves at 0 in some browsers.
  function force(ev, name, value) {
    if (ev[name] !== value) { try { call(defineProperty, Object, [ev, name, { value: value }]); } catch (e) { /* kept */ } }
  }

  function keyEvent(type, k, mods) {
    var press = type === "keypress";
    var charCode = press ? (k.key === "Enter" ? 13 : k.text.charCodeAt(0)) : 0;
    var keyCode = press ? charCode : k.keyCode;
    var which = press ? charCode : keyCode;
    var ev = new KeyboardEventType(type, {
      bubbles: true, cancelable: true, composed: true, view: window, key: k.key, code: k.code,
      location: /Left$/.test(k.code) && k.keyCode >= 16 && k.keyCode <= 91 ? 1 : 0,
      shiftKey: mods.shiftKey || !!k.shift, ctrlKey: mods.ctrlKey, altKey: mods.altKey, metaKey: mods.metaKey,
      keyCode: keyCode, charCode: charCode, which: which });
    force(ev, "keyCode", keyCode);
    force(ev, "charCode", charCode);
    force(ev, "which", which);
    return ev;
  }

  function inputEvent(type, inputType, data) {
    var init = { bubbles: true, cancelable: type === "beforeinput", composed: true, inputType: inputType,
                 data: data === undefined ? null : data };
    return InputEventType ? new InputEventType(type, init) : new EventType(type, init);
  }

  function plainEvent(type, bubbles) { return new EventType(type, { bubbles: bubbles, cancelable: false }); }

  // Enter in a single-line field: its edit is committed, then its form is
  // submitted as the browser's implicit submission does: by a click on
  // its first submit button, or directly when it has no button and at
  // most one such field.
  var blocking = { text: 1, search: 1, url: 1, tel: 1, email: 1, password: 1, number: 1, date: 1, time: 1,
                   "datetime-local": 1, month: 1, week: 1 };
  function implicitSubmission(el) {
    commit(el);
    var form = el.form;
    if (!form) return;
    var fields = form.elements, fieldsBlocking = 0;
    for (var i = 0; i < fields.length; i++) {
      var f = fields[i], type = String(f.type).toLowerCase();
      if ((f.tagName === "BUTTON" && type === "submit") || (f.tagName === "INPUT" && (type === "submit" || type === "image"))) {
        if (!f.disabled) fire(f, mouseEvent("click", 0, 0, 0, 0, 0));
        return;
      }
      if (f.tagName === "INPUT" && blocking.hasOwnProperty(type)) fieldsBlocking++;
    }
    if (fieldsBlocking <= 1) submit(form);
  }

  function activates(el) {
    var tag = el.tagName, type = String(el.type).toLowerCase();
    return tag === "BUTTON" || tag === "SUMMARY" || (tag === "A" && el.hasAttribute("href")) ||
           (tag === "INPUT" && (type === "button" || type === "submit" || type === "reset" || type === "checkbox" ||
                                type === "radio" || type === "image"));
  }

  // What a key does when no listener canceled it.
  function keyDefault(el, k, mods) {
    var command = mods.ctrlKey || mods.metaKey;
    if (command) {
      if (k.key === "a" || k.key === "A") {
        if (textField(el)) el.select(); else if (document.execCommand) document.execCommand("selectAll");
      }
      return;
    }
    if (k.key === "Tab") { tab(mods.shiftKey); return; }
    if (controlKey(el, k.key)) return;
    if (k.key === " " && spaceActivates(el)) return;
    if (k.key === "Backspace" || k.key === "Delete") { deleteText(el, k.key === "Backspace"); return; }
    if (k.key === "Enter") {
      if (el.tagName === "TEXTAREA") { replaceSelection(el, "\n", "insertLineBreak"); return; }
      if (el.isContentEditable) { document.execCommand("insertParagraph"); return; }
      // Both browsers offer the line break to a single-line field too.
      if (textField(el)) {
        if (editable(el) && !fire(el, inputEvent("beforeinput", "insertLineBreak", null))) return;
        implicitSubmission(el);
        return;
      }
      var type = String(el.type).toLowerCase();
      if (activates(el) && (el.tagName !== "INPUT" || type === "button" || type === "submit" || type === "reset" ||
                            type === "image")) fire(el, mouseEvent("click", 0, 0, 0, 0, 0));
      return;
    }
    if (textField(el) && (k.key === "ArrowLeft" || k.key === "ArrowRight" || k.key === "Home" || k.key === "End")) {
      var s = selectionOf(el);
      var at = k.key === "Home" ? 0 : k.key === "End" ? el.value.length :
               k.key === "ArrowLeft" ? (s.start === s.end ? s.start - 1 : s.start) : (s.start === s.end ? s.end + 1 : s.end);
      setCaret(el, at < 0 ? 0 : at > el.value.length ? el.value.length : at);
      return;
    }
    if (k.text) {
      if (textField(el) || el.isContentEditable) insertText(el, k.text);
    }
  }

  // One key with the modifiers held: the modifiers go down first and up
  // last; keydown, keypress (keys that give a character, and Enter), the
  // default action, keyup; Space on a button-like control clicks it after
  // its keyup, as the browser does.
  function pressChord(ch) {
    var mods = ch.mods, k = ch.key, none = { shiftKey: false, ctrlKey: false, altKey: false, metaKey: false };
    var held = { shiftKey: false, ctrlKey: false, altKey: false, metaKey: false };
    for (var i = 0; i < mods.keys.length; i++) {
      held[modifierNames[mods.keys[i].key]] = true;
      fire(active(), keyEvent("keydown", mods.keys[i], held));
    }
    var shift = k.shift && !mods.shiftKey ? { key: "Shift", code: "ShiftLeft", keyCode: 16, text: "" } : null;
    if (shift) fire(active(), keyEvent("keydown", shift, { shiftKey: true, ctrlKey: mods.ctrlKey, altKey: mods.altKey, metaKey: mods.metaKey }));
    var target = active();
    var go = fire(target, keyEvent("keydown", k, mods));
    var gives = (k.text || k.key === "Enter") && !mods.ctrlKey && !mods.metaKey && !mods.altKey;
    if (go && gives) go = fire(target, keyEvent("keypress", k, mods));
    if (go) keyDefault(active() === target ? target : active(), k, mods);
    var space = go && k.key === " " && !mods.ctrlKey && !mods.metaKey && !mods.altKey ? spaceActivates(active()) : null;
    var up = fire(active(), keyEvent("keyup", k, mods));
    if (space && up && space === active() && space.isConnected) fire(space, mouseEvent("click", 0, 0, 0, 0, 0));
    if (shift) fire(active(), keyEvent("keyup", shift, { shiftKey: false, ctrlKey: mods.ctrlKey, altKey: mods.altKey, metaKey: mods.metaKey }));
    for (var j = mods.keys.length - 1; j >= 0; j--) {
      held[modifierNames[mods.keys[j].key]] = false;
      fire(active(), keyEvent("keyup", mods.keys[j], held));
    }
    void none;
  }

  // The element takes the focus first, as a click into it gives; the
  // caret goes to the end of a field that just got it.
  function focusForKeys(el) {
    if (document.activeElement === el) return;
    focusOn(el);
    if (textField(el)) setCaret(el, el.value.length);
  }
