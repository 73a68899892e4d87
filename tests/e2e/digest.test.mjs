// Digest authentication as a browser lives with it: Chromium, given the user's name and
// password once, browses thumbnail and image pages whose pictures load in parallel on one
// nonce, and is never asked for the password again.
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { after, before, test } from 'node:test';

import { launchBrowser, loadedImageCount, startServer } from './harness.mjs';

const kPictures = 120;
const ha1 = createHash('md5').update('anna:secret:pw').digest('hex');

let server;
let browser;

before(async () => {
  server = await startServer(
    kPictures,
    `<NEED_USER>1</NEED_USER>\r\n<USER><USER_NAME>anna</USER_NAME><HASH>${ha1}</HASH><PRIV>0</PRIV></USER>\r\n`);
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
  await server?.stop();
});

test('a logged-in browser views 20 pages and their pictures without logging in again', async () => {
  const context = await browser.newContext({ httpCredentials: { username: 'anna', password: 'pw' } });
  const page = await context.newPage();
  page.setDefaultTimeout(15000);
  const refusals = [];  // 401 answers that were not a plain renewal of the nonce
  const failures = [];
  page.on('response', (response) => {
    const challenge = response.headers()['www-authenticate'] ?? '';
    if (response.status() === 401 && !challenge.endsWith('stale=true')) refusals.push(response.url());
    if (response.status() !== 200 && response.status() !== 401) failures.push(response.url());
  });
  const addresses = [];
  for (let n = 0; n < 2; ++n) addresses.push(`${server.url}view?page=T-1-N-${n}`);
  for (let p = 0; p < 18; ++p) addresses.push(`${server.url}individual?page=1-N-${p * 6}`);
  for (const address of addresses) {
    const response = await page.goto(address);
    assert.equal(response.status(), 200, address);
    const images = await page.evaluate(() => document.images.length);
    assert.equal(await loadedImageCount(page), images, address);
  }
  // Only the very first request may be refused (before the browser has a nonce).
  assert.ok(refusals.length <= 1, `refused: ${refusals.join(' ')}`);
  assert.deepEqual(failures, []);
  await context.close();
});
