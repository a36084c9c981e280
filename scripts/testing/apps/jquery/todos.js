// The jQuery to-do list as a jQuery plugin, which the jquery and jqueryui
// applications share: delegated handlers, keypress with e.which, state
// rendered by hand.
//   $.todos("storage key", { confirmClear: function (clear) { ... } })
// confirmClear (optional) is asked before the completed items go; it calls
// clear() when they are to go. Without it they go at once.
(function ($) {
  $.todos = function (key, options) {
    var confirmClear = (options && options.confirmClear) || function (clear) { clear(); };
    var todos = JSON.parse(localStorage.getItem(key) || "[]");

    function filter() { return (location.hash.replace(/^#\//, "") || "all"); }

    function save() {
      localStorage.setItem(key, JSON.stringify(todos));
      $("#status").text("Saved");
    }

    function render() {
      var list = $("#todo-list").empty();
      var shown = filter();
      $.each(todos, function (i, todo) {
        var li = $("<li>").toggleClass("completed", todo.completed).attr("data-index", i);
        var view = $("<div class='view'>").appendTo(li);
        $("<input class='toggle' type='checkbox'>").prop("checked", todo.completed).appendTo(view);
        $("<label>").text(todo.title).appendTo(view);
        $("<button class='destroy'>x</button>").appendTo(view);
        $("<input class='edit'>").val(todo.title).appendTo(li);
        if ((shown === "active" && todo.completed) || (shown === "completed" && !todo.completed)) li.addClass("hidden");
        list.append(li);
      });
      var left = $.grep(todos, function (t) { return !t.completed; }).length;
      $("#count").text(left + (left === 1 ? " item left" : " items left"));
      $("#toggle-all").prop("checked", todos.length > 0 && left === 0);
      $(".filters a").removeClass("selected").filter("[href='#/" + (shown === "all" ? "" : shown) + "']").addClass("selected");
      save();
    }

    function indexOf(el) { return Number($(el).closest("li").attr("data-index")); }

    $("#new-todo").on("keypress", function (e) {
      if (e.which !== 13) return;
      var title = $.trim($(this).val());
      if (!title) return;
      todos.push({ title: title, completed: false });
      $(this).val("");
      render();
    });
    $("#todo-list")
      .on("change", ".toggle", function () {
        todos[indexOf(this)].completed = this.checked;
        render();
      })
      .on("click", ".destroy", function () {
        todos.splice(indexOf(this), 1);
        render();
      })
      .on("dblclick", "label", function () {
        var li = $(this).closest("li").addClass("editing");
        var input = li.find(".edit");
        input.val(todos[indexOf(this)].title).focus();
      })
      .on("keyup", ".edit", function (e) {
        if (e.which === 13) $(this).blur();
        if (e.which === 27) $(this).data("abort", true).blur();
      })
      .on("focusout", ".edit", function () {
        var el = $(this);
        var li = el.closest("li");
        if (!li.hasClass("editing")) return;
        li.removeClass("editing");
        if (!el.data("abort")) todos[indexOf(this)].title = $.trim(el.val());
        render();
      });
    $("#toggle-all").on("change", function () {
      var done = this.checked;
      $.each(todos, function (i, t) { t.completed = done; });
      render();
    });
    $("#clear-completed").on("click", function () {
      confirmClear(function () {
        todos = $.grep(todos, function (t) { return !t.completed; });
        render();
      });
    });
    $(window).on("hashchange", render);
    render();
  };
})(jQuery);
