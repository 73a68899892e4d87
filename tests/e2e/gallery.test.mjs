// The gallery as a visitor sees it: the real server on a generated gallery of 250 pictures,
// driven in headless Chromium. The blocks run in order and share one server and one browser;
// each opens the page it needs, so one failure does not cascade into the next.
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import {
  launchBrowser, loadedImageCount, outputFolder, screenshot, startServer, swipe as swipeFrom,
} from './harness.mjs';

// Three thumbnail pages of 100, 100 and 50; the date order is the name order (make_gallery
// gives older pictures lower numbers), so position p is photo{p}.
const kPictures = 250;
const kLastPage = 2;

let server;
let browser;
let page;

before(async () => {
  server = await startServer(kPictures);
  browser = await launchBrowser();
  const context = await browser.newContext({ hasTouch: true, viewport: { width: 1280, height: 720 } });
  page = await context.newPage();
  page.setDefaultTimeout(15000);
});

after(async () => {
  await browser?.close();
  await server?.stop();
});

const viewUrl = (number) => `${server.url}view?page=T-1-D-${number}`;
const imageUrl = (position) => `${server.url}individual?page=1-D-${position}`;

// Runs `action` and resolves once a new document has finished loading (the same address
// counts too: the random link may name the current picture).
async function loadBy(action) {
  await Promise.all([page.waitForEvent('load'), action()]);
}

async function open(url) {
  await page.goto(url);
  await page.waitForLoadState('load');
}

// The absolute address of the link with this id on the current page.
async function linkTarget(id) {
  const href = await page.getAttribute(`#${id}`, 'href');
  return new URL(href, page.url()).href;
}

// The keys of the image pages that the thumbnails of the current page open.
function thumbnailKeys() {
  return page.$$eval('article a', (links) =>
    links.map((a) => new URL(a.href).searchParams.get('page')));
}

// A one-finger swipe from the middle of the window, over the article element.
const swipe = (dx, dy) => swipeFrom(page, 640, 360, dx, dy);

test('the home page redirects to the first thumbnail page', async () => {
  await page.goto(server.url);
  await page.waitForURL(viewUrl(0));
  assert.equal(page.url(), viewUrl(0));
});

test('a thumbnail page loads 100 reduced pictures, ten to a line', async () => {
  await open(viewUrl(0));
  assert.equal(await loadedImageCount(page), 100);
  const widths = await page.$$eval('article img', (images) => images.map((i) => i.naturalWidth));
  assert.deepEqual(new Set(widths), new Set([150]));  // 320x240 pictures sent 150 wide
  assert.equal(await page.locator('article br').count(), 10);
  const keys = await thumbnailKeys();
  assert.equal(keys[0], '1-D-0');
  assert.equal(keys[99], '1-D-99');
  await screenshot(page, 'thumbnails-page-0');
});

test('the right arrow key opens the next thumbnail page and the left one the previous', async () => {
  await open(viewUrl(0));
  await loadBy(() => page.keyboard.press('ArrowRight'));
  assert.equal(page.url(), viewUrl(1));
  assert.equal(await loadedImageCount(page), 100);
  assert.equal((await thumbnailKeys())[0], '1-D-100');

  await loadBy(() => page.keyboard.press('ArrowLeft'));
  assert.equal(page.url(), viewUrl(0));

  // Both ways wrap around: before the first page comes the last, after the last the first.
  await loadBy(() => page.keyboard.press('ArrowLeft'));
  assert.equal(page.url(), viewUrl(kLastPage));
  assert.equal(await loadedImageCount(page), 50);
  assert.equal((await thumbnailKeys())[49], '1-D-249');
  await screenshot(page, 'thumbnails-last-page');
  await loadBy(() => page.keyboard.press('ArrowRight'));
  assert.equal(page.url(), viewUrl(0));
});

test('a horizontal swipe moves between thumbnail pages', async () => {
  await open(viewUrl(1));
  await loadBy(() => swipe(-200, 0));  // finger to the left: the next page
  assert.equal(page.url(), viewUrl(2));
  await loadBy(() => swipe(200, 0));  // finger to the right: the previous page
  assert.equal(page.url(), viewUrl(1));
});

