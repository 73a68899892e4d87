// The gallery on a phone held upright: Chromium emulating a 390 x 844 touch screen at device
// scale 3, on a gallery of camera files named as cameras and phones name them (DSC_0000.JPG,
// upper case), and on a second one of larger photos in folders. The blocks share the servers
// and one browser; each opens the page it needs. Their screenshots are kept in E2E_OUTPUT.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, readdirSync, renameSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import {
  launchBrowser, loadedImageCount, outputFolder, screenshot, startServer, swipe, writeGallery,
} from './harness.mjs';

const kPictures = 30;
const kPhone = { width: 390, height: 844 };

let server;
let photos;  // the second gallery
let browser;
let context;
let page;

// Photos of 1600 x 1200 in three folders of three, one with a name to escape, and two more
// in a ZIP archive, whose folder is named after it.
const kFolders = ['2023 Kyoto', 'beach & <sea>', 'garden'];
const kShownFolders = ['2023 Kyoto', 'album.zip', 'beach & <sea>', 'garden'];
function writeFolders(folder) {
  writeGallery(folder, 11, 1600, 1200);
  kFolders.forEach((name, i) => {
    mkdirSync(join(folder, name));
    for (let k = 0; k < 3; ++k) {
      const file = `photo${String(i * 3 + k).padStart(4, '0')}.jpg`;
      renameSync(join(folder, file), join(folder, name, file));
    }
  });
  execFileSync('zip', ['-q', '-m', 'album.zip', 'photo0009.jpg', 'photo0010.jpg'], { cwd: folder });
}

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
  photos = await startServer(11, '<SUB>1</SUB>\r\n', writeFolders);
  browser = await launchBrowser();
  context = await browser.newContext({
    viewport: kPhone, deviceScaleFactor: 3, isMobile: true, hasTouch: true,
  });
  page = await context.newPage();
  page.setDefaultTimeout(15000);
});

