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

// With E2E_HTTPS=1 the same tests run over HTTPS: the server gets a certificate made for the
// run, Chromium trusts its key, and every page and resource must have come over HTTP/2.
const https = process.env.E2E_HTTPS === '1';
const tlsFolder = https ? mkdtempSync(join(tmpdir(), 'lv_e2e_tls_')) : '';
const tlsCert = join(tlsFolder, 'cert.pem');
const tlsKey = join(tlsFolder, 'key.pem');
let tlsSpki = '';
if (https) {
  execFileSync('openssl', ['req', '-x509', '-newkey', 'ec', '-pkeyopt', 'ec_paramgen_curve:prime256v1',
    '-nodes', '-keyout', tlsKey, '-out', tlsCert, '-days', '2', '-subj', '/CN=localhost',
    '-addext', 'subjectAltName=DNS:localhost,IP:127.0.0.1'], { stdio: 'ignore' });
  // The base64 SHA-256 of the certificate's public key, as Chromium's trust flag takes it.
  tlsSpki = execFileSync('sh', ['-c', `openssl x509 -pubkey -noout -in '${tlsCert}' | ` +
    'openssl pkey -pubin -outform der | openssl dgst -sha256 -binary | base64']).toString().trim();
  // The tests' own requests from node (readiness polls, downloads) do not check it.
  process.env.NODE_TLS_REJECT_UNAUTHORIZED = '0';
  process.on('exit', () => rmSync(tlsFolder, { recursive: true, force: true }));
}
// The protocols of what the browser loaded (performance entries), over HTTPS.
const protocolsSeen = [];

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
  const tlsConfig = https
    ? `<HTTPS>1</HTTPS>\r\n<TLS_CERT>${tlsCert}</TLS_CERT>\r\n<TLS_KEY>${tlsKey}</TLS_KEY>\r\n` : '';
  writeFileSync(config,
    `\uFEFF<PATH>${pictures}</PATH>\r\n<PORT>0</PORT>\r\n${tlsConfig}${extraConfig}`);
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
      if (https) {
        const others = protocolsSeen.filter((protocol) => protocol !== 'h2');
        if (protocolsSeen.length === 0 || others.length > 0) {
          throw new Error(`over HTTPS every load must be h2; seen: ${protocolsSeen.join(' ')}`);
        }
      }
    },
  };
}

// Records the protocols of everything `page` loaded, at each load of a document.
function watchProtocols(page) {
  page.on('load', async () => {
    const protocols = await page.evaluate(() => performance.getEntries()
      .filter((entry) => entry.nextHopProtocol !== undefined && entry.name.startsWith('http'))
      .map((entry) => entry.nextHopProtocol)).catch(() => []);
    protocolsSeen.push(...protocols);
  });
}

export async function launchBrowser() {
  mkdirSync(outputFolder, { recursive: true });
  const browser = await launchChromium();
  if (!https) return browser;
  const newContext = browser.newContext.bind(browser);
  browser.newContext = async (options) => {
    const context = await newContext(options);
    context.on('page', watchProtocols);
    return context;
  };
  // A page of its own context, closed with it, as Browser.newPage makes one.
  browser.newPage = async (options) => {
    const context = await browser.newContext(options);
    const page = await context.newPage();
    page.on('close', () => context.close().catch(() => {}));
    return page;
  };
  return browser;
}

function launchChromium() {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-quic',
      // A horizontal swipe would otherwise also go back or forward in the history, on top of
      // the page's own swipe navigation that the tests check.
      '--disable-features=OverscrollHistoryNavigation',
      ...(https ? [`--ignore-certificate-errors-spki-list=${tlsSpki}`] : []),
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
