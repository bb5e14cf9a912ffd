// Embedded store players do not play inside the reader: each becomes a plain
// link to its page.
(function () {
  var frames = document.querySelectorAll('iframe[src*="//embed.music."], iframe[src*="//embed.podcasts."]');
  for (var i = 0; i < frames.length; i++) {
    var frame = frames[i];
    var link = document.createElement('a');
    link.href = frame.src.replace('//embed.', '//');
    link.textContent = link.href;
    frame.parentNode.replaceChild(link, frame);
  }
})();
