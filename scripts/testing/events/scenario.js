// The input scenario of the event reference, given either by real input
// (xdotool on a private X server, for the reference) or by the tester's
// API (for the comparison). `input` has click(selector), dblclick(selector),
// type(selector, text) and press(selector, key).
function scenario(input) {
  input.click("#field");
  input.type("#field", "ab1");
  input.press("#field", "Enter");
  input.press("#field", "Backspace");
  input.press("#field", "Tab");
  input.click("#box");
  input.click("#name");
  input.dblclick("#word");
}
