// Chromium, the real extension and the real program: from the menu's
// action to the start window's list, and on to the saved folder.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { action, launch } from './chromium.mjs';
import { makeHome, readJobLog, savedFolder, startSite, waitFor } from './support.mjs';

let site;
before(async () => { site = await startSite(); });
after(() => site.close());

// A test in a home of its own with a browser of its own.
async function inBrowser(setUp, body) {
  const home = makeHome();
  setUp(home);
  const browser = await launch(home);
  try {
    return await body({ home, ...browser });
  } finally {
    await browser.context.close().catch(() => {});
    home.remove();
  }
}

async function open(context, url, { select = true } = {}) {
  const page = context.pages()[0] ?? await context.newPage();
  await page.goto(url);
  if (select) await page.evaluate(() => getSelection().selectAllChildren(document.getElementById('chosen')));
  return page;
}

test('the snapshot: the parent window, its frames across origins, the selection, the links in order', async () => {
  await inBrowser(() => {}, async ({ context, worker }) => {
    const url = site.url('index.html');
    await open(context, url);
    const top = await action(worker, 'capturePage', url);
    assert.equal(top.url, url);
    assert.equal(top.title, 'Fixture page');
    assert.equal(top.documentUrl, url);
    assert.match(top.selectionHtml, new RegExp(`<a href="${site.url('one.html')}">one</a>`));
    assert.match(top.selectionHtml, new RegExp(`href="${site.url('two.html#part')}"`));
    assert.deepEqual(top.links.map((l) => l.href), [
      site.url('one.html'), site.url('two.html#part'), site.url('three.html'),
      'mailto:someone@example.org', 'javascript:void 0', 'ftp://127.0.0.1/file', site.url('four.html'),
    ]);
    assert.equal(top.links[2].innerText, 'three, not selected');
    assert.deepEqual(top.frames, [
      { location: site.url('frames.html'), title: 'Frameset' },
      { location: `${site.other}/other.html`, title: 'Other origin' },
    ]);

    // The menu opened in a frame of the frameset: its parent is the frameset.
    const left = await action(worker, 'capturePage', url, site.url('left.html'));
    assert.equal(left.url, site.url('frames.html'));
    assert.equal(left.title, 'Frameset');
    assert.equal(left.documentUrl, site.url('left.html'));
    assert.equal(left.selectionHtml, '');
    assert.deepEqual(left.links, [{ href: site.url('index.html'), innerText: 'back' }]);
    assert.deepEqual(left.frames.map((f) => f.title), ['Page left', 'Page right']);

    // Part of one link's text selected: the fragment is that link.
    const page = context.pages()[0];
    await page.evaluate(() => {
      const text = document.querySelector('a[href="three.html"]').firstChild;
      getSelection().setBaseAndExtent(text, 2, text, 7);
    });
    const inLink = await action(worker, 'capturePage', url);
    assert.equal(inLink.selectionHtml, `<a href="${site.url('three.html')}">three</a>`);
  });
});

test('the round trip: the list filled, Start pressed, the page saved, the program ended', async () => {
  await inBrowser((home) => home.saveInto(), async ({ home, context, worker }) => {
    await open(context, site.url('index.html'));
    const outcome = await action(worker, 'savePage', site.url('index.html'));
    assert.equal(outcome.shown, undefined);
    assert.deepEqual(outcome.answer, { status: 0, message: '' });
    console.log(`fixture page (${outcome.links} links, ${outcome.frames} frames): ` +
                `action to answer ${outcome.ms.toFixed(0)} ms (reading the page ${outcome.captureMs.toFixed(0)} ms)`);

    await waitFor(() => home.programs().length === 0, 30000, 'the program to end');
    const folder = savedFolder(home.dest);
    const saved = fs.readdirSync(folder);
    // The page, its frames and theirs, and the one link the selection checked
    // (the other selected link has a fragment, so its row stays unchecked).
    for (const name of ['INDEX.HTML', 'one.html', 'frames.html', 'left.html', 'right.html', 'other.html']) {
      assert.ok(saved.includes(name), `${name} in ${saved}`);
    }
    for (const name of ['two.html', 'three.html', 'four.html']) assert.ok(!saved.includes(name), name);
    const log = readJobLog(folder);
    assert.ok(log.length >= 6);
    assert.ok(log.every((r) => r.state === 4), JSON.stringify(log));
  });
});

