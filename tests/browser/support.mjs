// What the browser tests share: the fixture site on 127.0.0.1 (two origins),
// a home folder where the program is registered with the browsers, the
// program's processes, and the job log it leaves.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const fixtures = path.join(here, 'fixtures');
export const leafstash = process.env.LEAFSTASH_EXE ?? path.join(here, '../../build/src/app/leafstash');
export const extension = process.env.LEAFSTASH_EXTENSION ?? path.join(here, '../../extension');

export const sleep = (ms) => new Promise((done) => setTimeout(done, ms));

export async function waitFor(condition, ms = 20000, what = 'a condition') {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    const value = await condition();
    if (value) return value;
    await sleep(100);
  }
  throw new Error(`timed out waiting for ${what}`);
}

// A page with Count links, the first tenth of them selected, in about
// Bytes of markup (rows of text around them).
function manyLinks(count, bytes = 0) {
  const links = [];
  for (let i = 0; i < count; i++) links.push(`<a href="page${i}.html?n=${i}">link number ${i}</a>`);
  const chosen = Math.floor(count / 10);
  let page = `<!DOCTYPE html><html><head><title>${count} links</title></head><body>` +
    `<p id="chosen">${links.slice(0, chosen).join('\n')}</p><p>${links.slice(chosen).join('\n')}</p>`;
  for (let row = 0; page.length < bytes; row++) {
    page += `<div class="row" data-row="${row}"><span class="label">Row ${row}</span> ` +
      '<em>Some words</em> of an ordinary page, with <b>markup</b> &amp; text in it.</div>\n';
  }
  return page + '</body></html>';
}

// Pages whose links answer slowly, for a job that takes a while.
function slowPage(count) {
  const links = [];
  for (let i = 0; i < count; i++) links.push(`<a href="slow${i}.html">slow ${i}</a>`);
  return `<!DOCTYPE html><html><head><title>Slow links</title></head><body><p id="chosen">${links.join(' ')}</p></body></html>`;
}

// The fixture site: `origin` serves the fixture files, `other` the
// cross-origin frame. Requests are listed by path. The slow pages are held
// back until the test calls release().
// Starts Server on a free loopback port: its origin, Fields, and a close
// that drops the connections still open.
export async function listenOnLoopback(server, fields = {}) {
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  return {
    origin: `http://127.0.0.1:${server.address().port}`,
    ...fields,
    close: () => new Promise((done) => {
      server.closeAllConnections();
      server.close(done);
    }),
  };
}

export async function startSite() {
  const requests = [];
  let release;
  const released = new Promise((done) => { release = done; });
  const servers = [];
  const origins = {};
  const handler = (request, response) => {
    const { pathname } = new URL(request.url, 'http://x');
    requests.push(pathname);
    const send = (status, body, type = 'text/html; charset=utf-8') => {
      response.writeHead(status, { 'Content-Type': type, 'Cache-Control': 'no-store' });
      response.end(body);
    };
    if (pathname === '/links5000.html') return send(200, manyLinks(5000, 2 * 1024 * 1024));
    if (pathname === '/slow.html') return send(200, slowPage(6));
    // The selection is hidden, so that 65 MiB of it need no layout.
    if (pathname === '/huge.html') {
      return send(200, `<html><body><div id="chosen" hidden>${'x'.repeat(65 * 1024 * 1024)}</div></body></html>`);
    }
    const slow = /^\/slow(\d+)\.html$/.exec(pathname);
    if (slow) return released.then(() => send(200, `<html><body>slow ${slow[1]}</body></html>`));
    const file = path.join(fixtures, path.basename(pathname));
    if (!pathname.endsWith('.html') || !fs.existsSync(file)) return send(404, 'not here', 'text/plain');
    send(200, fs.readFileSync(file, 'utf8')
      .replaceAll('{{OTHER}}', origins.other)
      .replaceAll('{{PORT}}', String(new URL(origins.origin).port)));
  };
  for (const name of ['origin', 'other']) {
    const server = http.createServer(handler);
    await new Promise((done) => server.listen(0, '127.0.0.1', done));
    servers.push(server);
    origins[name] = `http://127.0.0.1:${server.address().port}`;
  }
  return {
    ...origins,
    requests,
    release,
    url: (p) => `${origins.origin}/${p}`,
    close: () => Promise.all(servers.map((s) => new Promise((done) => {
      s.closeAllConnections();
      s.close(done);
    }))),
  };
}

