// Requests that a page of another site makes a visitor's browser send to the gallery: the real
// server on 12 generated pictures, and a foreign page served from another loopback origin, in
// Chromium. Its uploads and likes must not count; the gallery's own like must.
import assert from 'node:assert/strict';
import { createServer } from 'node:http';
import { readdirSync } from 'node:fs';
import { after, before, test } from 'node:test';

import { launchBrowser, startServer } from './harness.mjs';

const kPictures = 12;

let server;
let foreign;
let foreignUrl;
let browser;
let page;

// The foreign site: one page, whose body is set by each test.
let foreignPage = '';

before(async () => {
  server = await startServer(kPictures, '<HASH_FILE_NAME></HASH_FILE_NAME>\r\n');
  foreign = createServer((request, response) => {
    response.writeHead(200, { 'Content-Type': 'text/html' });
    response.end(foreignPage);
  });
  await new Promise((resolve) => foreign.listen(0, '127.0.0.2', resolve));
  foreignUrl = `http://127.0.0.2:${foreign.address().port}/`;
  browser = await launchBrowser();
  page = await browser.newPage();
  page.setDefaultTimeout(15000);
});

after(async () => {
  await browser?.close();
  await new Promise((resolve) => foreign?.close(resolve));
  await server?.stop();
});

// Shows `html` as the foreign site's page and waits until the gallery has answered `count`
// requests of the page whose path is `path`; resolves to their statuses.
async function showForeign(html, path, count) {
  foreignPage = html;
  const statuses = [];
  const answered = new Promise((resolve) => {
    const listener = (response) => {
      if (new URL(response.url()).pathname !== path) return;
      statuses.push(response.status());
      if (statuses.length === count) {
        page.off('response', listener);
        resolve();
      }
    };
    page.on('response', listener);
  });
  // A navigation that ends on a refusal (the form's) is an error page, not a failure here.
  await page.goto(foreignUrl).catch(() => {});
  await answered;
  return statuses;
}

test('a foreign page\'s upload is refused, by a script and by a form', async () => {
  const target = `${server.url}upload.php`;
  const statuses = await showForeign(`<!DOCTYPE html><html><body>
    <form id="f" method="post" enctype="multipart/form-data" action="${target}">
    <input type="hidden" name="x" value="y"></form>
    <script>
      const form = new FormData();
      form.append('userfile', new Blob([new Uint8Array([0xFF, 0xD8, 0xFF, 0xE0])],
                                       { type: 'image/jpeg' }), 'forged.jpg');
      fetch(${JSON.stringify(target)}, { method: 'POST', mode: 'no-cors', body: form })
        .finally(() => document.getElementById('f').submit());
    </script></body></html>`, '/upload.php', 2);
  // The script's answer is opaque to the page, and the form's is an error page.
  assert.deepEqual(statuses, [403, 403]);
  assert.deepEqual(readdirSync(server.pictures).filter((name) => name.startsWith('forged')), []);
});

test('a like by a foreign <img> does not count, while the gallery\'s own like does', async () => {
  await showForeign(`<!DOCTYPE html><html><body>
    <img src="${server.url}vote?page=1-N-3">
    <img src="${server.url}vote?page=1-N-3&word=">
    </body></html>`, '/vote', 2);
  const answers = await page.evaluate(() => [...document.images].map((img) => img.naturalWidth));
  assert.deepEqual(answers, [0, 0]);

  await page.goto(`${server.url}individual?page=1-N-3`);
  await page.waitForLoadState('load');
  await page.dblclick('#main');
  await page.waitForFunction(
    () => document.getElementById('header').getBoundingClientRect().top === 0);
  const [response] = await Promise.all([
    page.waitForResponse((r) => new URL(r.url()).pathname === '/vote'),
    page.click('#btn1'),
  ]);
  // The first like that counted: the count before it was 0.
  assert.deepEqual(await response.json(), { state: 'success', response: 'xxx', viewNum: '0' });
});

test('the gallery\'s pages carry nosniff and a framing policy', async () => {
  const response = await fetch(`${server.url}view?page=T-1-N-0`);
  assert.equal(response.headers.get('x-content-type-options'), 'nosniff');
  assert.equal(response.headers.get('x-frame-options'), 'SAMEORIGIN');
});
