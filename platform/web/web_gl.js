// WebGL rendering contexts on the canvas, made through Emscripten's GL layer
// so that its emulation of immediate mode is set up for them.
mergeInto(LibraryManager.library, {
  JsCreateContext__deps: ['$TowerWeb', '$TowerGLCalls', '$Browser', '$GL'],
  JsCreateContext: function(id, depth, stencil) {
    var canvas = TowerWeb.canvas;
    // A canvas gives one context for its lifetime.
    if (id !== TowerWeb.window || TowerWeb.context) {
      TowerWeb.reportError('cannot create a WebGL context',
                           id !== TowerWeb.window ? 'no such window' : 'the canvas has one');
      return 0;
    }
    var why = 'the browser offers no WebGL';
    function onError(e) {
      why = e.statusMessage || why;
    }
    canvas.addEventListener('webglcontextcreationerror', onError);
    // What a desktop pixel format has: no multisampling, an opaque window.
    var attributes = {
      depth: !!depth, stencil: !!stencil, antialias: false, alpha: false, majorVersion: 1
    };
    var made = Browser.createContext(canvas, true, true, attributes);
    canvas.removeEventListener('webglcontextcreationerror', onError);
    if (!made) {
      TowerWeb.reportError('cannot create a WebGL context', why);
      return 0;
    }
    TowerWeb.context = GL.currentContext.handle;
    // Made, not current: wglCreateContext leaves the thread as it was.
    GL.makeContextCurrent(0);
    return TowerWeb.context;
  },

  JsMakeCurrent__deps: ['$GL'],
  JsMakeCurrent: function(context) {
    if (context && !GL.contexts[context]) {
      return 0;
    }
    GL.makeContextCurrent(context);
    return 1;
  },

  JsDeleteContext__deps: ['$GL'],
  JsDeleteContext: function(context) {
    if (GL.contexts[context]) {
      if (GL.currentContext === GL.contexts[context]) {
        GL.makeContextCurrent(0);
      }
      GL.deleteContext(context);
    }
  },
});