after(async () => {
  await browser?.close();
  await server?.stop();
  await photos?.stop();
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

// Every element `selector` finds is a touch target: at least 44 CSS px in both directions.
async function assertTouchSized(selector) {
  const boxes = await page.$$eval(selector, (elements) => elements.map((e) => {
    const box = e.getBoundingClientRect();
    return { what: e.outerHTML.slice(0, 60), width: box.width, height: box.height };
  }));
  assert.ok(boxes.length > 0, `nothing matches ${selector}`);
  for (const { what, width, height } of boxes) {
    assert.ok(width >= 44 && height >= 44, `${what} is ${width} x ${height}`);
  }
}

// Resolves when fitImg has shown the picture; returns its box.
async function shownPicture() {
  await page.waitForFunction(() => {
    const img = document.getElementById('main');
    return img.complete && img.naturalWidth > 0 && getComputedStyle(img).visibility === 'visible';
  });
  return page.locator('#main').boundingBox();
}

test('the thumbnail page fits the phone, four thumbnails a line, every link a touch target', async () => {
  await open(`${server.url}view?page=T-1-N-0`);
  await assertPhoneLayout();
  // Upper-case camera files come as JPEG thumbnails 150 pixels wide.
  assert.equal(await loadedImageCount(page), kPictures);
  const widths = await page.$$eval('article img', (images) => images.map((i) => i.naturalWidth));
  assert.deepEqual(new Set(widths), new Set([150]));
  const tops = await page.$$eval('article img', (images) =>
    images.map((i) => Math.round(i.getBoundingClientRect().top)));
  for (let line = 0; line * 4 < kPictures; ++line) {
    const count = Math.min(4, kPictures - line * 4);
    assert.equal(new Set(tops.slice(line * 4, line * 4 + count)).size, 1, `line ${line}`);
    if (line > 0) assert.ok(tops[line * 4] > tops[line * 4 - 1], `line ${line} starts anew`);
  }
  const thumbnail = await fetch(`${server.url}image?page=1-N-0&shrink=1`);
  assert.equal(thumbnail.headers.get('content-type'), 'image/jpeg');
  assert.equal(thumbnail.headers.get('content-disposition'),
               "filename*=utf-8''%44%53%43%5F%30%30%30%30%2E%4A%50%47");  // DSC_0000.JPG
  await assertTouchSized('article img');
  await assertTouchSized('nav a');  // the page number, the four other orders, the uploader
  await assertTouchSized('nav input:not([type=hidden])');
  await screenshot(page, 'phone-thumbnails');
});

test('the folders-first page names each folder under its thumbnail', async () => {
  await open(`${photos.url}view?page=T-1-PN-0`);
  await assertPhoneLayout();
  assert.deepEqual(await page.$$eval('article a.folder span', (s) => s.map((e) => e.textContent)),
                   kShownFolders);
  assert.deepEqual(await page.$$eval('article img', (i) => i.map((e) => e.alt)), kShownFolders);
  for (const name of kShownFolders) {
    const tile = page.locator('article a.folder', { hasText: name });
    const img = await tile.locator('img').boundingBox();
    const label = await tile.locator('span').boundingBox();
    assert.ok(label.y >= img.y + img.height - 1, `${name} stands under its thumbnail`);
  }
  await assertTouchSized('article a.folder');
  await screenshot(page, 'phone-folders');
});

test('the image page loads a screen rendition, and its neighbours only after it', async () => {
  const target = `${photos.url}individual?page=1-N-4`;
  await open(target);
  await shownPicture();
  const { main, entries, loadEnd } = await page.evaluate(() => ({
    main: document.getElementById('main').currentSrc,
    entries: performance.getEntriesByType('resource')
      .filter((e) => e.name.includes('/image?'))
      .map((e) => ({ name: e.name, start: e.startTime, end: e.responseEnd })),
    loadEnd: performance.getEntriesByType('navigation')[0].loadEventStart,
  }));
  const width = new URL(main).searchParams.get('width');
  assert.ok(['1080', '1600'].includes(width), `the phone asked for ${main}`);
  // The rendition is the picture at that width (the photo is 1600 wide).
  const pixels = await page.evaluate((url) => new Promise((resolve) => {
    const probe = new Image();
    probe.onload = () => resolve(probe.naturalWidth);
    probe.src = url;
  }), main);
  assert.equal(pixels, Math.min(Number(width), 1600));
  // Nothing else of the picture is fetched: no original, no second rendition.
  const own = entries.filter((e) => new URL(e.name).searchParams.get('page') === '1-N-4');
  assert.deepEqual(own.map((e) => e.name), [main]);
  // The neighbours (next, previous, two ahead, two back) start after the load event, in the
  // same width; the random link's picture is not fetched.
  await page.waitForFunction(() => performance.getEntriesByType('resource')
    .filter((e) => e.name.includes('/image?') && !e.name.includes('page=1-N-4&')).length >= 4);
  const later = await page.evaluate(() => performance.getEntriesByType('resource')
    .filter((e) => e.name.includes('/image?') && !e.name.includes('page=1-N-4&'))
    .map((e) => ({ name: e.name, start: e.startTime })));
  const keys = later.map((e) => new URL(e.name).searchParams.get('page')).sort();
  assert.deepEqual(keys, ['1-N-2', '1-N-3', '1-N-5', '1-N-6']);
  for (const e of later) {
    assert.ok(e.start >= loadEnd, `${e.name} started at ${e.start}, before the load at ${loadEnd}`);
    assert.equal(new URL(e.name).searchParams.get('width'), width);
  }
  await screenshot(page, 'phone-rendition');
});

test('Back after five swipes returns to the thumbnail page', async () => {
  const grid = `${server.url}view?page=T-1-N-0`;
  await open(grid);
  await loadBy(() => page.tap('article a >> nth=3'));
  assert.equal(page.url(), imageUrl(3));
  for (let i = 1; i <= 5; ++i) {
    await shownPicture();
    await loadBy(() => swipe(page, 300, 420, -200, 0));
    assert.equal(page.url(), imageUrl(3 + i));
  }
  await loadBy(() => page.goBack());
  assert.equal(page.url(), grid);
});

test('the viewer shows a way out and, on a first visit, how to reach the header', async () => {
  const fresh = await browser.newContext({
    viewport: kPhone, deviceScaleFactor: 3, isMobile: true, hasTouch: true,
  });
  const viewer = await fresh.newPage();
  await viewer.goto(imageUrl(7));
  await viewer.waitForLoadState('load');
  assert.ok(await viewer.isVisible('#headerHint'), 'the hint shows on the first visit');
  await viewer.screenshot({ path: join(outputFolder, 'phone-first-visit.png') });
  const way = viewer.locator('#TouchViewPage');
  const box = await way.boundingBox();
  assert.ok(box.width >= 44 && box.height >= 44, `the way out is ${box.width} x ${box.height}`);
  await Promise.all([viewer.waitForEvent('load'), way.tap()]);
  assert.equal(viewer.url(), `${server.url}view?page=T-1-N-0`);
  await viewer.goto(imageUrl(2));
  await viewer.waitForLoadState('load');
  assert.equal(await viewer.isVisible('#headerHint'), false, 'and only then');
  await fresh.close();
});

test('the uploader and the status page fit the phone, their controls touch-sized', async () => {
  await open(`${server.url}Uploader`);
  await assertPhoneLayout();
  await assertTouchSized('#btn');
  assert.equal(await page.getAttribute('#file_selecter', 'accept'),
               'image/jpeg,image/png,image/gif,image/bmp,image/heic,image/heif,image/avif');
  await assertTouchSized('a[href]');  // the way back to the gallery
  await screenshot(page, 'phone-uploader');
  // The status page has no link left to tap; its rule still covers any it may show.
  await open(`${server.url}info`);
  await assertPhoneLayout();
  await screenshot(page, 'phone-status');
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