test('a search narrows the thumbnail page to the matching pictures', async () => {
  await open(viewUrl(0));
  await page.fill('input[name="word"]', 'photo001');
  await loadBy(() => page.click('input[type="submit"]'));
  const url = new URL(page.url());
  assert.equal(url.pathname, '/view');
  assert.equal(url.searchParams.get('word'), 'photo001');
  assert.equal(url.searchParams.get('page'), 'T-1-D-0');  // the order travels with the search
  assert.equal(await loadedImageCount(page), 10);
  assert.deepEqual(await thumbnailKeys(), ['1-D-0', '1-D-1', '1-D-2', '1-D-3', '1-D-4', '1-D-5',
                                           '1-D-6', '1-D-7', '1-D-8', '1-D-9']);
  // The pictures are photo0010 ... photo0019: the name-order positions 10 to 19.
  const sources = await page.$$eval('article img', (images) =>
    images.map((i) => new URL(i.src).searchParams.get('page')));
  assert.deepEqual(sources, Array.from({ length: 10 }, (_, i) => `1-N-${10 + i}`));
  assert.equal(await page.inputValue('input[name="word"]'), 'photo001');
  await screenshot(page, 'thumbnails-search');

  await page.fill('input[name="word"]', 'nothing-like-this');
  await loadBy(() => page.click('input[type="submit"]'));
  assert.equal(await page.locator('article img').count(), 0);
  assert.equal((await page.textContent('article')).trim(), 'ファイルが見つかりませんでした。');
});

test('a thumbnail opens the image page of its picture', async () => {
  await open(viewUrl(0));
  await loadBy(() => page.click('article a >> nth=5'));
  assert.equal(page.url(), imageUrl(5));
  // fitImg shows the picture once it has loaded, scaled to the window's height.
  await page.waitForFunction(() => {
    const img = document.getElementById('main');
    return img.complete && img.naturalWidth > 0 && getComputedStyle(img).visibility === 'visible';
  });
  // Smaller than the window, the picture is shown at its own size (the window's pixel ratio
  // is 1), centred, not blown up to the window's height.
  const box = await page.locator('#main').boundingBox();
  assert.deepEqual(box, { x: 480, y: 240, width: 320, height: 240 });
  await screenshot(page, 'image-page');
});

test('Esc on the image page returns to the thumbnail page that holds the picture', async () => {
  await open(imageUrl(150));
  await Promise.all([page.waitForURL(viewUrl(1)), page.keyboard.press('Escape')]);
  assert.equal(page.url(), viewUrl(1));
});

// The rules for phones and for the folders-first pages change nothing on a desktop screen:
// the page looks the same with them taken out of its style sheet.
test('on a desktop screen the thumbnail page looks as it did', async () => {
  const desktop = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  const view = await desktop.newPage();
  for (const key of ['T-1-N-0', 'T-1-D-2']) {
    await view.goto(`${server.url}view?page=${key}`);
    await view.waitForLoadState('load');
    await view.waitForFunction(() => [...document.images].every((img) => img.complete));
    const now = await view.screenshot({ fullPage: true });
    const removed = await view.evaluate(() => {
      const sheet = document.styleSheets[0];
      let count = 0;
      for (let i = sheet.cssRules.length - 1; i >= 0; --i) {
        const rule = sheet.cssRules[i];
        if (rule instanceof CSSMediaRule || rule.selectorText?.includes('a.folder')) {
          sheet.deleteRule(i);
          ++count;
        }
      }
      return count;
    });
    assert.equal(removed, 4, 'the media rule and the three folder rules');
    const before = await view.screenshot({ fullPage: true });
    assert.ok(now.equals(before), `${key} looks different on a desktop screen`);
    if (key === 'T-1-N-0') writeFileSync(join(outputFolder, 'desktop-thumbnails.png'), now);
  }
  // The image page's controls for touch screens stay hidden.
  await view.goto(`${server.url}individual?page=1-D-3`);
  await view.waitForLoadState('load');
  assert.equal(await view.isVisible('#touchControls'), false);
  assert.equal(await view.isVisible('#headerHint'), false);
  await desktop.close();
});

