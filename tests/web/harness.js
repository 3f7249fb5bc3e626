// What the browser check and scripts/run --web share: build/web served on
// 127.0.0.1, and Debian's Chromium and Firefox ESR driven by puppeteer-core
// (Chromium over DevTools, Firefox over WebDriver BiDi), each with a private
// profile that puppeteer makes and removes. Firefox runs on a private Xvfb: headless, it has no WebGL here.
'use strict';
const childProcess = require('child_process');
const fs = require('fs');
const http = require('http');
const path = require('path');
// Loaded only to drive a browser: serving the page needs nothing from npm.
const puppeteer = () => require('puppeteer-core');

const TYPES = {
  '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.png': 'image/png'
};

// A plain page of the same origin, to leave the program's page for and come back.
const ELSEWHERE = '<!DOCTYPE html><title>elsewhere</title><link rel="icon" href="favicon.png">' +
                  '<p>Another page.</p>';

// Serves `folder` on a free port of 127.0.0.1; resolves to the server, with
// its address as `url`.
function serve(folder) {
  const server = http.createServer((request, response) => {
    const name = new URL(request.url, 'http://x').pathname;
    if (name === '/elsewhere') {
      response.writeHead(200, {'Content-Type': 'text/html'});
      response.end(ELSEWHERE);
      return;
    }
    const file = path.join(folder, name === '/' ? 'index.html' : path.normalize(name));
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404);
        response.end();
        return;
      }
      response.writeHead(200, {'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream'});
      response.end(data);
    });
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => {
      server.url = `http://127.0.0.1:${server.address().port}/`;
      resolve(server);
    });
  });
}

// Starts Xvfb on a display it picks itself (-displayfd), so it never
// collides with another; `timeout` ends it should this process be killed.
function startXvfb(width, height) {
  const xvfb = childProcess.spawn('timeout', ['-k', '5', '900', 'Xvfb', '-displayfd', '3',
    '-nolisten', 'tcp', '-noreset', '-screen', '0', `${width}x${height}x24`],
  {stdio: ['ignore', 'ignore', 'pipe', 'pipe']});
  let number = '';
  let log = '';
  xvfb.stderr.on('data', (data) => { log += data; });
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('Xvfb did not start within 10 s')), 10000);
    xvfb.stdio[3].on('data', (data) => {
      number += data;
      if (number.includes('\n')) {
        clearTimeout(timer);
        resolve({display: ':' + number.trim(), stop: () => xvfb.kill('SIGTERM')});
      }
    });
    xvfb.on('exit', () => reject(new Error('Xvfb did not start: ' + log.trim())));
  });
}

// The two engines, each launched at a screen of width x height; `webgl`
// false launches one without WebGL.
const ENGINES = {
  chromium: {
    async launch(width, height, webgl = true) {
      return puppeteer().launch({
        browser: 'chrome', executablePath: '/usr/bin/chromium', headless: true, pipe: true,
        args: [
          '--no-sandbox',
          // WebGL on the CPU: the machine may have no GPU.
          '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
          '--hide-scrollbars', '--mute-audio', '--force-device-scale-factor=1',
          `--window-size=${width},${height}`,
        ].concat(webgl ? [] : ['--disable-webgl']),
      });
    },
  },
  firefox: {
    async launch(width, height, webgl = true) {
      const xvfb = await startXvfb(width, height);
      try {
        const browser = await puppeteer().launch({
          browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: false,
          env: Object.assign({}, process.env, {DISPLAY: xvfb.display}),
          args: [`--width=${width}`, `--height=${height}`],
          extraPrefsFirefox: {'webgl.disabled': !webgl},
        });
        browser.on('disconnected', xvfb.stop);
        return browser;
      } catch (error) {
        xvfb.stop();
        throw error;
      }
    },
  },
};

// The page's state as the check reads it.
const status = (page) => page.evaluate(
    () => (Module.statusLine.hidden ? '' : Module.statusLine.textContent));
const frames = (page) => page.evaluate(() => TowerWeb.frames);

// Waits until the page says `predicate` (a function run in it) holds.
function until(page, predicate, seconds = 30, ...args) {
  return page.waitForFunction(predicate, {timeout: seconds * 1000, polling: 50}, ...args);
}

module.exports = {ENGINES, serve, status, frames, until};