// A home of its own for one test: the program's settings and registry, the
// browsers' config folders, the folder the job saves into; the program is
// registered there with `leafstash -regserver`, as a user would.
export function makeHome({ firefox = false, subfolders = false, pictures = false } = {}) {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'leafstash-browser-'));
  const home = {
    root,
    config: path.join(root, 'config'),
    dest: path.join(root, 'saved') + '/',
    log: path.join(root, 'program.log'),
  };
  fs.mkdirSync(path.join(home.config, 'chromium'), { recursive: true });
  // Where Firefox ESR makes a new profile (it still looks for hosts in ~/.mozilla).
  if (firefox) fs.mkdirSync(path.join(home.config, 'mozilla/firefox'), { recursive: true });
  fs.mkdirSync(home.dest);
  // Settings as a new user has them, but with the check for a new version
  // off: the tests talk to nothing but their own loopback sites.
  const settings = Buffer.alloc(552);
  settings.writeInt32LE(30, 412);
  // Each page into a subfolder named after its title; pictures saved too.
  if (subfolders) settings[169] = 1;
  if (pictures) settings[170] = 1;
  fs.writeFileSync(path.join(root, 'lfsta.cfg'), settings);
  home.env = {
    ...process.env,
    HOME: root,
    XDG_CONFIG_HOME: home.config,
    LEAFSTASH_CONFIG_DIR: root + '/',
    LEAFSTASH_REGISTRY: path.join(root, 'registry.json'),
    LEAFSTASH_HOST_LOG: home.log,
    QT_QPA_PLATFORM: 'offscreen',
    // No notification from the tests reaches the desktop.
    DBUS_SESSION_BUS_ADDRESS: 'unix:path=/nonexistent/leafstash-no-bus',
  };
  home.register = () => execFileSync(leafstash, ['-regserver'], { env: home.env, encoding: 'utf8' });
  home.registered = home.register();
  // The program saves what it is handed into Folder, as if Start were pressed.
  home.saveInto = (folder = home.dest) => { home.env.LEAFSTASH_TEST_SAVE_TO = folder; };
  home.programs = () => processesWith(`LEAFSTASH_CONFIG_DIR=${root}/`);
  home.remove = () => {
    for (const pid of home.programs()) kill(pid);
    fs.rmSync(root, { recursive: true, force: true });
  };
  return home;
}

function kill(pid) {
  try {
    process.kill(pid, 'SIGKILL');
  } catch {
    // already gone
  }
}

// The live processes of the program (the host and the window) whose
// environment holds Entry.
export function processesWith(entry) {
  const found = [];
  for (const name of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    try {
      const environ = fs.readFileSync(`/proc/${name}/environ`, 'latin1').split('\0');
      const program = fs.readFileSync(`/proc/${name}/cmdline`, 'latin1').split('\0')[0];
      if (environ.includes(entry) && path.basename(program) === 'leafstash') found.push(Number(name));
    } catch {
      // ended meanwhile, or not ours to read
    }
  }
  return found;
}

// The job log of a saved folder: each record's address and state
// (4 is done); null when the file is not a whole number of records.
export function readJobLog(folder) {
  const data = fs.readFileSync(path.join(folder, 'lfsta4.log'));
  const size = 1264;
  if (data.length === 0 || data.length % size !== 0) return null;
  const records = [];
  for (let at = 0; at < data.length; at += size) {
    const length = data[at];
    records.push({
      url: data.subarray(at + 1, at + 1 + length).toString('utf8'),
      state: data[at + 1256],
    });
  }
  return records;
}

// The folder the job saved into: the page's subfolder when there is one.
export function savedFolder(dest) {
  const inside = fs.readdirSync(dest, { withFileTypes: true }).filter((e) => e.isDirectory());
  return inside.length === 1 && !fs.existsSync(path.join(dest, 'lfsta4.log'))
    ? path.join(dest, inside[0].name) : dest;
}
