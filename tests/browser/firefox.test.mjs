// Firefox ESR, the real extension and the real program. No driver steers
// stock Firefox, so a copy of the extension with a test hook saves the page
// by itself once it has loaded; the test watches the program and the folder.
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { extension, makeHome, readJobLog, savedFolder, startSite, waitFor } from './support.mjs';

const firefox = process.env.FIREFOX ?? '/usr/bin/firefox-esr';
const trigger = '#leafstash-selftest';

let site;
before(async () => { site = await startSite(); });
after(() => site.close());

// A profile that runs the unsigned extension (with its test hook) as if
// installed, and never reaches beyond the fixture site.
function makeProfile(home) {
  const profile = path.join(home.root, 'profile');
  const copy = path.join(home.root, 'extension');
  fs.mkdirSync(path.join(profile, 'extensions'), { recursive: true });
  fs.cpSync(extension, copy, { recursive: true });
  fs.writeFileSync(path.join(copy, 'test-hook.json'), JSON.stringify({ trigger }));
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
    'network.proxy.no_proxies_on': '127.0.0.1',
    'network.proxy.allow_hijacking_localhost': false,
  };
  fs.writeFileSync(path.join(profile, 'user.js'), Object.entries(prefs)
    .map(([k, v]) => `user_pref(${JSON.stringify(k)}, ${JSON.stringify(v)});`).join('\n') + '\n');
  return profile;
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
