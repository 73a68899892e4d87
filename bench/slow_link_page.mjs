// The first thumbnail page in Chromium over a slow link: a loopback proxy between browser and
// server delays each direction by 50 ms (a 100 ms round trip), holds each new connection one
// round trip before it is made (as a TCP handshake costs), and carries at most 50 Mbit/s each
// way, shared by all connections. Measured, in the same run, on the same gallery and the same
// bytes: Lumenvale over HTTPS (HTTP/2 once the server offers it, else HTTP/1.1 over TLS),
// Lumenvale over plain HTTP, and nginx over HTTPS with HTTP/2, serving the bytes it got from
// Lumenvale (a reverse proxy with a warmed cache, same certificate). Each time is the median of
// 3 fresh browser contexts (empty cache) from navigation to the load event, with every
// thumbnail made beforehand. Target: Lumenvale HTTPS <= 1.1 x nginx.
import { execFileSync, spawn } from 'node:child_process';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { createConnection, createServer } from 'node:net';
import { join } from 'node:path';

import { launchBrowser, startServer } from '../tests/e2e/harness.mjs';

const count = 100;
const oneWayMs = 50;
const bitsPerSecond = 50e6;
const page = 'view?page=T-1-N-0';

// One direction of the link: chunks leave in order, one after another at the link's rate,
// and arrive oneWayMs after they left. They are delivered from one queue by one timer, never
// by a timer each: Node measures a timer from the start of the event-loop turn, so when the
// proxy is slow to read (a busy machine) a small chunk read late in a turn would come due
// before a large one read earlier, and the bytes of a connection would arrive out of order.
class Direction {
  constructor() {
    this.freeAt = 0;
    this.queue = [];
  }
  carry(chunk, deliver) {
    const leaves = Math.max(performance.now(), this.freeAt);
    this.freeAt = leaves + (chunk.length * 8 * 1000) / bitsPerSecond;
    this.queue.push({ due: this.freeAt + oneWayMs, chunk, deliver });
    if (this.queue.length === 1) this.arm();
  }
  arm() {
    setTimeout(() => this.drain(), Math.max(0, this.queue[0].due - performance.now()));
  }
  drain() {
    const now = performance.now();
    while (this.queue.length > 0 && this.queue[0].due <= now) {
      const { chunk, deliver } = this.queue.shift();
      deliver(chunk);
    }
    if (this.queue.length > 0) this.arm();
  }
}

// Resolves to { port, close() } of a proxy to 127.0.0.1:`target`.
function startLink(target) {
  const up = new Direction();
  const down = new Direction();
  const server = createServer((client) => {
    client.pause();
    const queued = [];
    let upstream = null;
    client.on('data', (chunk) => up.carry(chunk, (c) => (upstream ? upstream.write(c) : queued.push(c))));
    client.on('end', () => up.carry(Buffer.alloc(0), () => upstream?.end()));
    client.on('error', () => upstream?.destroy());
    // The connection is made one round trip after the browser asked for it.
    setTimeout(() => {
      upstream = createConnection({ host: '127.0.0.1', port: target }, () => {
        for (const c of queued.splice(0)) upstream.write(c);
        client.resume();
      });
      upstream.on('data', (chunk) => down.carry(chunk, (c) => client.write(c)));
      upstream.on('end', () => down.carry(Buffer.alloc(0), () => client.end()));
      upstream.on('error', () => client.destroy());
    }, 2 * oneWayMs);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () =>
    resolve({ port: server.address().port, close: () => server.close() })));
}

// Milliseconds from navigation to the load event in a fresh context, with the protocol the
// thumbnails came over.
async function loadOnce(browser, url) {
  const context = await browser.newContext({ ignoreHTTPSErrors: true });
  const tab = await context.newPage();
  await tab.goto(url, { waitUntil: 'load', timeout: 300000 });
  const result = await tab.evaluate(() => {
    const thumbnails = performance.getEntriesByType('resource')
      .filter((entry) => entry.name.includes('shrink=1'));
    return {
      ms: performance.getEntriesByType('navigation')[0].loadEventStart,
      loaded: [...document.images].filter((img) => img.naturalWidth > 0).length,
      protocol: thumbnails[0]?.nextHopProtocol ?? '?',
    };
  });
  await context.close();
  if (result.loaded !== count) throw new Error(`${result.loaded} of ${count} thumbnails at ${url}`);
  return result;
}

async function measure(browser, scheme, port) {
  const link = await startLink(port);
  try {
    const url = `${scheme}://localhost:${link.port}/${page}`;
    const runs = [];
    for (let turn = 0; turn < 3; ++turn) runs.push(await loadOnce(browser, url));
    runs.sort((a, b) => a.ms - b.ms);
    return runs[1];
  } finally {
    link.close();
  }
}

