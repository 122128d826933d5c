// Leafstash in the browser: a context-menu item that reads the page the user
// is on (the frame the menu was opened in and its parent window) and hands
// it to the Leafstash program, the native messaging host "leafstash.lsapp".
// The program answers once its start window lists the page's links.
//
// One source for Chromium (a service worker) and Firefox (an event page):
// nothing here may rely on globals only one of them has.
'use strict';

const api = globalThis.browser ?? globalThis.chrome;

const HOST = 'leafstash.lsapp';
const MENU_ID = 'leafstash-save';
// The most a browser passes to a native program in one message.
const MAX_MESSAGE_BYTES = 64 * 1024 * 1024;

// A failure the user is told about in plain words.
class UserError extends Error {}

const text = (key, ...args) => api.i18n.getMessage(key, args.map(String)) || key;

async function createMenu() {
  await api.contextMenus.removeAll();
  api.contextMenus.create({
    id: MENU_ID,
    title: text('menuSave'),
    contexts: ['page', 'selection', 'link', 'frame'],
  });
}

// readFrame, which runs in each frame of the tab, comes from frame.js: the
// worker imports it, the event page lists it before this script.
if (typeof readFrame !== 'function' && typeof importScripts === 'function') importScripts('frame.js');

// How long the pictures that wait for scrolling may take to load, and how
// long a frame may take to answer in all; a frame that does not answer in
// time is downloaded from its address instead.
const LAZY_MS = 2500;
const FRAME_MS = 6000;

