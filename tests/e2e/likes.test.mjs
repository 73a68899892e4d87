// The like button of the image page in Chromium: the real server on a generated gallery of 12
// pictures with its own hash list file.
import assert from 'node:assert/strict';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import { launchBrowser, screenshot, startServer } from './harness.mjs';

const kPictures = 12;

let hashFolder;
let server;
let browser;
let page;

before(async () => {
  hashFolder = mkdtempSync(join(tmpdir(), 'lv_e2e_hash_'));
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

// Opens the image page of date position `position` (make_gallery's date order is its name
// order), clicks the like button `clicks` times and returns the server's answers.
async function like(position, clicks) {
  await page.goto(`${server.url}individual?page=1-D-${position}`);
  await page.waitForLoadState('load');
  // The button sits in the header bar, which a double click on the picture brings down.
  await page.dblclick('#main');
  await page.waitForFunction(() => document.getElementById('header').getBoundingClientRect().top === 0);
  const answers = [];
  for (let i = 0; i < clicks; ++i) {
    const [response] = await Promise.all([
      page.waitForResponse((r) => new URL(r.url()).pathname === '/vote'),
      page.click('#btn1'),
    ]);
    answers.push(await response.json());
    await page.waitForFunction(
      () => getComputedStyle(document.getElementById('btn1')).backgroundColor === 'rgb(255, 165, 0)');
  }
  return answers;
}

// The first value of `read()` that passes `done`, or the last one read within 10 s.
async function eventually(read, done) {
  const deadline = Date.now() + 10000;
  let value = await read();
  while (!done(value) && Date.now() < deadline) {
    await new Promise((r) => setTimeout(r, 200));
    value = await read();
  }
  return value;
}

// The thumbnails of the Likes order's first page, as the name-order keys of their pictures.
async function likesThumbnails() {
  await page.goto(`${server.url}view?page=T-1-F-0`);
  return page.$$eval('article img', (images) =>
    images.map((img) => new URL(img.src).searchParams.get('page')));
}

test('a liked picture turns the button orange and leads the Likes order', async () => {
  assert.deepEqual(await likesThumbnails(), []);
  assert.deepEqual(await like(3, 1),
    [{ state: 'success', response: 'xxx', viewNum: '0' }]);
  const answers = await like(7, 2);
  assert.deepEqual(answers.map((a) => a.viewNum), ['0', '1']);
  await screenshot(page, 'liked');

  // The ranking and the save follow within about a second of the last like; until then the
  // Likes order may show an earlier ranking, in which 3 and 7 had equal counts.
  const thumbnails = await eventually(likesThumbnails, (t) => t.join() === '1-N-7,1-N-3');
  assert.deepEqual(thumbnails, ['1-N-7', '1-N-3']);
  await screenshot(page, 'likes-order');
  const savedCounts = () => [...readFileSync(join(hashFolder, 'hash.dat'), 'latin1')
    .matchAll(/<VIEWD>(\d+)<\/VIEWD>/g)].map((m) => m[1]).sort();
  assert.deepEqual(await eventually(savedCounts, (c) => c.join() === '0,1'), ['0', '1']);
});
