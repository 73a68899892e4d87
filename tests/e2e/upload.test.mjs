// The uploader page as a visitor uses it: the real server on an empty folder, driven in
// headless Chromium. Files are chosen through the page's file input; what arrives in the
// folder is compared byte for byte with what was chosen.
import assert from 'node:assert/strict';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import { launchBrowser, screenshot, startServer } from './harness.mjs';

let server;
let browser;
let page;
let sources;

before(async () => {
  server = await startServer(0, '', () => {});
  browser = await launchBrowser();
  page = await (await browser.newContext()).newPage();
  page.setDefaultTimeout(60000);
  // Records how many files each post carries, as the page hands its form to the browser.
  await page.addInitScript(() => {
    window.filesPerPost = [];
    const send = XMLHttpRequest.prototype.send;
    XMLHttpRequest.prototype.send = function (data) {
      if (data instanceof FormData) window.filesPerPost.push(data.getAll('userfile').length);
      return send.call(this, data);
    };
  });
  sources = mkdtempSync(join(tmpdir(), 'lv_e2e_sent_'));
});

after(async () => {
  await browser?.close();
  await server?.stop();
  if (sources) rmSync(sources, { recursive: true, force: true });
});

// The same bytes on every machine for the same seed: a linear congruential generator.
function pseudoRandomBytes(size, seed) {
  const bytes = Buffer.alloc(size);
  let x = seed >>> 0;
  for (let i = 0; i < size; ++i) {
    x = (Math.imul(x, 1664525) + 1013904223) >>> 0;
    bytes[i] = x >>> 24;
  }
  return bytes;
}

// Writes `count` files named prefix0.jpg ... of `size` bytes to send; returns their paths.
function writeSources(prefix, count, size) {
  return Array.from({ length: count }, (_, i) => {
    const path = join(sources, `${prefix}${i}.jpg`);
    writeFileSync(path, pseudoRandomBytes(size, i + 1));
    return path;
  });
}

function saved() {
  return readdirSync(server.pictures).sort();
}

// Opens the uploader, chooses `files` (paths or { name, mimeType, buffer }) through its file
// input and waits until every post has been answered. Returns the number of files in each
// post, in the order sent.
async function upload(files) {
  await page.goto(`${server.url}Uploader`);
  let posts = 0;
  let answered = 0;
  const onRequest = (request) => {
    if (request.url().endsWith('/upload.php')) ++posts;
  };
  const onFinished = (request) => {
    if (request.url().endsWith('/upload.php')) ++answered;
  };
  page.on('request', onRequest);
  page.on('requestfinished', onFinished);
  page.on('requestfailed', onFinished);
  await page.setInputFiles('#file_selecter', files);
  await page.waitForFunction(() => document.getElementById('result').textContent !== '');
  while (answered < posts) await new Promise((r) => setTimeout(r, 50));
  page.off('request', onRequest);
  page.off('requestfinished', onFinished);
  page.off('requestfailed', onFinished);
  const filesPerPost = await page.evaluate(() => window.filesPerPost);
  assert.equal(filesPerPost.length, posts);
  return filesPerPost;
}

test('the file button opens the file chooser of the hidden input', async () => {
  await page.goto(`${server.url}Uploader`);
  assert.equal(await page.title(), 'Lumenvale ファイルアップローダ');
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click('#btn')]);
  assert.equal(chooser.isMultiple(), true);
  await screenshot(page, 'uploader');
});

test('three chosen files are all saved and the page says 成功', async () => {
  const files = ['a', 'b', 'c'].map((name, i) => ({
    name: `${name}.jpg`, mimeType: 'image/jpeg', buffer: pseudoRandomBytes(50000 + i, 10 + i),
  }));
  assert.deepEqual(await upload(files), [3]);
  assert.equal(await page.textContent('#result'), '成功');
  assert.equal(await page.textContent('#pv'), '100');
  assert.deepEqual(saved(), ['a.jpg', 'b.jpg', 'c.jpg']);
  for (const file of files) {
    assert.ok(readFileSync(join(server.pictures, file.name)).equals(file.buffer), file.name);
  }
  await screenshot(page, 'uploader-success');
});

test('a file dropped on the drag area is uploaded', async () => {
  await page.goto(`${server.url}Uploader`);
  const dropped = await page.evaluateHandle(() => {
    const transfer = new DataTransfer();
    transfer.items.add(new File(['dropped bytes'], 'dropped.png', { type: 'image/png' }));
    return transfer;
  });
  await page.dispatchEvent('#drag-area', 'dragenter', { dataTransfer: dropped });
  await page.dispatchEvent('#drag-area', 'drop', { dataTransfer: dropped });
  await page.waitForFunction(() => document.getElementById('result').textContent !== '');
  assert.equal(await page.textContent('#result'), '成功');
  assert.equal(readFileSync(join(server.pictures, 'dropped.png'), 'latin1'), 'dropped bytes');
});

test('a type the gallery does not take is refused: 拒否', async () => {
  const before = saved();
  await upload([{ name: 'x.webp', mimeType: 'image/webp', buffer: Buffer.from('RIFF....WEBP') }]);
  assert.equal(await page.textContent('#result'), '拒否');
  assert.deepEqual(saved(), before);
});

test('files go in batches of at most 20 files and under 8 000 000 bytes', async () => {
  assert.deepEqual(await upload(writeSources('small', 25, 100000)), [20, 5]);
  assert.deepEqual(await upload(writeSources('five', 3, 5000000)), [1, 1, 1]);
  assert.equal(await page.textContent('#result'), '成功');
});

test('25 files of 8 MB arrive whole through the batches', async () => {
  const paths = writeSources('big', 25, 8 * 1024 * 1024);
  const posts = await upload(paths);
  assert.equal(posts.length, 25);
  assert.equal(await page.textContent('#result'), '成功');
  assert.equal(await page.textContent('#pv'), '100');
  for (let i = 0; i < paths.length; ++i) {
    assert.ok(readFileSync(join(server.pictures, `big${i}.jpg`)).equals(readFileSync(paths[i])),
              `big${i}.jpg`);
  }
});
