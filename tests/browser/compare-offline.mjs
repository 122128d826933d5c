// The offline fixture pages saved by the program and by GNU Wget, both
// copies read offline in Chromium, side by side. Run by scripts/compare-offline.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { checkOffline, pages, run, saveWithLeafstash, startOfflineSite } from './offline.mjs';
import { makeHome } from './support.mjs';

const details = process.argv.includes('--details');
const measures = [
  ['requisites loaded from files', (s) => s.loaded],
  ['failed file requests', (s) => s.failed.length],
  ['network requests', (s) => s.network.length],
  ['broken pictures', (s) => s.images.broken.length],
  ['refused (integrity, type)', (s) => s.blocked.length],
];
const tools = ['leafstash', 'wget'];

// Saves Url into Folder with each tool; resolves with the saved page's name.
const savers = {
  leafstash: async (url, folder, home) => {
    await saveWithLeafstash(url, folder, home.env);
    return 'INDEX.HTML';
  },
  // -E names the page after its address with .html; -nd keeps it at the top.
  wget: async (url, folder) => {
    await run('wget', ['-q', '-e', 'robots=off', '-p', '-k', '-E', '-H', '-nd', '-P', folder, url]);
    const name = path.basename(new URL(url).pathname) || 'index.html';
    return /\.html?$/i.test(name) ? name : `${name}.html`;
  },
};

const pad = (text, width) => String(text).padStart(width);
function table(title, seen) {
  console.log(`\n${title.padEnd(32)}${tools.map((t) => pad(t, 11)).join('')}`);
  for (const [label, value] of measures) {
    console.log(`  ${label.padEnd(30)}${tools.map((t) => pad(seen[t] ? value(seen[t]) : 'n/a', 11)).join('')}`);
  }
}

function listAddresses(seen) {
  for (const tool of tools) {
    const s = seen[tool];
    if (!s) continue;
    for (const [what, list] of [['failed', s.failed], ['network', s.network], ['broken', s.images.broken],
                                ['refused', s.blocked]]) {
      for (const item of list) console.log(`    ${tool} ${what}: ${item}`);
    }
  }
}

const site = await startOfflineSite();
const home = makeHome();
const root = fs.mkdtempSync(path.join(os.tmpdir(), 'leafstash-compare-'));
const totals = Object.fromEntries(tools.map((t) => [t, {
  loaded: 0, failed: [], network: [], images: { broken: [] }, blocked: [],
}]));
try {
  for (const page of pages) {
    const seen = {};
    for (const tool of tools) {
      const folder = path.join(root, tool, page.replaceAll('/', '-'));
      const name = await savers[tool](site.url(page), folder, home);
      if (!fs.existsSync(path.join(folder, name))) continue;
      const s = await checkOffline(folder, name);
      seen[tool] = s;
      const total = totals[tool];
      total.loaded += s.loaded;
      total.failed.push(...s.failed);
      total.network.push(...s.network);
      total.images.broken.push(...s.images.broken);
      total.blocked.push(...s.blocked);
    }
    table(page, seen);
    if (details) listAddresses(seen);
  }
  table('Total', totals);
  console.log(`\nFailed and network requests counted in failed.html include the three addresses the site itself
cannot deliver (a 404 picture, a 500 sheet, a script on a closed port).`);
} finally {
  home.remove();
  fs.rmSync(root, { recursive: true, force: true });
  await site.close();
}
