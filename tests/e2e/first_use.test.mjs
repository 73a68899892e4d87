// What a new user trips over, tried in Chromium against the real server: the slide show the
// start line advertises, arrows typed into the search box, a like and a shared link after a
// rescan has moved the picture, and a Japanese login made by the editor's rule.
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { copyFileSync, existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import { launchBrowser, screenshot, startServer } from './harness.mjs';

// Two thumbnail pages; make_gallery names them photo0000.jpg ... in name and date order.
const kPictures = 120;

let hashFolder;
let server;
let browser;
let page;

before(async () => {
  hashFolder = mkdtempSync(join(tmpdir(), 'lv_e2e_first_'));
  server = await startServer(kPictures,
    `<HASH_FILE_NAME>${join(hashFolder, 'hash.dat')}</HASH_FILE_NAME>\r\n`);
  browser = await launchBrowser();
  page = await browser.newPage({ viewport: { width: 1280, height: 720 } });
  page.setDefaultTimeout(15000);
});

after(async () => {
  await browser?.close();
  await server?.stop();
  if (hashFolder) rmSync(hashFolder, { recursive: true, force: true });
});

const md5 = (bytes) => createHash('md5').update(bytes).digest('hex');

async function bytesOf(url) {
  return Buffer.from(await (await fetch(url)).arrayBuffer());
}

test('the bare /slideshow of the start line and the tray menu shows a picture within 10 s', async () => {
  const started = Date.now();
  await page.goto(`${server.url}slideshow`);
  await page.waitForFunction(() => {
    const image = document.getElementById('main');
    return image.complete && image.naturalWidth > 0 && getComputedStyle(image).display !== 'none';
  }, null, { timeout: 10000 });
  assert.ok(Date.now() - started < 10000);
  assert.equal(new URL(page.url()).searchParams.get('page'), '1-N-0');
  // The show goes on with pictures of all the gallery, never "image?page=null-N".
  await page.waitForFunction(() => /image\?page=1-N-\d+$/.test(document.getElementById('main').src),
    null, { timeout: 12000 });
  await page.waitForFunction(() => document.getElementById('main').naturalWidth > 0);
  await screenshot(page, 'slideshow-bare');
});

test('the left arrow in the search box moves the caret and keeps the page and the text', async () => {
  const address = `${server.url}view?page=T-1-N-1`;
  await page.goto(address);
  await page.evaluate(() => { window.stayed = true; });
  await page.fill('input[name="word"]', 'photo0O1');
  await page.press('input[name="word"]', 'ArrowLeft');
  await page.press('input[name="word"]', 'ArrowLeft');
  await page.press('input[name="word"]', 'ArrowRight');
  await page.waitForTimeout(500);  // a navigation would have begun by now
  assert.equal(page.url(), address);
  assert.equal(await page.evaluate(() => window.stayed), true);
  assert.equal(await page.inputValue('input[name="word"]'), 'photo0O1');
  assert.equal(await page.evaluate(() => document.activeElement.selectionStart), 7);
  // Outside the box the arrows turn the pages as before.
  await page.evaluate(() => document.activeElement.blur());
  await Promise.all([page.waitForEvent('load'), page.keyboard.press('ArrowLeft')]);
  assert.equal(page.url(), `${server.url}view?page=T-1-N-0`);
});

test('after a rescan moved the picture, its like and its shared link are still its own', async () => {
  // The page of name position 5 is opened before the rescan, as a visitor would have it open.
  const shown = await bytesOf(`${server.url}image?page=1-N-5`);
  await page.goto(`${server.url}individual?page=1-N-5`);
  const shared = new URL(await page.getAttribute('#ShareLink', 'href'), page.url()).href;
  assert.match(shared, /\/individual\?id=[0-9a-f]{32}$/);

  // A new picture that sorts before all the others moves every name position by one.
  const newcomer = join(server.pictures, 'a_new.jpg');
  copyFileSync(join(server.pictures, 'photo0000.jpg'), newcomer);
  writeFileSync(newcomer, Buffer.concat([readFileSync(newcomer), Buffer.from('new')]));
  const deadline = Date.now() + 45000;
  while ((await fetch(`${server.url}image?page=1-N-${kPictures}`)).status !== 200) {
    assert.ok(Date.now() < deadline, 'no rescan took the new picture');
    await new Promise((r) => setTimeout(r, 500));
  }
  assert.notEqual(md5(await bytesOf(`${server.url}image?page=1-N-5`)), md5(shown));

  // The like pressed on the page made before the rescan counts for the picture it showed.
  await page.dblclick('#main');
  await page.waitForFunction(() => document.getElementById('header').getBoundingClientRect().top === 0);
  const [vote] = await Promise.all([
    page.waitForResponse((r) => new URL(r.url()).pathname === '/vote'),
    page.click('#btn1'),
  ]);
  assert.deepEqual(await vote.json(), { state: 'success', response: 'xxx', viewNum: '0' });
  // The save comes from a job after the answer: until it has run there may be no file yet.
  const hashFile = join(hashFolder, 'hash.dat');
  const hashes = () => (existsSync(hashFile) ? [...readFileSync(hashFile, 'latin1')
    .matchAll(/<HASH>([0-9a-f]{32})<\/HASH>/g)].map((m) => m[1]) : []);
  const saveDeadline = Date.now() + 10000;
  while (hashes().length === 0 && Date.now() < saveDeadline) {
    await new Promise((r) => setTimeout(r, 200));
  }
  assert.deepEqual(hashes(), [md5(shown)]);

  // The shared link shows the same picture, now at name position 6.
  await page.goto(shared);
  await page.waitForLoadState('load');
  const source = await page.getAttribute('#main', 'src');
  assert.equal(new URL(source, page.url()).searchParams.get('page'), '1-N-6');
  assert.equal(md5(await bytesOf(new URL(source, page.url()).href)), md5(shown));
  await screenshot(page, 'shared-link-after-rescan');
});

test('a user はなこ with the password パスワード, made by the editor\'s rule, logs in', async () => {
  // Quillon's hash: MD5 of name:secret:password over the UTF-8 bytes (PasswordHash).
  const ha1 = createHash('md5').update('はなこ:secret:パスワード', 'utf8').digest('hex');
  const secured = await startServer(3,
    `<NEED_USER>1</NEED_USER>\r\n<USER><USER_NAME>はなこ</USER_NAME><HASH>${ha1}</HASH><PRIV>1</PRIV></USER>\r\n`);
  try {
    const context = await browser.newContext({
      httpCredentials: { username: 'はなこ', password: 'パスワード' },
    });
    const visitor = await context.newPage();
    const response = await visitor.goto(`${secured.url}view?page=T-1-N-0`);
    assert.equal(response.status(), 200);
    assert.ok((await visitor.content()).includes('Uploader'));  // her right to upload counts
    await context.close();
  } finally {
    await secured.stop();
  }
});
