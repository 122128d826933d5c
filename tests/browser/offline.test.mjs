// Each fixture page saved with `leafstash save`, then read from the folder
// in Chromium with the network cut off: every file it needs is there, every
// picture shows, nothing reaches for the network but what the site itself
// could not deliver, and every address in the copy leads somewhere.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { checkOffline, saveWithLeafstash, siteRoot, startOfflineSite } from './offline.mjs';
import { makeHome } from './support.mjs';

let site;
let home;
before(async () => {
  site = await startOfflineSite();
  home = makeHome();
});
after(async () => {
  home.remove();
  await site.close();
});

const sha1 = (bytes) => crypto.createHash('sha1').update(bytes).digest('hex');
// A sheet with the addresses in it blanked, as saving may rewrite them.
const blankAddresses = (bytes) => sha1(bytes.toString('utf8').replace(/url\([^)]*\)/gi, 'url()')
  .replace(/@import\s+(["'])[^"']*\1/gi, '@import ""'));

function filesUnder(folder) {
  return fs.readdirSync(folder, { recursive: true }).map((f) => path.join(folder, f))
    .filter((f) => fs.statSync(f).isFile());
}

// Saves Page into a folder of its own and reads the copy offline; what the
// check saw is printed for the record.
async function saveAndRead(page) {
  const folder = path.join(home.root, 'saved', page.replaceAll('/', '-'));
  const run = await saveWithLeafstash(site.url(page), folder, home.env);
  const index = path.join(folder, 'INDEX.HTML');
  assert.ok(fs.existsSync(index), `no INDEX.HTML (exit ${run.status}): ${run.output}`);
  const seen = await checkOffline(folder, 'INDEX.HTML');
  console.log(`${page}: exit ${run.status}; offline: ${JSON.stringify(seen, null, 1)}`);
  const files = filesUnder(folder);
  const contents = files.map((f) => fs.readFileSync(f));
  const hashes = new Set([...contents.map(sha1), ...contents.map(blankAddresses)]);
  return { folder, run, seen, files, html: fs.readFileSync(index, 'utf8'), hashes };
}

// Nothing missing, no picture broken, no request out but to Allowed.
function assertReadsOffline({ seen }, allowed = []) {
  assert.deepEqual(seen.failed, [], 'references to files that are not in the copy');
  assert.deepEqual(seen.images.broken.filter((u) => !allowed.includes(u)), [], 'broken pictures');
  assert.deepEqual(seen.network.filter((u) => !allowed.includes(u)), [], 'requests to the network');
  assert.deepEqual(seen.blocked, [], 'files loaded but refused');
}

// Each fixture file is in the copy under whatever name: its bytes are there
// (a sheet's but for its addresses).
function assertSaved(copy, names) {
  const fingerprint = (n) => (n.endsWith('.css') ? blankAddresses : sha1)(fs.readFileSync(path.join(siteRoot, n)));
  const missing = names.filter((n) => !copy.hashes.has(fingerprint(n)));
  assert.deepEqual(missing, [], 'fixture files not in the copy');
}

// The addresses of a srcset value: each runs to white space, trailing
// commas end a candidate, descriptors run to the next comma.
function srcsetUrls(value) {
  const urls = [];
  for (let rest = value; (rest = rest.replace(/^[\s,]+/, '')); ) {
    const url = /^\S+/.exec(rest)[0];
    rest = rest.slice(url.length);
    urls.push(url.replace(/,+$/, ''));
    if (!url.endsWith(',')) rest = rest.replace(/^[^,]*/, '');
  }
  return urls;
}

// Addresses in the copy's page and sheets that lead to no file: relative
// ones (resolved against the page's base or the sheet) must name a file of
// the copy; absolute http ones are left to the offline check.
function danglingReferences(copy) {
  const page = pathToFileURL(path.join(copy.folder, 'INDEX.HTML'));
  const base = new URL(/<base\s[^>]*href=["']?([^"'\s>]+)/i.exec(copy.html)?.[1] ?? '', page);
  const refs = [];
  const names = 'src|href|xlink:href|poster|data|background|data-src|srcset|data-srcset';
  const attribute = new RegExp(`\\s(${names})\\s*=\\s*(?:"([^"]*)"|'([^']*)')`, 'gi');
  for (const [, name, double, single] of copy.html.matchAll(attribute)) {
    const value = (double ?? single).replaceAll('&amp;', '&');
    for (const url of /srcset/i.test(name) ? srcsetUrls(value) : [value]) refs.push([url, base]);
  }
  const cssUrl = /url\(\s*(?:"([^"]*)"|'([^']*)'|([^)\s]*))\s*\)|@import\s+["']([^"']+)["']/gi;
  const sheets = [[copy.html, base], ...copy.files.filter((f) => /\.css$/i.test(f))
    .map((f) => [fs.readFileSync(f, 'utf8'), pathToFileURL(f)])];
  for (const [text, from] of sheets) {
    for (const m of text.matchAll(cssUrl)) refs.push([m.slice(1).find((v) => v !== undefined), from]);
  }
  return refs.filter(([url, from]) => {
    if (url === '' || /^(#|data:|mailto:|javascript:)/i.test(url)) return false;
    const target = new URL(url, from);
    return target.protocol === 'file:' && (target.host !== '' || !fs.existsSync(fileURLToPath(target)));
  }).map(([url]) => url);
}

test('srcset: every candidate of img, picture and lazy attributes saved, the chosen ones shown', async () => {
  const copy = await saveAndRead('srcset.html');
  assertSaved(copy, ['w-small', 'w-100', 'w-200', 'pic,1', 'x-1', 'x-2', 'x-3', 'p', 'real', 'a', 'b']
    .map((n) => `img/${n}.png`).concat('img/p.webp', 'img/p-2.webp', 'img/placeholder.gif'));
  assert.deepEqual(danglingReferences(copy), []);
  assertReadsOffline(copy);
});

test('media: posters, sources, tracks, embeds, icons, preloads, SVG, srcdoc and style urls saved; hints not', async () => {
  const copy = await saveAndRead('media.html');
  assertSaved(copy, [
    'img/poster.png', 'media/clip.webm', 'media/clip.mp4', 'media/sound.ogg', 'media/sound.mp3', 'media/subs.vtt',
    'media/embed.svg', 'media/object.svg', 'img/button.png', 'img/table.gif', 'img/cell.gif', 'img/favicon.ico',
    'img/shortcut.png', 'img/touch.png', 'img/preload.png', 'fonts/pre.woff2', 'css/preload.css', 'js/preload.js',
    'js/module.mjs', 'img/svgimage.png', 'img/icons.svg', 'img/srcdoc.png', 'img/stylebg.png', 'css/media.css',
    'img/mediacss.png', ...[1, 2, 3].flatMap((n) => [`css/imp${n}.css`, `img/imp${n}.png`]),
    ...[1, 2, 3, 4, 5].map((n) => `img/s${n}.png`),
  ]);
  for (const hint of ['/canonical.html', '/alternate.xml', '/next.html', '/prev.html', '/opensearch.xml']) {
    assert.ok(!site.requests.includes(hint), `${hint} was fetched`);
  }
  assert.doesNotMatch(copy.run.output, /\.invalid/, 'dns-prefetch and preconnect hosts were fetched');
  assert.deepEqual(danglingReferences(copy), []);
  assertReadsOffline(copy);
});

test('css: a sheet in a folder, its imports, fonts and pictures; fragments, data and local fonts left alone', async () => {
  const copy = await saveAndRead('css.html');
  assertSaved(copy, ['css/more.css', 'css/print.css', 'img/bg.png', 'img/more.png', 'img/print.png',
                     'fonts/f.eot', 'fonts/f.woff2']);
  const sheet = copy.files.map((f) => fs.readFileSync(f, 'utf8')).find((t) => t.includes('@font-face'));
  assert.ok(sheet, 'site.css saved');
  for (const kept of ['url(#frag)', 'url(data:image/png;base64,iVBOR', 'local(Arial)']) {
    assert.ok(sheet.includes(kept), kept);
  }
  assert.deepEqual(danglingReferences(copy), []);
  assertReadsOffline(copy);
});

test('base: relative, root-relative and absolute base addresses', async (t) => {
  for (const page of ['base.html', 'deep/base-root.html', 'deep/base-abs.html']) {
    await t.test(page, async () => {
      const copy = await saveAndRead(page);
      assertSaved(copy, ['sub/pic.png', 'sub/bg.png', 'sub/base.css', 'sub/base.js']);
      assert.deepEqual(danglingReferences(copy), []);
      assertReadsOffline(copy);
    });
  }
});

test('names: queries, no extension, spaces, percent signs, UTF-8, a redirection', async () => {
  const copy = await saveAndRead('names.html');
  assertSaved(copy, ['names/style.css', 'img/extless.png', 'img/pic.svg', 'img/pic.webp', 'img/pic.avif',
                     'img/favicon.ico', 'img/my pic.png', 'img/100%.png', 'bilder/grün.png', 'img/logo.png']);
  // From file:// the extension is all a browser has to tell a sheet by.
  assert.match(/<link[^>]*href="([^"]*)"/.exec(copy.html)[1], /\.css$/);
  assert.deepEqual(danglingReferences(copy), []);
  assertReadsOffline(copy);
  assert.equal(copy.seen.images.ok, 9);
});

test('failed: what the site could not deliver keeps its address; pages not taken along stay online', async () => {
  const copy = await saveAndRead('failed.html');
  assert.equal(copy.run.status, 1, copy.run.output);
  assertSaved(copy, ['img/ok.png']);
  for (const address of site.unreachable) assert.ok(copy.html.includes(`"${address}"`), address);
  assert.ok(copy.html.includes(`href="${site.url('other.html')}"`), 'the link to the other page is absolute');
  assert.ok(!site.requests.includes('/other.html'));
  assert.deepEqual(danglingReferences(copy), []);
  assertReadsOffline(copy, site.unreachable);
});

test('integrity: sheets and scripts with integrity values still load from the copy', async () => {
  const copy = await saveAndRead('integrity.html');
  assertSaved(copy, ['img/sri.png']);
  // A file rewritten for the copy needs its integrity value dropped or renewed.
  const integrity = /<(?:link|script)[^>]*(?:href|src)="([^"]*)"[^>]*integrity="([^"]*)"/g;
  for (const [tag, name, value] of copy.html.matchAll(integrity)) {
    const file = fileURLToPath(new URL(name, pathToFileURL(path.join(copy.folder, 'INDEX.HTML'))));
    assert.equal(value, `sha384-${crypto.createHash('sha384').update(fs.readFileSync(file)).digest('base64')}`, tag);
  }
  assert.deepEqual(danglingReferences(copy), []);
  assertReadsOffline(copy);
});