const isWeb = (address) => /^https?:/i.test(address ?? '');
const withoutFragment = (address) => address.split('#')[0];
const escapeAttribute = (value) => value.replace(/&/g, '&amp;').replace(/"/g, '&quot;');
const byteLength = (value) => new TextEncoder().encode(value).length;

async function timed(name, promise) {
  const began = performance.now();
  const value = await promise;
  globalThis.lastTimings[name] = performance.now() - began;
  return value;
}

async function readSettings() {
  try {
    return await api.storage.local.get({ loadLazyPictures: true });
  } catch {
    return { loadLazyPictures: true };
  }
}

// One frame's reading, or why there is none: 'noAnswer' when it did not
// answer in time, 'unreadable' when it cannot be read at all.
async function readOneFrame(tabId, frameId, options) {
  let timer;
  const late = new Promise((done) => { timer = setTimeout(done, FRAME_MS, 'noAnswer'); });
  try {
    const results = await Promise.race([
      api.scripting.executeScript({ target: { tabId, frameIds: [frameId] }, func: readFrame, args: [options] }),
      late,
    ]);
    if (results === 'noAnswer') return { missing: 'noAnswer' };
    const value = results?.[0]?.result;
    return typeof value === 'string' ? JSON.parse(value) : { missing: 'unreadable' };
  } catch {
    return { missing: 'unreadable' };
  } finally {
    clearTimeout(timer);
  }
}

// The documents of the page (frame RootId) and of its frames, each frame's
// mark in its parent replaced by the frame's address; a frame with an
// address of its own that could not be read is listed in NotShown and
// downloaded by the program.
function composeDocuments(rootId, frames, read, nonce, notShown) {
  const documents = [];
  const taken = new Set();
  const childrenOf = (id) => [...frames.values()].filter((f) => f.parentFrameId === id);
  const mark = new RegExp(`leafstash-frame-${nonce}-(\\d+)`, 'g');
  const compose = (id) => {
    const own = read.get(id);
    const children = childrenOf(id);
    for (const child of children) {
      const got = read.get(child.frameId);
      const missing = got?.missing ?? got?.htmlMissing;
      if (missing && missing !== 'notPage' && isWeb(child.url)) notShown.push({ url: child.url, reason: missing });
    }
    return own.html.replace(mark, (whole, number) => {
      const index = Number(number);
      const child = children.find((c) => read.get(c.frameId)?.index === index);
      const got = child && read.get(child.frameId);
      const address = got?.location ?? own.frameSources?.[index] ?? 'about:blank';
      if (typeof got?.html === 'string' && isWeb(got.location) &&
          !taken.has(withoutFragment(got.location))) {
        taken.add(withoutFragment(got.location));
        const entry = { url: got.location, html: '' };
        documents.push(entry);
        entry.html = compose(child.frameId);
      }
      return escapeAttribute(address);
    });
  };
  const root = read.get(rootId);
  if (typeof root?.html !== 'string' || !isWeb(root.location)) return documents;
  const page = { url: root.location, html: '' };
  taken.add(withoutFragment(root.location));
  documents.push(page);
  page.html = compose(rootId);
  return documents;
}

// The cookies the browser holds for the hosts of Addresses, from the tab's
// own cookie store (Firefox containers, first-party isolation and
// partitioned cookies of this page included). The program sends each only
// where a browser would.
async function collectCookies(tab, pageUrl, addresses) {
  if (!api.cookies) return [];
  const hosts = new Set();
  for (const address of addresses) {
    try {
      const url = new URL(address);
      if (url.protocol === 'http:' || url.protocol === 'https:') hosts.add(url.hostname);
    } catch {
      // not an address
    }
  }
  const firefox = typeof api.runtime.getBrowserInfo === 'function';
  const query = {};
  if (firefox) {
    query.storeId = tab.cookieStoreId;
    query.firstPartyDomain = null;
    query.partitionKey = {};
  } else {
    const stores = await api.cookies.getAllCookieStores().catch(() => []);
    const store = stores.find((s) => s.tabIds.includes(tab.id));
    if (store) query.storeId = store.id;
  }
  let pageHost = '';
  try {
    pageHost = new URL(pageUrl).hostname;
  } catch {
    // the page has no host
  }
  const within = (host, domain) => host === domain || host.endsWith('.' + domain);
  // Cookies kept for another first party, or partitioned under another
  // top-level site, are not this page's.
  const belongs = (c) => {
    if (c.firstPartyDomain && !within(pageHost, c.firstPartyDomain)) return false;
    const top = c.partitionKey?.topLevelSite;
    if (!top) return true;
    try {
      return within(pageHost, new URL(top).hostname);
    } catch {
      return false;
    }
  };
  const found = new Map();
  await Promise.all([...hosts].slice(0, 500).map(async (host) => {
    for (const where of [{ domain: host }, { url: `https://${host}/` }]) {
      let cookies = [];
      try {
        cookies = await api.cookies.getAll({ ...query, ...where });
      } catch {
        continue;
      }
      for (const c of cookies) {
        if (!belongs(c)) continue;
        const key = `${c.name}\t${c.domain}\t${c.path}`;
        // This page's partitioned cookie over the site's own.
        if (found.get(key)?.partitionKey?.topLevelSite && !c.partitionKey?.topLevelSite) continue;
        found.set(key, c);
      }
    }
  }));
  return [...found.values()].map((c) => ({
    name: c.name, value: c.value, domain: c.domain, hostOnly: c.hostOnly, path: c.path,
    secure: c.secure, httpOnly: c.httpOnly, sameSite: c.sameSite,
    ...(c.expirationDate ? { expirationDate: c.expirationDate } : {}),
  }));
}

// The page snapshot for the frame FrameId of the tab: the parent window's
// address, title and frames; the frame's own address, selection and links;
// the parent window and its frames as they stand (documents), the
// browser's user agent and the cookies of the sites involved. NotShown
// lists the frames that the program downloads instead, and why.
async function capturePage(tabId, frameId, notShown = [], clickedLink = undefined) {
  const settings = await readSettings();
  const nonce = Array.from(crypto.getRandomValues(new Uint8Array(8)), (b) => b.toString(16).padStart(2, '0')).join('');
  const options = { nonce, lazy: settings.loadLazyPictures, lazyMs: LAZY_MS, document: true };
  let navigation;
  let tab;
  try {
    [navigation, tab] = await Promise.all([api.webNavigation.getAllFrames({ tabId }), api.tabs.get(tabId)]);
  } catch (e) {
    throw new UserError(text('cannotRead', e.message));
  }
  const frames = new Map((navigation ?? []).map((f) => [f.frameId, f]));
  const read = new Map();
  const began = performance.now();
  await Promise.all([...frames.keys()].map(async (id) => {
    read.set(id, await readOneFrame(tabId, id, options));
  }));
  globalThis.lastTimings = { framesMs: performance.now() - began, inFrames: [...read.values()].map((r) => r.ms) };
  const own = read.get(frameId);
  if (!own || own.missing) throw new UserError(text('cannotRead', frames.get(frameId)?.url ?? 'no frame'));

  const parentId = frames.get(frameId)?.parentFrameId ?? -1;
  const parentFrameId = parentId >= 0 ? parentId : frameId;
  const parent = read.get(parentFrameId)?.missing ? undefined : read.get(parentFrameId);
  const children = [...frames.values()]
    .filter((f) => f.parentFrameId === parentFrameId)
    .map((f) => ({ frame: f, read: read.get(f.frameId)?.missing ? undefined : read.get(f.frameId) }))
    .sort((a, b) => (a.read?.index ?? 1e9) - (b.read?.index ?? 1e9) || a.frame.frameId - b.frame.frameId);
  const url = parent ? parent.documentUrl : frames.get(parentFrameId)?.url ?? own.documentUrl;
  const documents = composeDocuments(parentFrameId, frames, read, nonce, notShown);
  const missing = read.get(parentFrameId)?.missing ?? parent?.htmlMissing ?? 'unreadable';
  if (documents.length === 0 && isWeb(url) && missing !== 'notPage') notShown.push({ url, reason: missing });
  const addresses = [url, ...[...frames.values()].map((f) => f.url), ...own.links.map((l) => l.href)];
  if (isWeb(clickedLink?.href)) addresses.push(clickedLink.href);
  for (const got of read.values()) addresses.push(...(got.resources ?? []));
  return {
    url,
    title: parent ? parent.title : '',
    documentUrl: own.documentUrl,
    selectionHtml: own.selectionHtml,
    links: own.links,
    ...(isWeb(clickedLink?.href) ? { clickedLink } : {}),
    frames: children.map((c) => ({
      location: c.read ? c.read.location : c.frame.url,
      title: c.read ? c.read.title : '',
    })),
    userAgent: (parent ?? own).userAgent,
    cookies: await timed('cookiesMs', collectCookies(tab, url, addresses)),
    documents,
  };
}

// What a failure to reach the program means, and what to do about it.
function explainHostError(message) {
  if (/not found|No such native application/i.test(message)) return text('notRegistered');
  if (/forbidden/i.test(message)) return text('forbidden');
  if (/exited|communicating/i.test(message)) return text('hostFailed');
  return text('hostError', message);
}

// Documents that would make the message too big for the browser to pass
// are left out, the largest first; the program downloads them instead.
function fitDocuments(snapshot, notShown) {
  // Each character of JSON text is three bytes at most: counting the bytes
  // themselves, a copy of the whole, is needed only near the limit.
  if (JSON.stringify(snapshot).length * 3 <= MAX_MESSAGE_BYTES) return;
  const documents = snapshot.documents ?? [];
  const sizes = documents.map((d) => byteLength(JSON.stringify(d)) + 1);
  let bytes = byteLength(JSON.stringify({ ...snapshot, documents: [] })) + sizes.reduce((a, b) => a + b, 0);
  const order = documents.map((d, i) => i).sort((a, b) => sizes[b] - sizes[a]);
  const dropped = new Set();
  for (const i of order) {
    if (bytes <= MAX_MESSAGE_BYTES) break;
    dropped.add(i);
    bytes -= sizes[i];
    notShown.push({ url: documents[i].url, reason: 'tooBig' });
  }
  snapshot.documents = documents.filter((d, i) => !dropped.has(i));
}

async function sendToHost(snapshot) {
  const json = JSON.stringify(snapshot);
  const bytes = json.length * 3 <= MAX_MESSAGE_BYTES ? json.length : byteLength(json);
  const tooBig = () => new UserError(text('tooBig', Math.ceil(bytes / (1024 * 1024))));
  if (bytes > MAX_MESSAGE_BYTES) throw tooBig();
  try {
    // A message over the limit throws before any promise exists.
    return await api.runtime.sendNativeMessage(HOST, snapshot);
  } catch (e) {
    if (/maximum allowed size/i.test(e.message)) throw tooBig();
    throw new UserError(explainHostError(e.message));
  }
}

async function notify(message) {
  try {
    await api.notifications.create({
      type: 'basic',
      iconUrl: api.runtime.getURL('icons/leafstash-128.png'),
      title: text('extensionName'),
      message,
    });
  } catch (e) {
    console.error('Leafstash:', message, e);
  }
}

// The menu's action, on the link ClickedLink ({ href, innerText }) when the
// menu was opened on one. Returns what happened, for the tests: the
// program's answer, or the message the user was shown, and the time it took.
async function savePage(tabId, frameId = 0, clickedLink = undefined) {
  const started = performance.now();
  const outcome = {};
  try {
    const notShown = [];
    const snapshot = await capturePage(tabId, frameId, notShown, clickedLink);
    fitDocuments(snapshot, notShown);
    outcome.links = snapshot.links.length;
    outcome.frames = snapshot.frames.length;
    outcome.documents = snapshot.documents.length;
    outcome.cookies = snapshot.cookies.length;
    outcome.notShown = notShown;
    outcome.captureMs = performance.now() - started;
    outcome.timings = globalThis.lastTimings;
    outcome.answer = await sendToHost(snapshot);
    if (outcome.answer?.status !== 0) {
      outcome.shown = text('startFailed', outcome.answer?.message ?? JSON.stringify(outcome.answer));
    } else if (notShown.length > 0) {
      // Saved all the same; the user learns which parts come from the web.
      const reasons = { noAnswer: text('noAnswer'), unreadable: text('unreadable'), tooBig: text('tooBigPart') };
      outcome.shown = text('notShown', notShown.map((n) => `${n.url} (${reasons[n.reason]})`).join(', '));
    }
  } catch (e) {
    outcome.shown = e instanceof UserError ? e.message : text('hostError', e.message);
  }
  outcome.ms = performance.now() - started;
  if (outcome.shown) await notify(outcome.shown);
  return outcome;
}
globalThis.savePage = savePage;
globalThis.capturePage = capturePage;

api.runtime.onInstalled.addListener(createMenu);
api.runtime.onStartup.addListener(createMenu);
api.contextMenus.onClicked.addListener((info, tab) => {
  if (info.menuItemId !== MENU_ID || tab?.id === undefined) return;
  // Firefox names the link's text; Chromium does not.
  const link = info.linkUrl ? { href: info.linkUrl, innerText: info.linkText ?? '' } : undefined;
  savePage(tab.id, info.frameId ?? 0, link);
});

// For the tests of a browser no test driver can steer: a copy of the
// extension that carries test-hook.json saves, by itself, every page whose
// address ends in the hook's trigger, after delayMs. With a report
// address, it posts what the action did ("outcome") and a picture of the
// whole page once it is done ("live"); a page whose address ends in the
// hook's shot only has its picture posted ("copy"). The extension as
// shipped has no such file, and then nothing here runs.
async function startTestHook() {
  let hook;
  try {
    const reply = await fetch(api.runtime.getURL('test-hook.json'));
    if (!reply.ok) return;
    hook = await reply.json();
  } catch {
    return;
  }
  const sleep = (ms) => new Promise((done) => setTimeout(done, ms ?? 0));
  const report = (name, body) => (hook.report
    ? fetch(`${hook.report}?name=${name}`, { method: 'POST', body }).catch(() => {})
    : Promise.resolve());
  // The whole page, as Firefox draws it.
  const picture = async (tabId) => {
    const [{ result: [width, height] }] = await api.scripting.executeScript({
      target: { tabId },
      func: () => [document.documentElement.scrollWidth, document.documentElement.scrollHeight],
    });
    const shot = await api.tabs.captureTab(tabId, { format: 'png', rect: { x: 0, y: 0, width, height }, scale: 1 });
    return (await fetch(shot)).blob();
  };
  const done = new Set();
  const maybeSave = async (tab) => {
    if (tab.status !== 'complete' || done.has(tab.id)) return;
    const save = tab.url?.endsWith(hook.trigger);
    const shot = hook.shot && tab.url?.endsWith(hook.shot);
    if (!save && !shot) return;
    done.add(tab.id);
    await sleep(hook.delayMs);
    if (save) await report('outcome', JSON.stringify(await savePage(tab.id, 0)));
    if (hook.report) await report(save ? 'live' : 'copy', await picture(tab.id).catch((e) => String(e)));
  };
  api.tabs.onUpdated.addListener((tabId, change, tab) => maybeSave(tab));
  // The page may have loaded before this script ran.
  for (const tab of await api.tabs.query({})) maybeSave(tab);
}
startTestHook();
