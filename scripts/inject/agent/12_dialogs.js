// Dialogs: alert, confirm and prompt answer as the test asked, and each
// is recorded for the next answer.

  // Dialogs answer as the test asked and are recorded.
  var realAlert = window.alert, realConfirm = window.confirm, realPrompt = window.prompt;
  window.alert = function (text) { dialogs[dialogs.length] = { kind: "alert", text: String(text) }; };
  window.confirm = function (text) {
    dialogs[dialogs.length] = { kind: "confirm", text: String(text) };
    return dialogAnswer === null ? true : !!dialogAnswer;
  };
  // A prompt accepted (no answer set, or true) gets its default text,
  // refused (false) gets null, and any other answer is its text.
  window.prompt = function (text, value) {
    dialogs[dialogs.length] = { kind: "prompt", text: String(text) };
    if (dialogAnswer === false) return null;
    if (dialogAnswer === null || dialogAnswer === true) return value === undefined ? "" : String(value);
    return String(dialogAnswer);
  };
  void realAlert; void realConfirm; void realPrompt;
