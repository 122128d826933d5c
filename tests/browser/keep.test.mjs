// The page kept two more ways beside its folder copy: as one HTML file
// that holds everything it shows (--single-file), and as a WACZ web archive
// of every HTTP exchange of the job (--warc). The single file, alone in a
// folder with the network cut, must look like the folder copy in Chromium
// and in Firefox and reach for no file and no server; the archive, of a
// save from the command line and of a page Chromium handed over, must read
// record by record with warcio, say truly what it holds, leave the user's
// cookies out unless told to keep them, and replay in ReplayWeb.page once
// the site is gone.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { chromium, firefox } from 'playwright-core';
import { getSurt } from 'warcio';

import { action, launch } from './chromium.mjs';
import { checkOffline, launchChromium, run, startOfflineSite } from './offline.mjs';
import { pixelDifference } from './png.mjs';
import { fixtures, leafstash, makeHome, savedFolder, waitFor, listenOnLoopback } from './support.mjs';
import { readCdxj, readWarc, readZip, sha1Base32, sha256 } from './wacz.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.join(fixtures, 'keep');
// The site's web font: a Debian font as the package has it (scripts/install-deps
// installs fonts-liberation).
const fontFile = '/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf';
const firefoxExe = process.env.FIREFOX ?? '/usr/bin/firefox-esr';
const viewport = { width: 1000, height: 700 };
const title = 'Garden journal';
// A cookie of the user's for the site; its value is never printed.
const cookie = `visitor=v${crypto.randomBytes(12).toString('hex')}`;

let site;
let home;
let garden;
let untitled;
let shown;
// The requests to the site, each with whether the cookie came along and
// whether a browser made it (browsers send Sec-Fetch-Mode, the program not).
const heard = [];

// The site's answers that are not plain files: a picture behind a 301 and
// a 302, and the font with a length (the files go chunked).
function answer({ pathname, request, send }) {
  heard.push({ path: pathname, cookie: (request.headers.cookie ?? '').split(/;\s*/).includes(cookie),
    browser: 'sec-fetch-mode' in request.headers });
  if (pathname === '/go/one') send(301, 'moved', 'text/plain', { Location: '/go/two' });
  else if (pathname === '/go/two') send(302, 'moved', 'text/plain', { Location: '/img/moved.png' });
  else if (pathname === '/fonts/garden.ttf') {
    const font = fs.readFileSync(fontFile);
    send(200, font, 'font/ttf', { 'Content-Length': font.length });
  } else return false;
  return true;
}

// The bytes the site served for Path (a fixture file or the font).
const served = (p) => fs.readFileSync(p === '/fonts/garden.ttf' ? fontFile : path.join(root, p));

// `leafstash save` of Page into a folder of the home, with the cookies file
// and Options; the job's requests are those heard meanwhile.
async function save(page, options) {
  const folder = path.join(home.root, path.basename(page, '.html'));
  const from = heard.length;
  const result = await run(leafstash, ['save', '--quiet', '--cookies', path.join(home.root, 'cookies.txt'),
    ...options, site.url(page), folder], { env: home.env });
  assert.ok(fs.existsSync(path.join(folder, 'INDEX.HTML')), `no INDEX.HTML (exit ${result.status}): ${result.output}`);
  return { folder, ...result, heard: heard.slice(from) };
}

// The page saved from Chromium through the extension, with the archive on
// in the settings and pictures taken: what the job keeps of a page the
// browser handed over.
async function saveAsShown() {
  const own = makeHome({ pictures: true });
  fs.writeFileSync(path.join(own.root, 'lfsta.ini'), 'WebArchive=1\n');
  own.saveInto();
  const from = heard.length;
  const { context, worker } = await launch(own);
  try {
    const page = context.pages()[0] ?? await context.newPage();
    await page.goto(site.url('garden.html'));
    const outcome = await action(worker, 'savePage', site.url('garden.html'));
    await waitFor(() => own.programs().length === 0, 30000, 'the job to end');
    return { home: own, folder: savedFolder(own.dest), outcome, heard: heard.slice(from) };
  } finally {
    await context.close().catch(() => {});
  }
}