// nginx over HTTPS with HTTP/2 in front of the plain server, keeping every answer it passes on.
function startNginx(work, upstreamPort, cert, key) {
  mkdirSync(join(work, 'nginx-cache'), { recursive: true });
  const user = execFileSync('id', ['-un']).toString().trim();
  const group = execFileSync('id', ['-gn']).toString().trim();
  const conf = `user ${user} ${group};
worker_processes 1;
pid ${work}/nginx.pid;
error_log ${work}/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path ${work}/body;
  proxy_temp_path ${work}/proxy;
  fastcgi_temp_path ${work}/fastcgi;
  uwsgi_temp_path ${work}/uwsgi;
  scgi_temp_path ${work}/scgi;
  proxy_cache_path ${work}/nginx-cache keys_zone=pages:10m;
  server {
    listen 127.0.0.1:0 ssl http2;
    ssl_certificate ${cert};
    ssl_certificate_key ${key};
    ssl_protocols TLSv1.2 TLSv1.3;
    location / {
      proxy_pass http://127.0.0.1:${upstreamPort};
      proxy_cache pages;
      proxy_cache_key $request_uri;
      proxy_cache_valid 200 1h;
      proxy_ignore_headers Cache-Control Expires Set-Cookie;
    }
  }
}
`;
  // A fixed port: nginx cannot say which port 0 gave it.
  const port = 18470;
  writeFileSync(join(work, 'nginx.conf'), conf.replace('127.0.0.1:0 ssl', `127.0.0.1:${port} ssl`));
  execFileSync('nginx', ['-c', join(work, 'nginx.conf'), '-p', work]);
  return port;
}

// nginx passes each of the page's 100 parallel HTTP/2 streams to the plain server on a new
// connection of its own, all from 127.0.0.1, so more than the server's connections per address
// are refused and nginx answers those 502, which it does not keep. Loading the page again
// fetches only what is missing, until nginx holds every answer.
async function warmNginx(browser, url, work) {
  for (let pass = 1; ; ++pass) {
    try {
      await loadOnce(browser, url);
      return;
    } catch (error) {
      if (pass === 5) throw error;
      const log = readFileSync(join(work, 'nginx-error.log'), 'utf8').trim().split('\n');
      console.log(`  nginx warm-up pass ${pass}: ${error.message}; nginx logged ${log.length}` +
                  ` errors, e.g. ${log.at(-1).replace(/^.*\[error\] /, '').slice(0, 110)}`);
    }
  }
}

const gallery = (folder) => execFileSync(process.env.MAKE_GALLERY ?? 'build/bin/make_gallery',
  [folder, String(count), '1600', '1200']);
const plain = await startServer(count, '', gallery);
const tls = await startServer(count, '<HTTPS>1</HTTPS>\r\n', gallery);
const cert = join(tls.root, 'data', 'lumenvale', 'tls-cert.pem');
const key = join(tls.root, 'data', 'lumenvale', 'tls-key.pem');
const nginxPort = startNginx(plain.root, new URL(plain.url).port, cert, key);
const browser = await launchBrowser();
try {
  // Unthrottled first: every thumbnail is made, and nginx keeps the plain server's answers.
  await loadOnce(browser, `${plain.url}${page}`);
  await loadOnce(browser, `${tls.url}${page}`);
  await warmNginx(browser, `https://localhost:${nginxPort}/${page}`, plain.root);
  const lvTls = await measure(browser, 'https', new URL(tls.url).port);
  const lvPlain = await measure(browser, 'http', new URL(plain.url).port);
  const nginx = await measure(browser, 'https', nginxPort);
  const row = (name, r, note = '') =>
    console.log(`  ${name.padEnd(30)} ${r.ms.toFixed(0).padStart(6)} ms  (${r.protocol})${note}`);
  console.log(`first thumbnail page, ${count} thumbnails, through ${2 * oneWayMs} ms round trip,` +
              ` ${bitsPerSecond / 1e6} Mbit/s, one round trip per new connection; medians of 3`);
  row('lumenvale HTTPS:', lvTls, `  lumenvale/nginx ${(lvTls.ms / nginx.ms).toFixed(2)} (target <= 1.1)`);
  row('lumenvale plain HTTP:', lvPlain, `  lumenvale/nginx ${(lvPlain.ms / nginx.ms).toFixed(2)}`);
  row('nginx HTTPS:', nginx);
} finally {
  await browser.close();
  try {
    execFileSync('sh', ['-c', `kill $(cat ${plain.root}/nginx.pid)`]);
  } catch {}
  await plain.stop();
  await tls.stop();
}
