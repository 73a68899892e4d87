// Phone pictures in the browser: a HEIC (which Chromium cannot show) and an AVIF (which it
// can) on the thumbnail page and on their image pages, each shown upright.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { after, before, test } from 'node:test';

import { launchBrowser, loadedImageCount, screenshot, startServer } from './harness.mjs';

const makeHeifGallery = process.env.MAKE_HEIF_GALLERY ?? 'build/bin/make_heif_gallery';

// In name order: IMG_0001.HEIC, PXL_0003.avif; both show 400 x 300 upright in quadrants.
const kRed = [230, 20, 20];
const kGreen = [20, 200, 20];
const kBlue = [20, 20, 230];
const kWhite = [250, 250, 250];

let server;
let browser;
let page;
const imageResponses = [];  // content types of the /image answers, by address

before(async () => {
  server = await startServer(2, '', (folder) => execFileSync(makeHeifGallery, [folder]));
  browser = await launchBrowser();
  const context = await browser.newContext({ viewport: { width: 1280, height: 720 } });
  page = await context.newPage();
  page.setDefaultTimeout(15000);
  page.on('response', (response) => {
    if (new URL(response.url()).pathname === '/image') {
      imageResponses.push({ url: response.url(), type: response.headers()['content-type'] });
    }
  });
});

after(async () => {
  await browser?.close();
  await server?.stop();
});

// The sizes of the loaded <img> elements `selector` finds and the colours of their corners,
// as the browser shows them.
function shownPictures(selector) {
  return page.$$eval(selector, (images) => images.map((img) => {
    const canvas = document.createElement('canvas');
    canvas.width = img.naturalWidth;
    canvas.height = img.naturalHeight;
    const context = canvas.getContext('2d');
    context.drawImage(img, 0, 0);
    const at = (x, y) => Array.from(context.getImageData(x, y, 1, 1).data.slice(0, 3));
    const w = img.naturalWidth;
    const h = img.naturalHeight;
    return { width: w, height: h, corners: [at(3, 3), at(w - 4, 3), at(3, h - 4), at(w - 4, h - 4)] };
  }));
}

function assertUpright(shown, width, what) {
  assert.equal(shown.width, width, what);
  assert.equal(shown.height, Math.trunc(width * 3 / 4), what);
  const expected = [kRed, kGreen, kBlue, kWhite];
  shown.corners.forEach((colour, i) => {
    const near = colour.every((c, k) => Math.abs(c - expected[i][k]) <= 40);
    assert.ok(near, `${what}: corner ${i} is ${colour}, not ${expected[i]}`);
  });
}

test('the thumbnail page shows both pictures upright, as JPEG thumbnails', async () => {
  await page.goto(`${server.url}view?page=T-1-N-0`);
  await page.waitForLoadState('load');
  assert.equal(await loadedImageCount(page), 2);
  const thumbnails = await shownPictures('article img');
  assert.equal(thumbnails.length, 2);
  thumbnails.forEach((shown, n) => assertUpright(shown, 150, `thumbnail ${n}`));
  for (const { url, type } of imageResponses) assert.equal(type, 'image/jpeg', url);
  await screenshot(page, 'heif-thumbnails');
});

// The image page offers screen widths (srcset); a HEIF picture narrower than the one picked
// comes as its full-size JPEG, which the browser scales as the width it asked for.
test('the image pages show the HEIC and the AVIF as JPEG screen renditions, upright', async () => {
  const expected = ['image/jpeg', 'image/jpeg'];
  for (const position of [0, 1]) {
    imageResponses.length = 0;
    await page.goto(`${server.url}individual?page=1-N-${position}`);
    await page.waitForFunction(() => {
      const img = document.getElementById('main');
      return img.complete && img.naturalWidth > 0;
    });
    const shown = (await shownPictures('#main'))[0];
    assertUpright(shown, shown.width, `image page ${position}`);
    const own = imageResponses.find(({ url }) => url.includes(`page=1-N-${position}`) &&
                                                 !url.includes('shrink'));
    assert.equal(own?.type, expected[position], `image page ${position}`);
    await screenshot(page, `heif-image-page-${position}`);
  }
});
