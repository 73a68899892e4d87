// Thumbnail page load in Chromium: a gallery of 100 photos of 4000x3000 (12 MP JPEGs of a
// few megabytes), a freshly started server, and the time from navigation to the load event
// of the first thumbnail page, which waits for all 100 thumbnails. Then the same page again:
// in a new browser context (server warm, browser cache empty: every thumbnail is reduced
// again, from the file cache), and in the same context as the first load (the browser
// revalidates each thumbnail, which the server answers 304 without reading the file).
import { execFileSync } from 'node:child_process';

import { launchBrowser, startServer } from '../tests/e2e/harness.mjs';

const count = 100;
const thumbnailBench = process.env.THUMBNAIL_BENCH ?? 'build/bin/thumbnail_bench';

// Milliseconds from navigation start to the load event, after checking that every
// thumbnail arrived as a picture 150 pixels wide.
async function loadTime(page, url) {
  await page.goto(url, { waitUntil: 'load', timeout: 300000 });
  const { loaded, ms } = await page.evaluate(() => ({
    loaded: [...document.images].filter((img) => img.naturalWidth === 150).length,
    ms: performance.getEntriesByType('navigation')[0].loadEventStart,
  }));
  if (loaded !== count) throw new Error(`${loaded} of ${count} thumbnails loaded`);
  return ms;
}

const server = await startServer(count, '', (folder) =>
  execFileSync(thumbnailBench, ['generate', folder, String(count)]));
const browser = await launchBrowser();
try {
  const url = `${server.url}view?page=T-1-N-0`;
  const first = await browser.newContext();
  const cold = await loadTime(await first.newPage(), url);
  const fresh = await browser.newContext();
  const warm = await loadTime(await fresh.newPage(), url);
  const again = await loadTime(await first.newPage(), url);
  console.log(`page load: ${count} thumbnails of 4000x3000 JPEGs, navigation to load event`);
  console.log(`  cold server:                          ${cold.toFixed(0).padStart(7)} ms`);
  console.log(`  second load, new browser context:     ${warm.toFixed(0).padStart(7)} ms`);
  console.log(`  second load, same context (304s):     ${again.toFixed(0).padStart(7)} ms`);
} finally {
  await browser.close();
  await server.stop();
}
