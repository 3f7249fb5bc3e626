// The page's canvas as the program's one window: its size, showing it, the
// page's events that become window messages, the key state, and full-screen.
mergeInto(LibraryManager.library, {
  // The viewport in device pixels, as the canvas covering it has them.
  JsViewportSize: function(width, height) {
    var scale = window.devicePixelRatio || 1;
    {{{ makeSetValue('width', 0, 'Math.round(window.innerWidth * scale)', 'i32') }}};
    {{{ makeSetValue('height', 0, 'Math.round(window.innerHeight * scale)', 'i32') }}};
  },

  JsCreateWindow__deps: ['$TowerWeb', '$TowerWindow'],
  JsCreateWindow: function(width, height, title) {
    var canvas = Module['canvas'];
    if (!canvas || TowerWeb.window) {
      TowerWeb.reportError('cannot create a window', canvas ? 'the page has one already' :
                                                               'the page has no canvas');
      return 0;
    }
    canvas.width = width;
    canvas.height = height;
    canvas.style.visibility = 'hidden';
    document.title = UTF8ToString(title);
    if (!TowerWeb.canvas) {
      TowerWeb.canvas = canvas;
      TowerWindow.listen();
    }
    // A new id each time, so that a destroyed window's id stays dead.
    TowerWeb.window = ++TowerWeb.windowsMade;
    return TowerWeb.window;
  },

  // The canvas keeps what it shows: however the program ends, its last
  // frame stays on the page.
  JsDestroyWindow__deps: ['$TowerWeb'],
  JsDestroyWindow: function(id) {
    if (id === TowerWeb.window) {
      TowerWeb.window = 0;
    }
  },

  JsShowWindow__deps: ['$TowerWeb', '$TowerWindow'],
  JsShowWindow: function(id, visible) {
    if (id === TowerWeb.window) {
      TowerWeb.canvas.style.visibility = visible ? 'visible' : 'hidden';
      TowerWindow.invite();
    }
  },

  JsPresent__deps: ['$TowerWeb'],
  JsPresent: function(id) {
    if (id !== TowerWeb.window) {
      return 0;
    }
    // A lost context shows nothing new.
    if (!TowerWeb.contextLost) {
      TowerWeb.frames++;
    }
    return 1;
  },

  // The drawing buffer follows the viewport; the handlers only take note, so
  // it is resized once for a burst, here, just before WM_SIZE is posted.
  JsTakeResize__deps: ['$TowerWeb', 'JsViewportSize'],
  JsTakeResize: function(width, height) {
    var canvas = TowerWeb.canvas;
    // Once the program has deleted its context nothing draws again, and a
    // new size would clear the canvas: it keeps its last frame, scaled.
    if (!TowerWeb.resizePending || !TowerWeb.window || TowerWeb.contextDeleted) {
      return 0;
    }
    TowerWeb.resizePending = false;
    _JsViewportSize(width, height);
    var w = {{{ makeGetValue('width', 0, 'i32') }}};
    var h = {{{ makeGetValue('height', 0, 'i32') }}};
    if (w === canvas.width && h === canvas.height) {
      return 0;
    }
    canvas.width = w;
    canvas.height = h;
    return TowerWeb.window;
  },

  JsTakeClose__deps: ['$TowerWeb'],
  JsTakeClose: function() {
    var closed = TowerWeb.closePending;
    TowerWeb.closePending = false;
    return closed ? 1 : 0;
  },

  // Only the page's own key events are heard: a browser keeps no global key
  // state, so the page must have the focus.
  JsKeyState__deps: ['$TowerWeb'],
  JsKeyState: function(vkey, pressed) {
    var down = 0;
    var wentDown = 0;
    if (TowerWeb.keysDown && vkey >= 0 && vkey < 256) {
      down = TowerWeb.keysDown[vkey];
      wentDown = TowerWeb.keysPressed[vkey];
      TowerWeb.keysPressed[vkey] = 0;
    }
    {{{ makeSetValue('pressed', 0, 'wentDown', 'i32') }}};
    return down;
  },

  $TowerWindow__deps: ['$TowerWeb'],
  $TowerWindow: {
    // Windows' virtual-key code for Escape, which the browser's keyCode shares.
    VK_ESCAPE: 27,

    listen: function() {
      TowerWeb.keysDown = new Uint8Array(256);
      TowerWeb.keysPressed = new Uint8Array(256);
      window.addEventListener('resize', function() {
        TowerWeb.resizePending = true;
      });
      document.addEventListener('fullscreenchange', TowerWindow.invite);
      // Closing the page, or leaving it for good, closes the window. A page
      // kept in the back/forward cache is frozen instead, and is loaded
      // anew when it is shown again: the program starts afresh, as it
      // would from a new launch.
      window.addEventListener('pagehide', function(e) {
        if (!e.persisted) {
          TowerWeb.closePending = true;
        }
      });
      window.addEventListener('pageshow', function(e) {
        if (e.persisted) {
          location.reload();
        }
      });
      // keyCode is the virtual-key code Windows gives the same key.
      window.addEventListener('keydown', function(e) {
        if (e.keyCode < 256) {
          TowerWeb.keysPressed[e.keyCode] |= !TowerWeb.keysDown[e.keyCode];
          TowerWeb.keysDown[e.keyCode] = 1;
        }
        if (e.keyCode !== TowerWindow.VK_ESCAPE) {
          TowerWindow.goFullScreen(e);
        }
      });
      window.addEventListener('keyup', function(e) {
        if (e.keyCode < 256) {
          TowerWeb.keysDown[e.keyCode] = 0;
        }
      });
      // Keys released while another window has the focus send no keyup.
      window.addEventListener('blur', function() {
        TowerWeb.keysDown.fill(0);
      });
      window.addEventListener('pointerdown', TowerWindow.goFullScreen);
    },

    // A page may only go full-screen on a user's gesture, so the tower draws
    // in the browser window first and the one-line prompt invites the rest.
    invite: function() {
      if (TowerWeb.window && !TowerWeb.ended && !TowerWeb.contextGone) {
        TowerWeb.setStatus(document.fullscreenElement ?
                               '' : 'Click or press a key for full screen. Escape quits.');
      }
    },

    goFullScreen: function(e) {
      // A click or key meant for a message box is not for the page.
      var inBox = e.target instanceof Element && e.target.closest('dialog');
      if (!TowerWeb.window || TowerWeb.ended || document.fullscreenElement || inBox) {
        return;
      }
      document.documentElement.requestFullscreen().then(function() {
        // Where the browser allows it, Escape then reaches the program
        // instead of leaving full-screen (holding it down still leaves).
        if (navigator.keyboard && navigator.keyboard.lock) {
          navigator.keyboard.lock(['Escape']).catch(function(e) {
            TowerWeb.reportError('cannot keep Escape for the program', e.message);
          });
        }
      }, function(e) {
        TowerWeb.reportError('cannot go full-screen', e.message);
      });
    },
  },
});
