// Reads the article out of a copy of the loaded page and hands its text to
// the reader; an extraction that finds nothing hands over nothing.
(function () {
  // The engine's own error pages are no article.
  if (location.protocol !== 'http:' && location.protocol !== 'https:') return;
  var text = null;
  try {
    var article = new Readability(document.cloneNode(true)).parse();
    if (article && typeof article.textContent === 'string') text = article.textContent;
  } catch (error) {
    text = null;
  }
  tallowmere.post('readableArticle', text);
})();
