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

// Pseudo-random bytes that start as a JPEG does, so the server takes them for one.
function jpegBytes(size, seed) {
  const bytes = pseudoRandomBytes(size, seed);
  bytes.set([0xFF, 0xD8, 0xFF]);
  return bytes;
}

// Writes `count` files named prefix0.jpg ... of `size` bytes to send; returns their paths.
function writeSources(prefix, count, size) {
  return Array.from({ length: count }, (_, i) => {
    const path = join(sources, `${prefix}${i}.jpg`);
    writeFileSync(path, jpegBytes(size, i + 1));
    return path;
  });
}

// The lines the page shows, one per file, in the order shown.
function results() {
  return page.$$eval('#result .file-result', (lines) => lines.map((l) => l.textContent));
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
  // Every file gets its line once its post is answered.
  await page.waitForFunction(
    (count) => document.querySelectorAll('#result .file-result').length === count, files.length);
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

test('three chosen files are all saved and the page says 成功 for each', async () => {
  const files = ['a', 'b', 'c'].map((name, i) => ({
    name: `${name}.jpg`, mimeType: 'image/jpeg', buffer: jpegBytes(50000 + i, 10 + i),
  }));
  assert.deepEqual(await upload(files), [3]);
  assert.deepEqual(await results(), ['成功: a.jpg', '成功: b.jpg', '成功: c.jpg']);
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
    const png = new Uint8Array([0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A]);
    transfer.items.add(new File([png, 'dropped bytes'], 'dropped.png', { type: 'image/png' }));
    return transfer;
  });
  await page.dispatchEvent('#drag-area', 'dragenter', { dataTransfer: dropped });
  await page.dispatchEvent('#drag-area', 'drop', { dataTransfer: dropped });
  await page.waitForFunction(() => document.getElementById('result').textContent !== '');
  assert.deepEqual(await results(), ['成功: dropped.png']);
  assert.equal(readFileSync(join(server.pictures, 'dropped.png'), 'latin1'),
               '\x89PNG\r\n\x1A\ndropped bytes');
});

test('a type the gallery does not take is refused: 拒否', async () => {
  const before = saved();
  await upload([{ name: 'x.webp', mimeType: 'image/webp', buffer: Buffer.from('RIFF....WEBP') }]);
  assert.deepEqual(await results(), ['拒否: x.webp (受け付けない種類のファイルです)']);
  assert.deepEqual(saved(), before);
});

// One result for a whole batch, the last file's, used to say 拒否 for a text file and a JPEG
// although the JPEG was saved, and 成功 for a JPEG and a video although the video was dropped;
// a text file named fake.jpg was saved and showed as a broken thumbnail.
test('a mixed batch shows each file\'s own result, and the page leads back to the gallery', async () => {
  const before = saved();
  const photo = jpegBytes(30000, 77);
  assert.deepEqual(await upload([
    { name: 'notes.txt', mimeType: 'text/plain', buffer: Buffer.from('a text file') },
    { name: 'DSC_0020.JPG', mimeType: 'image/jpeg', buffer: photo },
    { name: 'clip.mp4', mimeType: 'video/mp4', buffer: Buffer.from('....ftypmp42') },
    { name: 'fake.jpg', mimeType: 'image/jpeg', buffer: Buffer.from('I am text, not a picture') },
    { name: 'a.jpg', mimeType: 'image/jpeg', buffer: photo },  // a.jpg exists already
  ]), [5]);
  assert.deepEqual(await results(), [
    '拒否: notes.txt (受け付けない種類のファイルです)',
    '成功: DSC_0020.JPG (DSC_0020.jpg として保存)',
    '拒否: clip.mp4 (受け付けない種類のファイルです)',
    '拒否: fake.jpg (中身がその種類の画像ではありません)',
    '成功: a.jpg (a (1).jpg として保存)',
  ]);
  assert.deepEqual(saved(), [...before, 'DSC_0020.jpg', 'a (1).jpg'].sort());
  await screenshot(page, 'uploader-mixed-batch');
  await Promise.all([page.waitForURL(/\/view\?page=T-1-D-0$/), page.click('text=ギャラリーに戻る')]);
});

test('files go in batches of at most 20 files and under 8 000 000 bytes', async () => {
  assert.deepEqual(await upload(writeSources('small', 25, 100000)), [20, 5]);
  assert.deepEqual(await upload(writeSources('five', 3, 5000000)), [1, 1, 1]);
  // Posts run side by side: their lines come in the order they are answered.
  assert.deepEqual((await results()).sort(), ['成功: five0.jpg', '成功: five1.jpg', '成功: five2.jpg']);
});

test('25 files of 8 MB arrive whole through the batches', async () => {
  const paths = writeSources('big', 25, 8 * 1024 * 1024);
  const posts = await upload(paths);
  assert.equal(posts.length, 25);
  assert.deepEqual(new Set((await results()).map((line) => line.split(':')[0])), new Set(['成功']));
  assert.equal(await page.textContent('#pv'), '100');
  for (let i = 0; i < paths.length; ++i) {
    assert.ok(readFileSync(join(server.pictures, `big${i}.jpg`)).equals(readFileSync(paths[i])),
              `big${i}.jpg`);
  }
});
