// WebGL rendering contexts on the canvas, made through Emscripten's GL layer
// so that its emulation of immediate mode is set up for them.
mergeInto(LibraryManager.library, {
  JsCreateContext__deps: ['$TowerWeb', '$TowerGuardGL', '$Browser', '$GL'],
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

  // With no context current, GL calls do nothing, as they do on Windows and
  // under Mesa: the program draws once more after teardown, and runs its
  // set-up to the end after a failure. Emscripten's GL functions assume a
  // context, so each import that is one is guarded before the module starts.
  // NOTE: The imports are known by their function names (_glClear,
  // _gluPerspective, and _emscripten_gl… where the emulation replaced one),
  // which hold in builds that are not run through Closure.
  $TowerGuardGL__deps: ['$TowerWeb', '$GL'],
  $TowerGuardGL__postset: 'TowerGuardGL();',
  $TowerGuardGL: function() {
    Module['instantiateWasm'] = function(imports, receiveInstance) {
      var isGL = /^_(emscripten_)?glu?[A-Z]/;
      Object.keys(imports).forEach(function(module) {
        var table = imports[module];
        Object.keys(table).forEach(function(name) {
          var call = table[name];
          if (typeof call === 'function' && isGL.test(call.name)) {
            table[name] = function() {
              return GLctx ? call.apply(null, arguments) : 0;
            };
          }
        });
      });
      // From bytes, so that a server that does not know .wasm serves it too.
      fetch(wasmBinaryFile).then(function(response) {
        if (!response.ok) {
          throw new Error(wasmBinaryFile + ': HTTP ' + response.status);
        }
        return response.arrayBuffer();
      }).then(function(bytes) {
        return WebAssembly.instantiate(bytes, imports);
      }).then(function(result) {
        receiveInstance(result.instance, result.module);
      }).catch(function(e) {
        TowerWeb.reportError('cannot start the program', e.message);
        TowerWeb.setStatus('The program could not start: ' + e.message);
      });
      return {};
    };
  },
});
