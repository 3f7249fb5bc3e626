// The program's GL calls on their way to Emscripten's GL layer: with no
// context current they do nothing; what WebGL cannot take is dropped
// quietly; the state they set is recorded, so that a context the browser
// lost and gave back can be set up again as the program left it.
mergeInto(LibraryManager.library, {
  $TowerGLCalls__deps: ['$TowerWeb'],
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

    // Calls that set state the WebGL context keeps, and so loses with it,
    // each with the slot a later call overwrites. The emulation keeps the
    // matrices, the current colour and its fixed-function switches in
    // JavaScript, where a lost context does not reach them.
    recorded: {
      glClearColor: null, glClearDepth: null, glClearStencil: null, glColorMask: null,
      glDepthFunc: null, glDepthMask: null, glDepthRange: null, glBlendFunc: null,
      glCullFace: null, glFrontFace: null, glPolygonOffset: null, glLineWidth: null,
      glScissor: null, glViewport: null, glStencilFunc: null, glStencilOp: null,
      glStencilMask: null,
      glEnable: function(cap) {
        return 'cap ' + cap;
      },
      glDisable: function(cap) {
        return 'cap ' + cap;
      },
      glHint: function(target) {
        return 'hint ' + target;
      },
    },

    // The last call for each slot, in the order the slots were first set;
    // made when the imports are wrapped.
    state: null,

    // Wraps each import that is a GL or GLU function. The imports are known
    // by their function names (_glClear, _gluPerspective, and
    // _emscripten_gl… where the emulation replaced one), which hold in
    // builds that are not run through Closure.
    wrap: function(imports) {
      TowerGLCalls.state = new Map();
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
      var record = name in TowerGLCalls.recorded;
      var slotOf = TowerGLCalls.recorded[name];
      return function() {
        // With no context current, GL calls do nothing, as they do on
        // Windows and under Mesa: the program draws once more after
        // teardown, and runs its set-up to the end after a failure.
        if (!GLctx || (drop && drop.apply(null, arguments))) {
          return 0;
        }
        if (record) {
          var slot = slotOf ? slotOf.apply(null, arguments) : name;
          TowerGLCalls.state.set(slot, {call: call, args: Array.prototype.slice.call(arguments)});
        }
        // A lost context draws nothing; what was set is replayed once it is back.
        return TowerWeb.contextLost ? 0 : call.apply(null, arguments);
      };
    },

    // Sets the current context up as the recorded calls left the last one.
    replay: function() {
      TowerGLCalls.state.forEach(function(entry) {
        entry.call.apply(null, entry.args);
      });
    },
  },
});
