// The program's GL calls on their way to Emscripten's GL layer: with no
// context current they do nothing, and what WebGL cannot take is dropped
// quietly.
mergeInto(LibraryManager.library, {
  $TowerGLCalls: {
    // Calls WebGL has no counterpart for, and which change nothing it
    // draws: the emulation always shades smoothly (GL_SMOOTH, which is what
    // programs ask for; GL_FLAT it cannot do), and WebGL 1 takes only the
    // mipmap hint. Passed on, they would cost a console line on every load.
    dropped: {
      glShadeModel: function() {
        return true;
      },
      glHint: function(target) {
        return target !== 0x8192; /* GL_GENERATE_MIPMAP_HINT */
      },
    },

    // Wraps each import that is a GL or GLU function. The imports are known
    // by their function names (_glClear, _gluPerspective, and
    // _emscripten_gl… where the emulation replaced one), which hold in
    // builds that are not run through Closure.
    wrap: function(imports) {
      Object.keys(imports).forEach(function(module) {
        var table = imports[module];
        Object.keys(table).forEach(function(key) {
          var call = table[key];
          var name = typeof call === 'function' && /^_(?:emscripten_)?(glu?[A-Z]\w*)$/.exec(call.name);
          if (name) {
            table[key] = TowerGLCalls.guard(name[1], call);
          }
        });
      });
    },

    guard: function(name, call) {
      var drop = TowerGLCalls.dropped[name];
      return function() {
        // With no context current, GL calls do nothing, as they do on
        // Windows and under Mesa: the program draws once more after
        // teardown, and runs its set-up to the end after a failure.
        if (!GLctx || (drop && drop.apply(null, arguments))) {
          return 0;
        }
        return call.apply(null, arguments);
      };
    },
  },
});
