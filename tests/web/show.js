// scripts/run --web: serves the page on 127.0.0.1 and prints its address.
//
//     node tests/web/show.js BUILD_WEB_DIR
//
// With a display it serves until Ctrl-C, for a browser of the user's. Without
// one it shows the page to headless Chromium for a few seconds instead, saves
// what it showed to build/tower-web.png, presses Escape, and exits with the
// program's exit code, as scripts/run does on a private Xvfb.
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const {ENGINES, serve, status, until} = require('./harness');

function gzippedSize(folder) {
  return ['index.html', 'tower.js', 'tower.wasm', 'favicon.png'].reduce(
      (total, name) => total + zlib.gzipSync(fs.readFileSync(path.join(folder, name)), {level: 9}).length, 0);
}

async function headless(url, screenshot) {
  const browser = await ENGINES.chromium.launch(1280, 720);
  const lines = [];
  try {
    const page = await browser.newPage();
    page.on('console', (message) => lines.push(message.text()));
    await page.setViewport({width: 1280, height: 720});
    await page.goto(url);
    await until(page, () => typeof TowerWeb == 'object' && TowerWeb.frames > 0);
    await new Promise((resolve) => setTimeout(resolve, 3000));
    if (await page.evaluate(() => TowerWeb.ended)) {
      console.error('the program ended by itself within 3 seconds, with code',
                    await page.evaluate(() => TowerWeb.exitCode));
      return 1;
    }
    await page.screenshot({path: screenshot});
    console.log('Screenshot:', path.relative(process.cwd(), screenshot));
    await page.keyboard.press('Escape');
    await until(page, () => TowerWeb.ended, 10);
    console.log('The page says:', await status(page));
    return await page.evaluate(() => TowerWeb.exitCode);
  } catch (error) {
    console.error(error.message, '\npage console:', ...lines.map((line) => '\n  ' + line));
    return 1;
  } finally {
    await browser.close();
  }
}

async function main() {
  const folder = process.argv[2];
  const server = await serve(folder);
  console.log(`Serving ${folder} (${(gzippedSize(folder) / 1000).toFixed(1)} KB gzipped) at ${server.url}`);
  if (process.env.DISPLAY) {
    console.log('Open that address in a browser; Ctrl-C stops serving.');
    process.on('SIGINT', () => process.exit(0));
    return;
  }
  try {
    process.exitCode = await headless(server.url, path.join(path.dirname(path.resolve(folder)), 'tower-web.png'));
  } finally {
    server.close();
  }
}

main();
