// Keys on the browser's own controls, as a user's keys work them: arrows
// step a number field, arrows, Home, End, PageUp and PageDown move a
// range slider, arrows choose a select's next option (each with input and
// change); Space activates a checkbox, radio or button after its keyup.

  function inputType(el) { return el.tagName === "INPUT" ? String(el.type).toLowerCase() : ""; }

  function changedByKey(el) {
    fire(el, plainEvent("input", true));
    fire(el, plainEvent("change", true));
  }

  // ArrowUp and ArrowDown: one step up or down from the value (from
  // nothing: the first step), within min and max.
  function stepNumber(el, up) {
    var before = el.value;
    try { if (up) el.stepUp(); else el.stepDown(); } catch (e) { return; }
    if (el.value !== before) changedByKey(el);
  }

  // The slider's new value for a key; null for a key that does not move it.
  function rangeTarget(el, key) {
    var min = el.min === "" ? 0 : Number(el.min), max = el.max === "" ? 100 : Number(el.max);
    var step = el.step === "any" || el.step === "" ? (el.step === "any" ? (max - min) / 100 : 1) : Number(el.step);
    var value = Number(el.value);
    var page = (max - min) / 10 > step ? (max - min) / 10 : step;
    if (key === "ArrowUp" || key === "ArrowRight") return value + step;
    if (key === "ArrowDown" || key === "ArrowLeft") return value - step;
    if (key === "PageUp") return value + page;
    if (key === "PageDown") return value - page;
    if (key === "Home") return min;
    if (key === "End") return max;
    return null;
  }

  function moveRange(el, key) {
    var wanted = rangeTarget(el, key);
    if (wanted === null) return false;
    var before = el.value;
    setValue(el, String(wanted));  // the browser clamps it and snaps it to a step
    if (el.value !== before) changedByKey(el);
    return true;
  }

  // The next or previous option that may be chosen, or the first or last.
  function moveSelect(el, key) {
    var options = el.options, at = el.selectedIndex, next = -1, i;
    if (key === "ArrowDown" || key === "ArrowRight") {
      for (i = at + 1; i < options.length && next < 0; i++) if (!options[i].disabled) next = i;
    } else if (key === "ArrowUp" || key === "ArrowLeft") {
      for (i = at - 1; i >= 0 && next < 0; i--) if (!options[i].disabled) next = i;
    } else if (key === "Home") {
      for (i = 0; i < options.length && next < 0; i++) if (!options[i].disabled) next = i;
    } else if (key === "End") {
      for (i = options.length - 1; i >= 0 && next < 0; i--) if (!options[i].disabled) next = i;
    } else {
      return false;
    }
    if (next >= 0 && next !== at) {
      el.selectedIndex = next;
      changedByKey(el);
    }
    return true;
  }

  // The default of a key on a control; true when the key was the
  // control's (nothing else happens then).
  function controlKey(el, key) {
    if (!el || el.disabled) return false;
    var type = inputType(el);
    if (type === "number" && (key === "ArrowUp" || key === "ArrowDown")) {
      if (!el.readOnly) stepNumber(el, key === "ArrowUp");
      return true;
    }
    if (type === "range") return moveRange(el, key);
    if (el.tagName === "SELECT" && !el.multiple) return moveSelect(el, key);
    return false;
  }

  // What Space activates on its keyup: a checkbox, radio, button or
  // button-like input; null for anything else.
  function spaceActivates(el) {
    if (!el || el.disabled) return null;
    var type = inputType(el);
    if (el.tagName === "BUTTON" || type === "checkbox" || type === "radio" || type === "button" ||
        type === "submit" || type === "reset" || type === "image" || el.tagName === "SUMMARY") return el;
    return null;
  }
