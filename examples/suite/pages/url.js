// The page knows its address.
test("The page's URL", function () {
  var page = open("/index.html");
  assertMatch(page.url(), /\/index\.html$/, "address");
});
