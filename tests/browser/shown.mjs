// The site of pages that only the browser shows as the user saw them: a
// page behind a sign-in (an HttpOnly session cookie), one built from data
// a script fetched, pictures that wait for scrolling, widgets with shadow
// roots, a form filled in; another site (localhost) with a SameSite=Strict
// cookie of its own. And what a test needs to look at a saved copy.
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

import { fixtures } from './support.mjs';

export const shownRoot = path.join(fixtures, 'shown');

const types = { html: 'text/html; charset=utf-8', css: 'text/css', png: 'image/png', json: 'application/json',
  js: 'text/javascript' };

// Every request, with what came with it; requests without Sec-Fetch-Mode
// are the program's (browsers send it with each). While `offline` is set
// nothing is answered but reports (a copy opened from its files must not
// ask the site for anything).
export async function startShownSite() {
  const session = crypto.randomBytes(12).toString('hex');
  const site = {
    session: `sid-${session}`,
    strict: `strict-${session}`,
    open: `open-${session}`,
    requests: [],
    reports: new Map(),
    offline: false,
  };
  const server = http.createServer((request, response) => {
    const { pathname, searchParams } = new URL(request.url, 'http://x');
    const cookie = request.headers.cookie ?? '';
    const send = (status, body, type = 'text/plain', more = {}) => {
      response.writeHead(status, { 'Content-Type': type, 'Cache-Control': 'no-store', ...more });
      response.end(body);
    };
    if (pathname === '/report' && request.method === 'POST') {
      const parts = [];
      request.on('data', (d) => parts.push(d));
      request.on('end', () => {
        site.reports.set(searchParams.get('name'), Buffer.concat(parts));
        send(200, 'ok');
      });
      return undefined;
    }
    site.requests.push({
      host: request.headers.host, path: pathname, cookie, referer: request.headers.referer ?? '',
      userAgent: request.headers['user-agent'] ?? '', fromBrowser: 'sec-fetch-mode' in request.headers,
    });
    if (site.offline) return send(503, 'offline');
    const signedIn = cookie.split(/;\s*/).includes(`sid=${site.session}`);
    if (pathname === '/set-cookies') {
      return send(302, 'moved', 'text/plain', {
        'Set-Cookie': [`strict=${site.strict}; Path=/; SameSite=Strict`,
          `open=${site.open}; Path=/; SameSite=None; Secure`],
        Location: searchParams.get('next') ?? '/',
      });
    }
    if (pathname === '/login') {
      return send(302, 'moved', 'text/plain', {
        'Set-Cookie': `sid=${site.session}; Path=/; HttpOnly; SameSite=Lax`,
        Location: `/${searchParams.get('to') ?? 'account.html'}`,
      });
    }
    let name = pathname.slice(1);
    if ((name === 'account.html' || name === 'dashboard.html') && !signedIn) name = 'signin.html';
    if (name.startsWith('private/')) {
      if (!signedIn) return send(403, 'sign in first');
      name = `img/${path.basename(name)}`;
    }
    if (name === 'badge.png') name = 'img/badge.png';
    const file = path.join(shownRoot, name);
    if (!file.startsWith(shownRoot + path.sep) || !fs.existsSync(file)) return send(404, 'not here');
    let body = fs.readFileSync(file);
    if (file.endsWith('.html')) body = body.toString('utf8').replaceAll('{{OTHER}}', site.other);
    return send(200, body, types[path.extname(file).slice(1)] ?? 'application/octet-stream');
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  const port = server.address().port;
  site.origin = `http://127.0.0.1:${port}`;
  site.other = `http://localhost:${port}`;
  site.url = (p) => `${site.origin}/${p}`;
  // The program's requests for Path.
  site.programAsked = (p) => site.requests.filter((r) => r.path === p && !r.fromBrowser);
  site.close = () => new Promise((done) => {
    server.closeAllConnections();
    server.close(done);
  });
  return site;
}

// The files under Folder (links not followed) whose bytes hold Text, but
// for those under the folders Except.
export function filesHolding(folder, text, except = []) {
  const found = [];
  // Other programs' files may come and go meanwhile, or be closed to us.
  const tryTo = (read) => {
    try {
      return read();
    } catch {
      return null;
    }
  };
  const walk = (dir) => {
    for (const entry of tryTo(() => fs.readdirSync(dir, { withFileTypes: true })) ?? []) {
      const full = path.join(dir, entry.name);
      if (except.some((e) => full === e || full.startsWith(e + path.sep))) continue;
      if (entry.isDirectory()) walk(full);
      else if (entry.isFile() && tryTo(() => fs.readFileSync(full))?.includes(text)) found.push(full);
    }
  };
  walk(folder);
  return found;
}