before(async () => {
  site = await startOfflineSite({ root, answer });
  home = makeHome();
  fs.writeFileSync(path.join(home.root, 'cookies.txt'), '# Netscape HTTP Cookie File\n' +
    `127.0.0.1\tFALSE\t/\tFALSE\t0\t${cookie.replace('=', '\t')}\n`);
  garden = await save('garden.html', ['--single-file', '--warc']);
  untitled = await save('untitled.html', ['--single-file', '--warc', '--warc-keep-cookies']);
  // Told by its own test, so that the others still run.
  shown = await saveAsShown().catch((error) => ({ error }));
  // Everything after reads what was kept, with the site gone.
  await site.close();
});
after(async () => {
  // KEEP=1 leaves the saved folders for a look.
  if (process.env.KEEP) console.log(`kept ${home?.root} ${shown?.home?.root ?? ''}`);
  else for (const h of [home, shown?.home]) h?.remove();
  // Gone already unless a save failed.
  await site?.close();
});

// What one frame shows: its text, its fonts and whether each loaded, its
// links, and every address it draws something from (pictures, sheets and
// their imports, fonts and backgrounds, scripts, frames, icons).
async function look() {
  await document.fonts.ready;
  const addresses = [];
  const add = (what, url) => { if (url) addresses.push(`${what} ${url}`); };
  for (const img of document.images) add('img', img.getAttribute('src') === null ? '' : img.currentSrc || img.src);
  for (const el of document.querySelectorAll('script[src]')) add('script', el.src);
  for (const el of document.querySelectorAll('link[href]')) {
    if (/stylesheet|icon|preload/i.test(el.rel)) add(`link ${el.rel}`, el.href);
  }
  for (const el of document.querySelectorAll('iframe[src], frame[src]')) {
    if (!el.hasAttribute('srcdoc')) add(el.localName, el.src);
  }
  const urls = (text) => [...(text ?? '').matchAll(/url\(\s*["']?([^"')]+)/g)].map((m) => m[1]);
  const walk = (rules) => {
    for (const rule of rules) {
      if (rule.styleSheet) {
        add('@import', rule.href);
        try {
          walk(rule.styleSheet.cssRules);
        } catch {
          // a sheet the page may not read
        }
      } else if (rule.cssRules) {
        walk(rule.cssRules);
      } else if (rule.style) {
        for (const name of ['src', 'background-image', 'list-style-image', 'content', 'cursor']) {
          for (const url of urls(rule.style.getPropertyValue(name))) add(`css ${name}`, url);
        }
      }
    }
  };
  for (const sheet of document.styleSheets) {
    try {
      walk(sheet.cssRules);
    } catch {
      // a sheet the page may not read; its own address is listed above
    }
  }
  for (const el of document.querySelectorAll('[style]')) {
    for (const url of urls(el.getAttribute('style'))) add('style', url);
  }
  return {
    text: document.body?.innerText ?? '',
    fonts: [...document.fonts].map((f) => `${f.family.replaceAll('"', '')} ${f.status}`),
    links: [...document.links].map((a) => a.href),
    addresses,
  };
}

const launchFirefox = () => firefox.launch({
  channel: 'moz-firefox',
  executablePath: firefoxExe,
  // As Chromium's --allow-file-access-from-files: the folder copy's font
  // loads from its files.
  firefoxUserPrefs: { 'security.fileuri.strict_origin_policy': false },
});

const browsers = [
  ['Chromium', launchChromium, false],
  ['Firefox', launchFirefox, !fs.existsSync(firefoxExe) && 'firefox-esr is not installed'],
];

test('the single file, alone and offline, shows what the folder copy shows and reaches for nothing', async (t) => {
  const kept = fs.readdirSync(garden.folder);
  assert.ok(kept.includes(`${title}.html`), `no "${title}.html" beside INDEX.HTML: ${kept}`);
  const alone = fs.mkdtempSync(path.join(home.root, 'alone-'));
  fs.copyFileSync(path.join(garden.folder, `${title}.html`), path.join(alone, `${title}.html`));
  // The picture the site answered 404 for may keep its address, as in the
  // folder copy; it is the one thing either may ask for.
  const gone = site.url('img/gone.png');
  const fromData = (address) => /^\S+( \S+)? (data:|about:|blob:)/.test(address) || address.endsWith(` ${gone}`);

  for (const [name, launch, skip] of browsers) {
    await t.test(name, { skip }, async () => {
      const browser = await launch();
      try {
        const options = { browser, viewport, screenshot: true, look };
        const single = await checkOffline(alone, `${title}.html`, options);
        const copy = await checkOffline(garden.folder, 'INDEX.HTML', options);
        // SHOTS=folder keeps both screenshots there.
        if (process.env.SHOTS) {
          fs.writeFileSync(path.join(process.env.SHOTS, `keep-${name}-single.png`), single.shot);
          fs.writeFileSync(path.join(process.env.SHOTS, `keep-${name}-folder.png`), copy.shot);
        }

        // The folder copy is whole, so that looking like it means something.
        assert.deepEqual(copy.images.broken.filter((u) => u !== gone), [], 'broken pictures in the folder copy');
        assert.equal(copy.looked.length, 3, 'the folder copy: the page, its frame and the frame in that');

        assert.equal(single.loaded, 0, 'files the single file loaded');
        assert.deepEqual(single.failed, [], 'files the single file asked for');
        assert.deepEqual(single.network.filter((u) => u !== gone), [], 'requests to the network');
        assert.deepEqual(single.blocked, [], 'parts of the single file the browser refused');
        assert.deepEqual(single.images.broken.filter((u) => u !== gone), [], 'broken pictures');
        assert.equal(single.images.ok, copy.images.ok, 'pictures shown');
        assert.deepEqual(single.looked.flatMap((f) => f.addresses).filter((a) => !fromData(a)), [],
          'addresses of the single file that are not inline');

        // Frames within frames, the script's line, the web font, and the
        // link to the page not taken along, as the folder copy has them.
        assert.equal(single.looked.length, 3, 'the page, its frame and the frame in that');
        for (const text of ['Garden journal', 'Watered at dawn', 'In the shed', 'Seeds for next spring']) {
          assert.ok(single.looked.some((f) => f.text.includes(text)), `"${text}" shown`);
          assert.ok(copy.looked.some((f) => f.text.includes(text)), `"${text}" shown by the folder copy`);
        }
        for (const { looked: [top] } of [single, copy]) {
          assert.ok(top.fonts.includes('Garden loaded'), top.fonts.join());
        }
        assert.ok(single.looked[0].links.includes(site.url('other.html')), single.looked[0].links.join());

        const difference = pixelDifference(copy.shot, single.shot);
        const share = `${(difference.share * 100).toFixed(3)} %`;
        console.log(`${name}: the single file and the folder copy differ in ${share} of the pixels`);
        assert.ok(difference.share < 0.01, `${(difference.share * 100).toFixed(2)} % differ (${difference.sizes})`);
      } finally {
        await browser.close();
      }
    });
  }
});

// The WACZ beside the folder copy (named Stem.wacz, or the one there is),
// opened: its entries, records, index, pages and manifest.
async function openWacz(folder, stem) {
  const named = stem ? [`${stem}.wacz`] : fs.readdirSync(folder).filter((n) => n.endsWith('.wacz'));
  const file = path.join(folder, named[0] ?? '.wacz');
  assert.ok(named.length === 1 && fs.existsSync(file),
    `no "${stem ?? '*'}.wacz" beside INDEX.HTML: ${fs.readdirSync(folder)}`);
  const entries = readZip(fs.readFileSync(file));
  const text = (name) => entries.get(name)?.data.toString('utf8') ?? '';
  for (const name of ['archive/data.warc.gz', 'indexes/index.cdxj', 'pages/pages.jsonl', 'datapackage.json']) {
    assert.ok(entries.has(name), `${name} missing from ${[...entries.keys()]}`);
  }
  return {
    entries,
    records: await readWarc(entries.get('archive/data.warc.gz').data),
    index: readCdxj(text('indexes/index.cdxj')),
    pages: text('pages/pages.jsonl').split('\n').filter((l) => l.trim() !== '').map((l) => JSON.parse(l)),
    manifest: JSON.parse(text('datapackage.json')),
  };
}

const rfc3339 = /^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?(Z|[+-]\d\d:\d\d)$/;
const isExchange = (r) => r.type === 'response' || r.type === 'resource';

// Request and response records, each with the record it is paired with by
// WARC-Concurrent-To (either way), for the same address.
function pairs(records) {
  const byId = new Map(records.map((r) => [r.id, r]));
  const partner = (r) => {
    const named = (r.headers.get('warc-concurrent-to') ?? '').split(/[\s,]+/).map((id) => byId.get(id));
    const naming = records.filter((o) => (o.headers.get('warc-concurrent-to') ?? '').includes(r.id));
    return [...named, ...naming].find((o) => o && o.type !== r.type && o.uri === r.uri);
  };
  return records.filter((r) => r.type === 'request' || r.type === 'response').map((r) => [r, partner(r)]);
}

// What every archive of the job must hold, as subtests of T: a sound ZIP;
// records that parse, each in a gzip member of its own; true digests;
// requests paired with their responses, each request of the program's
// (Asked) answered; an index that finds every record; the page, with its
// title, in pages.jsonl; a manifest that lists every file truly.
async function archiveHolds(t, wacz, asked) {
  const { records } = wacz;
  await t.test('the ZIP: checksums hold, the gzipped WARC stored as it is', () => {
    for (const [name, entry] of wacz.entries) assert.ok(entry.crcHolds, `${name}: CRC-32 does not match`);
    assert.ok(wacz.entries.get('archive/data.warc.gz').stored, 'archive/data.warc.gz compressed again');
  });

  await t.test('records: WARC/1.1, each in a gzip member of its own, ids, dates and types in order', () => {
    assert.equal(records[0]?.type, 'warcinfo', 'the first record');
    assert.equal(new Set(records.map((r) => r.id)).size, records.length, 'record ids are unique');
    for (const r of records) {
      const what = `${r.type} record ${r.id} (${r.uri ?? 'no target'})`;
      assert.equal(r.version, 'WARC/1.1', what);
      assert.match(r.id ?? '', /^<[a-z][a-z0-9+.-]*:[^\s<>]+>$/i, `${what}: WARC-Record-ID`);
      assert.match(r.headers.get('warc-date') ?? '', rfc3339, `${what}: WARC-Date`);
      assert.ok(r.member, `${what}: its gzip member does not inflate alone (${r.memberError})`);
      assert.ok(r.member.toString('latin1', 0, 10) === 'WARC/1.1\r\n', `${what}: its member starts elsewhere`);
      assert.ok(r.trailerHolds, `${what}: Content-Length and the record's end disagree`);
      if (r.type === 'request' || r.type === 'response') {
        assert.match(r.headers.get('content-type') ?? '', new RegExp(`^application/http;\\s*msgtype=${r.type}$`), what);
        assert.ok(r.http, `${what}: no HTTP message`);
      }
    }
    // Readers undo the transfer coding the headers name, so a body kept
    // decoded must not keep the header; and the site sent every body whole.
    assert.deepEqual([
      ...records.filter((r) => !r.entity).map((r) => `${r.uri}: Transfer-Encoding: chunked, the payload is not`),
      ...records.filter((r) => r.headers.has('warc-truncated'))
        .map((r) => `${r.uri}: WARC-Truncated: ${r.headers.get('warc-truncated')}`),
    ], [], 'HTTP messages not kept as they came');
  });

  await t.test('digests: payload and block digests are the SHA-1 of what the records hold', () => {
    for (const r of records) {
      const what = `${r.type} record for ${r.uri}`;
      if (isExchange(r)) {
        const digest = r.headers.get('warc-payload-digest') ?? '';
        assert.match(digest, /^sha1:[A-Z2-7]{32}$/, `${what}: WARC-Payload-Digest`);
        // A chunked payload may be digested as stored or as its entity.
        const as = [r.payload, r.entity].filter(Boolean).map((b) => `sha1:${sha1Base32(b)}`);
        assert.ok(as.includes(digest), `${what}: WARC-Payload-Digest ${digest}, the payload's is ${as.join(' or ')}`);
      }
      const block = r.headers.get('warc-block-digest');
      if (block?.startsWith('sha1:')) assert.equal(block, `sha1:${sha1Base32(r.block)}`, `${what}: WARC-Block-Digest`);
    }
  });

  await t.test('exchanges: each request paired with its response, every request of the job there', () => {
    const paired = pairs(records);
    assert.deepEqual(paired.filter(([, p]) => !p).map(([r]) => `${r.type} for ${r.uri}`), [],
      'records without their pair');
    for (const [r] of paired.filter(([q]) => q.type === 'request')) {
      assert.match(r.http.statusline, /^GET \S+ HTTP\/1\.[01]$/, r.uri);
    }
    const recorded = new Set(records.filter((r) => r.type === 'response').map((r) => r.uri));
    assert.deepEqual(asked.filter((u) => !recorded.has(u)), [], 'requests of the job with no response record');
  });

  await t.test('the index: sorted, and a line for every record that finds it', () => {
    const { index } = wacz;
    assert.deepEqual(index.filter((l) => l.bad).map((l) => l.line), [], 'lines that are not CDXJ');
    const lines = index.map((l) => l.line);
    assert.deepEqual(lines, [...lines].sort(), 'the index is not sorted');
    for (const r of records.filter(isExchange)) {
      // Numbers may be written as strings, the digest without its algorithm.
      const line = index.find((l) => l.fields.url === r.uri && Number(l.fields.offset) === r.offset);
      assert.ok(line, `no index line for ${r.uri} at offset ${r.offset}`);
      assert.equal(line.key, getSurt(r.uri), `${r.uri}: key`);
      assert.equal(Number(line.fields.length), r.length, `${r.uri}: length`);
      assert.equal(line.fields.filename, 'data.warc.gz', `${r.uri}: filename`);
      assert.equal(line.timestamp.slice(0, 14), r.headers.get('warc-date').replace(/\D/g, '').slice(0, 14),
        `${r.uri}: timestamp`);
      if (r.http) assert.equal(String(line.fields.status), String(r.http.status), `${r.uri}: status`);
      if (line.fields.digest) {
        const bare = (digest) => digest.replace(/^sha1:/, '');
        assert.equal(bare(line.fields.digest), bare(r.headers.get('warc-payload-digest')), `${r.uri}: digest`);
      }
    }
  });

  await t.test('pages and manifest: the page with its title; every file with its size and SHA-256', () => {
    const page = wacz.pages.find((p) => p.url === site.url('garden.html'));
    assert.ok(page, `the page is not in pages.jsonl: ${wacz.pages.map((p) => p.url)}`);
    assert.equal(page.title, title);
    assert.match(page.ts ?? '', rfc3339, 'the page\'s ts');
    assert.ok(records.some((r) => isExchange(r) && r.uri === page.url && (r.http?.status ?? 200) === 200),
      'no record of the page to replay');

    const { manifest } = wacz;
    assert.equal(manifest.profile, 'data-package');
    assert.equal(manifest.wacz_version, '1.1.1');
    const listed = new Map((manifest.resources ?? []).map((r) => [r.path, r]));
    const files = [...wacz.entries.keys()].filter((n) => n !== 'datapackage.json' && n !== 'datapackage-digest.json');
    assert.deepEqual([...listed.keys()].sort(), files.sort(), 'the files the manifest lists');
    for (const name of files) {
      const { data } = wacz.entries.get(name);
      assert.equal(listed.get(name).hash, `sha256:${sha256(data)}`, `${name}: hash`);
      assert.equal(listed.get(name).bytes, data.length, `${name}: bytes`);
    }
    const digest = wacz.entries.get('datapackage-digest.json');
    if (digest) {
      const { path: named, hash } = JSON.parse(digest.data.toString('utf8'));
      assert.equal(named, 'datapackage.json');
      assert.equal(hash, `sha256:${sha256(wacz.entries.get('datapackage.json').data)}`, 'datapackage-digest.json');
    }
  });
}

// The addresses the program asked the site for in Job.
const askedIn = (job) => [...new Set(job.heard.filter((h) => !h.browser).map((h) => site.url(h.path.slice(1))))];

test('the archive of a save: every record true, redirections and the 404 with their status and bodies', async (t) => {
  const wacz = await openWacz(garden.folder, title);
  await archiveHolds(t, wacz, askedIn(garden));
  await t.test('what the site sent, byte for byte, chunked or with a length', () => {
    const response = (p) => wacz.records.find((r) => r.type === 'response' && r.uri === site.url(p));
    assert.equal(response('go/one')?.http.status, 301);
    assert.match(response('go/one').http.headers.get('location') ?? '', /\/go\/two$/);
    assert.equal(response('go/two')?.http.status, 302);
    assert.match(response('go/two').http.headers.get('location') ?? '', /\/img\/moved\.png$/);
    assert.equal(response('img/gone.png')?.http.status, 404);
    const bodies = { 'go/one': 'moved', 'go/two': 'moved', 'img/gone.png': 'not here' };
    for (const p of ['garden.html', 'css/garden.css', 'css/type.css', 'frames/outer.html', 'frames/inner.html',
      'js/garden.js', 'img/rose.png', 'img/moved.png', 'img/seed.png', 'img/paper.png', 'fonts/garden.ttf',
      ...Object.keys(bodies)]) {
      const r = response(p);
      if (!bodies[p]) assert.equal(r?.http.status, 200, p);
      const sent = bodies[p] ? Buffer.from(bodies[p]) : served(`/${p}`);
      // (A payload that is not chunked as its headers say is told of above.)
      const kept = r.entity ?? r.payload;
      assert.ok(kept.equals(sent), `${p}: the record's payload (${kept.length} bytes) is not what the site sent ` +
        `(${sent.length} bytes)`);
    }
  });
});

test('the archive of a page the browser handed over: page and frames as shown, the rest as fetched', async (t) => {
  assert.ok(!shown.error, `the save from Chromium: ${shown.error}`);
  assert.equal(shown.outcome.answer?.status, 0, JSON.stringify(shown.outcome));
  assert.deepEqual(shown.outcome.notShown, [], 'every document handed over as shown');
  const wacz = await openWacz(shown.folder, title);
  await archiveHolds(t, wacz, askedIn(shown));
  await t.test('resource records of the documents as the browser showed them', () => {
    const resource = (p) => wacz.records.find((r) => r.type === 'resource' && r.uri === site.url(p));
    for (const p of ['garden.html', 'frames/outer.html', 'frames/inner.html']) {
      assert.match(resource(p)?.headers.get('content-type') ?? '', /^text\/html/, `a resource record for ${p}`);
    }
    // The script's line is in the page as shown, not as the site sent it.
    assert.match(resource('garden.html').payload.toString('utf8'), /Watered at dawn/);
    assert.match(resource('frames/inner.html').payload.toString('utf8'), /Seeds for next spring/);
  });
});

test('cookies: sent to the site, left out of the archive unless the job is told to keep them', async () => {
  for (const job of [garden, untitled]) {
    assert.ok(job.heard.some((h) => h.cookie), 'the program did not send the cookies file\'s cookie');
  }
  const left = await openWacz(garden.folder, title);
  const requests = left.records.filter((r) => r.type === 'request');
  assert.ok(requests.length > 0);
  assert.deepEqual(requests.filter((r) => r.http.headers.has('cookie')).map((r) => r.uri), [],
    'request records with a Cookie header');
  const value = cookie.split('=')[1];
  const holding = [...left.entries].filter(([, e]) => e.data.includes(value)).map(([n]) => n)
    .concat(left.records.filter((r) => r.member?.includes(value)).map((r) => `${r.type} record for ${r.uri}`));
  assert.deepEqual(holding, [], 'the cookie\'s value is in the archive');

  const kept = await openWacz(untitled.folder);
  const sent = new Set(untitled.heard.filter((h) => h.cookie).map((h) => site.url(h.path.slice(1))));
  const keptRequests = kept.records.filter((r) => r.type === 'request' && sent.has(r.uri));
  assert.ok(keptRequests.length > 0, 'no request record for what went with the cookie');
  const without = keptRequests.filter((r) => !(r.http.headers.get('cookie') ?? '').split(/;\s*/).includes(cookie));
  assert.deepEqual(without.map((r) => r.uri), [], 'request records without the cookie that was sent');
});

test('names and exit status: page.html and page.wacz where the title gives no name', async () => {
  assert.equal(garden.status, 1, `the 404 picture fails the job: ${garden.output}`);
  assert.equal(untitled.status, 0, untitled.output);
  const kept = fs.readdirSync(untitled.folder);
  for (const name of ['page.html', 'page.wacz']) assert.ok(kept.includes(name), `${name} in ${kept}`);
  const single = fs.readFileSync(path.join(untitled.folder, 'page.html'), 'utf8');
  assert.match(single, /A page with no title/);
  assert.match(single, /data:image\/png;base64,/);
  const { pages } = await openWacz(untitled.folder, 'page');
  assert.ok(pages.some((p) => p.url === site.url('untitled.html')), pages.map((p) => p.url).join());
});

// ReplayWeb.page on a loopback server of its own: a page embedding the
// archive, ui.js, the service worker in replay/ (the scope it serves), and
// the archive itself, in ranges as the replay reads it. Paths asked for
// that are not there are listed in `missing`.
async function startViewer(wacz, url) {
  const replay = path.join(here, 'node_modules/replaywebpage');
  const page = '<!DOCTYPE html><html><head><meta charset="utf-8"><script src="/ui.js"></script>' +
    '<style>html, body { margin: 0; height: 100%; } replay-web-page { display: block; height: 100vh; }</style>' +
    `</head><body><replay-web-page source="/archive.wacz" url="${url}" embed="replayonly" replaybase="/replay/">` +
    '</replay-web-page></body></html>';
  const missing = [];
  const archive = fs.readFileSync(wacz);
  const server = http.createServer((request, response) => {
    const { pathname } = new URL(request.url, 'http://x');
    const send = (status, body, headers) => {
      response.writeHead(status, { 'Content-Length': body.length, ...headers });
      response.end(request.method === 'HEAD' ? undefined : body);
    };
    if (pathname === '/') return send(200, Buffer.from(page), { 'Content-Type': 'text/html; charset=utf-8' });
    if (pathname === '/ui.js' || pathname === '/replay/sw.js') {
      const script = fs.readFileSync(path.join(replay, path.basename(pathname)));
      return send(200, script, { 'Content-Type': 'text/javascript' });
    }
    if (pathname === '/archive.wacz') {
      const range = /^bytes=(\d*)-(\d*)$/.exec(request.headers.range ?? '');
      const headers = { 'Content-Type': 'application/wacz', 'Accept-Ranges': 'bytes' };
      if (!range) return send(200, archive, headers);
      let [start, end] = [range[1], range[2]].map((v) => (v === '' ? null : Number(v)));
      if (start === null) [start, end] = [archive.length - end, archive.length - 1];
      end = Math.min(end ?? archive.length - 1, archive.length - 1);
      return send(206, archive.subarray(start, end + 1),
        { ...headers, 'Content-Range': `bytes ${start}-${end}/${archive.length}` });
    }
    missing.push(pathname);
    return send(404, Buffer.from('not here'), { 'Content-Type': 'text/plain' });
  });
  return listenOnLoopback(server, { missing });
}

test('ReplayWeb.page replays the archive with the site gone: the page, its pictures, its frames', async () => {
  const viewer = await startViewer(path.join(garden.folder, `${title}.wacz`), site.url('garden.html'));
  const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    args: ['--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1'],
  });
  try {
    const context = await browser.newContext({ viewport });
    const toSite = [];
    context.on('request', (r) => { if (r.url().startsWith(site.origin)) toSite.push(r.url()); });
    const page = await context.newPage();
    await page.goto(`${viewer.origin}/`);
    // The archived page, in the frame the replay shows it in, by its own address.
    const replayed = (p) => page.frames()
      .find((f) => f.url().includes('/replay/w/') && f.url().endsWith(`/${site.url(p)}`));
    const top = await waitFor(async () => {
      const frame = replayed('garden.html');
      const ready = await frame?.evaluate(() => document.readyState === 'complete' &&
        [...document.images].every((img) => img.complete)).catch(() => false);
      return ready && frame;
    }, 30000, 'the replayed page');
    await waitFor(() => replayed('frames/inner.html'), 10000, 'the replayed frame in the frame');
    await page.waitForTimeout(300);

    const pictures = await top.evaluate(async () => {
      await document.fonts.ready;
      return {
        widths: Object.fromEntries([...document.images].map((img) => [img.id || img.alt, img.naturalWidth])),
        fonts: [...document.fonts].map((f) => `${f.family.replaceAll('"', '')} ${f.status}`),
        text: document.body.innerText,
      };
    });
    assert.match(pictures.text, /The roses came out this week/);
    for (const name of ['A rose', 'Tulips', 'moved']) {
      assert.ok(pictures.widths[name] > 0, `${name}: ${JSON.stringify(pictures.widths)}`);
    }
    assert.equal(pictures.widths.gone, 0, 'the picture the site had not');
    assert.ok(pictures.fonts.includes('Garden loaded'), pictures.fonts.join());
    for (const p of ['frames/outer.html', 'frames/inner.html']) {
      const widths = await replayed(p).evaluate(() => [...document.images].map((img) => img.naturalWidth));
      assert.ok(widths.length === 1 && widths[0] > 0, `${p}: ${widths}`);
    }
    assert.deepEqual(toSite, [], 'the replay asked the site itself');
  } finally {
    await browser.close();
    await viewer.close();
  }
});
