// A to-do list in the style of Vue 2 applications: data, computed
// filters, key modifiers on v-on, a directive that focuses the edited item,
// a deep watcher that saves.
(function () {
  var key = "todos-vue";
  var stored = JSON.parse(localStorage.getItem(key) || "[]");
  var nextId = 1;
  stored.forEach(function (t) { t.id = nextId++; });

  function hashFilter() { return location.hash.replace(/^#\//, "") || "all"; }

  var app = new Vue({
    el: "#app",
    data: { todos: stored, newTitle: "", editing: null, filter: hashFilter(), status: "" },
    computed: {
      shown: function () {
        var f = this.filter;
        return this.todos.filter(function (t) {
          return f === "all" || (f === "active" ? !t.completed : t.completed);
        });
      },
      left: function () { return this.todos.filter(function (t) { return !t.completed; }).length; },
      allDone: {
        get: function () { return this.todos.length > 0 && this.left === 0; },
        set: function (done) { this.todos.forEach(function (t) { t.completed = done; }); }
      }
    },
    watch: {
      todos: {
        deep: true,
        handler: function (todos) {
          localStorage.setItem(key, JSON.stringify(todos.map(function (t) {
            return { title: t.title, completed: t.completed };
          })));
          this.status = "Saved";
        }
      }
    },
    methods: {
      add: function () {
        var title = this.newTitle.trim();
        if (!title) return;
        this.todos.push({ id: nextId++, title: title, completed: false });
        this.newTitle = "";
      },
      edit: function (todo) { this.editing = todo; },
      done: function (todo) {
        if (this.editing !== todo) return;
        this.editing = null;
        todo.title = todo.title.trim();
        if (!todo.title) this.remove(todo);
      },
      remove: function (todo) { this.todos.splice(this.todos.indexOf(todo), 1); },
      clearCompleted: function () { this.todos = this.todos.filter(function (t) { return !t.completed; }); }
    },
    directives: {
      "todo-focus": function (el, binding) {
        if (binding.value) Vue.nextTick(function () { el.focus(); });
      }
    }
  });
  window.addEventListener("hashchange", function () { app.filter = hashFilter(); });
})();