test('5,000 links in 2 MB of markup reach the start window, the page handed over as shown', async () => {
  await inBrowser(() => {}, async ({ context, worker }) => {
    const url = site.url('links5000.html');
    await open(context, url);
    const outcome = await action(worker, 'savePage', url);
    assert.equal(outcome.answer?.status, 0, JSON.stringify(outcome));
    assert.equal(outcome.links, 5000);
    assert.equal(outcome.documents, 1);
    const frame = outcome.timings.inFrames[0];
    console.log(`5,000 links, 2 MB of markup: action to filled list ${outcome.ms.toFixed(0)} ms ` +
                `(reading the page ${outcome.captureMs.toFixed(0)} ms: links ${frame.links.toFixed(0)} ms, ` +
                `the document ${frame.serialize.toFixed(0)} ms, cookies ${outcome.timings.cookiesMs.toFixed(0)} ms)`);
  });
});

test('without the host registered the user is told what to run', async () => {
  const unregister = (home) => fs.rmSync(
    path.join(home.config, 'chromium/NativeMessagingHosts/leafstash.lsapp.json'));
  await inBrowser(unregister, async ({ context, worker }) => {
    await open(context, site.url('index.html'));
    const outcome = await action(worker, 'savePage', site.url('index.html'));
    assert.equal(outcome.shown, 'Leafstash is not registered with this browser: run `leafstash -regserver`');
    const shown = await worker.evaluate(() => chrome.notifications.getAll());
    assert.equal(Object.keys(shown).length, 1);
  });
});

test('a page too big for one message: its document is left to the program; with the selection, it is refused', async () => {
  await inBrowser(() => {}, async ({ home, context, worker }) => {
    // Unselected, the list and the links fit: the program downloads the page.
    await open(context, site.url('huge.html'), { select: false });
    const alone = await action(worker, 'savePage', site.url('huge.html'));
    assert.equal(alone.answer?.status, 0, JSON.stringify(alone));
    assert.deepEqual(alone.notShown, [{ url: site.url('huge.html'), reason: 'tooBig' }]);
    assert.match(alone.shown, /instead of saving them as the browser shows them: .*huge\.html \(too big to hand over\)$/);
    await waitFor(() => home.programs().length > 0, 10000, 'the program');
    for (const pid of home.programs()) process.kill(pid, 'SIGKILL');

    await open(context, site.url('huge.html'));
    const outcome = await action(worker, 'savePage', site.url('huge.html'));
    assert.match(outcome.shown ?? '', /^This page is too big to hand to Leafstash: 66 MB/);
    assert.equal(outcome.answer, undefined);
  });
});

test('closing the browser mid-job: the job completes and its log is whole', async () => {
  await inBrowser((home) => home.saveInto(), async ({ home, context, worker }) => {
    await open(context, site.url('slow.html'));
    const outcome = await action(worker, 'savePage', site.url('slow.html'));
    assert.equal(outcome.answer?.status, 0, JSON.stringify(outcome));
    // The linked pages are held back until the browser is gone.
    await waitFor(() => site.requests.includes('/slow0.html'), 20000, 'the job to start');
    await context.close();
    assert.equal(home.programs().length, 1, 'the program outlives the browser');
    site.release();

    await waitFor(() => home.programs().length === 0, 30000, 'the program to end');
    const folder = savedFolder(home.dest);
    for (let i = 0; i < 6; i++) {
      assert.equal(fs.readFileSync(path.join(folder, `slow${i}.html`), 'utf8').trim(),
                   `<html><body>slow ${i}</body></html>`);
    }
    const log = readJobLog(folder);
    assert.equal(log.length, 7);
    assert.ok(log.every((r) => r.state === 4), JSON.stringify(log));
  });
});
