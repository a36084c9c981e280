// The jQuery to-do list (../jquery/todos.js) with jQuery UI widgets: the
// buttons are UI buttons, and clearing the completed items asks in a UI
// dialog.
$(function () {
  var clear = null;
  var dialog = $("#confirm-clear").dialog({
    autoOpen: false,
    modal: true,
    buttons: {
      Clear: function () {
        clear();
        $(this).dialog("close");
      },
      Cancel: function () { $(this).dialog("close"); }
    }
  });
  $.todos("todos-jqueryui", {
    confirmClear: function (clearing) {
      clear = clearing;
      dialog.dialog("open");
    }
  });
  $("#clear-completed").button();
});
