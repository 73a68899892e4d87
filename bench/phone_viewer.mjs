// The gallery on a phone: Chromium as a 390 x 844 touch screen at device scale 3, its network
// throttled through DevTools to 30 Mbit/s with 20 ms of latency, as the phone's link.
//   first picture: a fresh browser context opens the image page of a 12-megapixel photo (4000
//     x 3000, a few megabytes); the time from navigation to the picture's load and the bytes
//     fetched until then (page, scripts, pictures), and those fetched until the page has
//     settled (its neighbours' pictures too). The screen rendition is made on demand, at
//     the first request. Target <= 1.5 s and <= 2 MB. Median of 3, each at another photo.
//   swipe: once the page has settled (its neighbours fetched), a swipe to the next picture;
//     the time from the swipe to the next picture's load. Target <= 0.5 s. Median of 3.
//   thumbnail page weight: the first thumbnail page of 40 pictures of 800 x 600, a quarter
//     each JPEG, PNG, BMP and WebP, against the same pictures all as JPEG (bytes of the page
//     and its thumbnails, unthrottled). Target <= 1.3 x.
// With ANCHOR_BINARY (the server as it was, for example main's build) the same is measured on
// it in the same run, beside the figures of this build.
import { execFileSync } from 'node:child_process';

import { launchBrowser, startServer, swipe } from '../tests/e2e/harness.mjs';

const thumbnailBench = process.env.THUMBNAIL_BENCH ?? 'build/bin/thumbnail_bench';
const phonePictures = process.env.PHONE_PICTURES ?? 'build/bin/phone_pictures';
const built = process.env.LUMENVALE_BINARY ?? 'build/bin/lumenvale';
const anchor = process.env.ANCHOR_BINARY;
const kPhotos = 12;
const kPhone = { viewport: { width: 390, height: 844 }, deviceScaleFactor: 3, isMobile: true,
                 hasTouch: true };
const kLink = { offline: false, latency: 20, downloadThroughput: 30e6 / 8,
                uploadThroughput: 30e6 / 8 };

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];

async function throttledPage(context) {
  const page = await context.newPage();
  page.setDefaultTimeout(120000);
  const cdp = await context.newCDPSession(page);
  await cdp.send('Network.enable');
  await cdp.send('Network.emulateNetworkConditions', kLink);
  return page;
}

// Waits for the image page's picture; returns when it arrived (ms after navigation start, and
// as wall time) and the bytes fetched by then.
async function pictureLoaded(page) {
  await page.waitForFunction(() => {
    const img = document.getElementById('main');
    return img && img.complete && img.naturalWidth > 0;
  }, null, { polling: 10 });
  return page.evaluate(() => {
    const img = document.getElementById('main');
    const resources = performance.getEntriesByType('resource');
    const own = resources.find((e) => e.name === img.currentSrc);
    const end = own.responseEnd;
    const navigation = performance.getEntriesByType('navigation')[0];
    const bytes = navigation.transferSize + resources
      .filter((e) => e.responseEnd <= end)
      .reduce((sum, e) => sum + e.transferSize, 0);
    return { ms: end, at: performance.timeOrigin + end, bytes, src: img.currentSrc };
  });
}

async function viewer(browser, program) {
  const server = await startServer(kPhotos, '', (folder) =>
    execFileSync(thumbnailBench, ['generate', folder, String(kPhotos)]), program);
  const firsts = [];
  const swipes = [];
  try {
    for (const position of [2, 5, 8]) {
      const context = await browser.newContext(kPhone);
      const page = await throttledPage(context);
      await page.goto(`${server.url}individual?page=1-N-${position}`);
      const first = await pictureLoaded(page);
      await page.waitForLoadState('networkidle');
      first.settled = await page.evaluate(() =>
        performance.getEntriesByType('navigation')[0].transferSize +
        performance.getEntriesByType('resource').reduce((sum, e) => sum + e.transferSize, 0));
      firsts.push(first);
      const start = Date.now();
      await swipe(page, 300, 420, -200, 0);
      await page.waitForURL(`${server.url}individual?page=1-N-${position + 1}`);
      swipes.push((await pictureLoaded(page)).at - start);
      await context.close();
    }
  } finally {
    await server.stop();
  }
  return { first: median(firsts.map((f) => f.ms)), bytes: median(firsts.map((f) => f.bytes)),
           settled: median(firsts.map((f) => f.settled)),
           src: firsts[0].src.replace(/^.*\/image/, '/image'), swipe: median(swipes) };
}

async function pageWeight(browser, program, kind) {
  const server = await startServer(40, '', (folder) =>
    execFileSync(phonePictures, [kind, folder, '40']), program);
  try {
    const context = await browser.newContext(kPhone);
    const page = await context.newPage();
    await page.goto(`${server.url}view?page=T-1-N-0`, { waitUntil: 'load', timeout: 120000 });
    const bytes = await page.evaluate(() =>
      performance.getEntriesByType('navigation')[0].transferSize +
      performance.getEntriesByType('resource').filter((e) => e.name.includes('shrink=1'))
        .reduce((sum, e) => sum + e.transferSize, 0));
    await context.close();
    return bytes;
  } finally {
    await server.stop();
  }
}

async function measure(browser, program) {
  const view = await viewer(browser, program);
  const mixed = await pageWeight(browser, program, 'mixed');
  const jpegs = await pageWeight(browser, program, 'jpegs');
  return { ...view, mixed, jpegs };
}

const MB = (bytes) => (bytes / 1e6).toFixed(2) + ' MB';
function report(label, m) {
  console.log(`${label}:`);
  console.log(`  first picture   ${(m.first / 1000).toFixed(2)} s, ${MB(m.bytes)} fetched (${m.src}); ` +
              `${MB(m.settled)} once settled`);
  console.log(`  swipe to next   ${(m.swipe / 1000).toFixed(2)} s`);
  console.log(`  thumbnail page  mixed ${MB(m.mixed)}, JPEGs ${MB(m.jpegs)}: ` +
              `${(m.mixed / m.jpegs).toFixed(2)} x`);
}

const browser = await launchBrowser();
try {
  console.log('phone 390 x 844 at scale 3, 30 Mbit/s and 20 ms; medians of 3');
  console.log('targets: first picture <= 1.5 s and <= 2 MB, swipe <= 0.5 s, page weight <= 1.3 x');
  report('this build', await measure(browser, built));
  if (anchor) report(`anchor ${anchor}`, await measure(browser, anchor));
} finally {
  await browser.close();
}
