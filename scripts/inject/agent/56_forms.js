// Form actions built from keys and the mouse: check, type, press, clear,
// select, submit.

  function check(el, wanted) {
    if (el.checked === wanted) return;
    click(el, 1);
    if (el.checked !== wanted) throw new Error("the click did not " + (wanted ? "check" : "uncheck") + " it");
  }

  function type(el, text) {
    focusForKeys(el);
    text = String(text === null || text === undefined ? "" : text);
    for (var i = 0; i < text.length; i++) {
      var c = text.charAt(i);
      pressChord({ mods: { shiftKey: false, ctrlKey: false, altKey: false, metaKey: false, keys: [] },
                   key: c === "\n" ? keyOf("Enter") : keyOf(c) });
    }
  }

  function press(el, name) {
    var ch = chord(name);
    focusForKeys(el);
    pressChord(ch);
  }

  // As a user does it: everything selected, then deleted.
  function clear(el) {
    focusForKeys(el);
    pressChord(chord("Control+a"));
    if (el.value !== "") pressChord(chord("Backspace"));
  }

  function select(el, wanted) {
    for (var i = 0; i < el.options.length; i++) {
      var o = el.options[i];
      if (o.value === wanted || o.text === wanted) {
        focusOn(el);
        if (el.selectedIndex === i) return;
        el.selectedIndex = i;
        fire(el, plainEvent("input", true));
        fire(el, plainEvent("change", true));
        return;
      }
    }
    throw new Error("no option '" + wanted + "'");
  }

  function submit(form) {
    if (form.requestSubmit) form.requestSubmit(); else form.submit();
  }
