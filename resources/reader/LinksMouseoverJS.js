// Tells the reader the address of the link under the pointer, and nothing
// when the pointer leaves it.
(function () {
  function linkOf(node) {
    while (node && node !== document) {
      if (node.tagName === 'A' && node.href) return node;
      node = node.parentNode;
    }
    return null;
  }
  var shown = null;
  document.addEventListener('mouseover', function (event) {
    var link = linkOf(event.target);
    var address = link ? link.href : null;
    if (address === shown) return;
    shown = address;
    tallowmere.post('linksMouseover', address);
  }, true);
})();
