// Shared pieces of the browser tests: a generated gallery, the real server on it, and a
// headless Chromium driven by playwright-core.
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { get as httpGet } from 'node:http';
import { get as httpsGet } from 'node:https';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createInterface } from 'node:readline';
import { chromium } from 'playwright-core';

const binary = process.env.LUMENVALE_BINARY ?? 'build/bin/lumenvale';
const makeGallery = process.env.MAKE_GALLERY ?? 'build/bin/make_gallery';
export const outputFolder = process.env.E2E_OUTPUT ?? 'build/e2e-output';

// The default gallery: make_gallery's small numbered pictures (320 x 240, or the size given).
export function writeGallery(folder, count, width = 320, height = 240) {
  execFileSync(makeGallery, [folder, String(count), String(width), String(height)]);
}

// The status code of a GET of `url`, null when it could not be asked. Over HTTPS the server's
// own (self-signed) certificate is accepted.
function statusOf(url) {
  return new Promise((resolve) => {
    const get = url.startsWith('https:') ? httpsGet : httpGet;
    get(url, { rejectUnauthorized: false }, (response) => {
      response.resume();
      resolve(response.statusCode);
    }).on('error', () => resolve(null));
  });
}

// Makes a gallery of `count` pictures with `writePictures(folder, count)` and starts the
// server (`program`, the one built unless a benchmark names another) on it with `extraConfig`
// (configuration elements; with <HTTPS>1</HTTPS> the url is https:// and the server's
// self-signed certificate is kept in the test's folder). Resolves to { url, pictures (the
// folder), root (the test's folder), stop() }.
export async function startServer(count, extraConfig = '', writePictures = writeGallery,
                                  program = binary) {
  const root = mkdtempSync(join(tmpdir(), 'lv_e2e_'));
  const pictures = join(root, 'pictures');
  mkdirSync(pictures);
  writePictures(pictures, count);
  const config = join(root, 'gallery.con');
  // In UTF-8 with its byte-order mark, so that elements may hold any text (without the mark
  // the file is read as Shift-JIS).
  writeFileSync(config, `\uFEFF<PATH>${pictures}</PATH>\r\n<PORT>0</PORT>\r\n${extraConfig}`);
  // The thumbnail store lives in the test's folder, never in the user's own cache.
  // Run as root, the server would serve as nobody, who cannot read the root-owned gallery.
  const env = { ...process.env, XDG_CACHE_HOME: join(root, 'cache'),
                XDG_DATA_HOME: join(root, 'data'), LUMENVALE_USER: 'root' };
  const child = spawn(program, [config], { stdio: ['ignore', 'pipe', 'inherit'], env });
  const lines = createInterface({ input: child.stdout });
  const url = await new Promise((resolve, reject) => {
    child.once('exit', (code) => reject(new Error(`server exited with ${code}`)));
    lines.on('line', (line) => {
      const match = line.match(/serving (https?:\/\/localhost:\d+\/)/);
      if (match) resolve(match[1].replace('localhost', '127.0.0.1'));
    });
  });
  lines.on('line', () => {});  // keep draining the server's output
  // The first scan runs on a worker; wait until the catalogue shows every picture.
  const deadline = Date.now() + 20000;
  while (count > 0 && Date.now() < deadline) {
    if (await statusOf(`${url}image?page=1-N-${count - 1}`) === 200) break;
    await new Promise((r) => setTimeout(r, 100));
  }
  return {
    url,
    pictures,
    root,
    async stop() {
      child.kill('SIGTERM');
      await new Promise((r) => child.once('exit', r));
      rmSync(root, { recursive: true, force: true });
    },
  };
}

export async function launchBrowser() {
  mkdirSync(outputFolder, { recursive: true });
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-quic',
      // A horizontal swipe would otherwise also go back or forward in the history, on top of
      // the page's own swipe navigation that the tests check.
      '--disable-features=OverscrollHistoryNavigation',
    ],
  });
}

export async function screenshot(page, name) {
  await page.screenshot({ path: join(outputFolder, `${name}.png`), fullPage: true });
}

// Resolves when every <img> of the page has loaded with a picture; returns their count.
export async function loadedImageCount(page) {
  await page.waitForFunction(() => [...document.images].every((img) => img.complete));
  return page.evaluate(() => [...document.images].filter((img) => img.naturalWidth > 0).length);
}

// A one-finger swipe as a touch screen reports it: down at (x, y), a few moves along the way
// to (x + dx, y + dy), up. Coordinates are CSS pixels of the page's window.
export async function swipe(page, x, y, dx, dy) {
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y }] });
  for (let step = 1; step <= 5; ++step) {
    const point = { x: x + (dx * step) / 5, y: y + (dy * step) / 5 };
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchMove', touchPoints: [point] });
  }
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  await cdp.detach();
}
