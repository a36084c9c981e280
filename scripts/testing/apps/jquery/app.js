// A to-do list in the style of jQuery applications (todos.js).
$(function () {
  $.todos("todos-jquery");
});
