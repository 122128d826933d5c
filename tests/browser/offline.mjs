// Does a saved copy read offline? The fixture site of pages whose pictures,
// sheets, fonts and media hide in every corner of HTML and CSS; a save with
// the program; and the check that opens the copy from file:// in Chromium
// with the network cut off and counts what loaded, what broke and what still
// tried to reach the network.
import { spawn } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

import { fixtures, leafstash } from './support.mjs';

export const siteRoot = path.join(fixtures, 'offline');

// The fixture pages, each aimed at one way a page refers to what it needs.
export const pages = [
  'srcset.html', 'media.html', 'css.html', 'base.html', 'deep/base-root.html', 'deep/base-abs.html',
  'names.html', 'failed.html', 'integrity.html',
];

const types = {
  html: 'text/html; charset=utf-8', css: 'text/css', js: 'text/javascript', mjs: 'text/javascript',
  png: 'image/png', gif: 'image/gif', webp: 'image/webp', avif: 'image/avif', svg: 'image/svg+xml',
  ico: 'image/x-icon', woff2: 'font/woff2', eot: 'application/vnd.ms-fontobject', vtt: 'text/vtt',
  webm: 'video/webm', mp4: 'video/mp4', ogg: 'audio/ogg', mp3: 'audio/mpeg', ttf: 'font/ttf',
};

const typeOf = (name) => types[path.extname(name).slice(1).toLowerCase()] ?? 'application/octet-stream';

// The integrity value of a fixture file as the server sends it.
const integrityOf = (root, file) =>
  'sha384-' + crypto.createHash('sha384').update(fs.readFileSync(path.join(root, file))).digest('base64');

// Serves the fixture folder Root (the offline pages unless told) on
// 127.0.0.1: files by their decoded path (so a raw UTF-8 name in a page
// arrives percent-encoded and still matches), the query ignored; pages get
// the origin and the integrity values of their files filled in. A few
// addresses answer from code: a picture without an extension, a
// redirection, a server error; and whatever Answer({ pathname, request,
// send }) answers before the files are looked at (it returns true then).
// Every request's path and query is listed in `requests`.
export async function startOfflineSite({ root = siteRoot, answer } = {}) {
  const requests = [];
  let origin;
  const server = http.createServer((request, response) => {
    const { pathname, search } = new URL(request.url, 'http://x');
    requests.push(pathname + search);
    const send = (status, body, type = 'text/plain', more = {}) => {
      response.writeHead(status, { 'Content-Type': type, 'Cache-Control': 'no-store', ...more });
      response.end(body);
    };
    if (answer?.({ pathname, request, send })) return;
    if (pathname === '/pic') return send(200, fs.readFileSync(path.join(siteRoot, 'img/extless.png')), 'image/png');
    if (pathname === '/go/logo') return send(302, 'moved', 'text/plain', { Location: '/img/logo.png' });
    if (pathname === '/error.css') return send(500, 'server error');
    let name;
    try {
      name = decodeURIComponent(pathname);
    } catch {
      return send(400, 'bad address');
    }
    const file = path.join(root, name);
    if (!file.startsWith(root + path.sep) || !fs.statSync(file, { throwIfNoEntry: false })?.isFile()) {
      return send(404, 'not here');
    }
    let body = fs.readFileSync(file);
    if (file.endsWith('.html')) {
      body = body.toString('utf8').replaceAll('{{ORIGIN}}', origin)
        .replace(/\{\{SRI:([^}]+)\}\}/g, (_, f) => integrityOf(root, f));
    }
    send(200, body, typeOf(file));
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  origin = `http://127.0.0.1:${server.address().port}`;
  return {
    origin,
    requests,
    url: (p) => `${origin}/${p}`,
    // What failed.html asks for that nobody can deliver.
    unreachable: [`${origin}/img/missing.png`, `${origin}/error.css`, 'http://127.0.0.1:1/x.js'],
    close: () => new Promise((done) => {
      server.closeAllConnections();
      server.close(done);
    }),
  };
}

// Runs a program without blocking this process, whose server it is fetching
// from; resolves with its exit status and output.
export function run(program, args, options = {}) {
  return new Promise((done, fail) => {
    const child = spawn(program, args, { ...options, stdio: ['ignore', 'pipe', 'pipe'] });
    let output = '';
    child.stdout.on('data', (d) => { output += d; });
    child.stderr.on('data', (d) => { output += d; });
    child.on('error', fail);
    child.on('close', (status, signal) => done({ status: status ?? signal, output }));
  });
}

// `leafstash save --quiet Url Folder` with Env (a home of its own).
export const saveWithLeafstash = (url, folder, env) =>
  run(leafstash, ['save', '--quiet', url, folder], { env });

// The pictures of one frame (img, input type=image, SVG image), each
// decoded or not. Pictures that are not img elements are probed with an
// Image of the same address; one that never settles counts as broken.
async function picturesInFrame() {
  const images = { ok: 0, broken: [] };
  const decoded = (img) => Promise.race([
    new Promise((done) => {
      if (img.complete) return done();
      img.addEventListener('load', done);
      img.addEventListener('error', done);
    }).then(() => img.naturalWidth > 0),
    new Promise((done) => setTimeout(done, 3000, false)),
  ]);
  const probe = (src) => Object.assign(new Image(), { src });
  const pictures = [...document.images].map((img) => [img, img.currentSrc || img.src]);
  for (const element of document.querySelectorAll('input[type=image], svg image')) {
    const src = element.src ?? new URL(element.href.baseVal, document.baseURI).href;
    pictures.push([probe(src), src]);
  }
  for (const [img, src] of pictures) (await decoded(img)) ? images.ok++ : images.broken.push(src);
  return images;
}

// Chromium as the offline check opens copies in.
export const launchChromium = () => chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  // Any file of the copy may read any other: module scripts, fonts, tracks
  // and external SVG sprites otherwise fail from file:// by origin rules
  // whoever saved the page, and only what the copy lacks should count.
  args: ['--allow-file-access-from-files'],
});