test('arrow keys open the next and previous image, the up key a random one', async () => {
  await open(imageUrl(5));
  await loadBy(() => page.keyboard.press('ArrowRight'));
  assert.equal(page.url(), imageUrl(6));
  await loadBy(() => page.keyboard.press('ArrowLeft'));
  assert.equal(page.url(), imageUrl(5));

  await open(imageUrl(0));
  await loadBy(() => page.keyboard.press('ArrowLeft'));
  assert.equal(page.url(), imageUrl(kPictures - 1));  // before the first comes the last
  await loadBy(() => page.keyboard.press('ArrowRight'));
  assert.equal(page.url(), imageUrl(0));

  const random = await linkTarget('RandomPage');
  assert.match(random, /individual\?page=1-D-\d+$/);
  await loadBy(() => page.keyboard.press('ArrowUp'));
  assert.equal(page.url(), random);
});

test('a horizontal swipe moves between images, an upward one to a random image', async () => {
  await open(imageUrl(10));
  await loadBy(() => swipe(-200, 0));
  assert.equal(page.url(), imageUrl(11));
  await loadBy(() => swipe(200, 0));
  assert.equal(page.url(), imageUrl(10));
  const random = await linkTarget('RandomPage');
  await loadBy(() => swipe(0, -200));
  assert.equal(page.url(), random);
});

test('a double click on the picture shows the header bar and a second one hides it', async () => {
  await open(imageUrl(3));
  await page.waitForFunction(() => getComputedStyle(document.getElementById('main')).visibility === 'visible');
  const headerBottom = () => page.$eval('#header', (h) => h.getBoundingClientRect().bottom);
  assert.ok((await headerBottom()) <= 0, 'the header starts above the window');

  await page.dblclick('#main');
  assert.equal(await page.getAttribute('#header', 'class'), 'DownMove');
  await page.waitForFunction(() => document.getElementById('header').getBoundingClientRect().top === 0);
  assert.ok(await page.isVisible('#btn1'));
  await screenshot(page, 'image-page-header');

  await page.dblclick('#main');
  assert.equal(await page.getAttribute('#header', 'class'), 'UpMove');
  await page.waitForFunction(() => document.getElementById('header').getBoundingClientRect().bottom <= 0);
});

test('the slide show changes its picture at the chosen interval of one second', async (t) => {
  // The image page links to the slide show with its own parameters.
  await open(imageUrl(7));
  const link = new URL(await page.getAttribute('text=スライドショー', 'href'), page.url());
  assert.equal(link.href, `${server.url}slideshow?page=1-D-7`);

  link.searchParams.set('interval', '1');
  await page.goto(link.href);
  assert.equal(await page.inputValue('#speed-slider'), '1');
  assert.equal(await page.textContent('#speedDisplay'), '1');
  // Every picture that finishes loading into the player, with the time it did.
  await page.evaluate(() => {
    window.shown = [];
    document.getElementById('main').addEventListener('load', (e) => {
      window.shown.push({ at: performance.now(), src: e.target.getAttribute('src') });
    });
  });
  await page.waitForFunction(() => window.shown.length >= 4, null, { timeout: 20000 });
  const shown = await page.evaluate(() => window.shown);
  await screenshot(page, 'slideshow');

  // Each asked for in the width of the window (its pixel ratio is 1).
  for (const { src } of shown) assert.match(src, /^image\?page=1-D-\d+&width=1280$/);
  assert.ok(new Set(shown.map((s) => s.src)).size >= 3, `pictures: ${shown.map((s) => s.src)}`);
  const gaps = shown.slice(1).map((s, i) => (s.at - shown[i].at) / 1000);
  t.diagnostic(`seconds between pictures: ${gaps.map((g) => g.toFixed(2)).join(' ')}`);
  // Generous around 1 s, yet below 2 s: a show that skips every other tick changes every 2 s.
  for (const [i, seconds] of gaps.entries()) {
    assert.ok(seconds >= 0.7 && seconds <= 1.6, `change ${i + 1} after ${seconds.toFixed(2)} s`);
  }
});
