// The web page in Debian's Chromium and Firefox ESR: one list of cases, run
// in each engine, whose screenshots the desktop builds' screen checker
// judges.
//
//     node tests/web/check.js BUILD_WEB_DIR TOWER_SCREEN_CHECK [ENGINE...]
//
// ENGINE is chromium or firefox; both when none is named. Exit status 0 when
// every case holds in every engine, 1 when one does not.
'use strict';
const childProcess = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {ENGINES, serve, status, frames, until} = require('./harness');

const WIDTH = 1024;
const HEIGHT = 768;
const ENDED = 'The program ended with exit code 0.';
const FAILED = 'The program ended with exit code 1.';
const GONE = 'The graphics were lost and did not come back. Reload the page to start again.';

// HACK: Chromium's ANGLE, over SwiftShader's Vulkan here, notes on the
// console when it must split its work ("Running out of reserved
// outsideRenderPass queueSerial"), which a loaded machine brings on as
// several of the program's passes fall between two of the browser's frames.
// It is the driver's note on its own scheduling, not a WebGL error.
const DRIVER_NOTE = /^warn: \[\.WebGL-0x[0-9a-f]+\]GL Driver Message \(OpenGL, Performance, /;

class Failed extends Error {}

let engine = '';
let checker = '';
let shots = '';

function ok(what) {
  console.log(`${engine}: ok: ${what}`);
}

function expect(condition, what) {
  if (!condition) {
    throw new Failed(what);
  }
  ok(what);
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function moreFrames(page, count) {
  await until(page, (target) => TowerWeb.frames >= target, 30, (await frames(page)) + count);
}

async function started(page) {
  await until(page, () => typeof TowerWeb == 'object' && TowerWeb.frames > 10);
}

// The screen checker's verdict on what the page shows; returns the frame of
// the model it matched.
async function judge(page, name) {
  const file = path.join(shots, `${engine}-${name}.png`);
  // Hidden, and painted so: the status line is checked on its own.
  await page.evaluate(() => new Promise((painted) => {
    Module.statusLine.hidden = true;
    requestAnimationFrame(() => requestAnimationFrame(painted));
  }));
  await page.screenshot({path: file});
  const run = childProcess.spawnSync(checker, ['--png', file], {encoding: 'utf8', timeout: 120000});
  if (run.status !== 0) {
    throw new Failed(`the screen checker rejects ${name}:\n${run.stdout}${run.stderr}`);
  }
  return Number(/best frame (\d+)/.exec(run.stdout)[1]);
}

// The WebGL state the program set, as the context reports it.
function glState(page) {
  return page.evaluate(() => {
    const gl = TowerWeb.canvas.getContext('webgl');
    return JSON.stringify([gl.isEnabled(gl.DEPTH_TEST), gl.getParameter(gl.DEPTH_FUNC),
      gl.getParameter(gl.DEPTH_CLEAR_VALUE), Array.from(gl.getParameter(gl.COLOR_CLEAR_VALUE)),
      Array.from(gl.getParameter(gl.VIEWPORT))]);
  });
}

function loseContext(page) {
  return page.evaluate(() => {
    window.loser = TowerWeb.canvas.getContext('webgl').getExtension('WEBGL_lose_context');
    window.loser.loseContext();
  });
}

async function theTower(page, url, consoleLines) {
  await page.goto(url);
  await started(page);
  const size = await page.evaluate(() => [TowerWeb.canvas.width, TowerWeb.canvas.height]);
  expect(size[0] === WIDTH && size[1] === HEIGHT, `the window is the page's size, ${size.join('x')}`);
  expect((await status(page)).startsWith('Click or press a key for full screen'),
         'a prompt invites full-screen');
  const first = await judge(page, 'first');
  await moreFrames(page, 20);
  const second = await judge(page, 'second');
  expect(second > first, `both screenshots are the tower, the second further on (${first}, ${second})`);

  await page.setViewport({width: 800, height: 600});
  await until(page, () => TowerWeb.canvas.width === 800 && TowerWeb.canvas.height === 600);
  await moreFrames(page, 5);
  await judge(page, '800x600');
  ok('the window follows the viewport to 800x600, projection included');

  await page.evaluate(() => { Module.statusLine.hidden = false; });
  await page.mouse.click(400, 300);
  await until(page, () => !!document.fullscreenElement && Module.statusLine.hidden &&
                          TowerWeb.canvas.width === Math.round(innerWidth * devicePixelRatio));
  await moreFrames(page, 5);
  await judge(page, 'full-screen');
  ok('a click takes the page full-screen, the prompt goes, and the window follows');

  expect(await page.evaluate(() => TowerWeb.canvas.getContext('webgl').getError()) === 0,
         'WebGL reports no error');
  const written = consoleLines.filter((line) => !DRIVER_NOTE.test(line));
  expect(written.length === 0, `the console is clean: [${written.join(' | ')}]`);

  // Where the browser locks the keyboard (Chromium) Escape reaches the
  // program at once; elsewhere the first Escape leaves full-screen.
  const last = await frames(page);
  await page.keyboard.press('Escape');
  await until(page, () => TowerWeb.ended || !document.fullscreenElement);
  if (!await page.evaluate(() => TowerWeb.ended)) {
    await page.keyboard.press('Escape');
  }
  await until(page, () => TowerWeb.ended);
  expect(await status(page) === ENDED, `Escape ends the program: ${await status(page)}`);
  await until(page, () => !document.fullscreenElement && innerWidth === 800);
  ok('the page left full-screen');
  const frame = await judge(page, 'ended');
  expect(frame >= last - 1, `the last frame stays (frame ${frame})`);
  expect(!await page.evaluate(() => !!document.querySelector('dialog')), 'no box was shown');
}

async function closing(page, url) {
  await page.goto(url);
  await started(page);
  // What the browser sends as the tab closes; afterwards it would run
  // nothing more, so the check sends it to a page that stays.
  await page.evaluate(() => window.dispatchEvent(new PageTransitionEvent('pagehide')));
  await until(page, () => TowerWeb.ended);
  expect(await status(page) === ENDED, `closing the page ends the program: ${await status(page)}`);
}

async function lossAndRestore(page, url) {
  await page.goto(url);
  await started(page);
  const before = await glState(page);
  await loseContext(page);
  await until(page, () => TowerWeb.contextLost);
  const lost = await page.evaluate(() => [TowerWeb.frames, TowerWeb.passes]);
  await sleep(1000);
  const idle = await page.evaluate(() => [TowerWeb.frames, TowerWeb.passes]);
  expect(idle[0] === lost[0] && idle[1] - lost[1] <= 20,
         `while the context is lost nothing is presented and the loop idles ` +
         `(${idle[1] - lost[1]} passes in a second)`);

  // The program follows the page's size meanwhile, and sets its viewport.
  await page.setViewport({width: 800, height: 600});
  await until(page, () => TowerWeb.canvas.width === 800);
  await page.evaluate(() => window.loser.restoreContext());
  await until(page, () => !TowerWeb.contextLost);
  await moreFrames(page, 5);
  const after = await glState(page);
  expect(after === before.replace(`0,0,${WIDTH},${HEIGHT}`, '0,0,800,600'),
         `the context came back with the program's state: ${after}`);
  await judge(page, 'restored');
  ok('the tower comes back by itself at the new size');
}

async function lostForGood(page, url) {
  await page.goto(url);
  await started(page);
  await loseContext(page);
  await until(page, (gone) => Module.statusLine.textContent === gone, 15, GONE);
  ok(`a context not given back is reported on the page: ${GONE}`);
  const passes = await page.evaluate(() => TowerWeb.passes);
  await sleep(500);
  expect(await page.evaluate(() => TowerWeb.passes) === passes, 'and the loop has stopped');
}

async function backForward(page, url) {
  await page.goto(url + 'elsewhere');
  await page.goto(url);
  await started(page);
  // puppeteer's goBack and goForward wait for a navigation that Firefox
  // does not report for a page from the back/forward cache.
  await page.evaluate(() => history.back());
  await until(page, () => location.pathname === '/elsewhere');
  await page.evaluate(() => history.forward());
  // The page restored from the cache loads anew: a reload, which only the
  // page itself asks for.
  try {
    await until(page, () => typeof TowerWeb == 'object' && TowerWeb.frames > 10 &&
                            performance.getEntriesByType('navigation')[0].type === 'reload', 15);
  } catch (error) {
    throw new Failed('after Forward the page did not start afresh from the back/forward cache ' +
                     `(navigation: ${await page.evaluate(
                         () => performance.getEntriesByType('navigation')[0].type)})`);
  }
  expect((await status(page)).startsWith('Click or press a key for full screen'),
         'Back, then Forward: the page from the back/forward cache starts the program afresh');
  await judge(page, 'forward');
  ok('and the tower draws');
}

async function withoutWebgl(page, url, consoleLines) {
  await page.goto(url);
  await until(page, () => !!document.querySelector('dialog[open]'));
  const box = await page.evaluate(() => Array.from(
      document.querySelectorAll('dialog[open] h1, dialog[open] p'), (e) => e.textContent));
  expect(box.join(': ') === 'OpenGL Rendering Context Error: Failed to Create the OpenGL Rendering Context',
         `without WebGL the context's box shows: ${box.join(': ')}`);
  await sleep(500);
  expect(!await page.evaluate(() => TowerWeb.ended), 'the program waits for the box');
  await page.click('dialog[open] button');
  await until(page, () => TowerWeb.ended);
  expect(await status(page) === FAILED, `after OK the program ends, failed: ${await status(page)}`);
  expect(!await page.evaluate(() => !!document.querySelector('dialog')), 'no other box followed');
  expect(consoleLines.includes(`error: ${box.join(': ')}`), 'the box is also on the console');
}

// Each case runs on a fresh page; the last needs a browser without WebGL.
const CASES = [
  [theTower, true], [closing, true], [lossAndRestore, true], [lostForGood, true],
  [backForward, true], [withoutWebgl, false],
];

async function runEngine(server) {
  let browser = null;
  let webgl = null;
  try {
    for (const [run, wantWebgl] of CASES) {
      if (webgl !== wantWebgl) {
        await (browser && browser.close());
        browser = await ENGINES[engine].launch(WIDTH, HEIGHT, wantWebgl);
        webgl = wantWebgl;
      }
      const page = await browser.newPage();
      const consoleLines = [];
      page.on('console', (message) => consoleLines.push(`${message.type()}: ${message.text()}`));
      page.on('pageerror', (error) => consoleLines.push(`pageerror: ${error.message}`));
      await page.setViewport({width: WIDTH, height: HEIGHT});
      try {
        await run(page, server.url, consoleLines);
      } catch (error) {
        console.log(`${engine}: ${run.name} failed; the page's console:`,
                    ...consoleLines.map((line) => '\n  ' + line));
        throw error;
      }
      await page.close();
    }
  } finally {
    await (browser && browser.close());
  }
}

async function main() {
  const [folder, screenCheck, ...engines] = process.argv.slice(2);
  if (!screenCheck || engines.some((name) => !ENGINES[name])) {
    console.error('usage: node tests/web/check.js BUILD_WEB_DIR TOWER_SCREEN_CHECK [chromium|firefox...]');
    return 2;
  }
  checker = path.resolve(screenCheck);
  shots = fs.mkdtempSync(path.join(os.tmpdir(), 'tower-page-'));
  const server = await serve(folder);
  const times = [];
  try {
    for (engine of engines.length ? engines : Object.keys(ENGINES)) {
      const start = Date.now();
      await runEngine(server);
      times.push(`${engine} ${((Date.now() - start) / 1000).toFixed(1)} s`);
    }
  } catch (error) {
    console.log(`FAIL: ${engine}: ${error instanceof Failed ? error.message : error.stack}`);
    return 1;
  } finally {
    server.close();
    fs.rmSync(shots, {recursive: true, force: true});
  }
  console.log(`PASS (${times.join(', ')})`);
  return 0;
}

main().then((code) => { process.exitCode = code; });
