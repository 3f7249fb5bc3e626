// The program's time on the page and what the page tells the user: the
// turns the program gives the browser, modal message boxes, the one-line
// status, the program's end, and failures on the console. TowerWeb is the
// backend's one state object; the other web_*.js files share it.
mergeInto(LibraryManager.library, {
  $TowerWeb: {
    canvas: null, // the window: the page's canvas, once the program takes it
    window: 0, // the window's id, 0 while there is none
    windowsMade: 0,
    ended: false, // the program has returned from WinMain
    exitCode: null, // what it returned
    resizePending: false,
    closePending: false,
    context: 0, // the canvas's WebGL context, once made
    contextLost: false, // taken by the browser, and not given back yet
    contextGone: false, // not given back in time: the loop has stopped
    giveUpTimer: 0, // gives a lost context up if it is not back in time
    contextDeleted: false, // by the program: nothing draws on the canvas again
    frames: 0, // frames presented: one a pass of the frame loop
    passes: 0, // Sleep calls, presenting or not
    wakeTimer: 0, // ends the Sleep the program is in
    keysDown: null, // by virtual key
    keysPressed: null, // went down since that key was last polled
    reported: {}, // every failure line written so far

    // Every line the backend writes goes out here: the browser console is
    // the page's stderr.
    writeLine: function(line) {
      console.error(line);
    },

    // What Emscripten's runtime writes (web_prelude.js sends it here). The
    // GL emulation announces on every load that it is a set of limited
    // workarounds; that is known and no concern of the user's, so those
    // lines go. Anything else the runtime says is a failure.
    runtimeLine: function(text) {
      if (!/^WARNING: using emscripten GL (immediate mode )?emulation/.test(text)) {
        TowerWeb.writeLine(text);
      }
    },

    // A failure is written once, however often it recurs.
    reportError: function(what, detail) {
      var line = 'tower: ' + what + (detail ? ': ' + detail : '');
      if (!TowerWeb.reported[line]) {
        TowerWeb.reported[line] = true;
        TowerWeb.writeLine(line);
      }
    },

    // The page's one line of text, over the top of the canvas; empty hides it.
    setStatus: function(text) {
      var line = Module['statusLine'];
      if (line) {
        line.textContent = text;
        line.hidden = !text;
      }
    },
  },

  // The program gives the thread back to the browser, which presents the
  // frame, runs its event handlers and comes back after at least this long.
  // With the WebGL context lost there is nothing to draw, so the loop idles
  // at ten passes a second; once the context is given up it stops here.
  JsSleep__deps: ['$TowerWeb', '$safeSetTimeout'],
  JsSleep: function(milliseconds) {
    Asyncify.handleSleep(function(wakeUp) {
      TowerWeb.passes++;
      if (!TowerWeb.contextGone) {
        TowerWeb.wakeTimer = safeSetTimeout(wakeUp, TowerWeb.contextLost ? 100 : milliseconds);
      }
    });
  },

  JsReportError__deps: ['$TowerWeb'],
  JsReportError: function(what, detail) {
    TowerWeb.reportError(UTF8ToString(what), UTF8ToString(detail));
  },

  // A <dialog> shown modally: the page behind it takes no input, and the
  // program waits, as Windows' message box makes it wait. OK, Return, Space
  // or Escape dismisses it.
  JsMessageBox__deps: ['$TowerWeb'],
  JsMessageBox: function(text, caption) {
    // Resuming calls this again; only the first call shows the box.
    return Asyncify.handleAsync(function() {
      var captionText = UTF8ToString(caption);
      var bodyText = UTF8ToString(text);
      TowerWeb.writeLine(captionText + ': ' + bodyText);
      return new Promise(function(resolve) {
        var box = document.createElement('dialog');
        box.className = 'message-box';
        var title = document.createElement('h1');
        title.textContent = captionText;
        var body = document.createElement('p');
        body.textContent = bodyText;
        var form = document.createElement('form');
        form.method = 'dialog';
        var ok = document.createElement('button');
        ok.textContent = 'OK';
        form.appendChild(ok);
        box.append(title, body, form);
        box.addEventListener('close', function() {
          box.remove();
          resolve();
        });
        document.body.appendChild(box);
        box.showModal();
        ok.focus();
      });
    });
  },

  // The last frame stays on the canvas; leaving full-screen gives the page
  // back, as restoring the display gives back the desktop.
  JsProgramEnded__deps: ['$TowerWeb'],
  JsProgramEnded: function(exitCode) {
    TowerWeb.ended = true;
    TowerWeb.exitCode = exitCode;
    TowerWeb.setStatus('The program ended with exit code ' + exitCode + '.');
    if (navigator.keyboard && navigator.keyboard.unlock) {
      navigator.keyboard.unlock();
    }
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(function(e) {
        TowerWeb.reportError('cannot leave full-screen', e.message);
      });
    }
  },
});
