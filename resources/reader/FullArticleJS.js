// The built page's full-article link asks the reader for the readable text.
(function () {
  var link = document.getElementById('tallowmere-full_article');
  if (!link) return;
  link.addEventListener('click', function (event) {
    event.preventDefault();
    tallowmere.post('fullArticle', '');
  });
})();
