// Firefox ESR, the real extension and the real program. No driver steers
// stock Firefox, so a copy of the extension with a test hook saves the page
// by itself once it has loaded; the test watches the program and the folder.
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import http from 'node:http';

import { pixelDifference } from './png.mjs';
import { filesHolding, startShownSite } from './shown.mjs';
import { extension, makeHome, readJobLog, savedFolder, startSite, waitFor, listenOnLoopback } from './support.mjs';

const firefox = process.env.FIREFOX ?? '/usr/bin/firefox-esr';
const trigger = '#leafstash-selftest';

let site;
before(async () => { site = await startSite(); });
after(() => site.close());

// A profile that runs the unsigned extension (with its test hook) as if
// installed, and never reaches beyond the fixture sites.
function makeProfile(home, hook = { trigger }, name = 'profile') {
  const profile = path.join(home.root, name);
  const copy = path.join(home.root, `${name}-extension`);
  fs.mkdirSync(path.join(profile, 'extensions'), { recursive: true });
  fs.cpSync(extension, copy, { recursive: true });
  fs.writeFileSync(path.join(copy, 'test-hook.json'), JSON.stringify(hook));

  execFileSync('cmake', ['-E', 'tar', 'cf',
    path.join(profile, 'extensions', 'leafstash@leafstash.example.xpi'), '--format=zip',
    ...fs.readdirSync(copy)], { cwd: copy });
  const prefs = {
    'xpinstall.signatures.required': false,
    'extensions.autoDisableScopes': 0,
    'browser.shell.checkDefaultBrowser': false,
    'browser.startup.homepage_override.mstone': 'ignore',
    'datareporting.policy.dataSubmissionEnabled': false,
    'app.update.auto': false,
    'network.proxy.type': 1,
    'network.proxy.http': '127.0.0.1',
    'network.proxy.http_port': 9,
    'network.proxy.ssl': '127.0.0.1',
    'network.proxy.ssl_port': 9,
    'network.proxy.no_proxies_on': '127.0.0.1, localhost',
    'network.proxy.allow_hijacking_localhost': false,
  };
  fs.writeFileSync(path.join(profile, 'user.js'), Object.entries(prefs)
    .map(([k, v]) => `user_pref(${JSON.stringify(k)}, ${JSON.stringify(v)});`).join('\n') + '\n');
  return profile;
}

// The files of Folder on a loopback address of their own, as they are;
// what was asked for and is not there is listed in `missing`.
async function serveFolder(folder) {
  const missing = [];
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname.slice(1));
    const file = path.join(folder, name);
    if (!file.startsWith(folder + path.sep) || !fs.existsSync(file)) {
      missing.push(name);
      response.writeHead(404);
      return response.end();
    }
    const type = { html: 'text/html', htm: 'text/html', css: 'text/css', png: 'image/png' }[
      path.extname(file).slice(1).toLowerCase()] ?? 'application/octet-stream';
    response.writeHead(200, { 'Content-Type': type });
    return response.end(fs.readFileSync(file));
  });
  return listenOnLoopback(server, { missing });
}

// Firefox on Url with Profile, until Done holds (or the time is up).
async function inFirefox(home, profile, url, done, what) {
  const browser = spawn(firefox, ['--headless', '--no-remote', '--profile', profile, url],
    { env: home.env, detached: true, stdio: 'ignore' });
  try {
    await waitFor(done, 90000, what);
  } finally {
    try {
      process.kill(-browser.pid, 'SIGKILL');
    } catch {
      // already gone
    }
    await new Promise((ended) => (browser.exitCode !== null ? ended() : browser.once('exit', ended)));
  }
}

test('Firefox: the page saved through the extension and the program', async () => {
  const home = makeHome({ firefox: true });
  assert.match(home.registered, /^Firefox: .*\/\.mozilla\/native-messaging-hosts\/leafstash\.lsapp\.json$/m);
  home.saveInto();
  const profile = makeProfile(home);
  const browser = spawn(firefox, ['--headless', '--no-remote', '--profile', profile,
    site.url('index.html') + trigger], { env: home.env, detached: true, stdio: 'ignore' });
  try {
    await waitFor(() => fs.existsSync(path.join(savedFolder(home.dest), 'lfsta4.log')) &&
                        home.programs().length === 0, 90000, 'the page to be saved');
    const saved = fs.readdirSync(savedFolder(home.dest));
    for (const name of ['INDEX.HTML', 'one.html', 'frames.html', 'left.html', 'right.html', 'other.html']) {
      assert.ok(saved.includes(name), `${name} in ${saved}`);
    }
    assert.ok(!saved.includes('three.html'));
    assert.ok(readJobLog(savedFolder(home.dest)).every((r) => r.state === 4));
  } finally {
    try {
      process.kill(-browser.pid, 'SIGKILL');
    } catch {
      // already gone
    }
    home.remove();
  }
});