// Opens Folder/File from file:// with the network cut off and
// reports: how many distinct files loaded (the page aside), the file://
// requests that failed (references to files that are not there), the
// requests that tried to leave the folder, the pictures that decoded and
// those that did not (with their addresses), and the messages of sheets and
// scripts the browser loaded but refused to use (a wrong integrity value, a
// cross-origin check). In Browser when given (else a Chromium of its own),
// at Viewport; with `screenshot`, a picture of the whole page as `shot`;
// with Look, what it returns in each frame as `looked`.
export async function checkOffline(folder, file, { settleMs = 300, browser: shared, viewport, screenshot, look } = {}) {
  const browser = shared ?? await launchChromium();
  let context;
  try {
    // The network is cut off by emulation rather than by routing requests
    // to abort: intercepted file:// responses lose what Chromium needs to
    // decode some pictures (icons), which would count against the copy.
    context = await browser.newContext({ offline: true, ...(viewport ? { viewport } : {}) });
    const network = new Set();
    const failed = new Set();
    const loaded = new Set();
    const blocked = [];
    const fromFile = (r) => r.url().startsWith('file:');
    context.on('request', (r) => { if (!fromFile(r) && !r.url().startsWith('data:')) network.add(r.url()); });
    context.on('requestfailed', (r) => { if (fromFile(r)) failed.add(r.url()); });
    context.on('requestfinished', (r) => { if (fromFile(r)) loaded.add(r.url()); });
    const page = await context.newPage();
    page.on('console', (m) => {
      if (m.type() === 'error' && /has been blocked|^Refused to/.test(m.text())) blocked.push(m.text());
    });
    const address = pathToFileURL(path.join(folder, file)).href;
    await page.goto(address, { waitUntil: 'load', timeout: 30000 });
    // Pictures held back until scrolled to are wanted now.
    await Promise.all(page.frames().map((f) => f.evaluate(() => {
      for (const img of document.querySelectorAll('img[loading=lazy]')) img.loading = 'eager';
    }).catch(() => {})));
    await page.waitForLoadState('networkidle', { timeout: 5000 }).catch(() => {});
    await page.waitForTimeout(settleMs);
    const images = { ok: 0, broken: [] };
    for (const frame of page.frames()) {
      const seen = await frame.evaluate(picturesInFrame).catch(() => null);
      images.ok += seen?.ok ?? 0;
      images.broken.push(...seen?.broken ?? []);
    }
    loaded.delete(address);
    const looked = look ? await Promise.all(page.frames().map((f) => f.evaluate(look))) : undefined;
    const shot = screenshot ? await page.screenshot({ fullPage: true }) : undefined;
    return { loaded: loaded.size, failed: [...failed], network: [...network], images, blocked, looked, shot };
  } finally {
    await context?.close();
    if (!shared) await browser.close();
  }
}
