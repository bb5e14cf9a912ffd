// Gives our scripts tallowmere.post(name, body): the channel to the reader
// opens asynchronously, so posts made before it is open wait in order.
(function () {
  if (window.tallowmere) return;
  var pending = [];
  var bridge = null;
  function send(name, body) {
    bridge.post(String(name), body === undefined ? null : body);
  }
  window.tallowmere = {
    post: function (name, body) {
      if (bridge) send(name, body); else pending.push([name, body]);
    }
  };
  if (typeof qt === 'undefined' || !qt.webChannelTransport || typeof QWebChannel === 'undefined') return;
  new QWebChannel(qt.webChannelTransport, function (channel) {
    bridge = channel.objects.readerBridge;
    var queued = pending;
    pending = [];
    for (var i = 0; i < queued.length; i++) send(queued[i][0], queued[i][1]);
  });
})();