test('Firefox: a signed-in page built by scripts, with lazy pictures, shadow roots and a form, saved as shown', async () => {
  const shown = await startShownSite();
  const home = makeHome({ firefox: true, subfolders: true, pictures: true });
  home.saveInto();
  try {
    // Another site sets its cookies, the sign-in its session; then the page
    // fills itself in as a visitor would and the hook saves it.
    const page = `dashboard.html#fill${trigger}`;
    const start = `${shown.other}/set-cookies?next=` +
      encodeURIComponent(shown.url(`login?to=${encodeURIComponent(page)}`));
    const folder = path.join(home.dest, 'Dashboard');
    const saving = makeProfile(home, { trigger, delayMs: 1500, report: shown.url('report') });
    await inFirefox(home, saving, start, () => shown.reports.has('live') && home.programs().length === 0 &&
      fs.existsSync(path.join(folder, 'lfsta4.log')), 'the page to be saved');
    const outcome = JSON.parse(shown.reports.get('outcome'));
    assert.equal(outcome.answer?.status, 0, JSON.stringify(outcome));
    assert.deepEqual(outcome.notShown, []);
    assert.ok(readJobLog(folder).every((r) => r.state === 4));

    // The copy, with the site answering nothing. Firefox lets no extension
    // picture a file:// page, so the folder's files are served as they are.
    shown.offline = true;
    const asked = shown.requests.length;
    const files = await serveFolder(folder);
    try {
      const viewing = makeProfile(home, { shot: '#leafstash-shot', delayMs: 1000, report: shown.url('report') },
        'viewer');
      await inFirefox(home, viewing, `${files.origin}/INDEX.HTML#leafstash-shot`,
        () => shown.reports.has('copy'), 'the copy to be shown');
    } finally {
      await files.close();
    }
    assert.deepEqual(shown.requests.slice(asked), [], 'the copy asked the site');
    // (Firefox asks every site for its icon.)
    assert.deepEqual(files.missing.filter((n) => n !== 'favicon.ico'), [], 'the copy asked for files it does not have');
    for (const name of ['live', 'copy']) assert.equal(shown.reports.get(name).readUInt32BE(0), 0x89504e47, `${name}: ${shown.reports.get(name).toString().slice(0, 300)}`);
    const difference = pixelDifference(shown.reports.get('live'), shown.reports.get('copy'));
    console.log(`Firefox dashboard: ${(difference.share * 100).toFixed(3)} % of the pixels differ`);
    assert.ok(difference.share < 0.01, `${(difference.share * 100).toFixed(2)} % differ (${difference.sizes})`);

    const html = fs.readFileSync(path.join(folder, 'INDEX.HTML'), 'utf8');
    for (const text of ['Green teapot', 'value="Ann Example"', '<template shadowrootmode="closed">',
      '<details id="more" open=""']) {
      assert.ok(html.includes(text), text);
    }
    assert.doesNotMatch(html, /<script(?![^>]*ld\+json)/);
    for (const name of ['avatar.png', 'badge.png', 'item1.png', 'item2.png', 'lazy1.png', 'native.png',
      'open.png', 'closed.png']) {
      assert.ok(fs.existsSync(path.join(folder, name)), name);
    }
    const badge = shown.programAsked('/badge.png');
    assert.equal(badge.length, 1);
    assert.ok(!badge[0].cookie.includes(shown.strict), badge[0].cookie);
    // Firefox keeps its cookies in its profiles; nothing else may.
    const except = [path.join(home.root, 'profile'), path.join(home.root, 'viewer')];
    for (const value of [shown.session, shown.strict, shown.open]) {
      assert.deepEqual(filesHolding(home.root, value, except), [], value);
    }
  } finally {
    home.remove();
    await shown.close();
  }
});
