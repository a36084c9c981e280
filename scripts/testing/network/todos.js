// A to-do list kept by a REST backend, in the style of Backbone
// applications: a collection fetched from /api/todos, new items saved with
// create(), a busy note while a request is on its way, and an error note
// when a save fails.
(function () {
  var Todo = Backbone.Model.extend({ defaults: { title: "", done: false } });
  var Todos = Backbone.Collection.extend({ model: Todo, url: "/api/todos" });
  var todos = new Todos();
  var pending = 0;

  function busy(delta) {
    pending += delta;
    $("#busy").toggle(pending > 0);
  }

  var ListView = Backbone.View.extend({
    el: "#list",
    initialize: function () {
      this.listenTo(this.collection, "reset add sync", this.render);
    },
    render: function () {
      var list = this.$el.empty();
      this.collection.each(function (todo) {
        list.append($("<li>").text(todo.get("title")));
      });
      return this;
    }
  });

  var FormView = Backbone.View.extend({
    el: "#new",
    events: { submit: "add" },
    add: function (event) {
      event.preventDefault();
      var title = $.trim(this.$("#title").val());
      if (!title) return;
      $("#error").text("");
      busy(1);
      todos.create({ title: title }, {
        wait: true,
        success: function () { busy(-1); },
        error: function () {
          busy(-1);
          $("#error").text("save failed");
        }
      });
      this.$("#title").val("");
    }
  });

  new ListView({ collection: todos });
  new FormView();
  busy(1);
  todos.fetch({
    reset: true,
    success: function () { busy(-1); },
    error: function () {
      busy(-1);
      $("#error").text("the list could not be loaded");
    }
  });
})();
