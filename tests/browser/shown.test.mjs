// Pages saved as Chromium shows them, with the real extension and program,
// then opened from their files with the network cut: a page behind a
// sign-in, one built by a script, pictures that waited for scrolling,
// shadow roots, a form filled in. Each copy shows what the live page
// showed: the same texts and pictures, and a screenshot that differs from
// the live page's in under 1 % of its pixels.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

import { action, launch } from './chromium.mjs';
import { pixelDifference } from './png.mjs';
import { filesHolding, shownRoot, startShownSite } from './shown.mjs';
import { makeHome, readJobLog, waitFor } from './support.mjs';

const viewport = { width: 1000, height: 700 };

let site;
let home;
let browser;
let viewer;
before(async () => {
  site = await startShownSite();
  home = makeHome({ subfolders: true, pictures: true });
  home.saveInto();
  browser = await launch(home, { viewport });
  viewer = await chromium.launch({ executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium' });
});
after(async () => {
  await browser?.context.close().catch(() => {});
  await viewer?.close();
  // KEEP=1 leaves the home and its saved copies for a look.
  if (process.env.KEEP) console.log(`kept ${home?.root}; session ${site?.session}`);
  else home?.remove();
  await site?.close();
});

// The menu's action on the page, the live page's screenshot once it is
// done (pictures that waited have loaded), and the folder the job saved
// into once the program has ended.
async function saveAsShown(page, title) {
  await page.evaluate(() => document.activeElement?.blur());
  const outcome = await action(browser.worker, 'savePage', page.url());
  assert.equal(outcome.answer?.status, 0, JSON.stringify(outcome));
  assert.deepEqual(outcome.notShown, [], 'every document handed over as shown');
  const live = await page.screenshot({ fullPage: true });
  await waitFor(() => home.programs().length === 0, 30000, 'the job to end');
  const folder = path.join(home.dest, title);
  const log = readJobLog(folder);
  assert.ok(log.every((r) => r.state === 4), JSON.stringify(log));
  return { folder, live, outcome };
}

// Opens the copy from its files with the network cut, runs Look in it,
// and compares its screenshot with the live one.
async function openCopy(folder, live, look) {
  const context = await viewer.newContext({ viewport, offline: true });
  const network = [];
  context.on('request', (r) => {
    if (!r.url().startsWith('file:') && !r.url().startsWith('data:')) network.push(r.url());
  });
  try {
    const page = await context.newPage();
    await page.goto(pathToFileURL(path.join(folder, 'INDEX.HTML')).href, { waitUntil: 'load' });
    await page.waitForTimeout(200);
    const seen = await page.evaluate(look);
    const shot = await page.screenshot({ fullPage: true });
    const difference = pixelDifference(live, shot);
    // SHOTS=folder keeps both screenshots there.
    if (process.env.SHOTS) {
      fs.writeFileSync(path.join(process.env.SHOTS, `${path.basename(folder)}-live.png`), live);
      fs.writeFileSync(path.join(process.env.SHOTS, `${path.basename(folder)}-copy.png`), shot);
    }
    console.log(`${path.basename(folder)}: ${(difference.share * 100).toFixed(3)} % of the pixels differ`);
    assert.ok(difference.share < 0.01, `${(difference.share * 100).toFixed(2)} % differ (${difference.sizes})`);
    assert.deepEqual(network, [], 'the copy asked the network');
    return seen;
  } finally {
    await context.close();
  }
}

// What the copy shows: texts, pictures that decoded, and scripts left.
function look() {
  const pictures = [...document.images].map((img) => [img.getAttribute('src'), img.complete && img.naturalWidth > 0]);
  return { text: document.body.innerText, pictures, scripts: [...document.scripts].map((s) => s.type) };
}

test('a page behind a sign-in, with the session cookie the browser keeps HttpOnly', async () => {
  const page = browser.context.pages()[0];
  // Another site sets cookies of its own, one SameSite=Strict.
  await page.goto(`${site.other}/set-cookies?next=${encodeURIComponent(site.url('login?user=ann'))}`);
  assert.equal(page.url(), site.url('account.html'));
  const { folder, live } = await saveAsShown(page, 'My account');
  const seen = await openCopy(folder, live, look);
  assert.match(seen.text, /Welcome back, Ann/);
  assert.ok(seen.pictures.every(([, shown]) => shown), JSON.stringify(seen.pictures));
  // The picture needed the session; the other site's got none of its
  // Strict cookie, which a browser keeps to that site's own pages.
  assert.equal(site.programAsked('/private/avatar.png').length, 1);
  const badge = site.programAsked('/badge.png');
  assert.equal(badge.length, 1);
  assert.ok(!badge[0].cookie.includes(site.strict), badge[0].cookie);
  assert.ok(badge[0].cookie.includes(site.open), `the SameSite=None cookie goes along: ${badge[0].cookie}`);
  assert.equal(badge[0].referer, `${site.origin}/`);
  assert.equal(badge[0].userAgent, await page.evaluate(() => navigator.userAgent));
  // The page itself came from the browser, not from the server again.
  assert.equal(site.programAsked('/account.html').length, 0);
});

test('a page built from fetched data: the copy shows it, and no script of it runs', async () => {
  const page = browser.context.pages()[0];
  await page.goto(site.url('built.html'));
  await page.waitForSelector('body[data-ready=yes]');
  const { folder, live } = await saveAsShown(page, 'Built by a script');
  const seen = await openCopy(folder, live, look);
  assert.match(seen.text, /Green teapot/);
  assert.match(seen.text, /Brown mug/);
  assert.doesNotMatch(seen.text, /Loading/);
  assert.equal(seen.pictures.length, 2);
  assert.ok(seen.pictures.every(([, shown]) => shown));
  assert.deepEqual(seen.scripts, ['application/ld+json'], 'only the data block is left');
});

test('pictures that a lazy loader holds back are loaded, and the page scrolls back', async () => {
  const page = browser.context.pages()[0];
  await page.goto(site.url('lazy.html'));
  await page.evaluate(() => scrollTo(0, 120));
  const { folder, live, outcome } = await saveAsShown(page, 'Pictures that wait');
  assert.equal(await page.evaluate(() => scrollY), 120);
  console.log(`lazy pictures loaded in ${outcome.timings.inFrames[0].lazy.toFixed(0)} ms`);
  const seen = await openCopy(folder, live, look);
  assert.equal(seen.pictures.length, 3);
  assert.ok(seen.pictures.every(([, shown]) => shown), JSON.stringify(seen.pictures));
  for (const name of ['lazy1.png', 'lazy2.png', 'native.png']) assert.ok(fs.existsSync(path.join(folder, name)), name);
});

test('open and closed shadow roots, with their pictures and adopted style sheets', async () => {
  const page = browser.context.pages()[0];
  await page.goto(site.url('shadow.html'));
  const { folder, live } = await saveAsShown(page, 'Widgets');
  const seen = await openCopy(folder, live, () => {
    const root = document.querySelector('photo-card').shadowRoot;
    const img = root?.querySelector('img');
    return { open: Boolean(root), picture: img?.complete && img.naturalWidth > 0,
      border: root && getComputedStyle(root.querySelector('.frame')).borderTopColor };
  });
  assert.deepEqual(seen, { open: true, picture: true, border: 'rgb(224, 112, 0)' });
  const html = fs.readFileSync(path.join(folder, 'INDEX.HTML'), 'utf8');
  assert.match(html, /<template shadowrootmode="closed">/);
  for (const name of ['open.png', 'closed.png']) assert.ok(fs.existsSync(path.join(folder, name)), name);
});

test('a form filled in, details opened, a canvas and a style changed by a script', async () => {
  const page = browser.context.pages()[0];
  await page.goto(site.url('form.html'));
  await page.fill('#name', 'Ann Example');
  await page.fill('#secret', 'hunter2');
  await page.check('#agree');
  await page.check('#large');
  await page.selectOption('#colour', 'blue');
  await page.fill('#note', 'A note\nover two lines');
  await page.click('#more summary');
  const { folder, live } = await saveAsShown(page, 'An order form');
  const seen = await openCopy(folder, live, () => ({
    name: document.getElementById('name').value,
    secret: document.getElementById('secret').value,
    agree: document.getElementById('agree').checked,
    large: document.getElementById('large').checked,
    colour: document.getElementById('colour').value,
    note: document.getElementById('note').value,
    open: document.getElementById('more').open,
    chart: getComputedStyle(document.getElementById('chart')).backgroundImage.startsWith('url("data:image/png'),
    styled: getComputedStyle(document.getElementById('styled')).color,
  }));
  assert.deepEqual(seen, { name: 'Ann Example', secret: '', agree: true, large: true, colour: 'blue',
    note: 'A note\nover two lines', open: true, chart: true, styled: 'rgb(0, 128, 0)' });
  assert.doesNotMatch(fs.readFileSync(path.join(folder, 'INDEX.HTML'), 'utf8'), /hunter2/);
});

test('frames of this site and another, and one a script wrote, each as shown', async () => {
  const page = browser.context.pages()[0];
  await page.goto(site.url('frames.html'));
  await page.waitForFunction(() => document.querySelectorAll('iframe').length === 3);
  const asked = site.requests.length;
  const { folder, live, outcome } = await saveAsShown(page, 'Frames');
  const programAsked = (p) => site.requests.slice(asked).filter((r) => r.path === p && !r.fromBrowser);
  assert.equal(outcome.documents, 3, 'the page and its two frames with addresses');
  const copy = await viewer.newContext({ viewport, offline: true });
  try {
    const view = await copy.newPage();
    await view.goto(pathToFileURL(path.join(folder, 'INDEX.HTML')).href);
    const texts = [];
    for (const id of ['same', 'cross', 'written']) {
      const frame = await (await view.$(`#${id}`)).contentFrame();
      texts.push(await frame.evaluate(() => document.body.innerText.trim().split('\n')[0]));
    }
    assert.deepEqual(texts, ['Changed by its script on 127.0.0.1', 'Changed by its script on localhost',
      'Written by the page']);
  } finally {
    await copy.close();
  }
  await openCopy(folder, live, look);
  // The frames were not asked of the servers again; their pictures were.
  assert.equal(programAsked('/frame-inner.html').length, 0);
  assert.deepEqual(programAsked('/img/item2.png').map((r) => r.host).sort(),
    [new URL(site.origin).host, new URL(site.other).host]);
});

test('a frame that does not answer in time is downloaded instead, and the user is told', async () => {
  const page = browser.context.pages()[0];
  await page.goto(site.url('busy.html'));
  await page.waitForTimeout(300);
  const outcome = await action(browser.worker, 'savePage', page.url());
  assert.equal(outcome.answer?.status, 0, JSON.stringify(outcome));
  const inner = `${site.other}/busy-inner.html`;
  assert.deepEqual(outcome.notShown, [{ url: inner, reason: 'noAnswer' }]);
  assert.equal(outcome.shown, 'Leafstash downloads these parts again from their addresses instead of ' +
    `saving them as the browser shows them: ${inner} (it did not answer in time)`);
  await waitFor(() => home.programs().length === 0, 30000, 'the job to end');
  assert.equal(site.programAsked('/busy-inner.html').length, 1);
  const copy = fs.readFileSync(path.join(home.dest, 'A busy frame', 'busy-inner.html'), 'utf8');
  assert.match(copy, /Busy for a while/);
});

test('a picture the browser shows by itself is downloaded as its server sent it', async () => {
  const page = browser.context.pages()[0];
  const before = new Set(fs.readdirSync(home.dest));
  await page.goto(site.url('img/open.png'));
  const outcome = await action(browser.worker, 'savePage', page.url());
  assert.equal(outcome.answer?.status, 0, JSON.stringify(outcome));
  assert.equal(outcome.documents, 0);
  assert.deepEqual(outcome.notShown, []);
  assert.equal(outcome.shown, undefined);
  await waitFor(() => home.programs().length === 0, 30000, 'the job to end');
  const [folder] = fs.readdirSync(home.dest).filter((name) => !before.has(name));
  const saved = fs.readdirSync(path.join(home.dest, folder)).filter((name) => name.endsWith('.png'));
  assert.equal(saved.length, 1, saved.join());
  assert.deepEqual(fs.readFileSync(path.join(home.dest, folder, saved[0])),
    fs.readFileSync(path.join(shownRoot, 'img/open.png')));
});

test('no cookie reaches a file: the saved folders, the settings, the program\'s log, the temporary folder', () => {
  // The browser's own profile keeps its cookies; nothing else may.
  const except = [path.join(home.config, 'chromium')];
  for (const value of [site.session, site.strict, site.open]) {
    assert.deepEqual(filesHolding(home.root, value, except), [], value);
    assert.deepEqual(filesHolding(os.tmpdir(), value, except), [], value);
  }
});
