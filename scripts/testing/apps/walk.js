// The walk through a to-do application that a user takes: three items
// added with Enter, one completed by its checkbox, one renamed by a
// double-click, the filters, clearing the completed ones, marking all,
// and a reload that keeps the list. No sleeps, no eval: every wait is a
// retrying read.
function walk(app) {
  var page = open("/apps/" + app + "/index.html");
  var entry = page.element("#new-todo", "new item");
  entry.type("Buy milk").press("Enter");
  entry.type("Walk the dog").press("Enter");
  entry.type("Read a book").press("Enter");
  var items = page.element("#todo-list li", "items");
  items.waitCount(3);
  assertEqual(function () { return entry.value(); }, "", "the entry is empty again");
  assertEqual(function () { return page.element("#count").text(); }, "3 items left", "three left");

  page.element("#todo-list li:nth-child(2) .toggle", "second checkbox").check();
  page.element("#count").waitText("2 items left");
  assertEqual(page.element("#todo-list li.completed label").text(), "Walk the dog", "the second is done");

  page.element("#todo-list li:nth-child(1) label", "first label").dblclick();
  var edit = page.element("#todo-list li.editing .edit", "first item's field");
  edit.waitVisible();
  edit.clear().type("Buy oat milk").press("Enter");
  page.element("#todo-list li:nth-child(1) label").waitText("Buy oat milk");
  page.element("#todo-list li.editing").waitCount(0);

  page.element("a[href='#/active']", "Active").click();
  items.waitCount(2);
  page.element("a[href='#/completed']", "Completed").click();
  items.waitCount(1);
  assertEqual(function () { return page.element("text=Walk the dog").visible(); }, true, "the done one is shown");
  page.element("a[href='#/']", "All").click();
  items.waitCount(3);

  page.element("#clear-completed", "clear completed").click();
  if (app === "jqueryui") page.element("text=Clear", "confirm").click();
  items.waitCount(2);
  assertMatch(function () { return page.element("#todo-list").text(); }, /Buy oat milk[\s\S]*Read a book/, "the rest stay");

  page.element("#toggle-all", "mark all").check();
  page.element("#count").waitText("0 items left");
  page.element("#status").waitText("Saved");

  page.reload();
  items.waitCount(2);
  assertEqual(function () { return page.element("#todo-list li.completed").count(); }, 2, "kept after the reload");
  assertEqual(page.element("#count").text(), "0 items left", "none left after the reload");
  page.close();
}
