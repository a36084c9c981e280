// Network control: the orders page of the example site (site/network/)
// against a backend that the routes stand in for. Run with
//   build/bin/Quorvane examples/network.js -s login.example.test -b chromium --log "$PWD/network.log"
// All three tests pass: the list comes from a stubbed backend, a failing
// request is shown to the user, and the order the page posted is checked.

var orders = { url: "**/api/orders", method: "GET" };
var place = { url: "**/api/orders", method: "POST" };

route(orders, { json: [{ item: "tea" }, { item: "scones" }] });

test("the orders come from the stubbed backend", function () {
  var page = open("/network/orders.html");
  assertEqual(page.element("#state").waitText("2 orders"), "2 orders", "the count shown");
  assertEqual(page.element("#orders li").text(), "tea", "the first order");
  page.close();
});

test("a failing request is shown", function () {
  route(place, { abort: "reset", times: 1 });
  var page = open("/network/orders.html");
  page.element("#item").type("jam");
  page.element("#place").click();
  page.element("#state").waitText("The order failed");
  assertEqual(waitResponse(place).failure, "reset", "the request was reset");
  page.close();
});

test("the order the page posted", function () {
  // A browser sends a request whose connection was reset again on a new
  // one, so the run's log may hold the failed order twice: count this
  // test's orders only.
  var before = requests(place).length;
  route(place, { status: 201, json: { ok: true } });
  var page = open("/network/orders.html");
  page.element("#item").type("cream");
  page.element("#place").click();
  page.element("#state").waitText("Order placed");
  var posted = waitRequest(place);
  assertEqual(posted.postJSON().item, "cream", "the posted item");
  assertEqual(requests(place).length - before, 1, "one order was posted by this test");
  page.close();
});
