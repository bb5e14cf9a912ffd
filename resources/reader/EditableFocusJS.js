// Tells the reader whether the focus is in a field of the page that takes
// typed text, so that the reader's single-key commands leave such keys to it.
(function () {
  if (window.tallowmereEditableFocus) return;
  window.tallowmereEditableFocus = true;
  var textTypes = ['', 'text', 'search', 'email', 'url', 'tel', 'password', 'number',
                   'date', 'datetime-local', 'month', 'time', 'week'];
  function isEditable(element) {
    if (!element) return false;
    if (element.isContentEditable) return true;
    var tag = element.tagName;
    if (tag === 'TEXTAREA') return !element.readOnly && !element.disabled;
    if (tag === 'INPUT') {
      var type = (element.getAttribute('type') || '').toLowerCase();
      return textTypes.indexOf(type) >= 0 && !element.readOnly && !element.disabled;
    }
    return false;
  }
  function report(editable) {
    if (window.tallowmere) window.tallowmere.post('editableFocus', editable ? 'true' : 'false');
  }
  document.addEventListener('focusin', function (event) {
    // Focus moving into a frame is reported by the frame's own copy of this script.
    var tag = event.target && event.target.tagName;
    if (tag === 'IFRAME' || tag === 'FRAME') return;
    report(isEditable(event.target));
  }, true);
  document.addEventListener('focusout', function (event) {
    if (!event.relatedTarget) report(false);
  }, true);
})();
