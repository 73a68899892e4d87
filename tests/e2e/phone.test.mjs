// The gallery on a phone held upright: Chromium emulating a 390 x 844 touch screen at device
// scale 3, on a gallery of camera files named as cameras and phones name them (DSC_0000.JPG,
// upper case). The blocks share one server and one browser; each opens the page it needs.
import assert from 'node:assert/strict';
import { readdirSync, renameSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import {
  launchBrowser, loadedImageCount, screenshot, startServer, swipe, writeGallery,
} from './harness.mjs';

const kPictures = 30;  // three lines of ten thumbnails
const kPhone = { width: 390, height: 844 };

let server;
let browser;
let page;

// make_gallery's 320 x 240 pictures, renamed photo0007.jpg -> DSC_0007.JPG; the last one has
// the kind of long name without a blank that an edited export gets.
const kLongName = 'DSC_0029_EDITED_2024-06-01_12-00-00_PANORAMA_STITCHED_FINAL_VERSION.JPG';
function writeCameraFiles(folder, count) {
  writeGallery(folder, count);
  for (const name of readdirSync(folder)) {
    renameSync(join(folder, name), join(folder, name.replace('photo', 'DSC_').toUpperCase()));
  }
  renameSync(join(folder, `DSC_${String(count - 1).padStart(4, "0")}.JPG`), join(folder, kLongName));
}

before(async () => {
  server = await startServer(kPictures, '', writeCameraFiles);
  browser = await launchBrowser();
  const context = await browser.newContext({
    viewport: kPhone, deviceScaleFactor: 3, isMobile: true, hasTouch: true,
  });
  page = await context.newPage();
  page.setDefaultTimeout(15000);
});

after(async () => {
  await browser?.close();
  await server?.stop();
});

const imageUrl = (position) => `${server.url}individual?page=1-N-${position}`;

async function open(url) {
  await page.goto(url);
  await page.waitForLoadState('load');
}

// Runs `action` and resolves once a new document has finished loading.
async function loadBy(action) {
  await Promise.all([page.waitForEvent('load'), action()]);
}

// The page is laid out at the phone's width (not at a desktop's 980 px, shrunk to fit) and
// cannot be scrolled sideways.
async function assertPhoneLayout() {
  const { innerWidth, scrollWidth } = await page.evaluate(() => ({
    innerWidth: window.innerWidth,
    scrollWidth: document.documentElement.scrollWidth,
  }));
  assert.equal(innerWidth, kPhone.width);
  assert.ok(scrollWidth <= innerWidth, `the page is ${scrollWidth} px wide`);
}

// The heights in CSS pixels of the elements that `selector` finds, with their texts.
function heights(selector) {
  return page.$$eval(selector, (elements) =>
    elements.map((e) => ({ text: e.textContent, height: e.getBoundingClientRect().height })));
}

function assertTallEnough(found) {
  assert.ok(found.length > 0);
  for (const { text, height } of found) assert.ok(height >= 12, `"${text}" is ${height} px high`);
}

// Resolves when fitImg has shown the picture; returns its box.
async function shownPicture() {
  await page.waitForFunction(() => {
    const img = document.getElementById('main');
    return img.complete && img.naturalWidth > 0 && getComputedStyle(img).visibility === 'visible';
  });
  return page.locator('#main').boundingBox();
}

test('the thumbnail page fits the phone, its links tall enough to read and tap', async () => {
  await open(`${server.url}view?page=T-1-N-0`);
  await assertPhoneLayout();
  // Upper-case camera files come as JPEG thumbnails 150 pixels wide, ten to a line.
  assert.equal(await loadedImageCount(page), kPictures);
  const widths = await page.$$eval('article img', (images) => images.map((i) => i.naturalWidth));
  assert.deepEqual(new Set(widths), new Set([150]));
  assert.equal(await page.locator('article br').count(), kPictures / 10);
  const tops = await page.$$eval('article img', (images) =>
    images.map((i) => Math.round(i.getBoundingClientRect().top)));
  for (let line = 0; line < kPictures / 10; ++line) {
    assert.equal(new Set(tops.slice(line * 10, line * 10 + 10)).size, 1, `line ${line}`);
  }
  const thumbnail = await fetch(`${server.url}image?page=1-N-0&shrink=1`);
  assert.equal(thumbnail.headers.get('content-type'), 'image/jpeg');
  assert.equal(thumbnail.headers.get('content-disposition'),
               "filename*=utf-8''%44%53%43%5F%30%30%30%30%2E%4A%50%47");  // DSC_0000.JPG
  // The page number and the four other orders.
  assertTallEnough(await heights('nav a'));
  await screenshot(page, 'phone-thumbnails');
});

test('the image page fits the picture to the phone; a swipe anywhere moves', async () => {
  await open(imageUrl(5));
  await assertPhoneLayout();
  // 320 x 240 scaled to the phone's width, centred between two dark bands.
  const box = await shownPicture();
  assert.equal(Math.round(box.width), kPhone.width);
  assert.equal(Math.round(box.height), 293);
  assert.equal(Math.round(box.y), 275);
  await screenshot(page, 'phone-image-page');

  await loadBy(() => swipe(page, 300, 120, -200, 0));  // starts in the band above
  assert.equal(page.url(), imageUrl(6));
  await shownPicture();
  await loadBy(() => swipe(page, 300, 420, -200, 0));  // starts on the picture
  assert.equal(page.url(), imageUrl(7));
  await shownPicture();
  await loadBy(() => swipe(page, 100, 760, 200, 0));  // to the right, in the band below
  assert.equal(page.url(), imageUrl(6));
});

test('the header bar of the image page fits the phone, a long name too', async () => {
  await open(imageUrl(kPictures - 1));
  await shownPicture();
  await page.dblclick('#main');
  await page.waitForFunction(() => document.getElementById('header').getBoundingClientRect().top === 0);
  await assertPhoneLayout();
  assert.ok(await page.$eval('#header', (h) => h.scrollWidth <= h.clientWidth), 'the name runs out');
  assertTallEnough(await heights('#header a'));
  const header = await page.locator('#header').boundingBox();
  assert.ok(header.width <= kPhone.width && header.height < kPhone.height / 2,
            `the header is ${header.width} x ${header.height}`);
  await screenshot(page, 'phone-image-header');
});

test('the slide show fills the phone screen', async () => {
  await open(`${server.url}slideshow?page=1-N-3&interval=60`);
  await assertPhoneLayout();
  const article = await page.locator('article').boundingBox();
  assert.deepEqual(article, { x: 0, y: 0, ...kPhone });
  const box = await shownPicture();
  assert.equal(Math.round(box.width), kPhone.width);
  assert.equal(Math.round(box.y), 275);
  await screenshot(page, 'phone-slideshow');
});
