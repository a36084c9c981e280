// A to-do list in the style of AngularJS applications: a controller on the
// scope, ng-model and ng-submit, a directive that focuses the edited item,
// a watch that saves.
angular.module("todos", [])
  .controller("TodoController", ["$scope", "$window", function ($scope, $window) {
    var key = "todos-angular";
    $scope.todos = JSON.parse($window.localStorage.getItem(key) || "[]");
    $scope.newTitle = "";
    $scope.editing = null;
    $scope.status = "";

    function readFilter() {
      var f = $window.location.hash.replace(/^#\//, "");
      $scope.shown = f === "active" ? { completed: false } : f === "completed" ? { completed: true } : {};
    }
    readFilter();
    angular.element($window).on("hashchange", function () { $scope.$apply(readFilter); });

    $scope.$watch("todos", function () {
      $scope.left = $scope.todos.filter(function (t) { return !t.completed; }).length;
      $scope.allDone = $scope.todos.length > 0 && $scope.left === 0;
      $window.localStorage.setItem(key, angular.toJson($scope.todos));
      $scope.status = "Saved";
    }, true);

    $scope.add = function () {
      var title = $scope.newTitle.trim();
      if (!title) return;
      $scope.todos.push({ title: title, completed: false });
      $scope.newTitle = "";
    };
    $scope.changed = function () {};
    $scope.edit = function (todo) { $scope.editing = todo; };
    $scope.done = function (todo) {
      if ($scope.editing !== todo) return;
      $scope.editing = null;
      todo.title = todo.title.trim();
      if (!todo.title) $scope.remove(todo);
    };
    $scope.remove = function (todo) { $scope.todos.splice($scope.todos.indexOf(todo), 1); };
    $scope.clearCompleted = function () {
      $scope.todos = $scope.todos.filter(function (t) { return !t.completed; });
    };
    $scope.markAll = function (done) {
      $scope.todos.forEach(function (t) { t.completed = done; });
    };
  }])
  .directive("todoFocus", ["$timeout", function ($timeout) {
    return function (scope, element, attrs) {
      scope.$watch(attrs.todoFocus, function (focus) {
        if (focus) $timeout(function () { element[0].focus(); }, 0, false);
      });
    };
  }]);
