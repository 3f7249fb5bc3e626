// WebGL rendering contexts on the canvas, made through Emscripten's GL layer
// so that its emulation of immediate mode is set up for them, and what
// happens when the browser takes one away: a GPU reset, a driver update, or
// too many live contexts. The program knows nothing of that, as on a desktop
// whose driver recovers by itself.
mergeInto(LibraryManager.library, {
  JsCreateContext__deps: ['$TowerWeb', '$TowerGLContext', '$Browser', '$GL'],
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
    canvas.addEventListener('webglcontextlost', TowerGLContext.lost);
    canvas.addEventListener('webglcontextrestored', TowerGLContext.restored);
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

  JsDeleteContext__deps: ['$TowerWeb', '$GL'],
  JsDeleteContext: function(context) {
    if (GL.contexts[context]) {
      TowerWeb.contextDeleted = true;
      if (GL.currentContext === GL.contexts[context]) {
        GL.makeContextCurrent(0);
      }
      GL.deleteContext(context);
    }
  },

  $TowerGLContext__deps: ['$TowerWeb', '$TowerGLCalls', '$GL', '$GLImmediateSetup'],
  $TowerGLContext: {
    // How long the browser has to give a lost context back; one it dropped
    // for having too many live contexts never comes back.
    restoreSeconds: 5,

    // Nothing is drawn or presented until the context is back, and the
    // program's loop idles (JsSleep).
    lost: function(e) {
      // Without this the browser never gives the context back.
      e.preventDefault();
      if (TowerWeb.contextLost) {
        return;
      }
      TowerWeb.contextLost = true;
      TowerWeb.giveUpTimer =
          setTimeout(TowerGLContext.giveUp, TowerGLContext.restoreSeconds * 1000);
    },

    // The context given back has nothing of the old one: the extensions are
    // enabled again and the emulation's buffers and shader programs made
    // anew, then the program's state is set as the program last set it.
    // NOTE: This reaches into the emulation (GLImmediate) for what its own
    // set-up makes per context; its matrices and current colour live in
    // JavaScript and are still there.
    restored: function() {
      var record = GL.contexts[TowerWeb.context];
      if (!TowerWeb.contextLost || TowerWeb.contextGone || !record) {
        return;
      }
      clearTimeout(TowerWeb.giveUpTimer);
      var current = GL.currentContext;
      GL.makeContextCurrent(TowerWeb.context);
      record.initExtensionsDone = false;
      GL.initExtensions(record);
      GL.generateTempBuffers(true, record);
      GLImmediate.rendererCache = GLImmediate.MapTreeLib.create();
      GLImmediate.currentRenderer = null;
      GLImmediate.lastRenderer = null;
      GLImmediate.lastProgram = null;
      GLImmediate.lastArrayBuffer = null;
      GLImmediate.fixedFunctionProgram = 0;
      TowerGLCalls.replay();
      GL.makeContextCurrent(current ? current.handle : 0);
      TowerWeb.contextLost = false;
    },

    // The page says so and the loop stops: only a reload brings a new one.
    giveUp: function() {
      TowerWeb.contextGone = true;
      clearTimeout(TowerWeb.wakeTimer);
      TowerWeb.reportError('the WebGL context was lost',
                           'not given back within ' + TowerGLContext.restoreSeconds + ' seconds');
      TowerWeb.setStatus('The graphics were lost and did not come back. ' +
                         'Reload the page to start again.');
    },
  },
});
