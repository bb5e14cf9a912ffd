// Pages may not replace the reader's own context menu.
(function () {
  window.addEventListener('contextmenu', function (event) {
    event.stopImmediatePropagation();
  }, true);
})();
