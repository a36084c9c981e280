// child.js: the nested suite of hello.js. A relative path in suite() is
// taken from the calling script's folder.

test("nested suite", function () {
  assertEqual(param("suite"), "1", "runs one level deeper");
  verbose("log", param("log"));
});
