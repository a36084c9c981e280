// A to-do list in the style of Backbone applications: models in a
// collection, views with event maps, a router for the filters, and a save
// to localStorage debounced by half a second.
(function () {
  var key = "todos-backbone";

  var Todo = Backbone.Model.extend({
    defaults: { title: "", completed: false },
    toggle: function () { this.set("completed", !this.get("completed")); }
  });

  var Todos = Backbone.Collection.extend({
    model: Todo,
    remaining: function () { return this.where({ completed: false }); },
    completed: function () { return this.where({ completed: true }); }
  });
  var todos = new Todos(JSON.parse(localStorage.getItem(key) || "[]"));
  var filter = "";

  var saveSoon = _.debounce(function () {
    localStorage.setItem(key, JSON.stringify(todos.toJSON()));
    $("#status").text("Saved");
  }, 500);
  todos.on("add remove change reset", function () {
    $("#status").text("Saving");
    saveSoon();
  });

  var TodoView = Backbone.View.extend({
    tagName: "li",
    template: _.template($("#item-template").html()),
    events: {
      "click .toggle": "toggleCompleted",
      "dblclick label": "edit",
      "click .destroy": "clear",
      "keypress .edit": "updateOnEnter",
      "blur .edit": "close"
    },
    initialize: function () {
      this.listenTo(this.model, "change", this.render);
      this.listenTo(this.model, "destroy remove", this.remove);
      this.listenTo(this.model, "visible", this.toggleVisible);
    },
    render: function () {
      this.$el.html(this.template(this.model.toJSON()));
      this.$el.toggleClass("completed", this.model.get("completed"));
      this.toggleVisible();
      this.input = this.$(".edit");
      return this;
    },
    toggleVisible: function () {
      var done = this.model.get("completed");
      this.$el.toggleClass("hidden", (filter === "completed" && !done) || (filter === "active" && done));
    },
    toggleCompleted: function () { this.model.toggle(); },
    edit: function () {
      this.$el.addClass("editing");
      this.input.focus();
    },
    close: function () {
      if (!this.$el.hasClass("editing")) return;
      var value = $.trim(this.input.val());
      this.$el.removeClass("editing");
      if (value) this.model.set({ title: value }); else this.clear();
    },
    updateOnEnter: function (e) { if (e.keyCode === 13) this.close(); },
    clear: function () { todos.remove(this.model); }
  });

  var AppView = Backbone.View.extend({
    el: "#todoapp",
    events: {
      "keypress #new-todo": "createOnEnter",
      "click #clear-completed": "clearCompleted",
      "click #toggle-all": "toggleAll"
    },
    initialize: function () {
      this.input = this.$("#new-todo");
      this.listenTo(todos, "add", this.addOne);
      this.listenTo(todos, "reset", this.addAll);
      this.listenTo(todos, "all", this.render);
      this.addAll();
      this.render();
    },
    render: function () {
      var left = todos.remaining().length;
      this.$("#count").text(left + (left === 1 ? " item left" : " items left"));
      this.$("#toggle-all").prop("checked", todos.length > 0 && !left);
      this.$(".filters a").removeClass("selected").filter("[href='#/" + filter + "']").addClass("selected");
    },
    addOne: function (todo) { this.$("#todo-list").append(new TodoView({ model: todo }).render().el); },
    addAll: function () { this.$("#todo-list").empty(); todos.each(this.addOne, this); },
    createOnEnter: function (e) {
      if (e.which !== 13 || !$.trim(this.input.val())) return;
      todos.add({ title: $.trim(this.input.val()) });
      this.input.val("");
    },
    clearCompleted: function () { todos.remove(todos.completed()); return false; },
    toggleAll: function () {
      var done = this.$("#toggle-all").prop("checked");
      todos.each(function (todo) { todo.set("completed", done); });
    }
  });

  var Router = Backbone.Router.extend({
    routes: { "*filter": "setFilter" },
    setFilter: function (param) {
      filter = (param || "").replace(/^\//, "");
      todos.each(function (todo) { todo.trigger("visible", todo); });
      app.render();
    }
  });

  var app = new AppView();
  new Router();
  Backbone.history.start();
})();
