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

// Runs in every frame of the tab: what the program asks of a document.
function readFrame() {
  // Text with a lone surrogate (a script's title, an emoji cut in two)
  // would make the message invalid JSON for the program.
  const text = (value) => String(value ?? '').toWellFormed();
  const holder = document.createElement('div');
  const selection = getSelection();
  for (let i = 0; i < (selection ? selection.rangeCount : 0); i++) {
    const range = selection.getRangeAt(i);
    // A selection inside one link's text is that link: the fragment is
    // the link with what was selected of it, as its markup.
    const inside = range.commonAncestorContainer;
    const link = (inside.nodeType === Node.ELEMENT_NODE ? inside : inside.parentElement)
      ?.closest('a[href], area[href]');
    if (link && !range.collapsed) {
      const whole = link.cloneNode(false);
      whole.appendChild(range.cloneContents());
      holder.appendChild(whole);
    } else {
      holder.appendChild(range.cloneContents());
    }
  }
  // The selection's links as the browser resolved them (a <base> counts).
  for (const link of holder.querySelectorAll('a[href], area[href]')) {
    if (typeof link.href === 'string') link.setAttribute('href', link.href);
  }
  const absolute = (link) => {
    if (typeof link.href === 'string') return link.href;
    try {
      return new URL(link.href.baseVal, document.baseURI).href;  // an SVG link
    } catch {
      return '';
    }
  };
  const links = Array.from(document.links, (link) => ({
    href: text(absolute(link)),
    innerText: text(link.innerText ?? link.textContent).trim(),
  }));
  // This frame's place among its parent's frames, in document order; the
  // parent's frames can be compared even across origins.
  let index = -1;
  if (window.parent !== window) {
    for (let i = 0; i < window.parent.frames.length; i++) {
      if (window.parent.frames[i] === window) {
        index = i;
        break;
      }
    }
  }
  // One string crosses to the extension faster than thousands of objects.
  return JSON.stringify({
    location: text(location.href),
    documentUrl: text(document.URL),
    title: text(document.title),
    selectionHtml: text(holder.innerHTML),
    links,
    index,
  });
}

// The page snapshot for the frame FrameId of the tab: the parent window's
// address, title and frames; the frame's own address, selection and links.
async function capturePage(tabId, frameId) {
  let navigation;
  let results;
  try {
    [navigation, results] = await Promise.all([
      api.webNavigation.getAllFrames({ tabId }),
      api.scripting.executeScript({ target: { tabId, allFrames: true }, func: readFrame }),
    ]);
  } catch (e) {
    throw new UserError(text('cannotRead', e.message));
  }
  const read = new Map();
  for (const result of results ?? []) {
    if (result && typeof result.result === 'string') read.set(result.frameId, JSON.parse(result.result));
  }
  const frames = new Map((navigation ?? []).map((f) => [f.frameId, f]));
  const own = read.get(frameId);
  if (!own) throw new UserError(text('cannotRead', frames.get(frameId)?.url ?? 'no frame'));

  const parentId = frames.get(frameId)?.parentFrameId ?? -1;
  const parentFrameId = parentId >= 0 ? parentId : frameId;
  const parent = read.get(parentFrameId);
  const children = [...frames.values()]
    .filter((f) => f.parentFrameId === parentFrameId)
    .map((f) => ({ frame: f, read: read.get(f.frameId) }))
    .sort((a, b) => (a.read?.index ?? 1e9) - (b.read?.index ?? 1e9) || a.frame.frameId - b.frame.frameId);
  return {
    url: parent ? parent.documentUrl : frames.get(parentFrameId)?.url ?? own.documentUrl,
    title: parent ? parent.title : '',
    documentUrl: own.documentUrl,
    selectionHtml: own.selectionHtml,
    links: own.links,
    frames: children.map((c) => ({
      location: c.read ? c.read.location : c.frame.url,
      title: c.read ? c.read.title : '',
    })),
  };
}

// What a failure to reach the program means, and what to do about it.
function explainHostError(message) {
  if (/not found|No such native application/i.test(message)) return text('notRegistered');
  if (/forbidden/i.test(message)) return text('forbidden');
  if (/exited|communicating/i.test(message)) return text('hostFailed');
  return text('hostError', message);
}

async function sendToHost(snapshot) {
  const bytes = new TextEncoder().encode(JSON.stringify(snapshot)).length;
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

// The menu's action. Returns what happened, for the tests: the program's
// answer, or the message the user was shown, and the time it took.
async function savePage(tabId, frameId = 0) {
  const started = performance.now();
  const outcome = {};
  try {
    const snapshot = await capturePage(tabId, frameId);
    outcome.links = snapshot.links.length;
    outcome.frames = snapshot.frames.length;
    outcome.captureMs = performance.now() - started;
    outcome.answer = await sendToHost(snapshot);
    if (outcome.answer?.status !== 0) {
      outcome.shown = text('startFailed', outcome.answer?.message ?? JSON.stringify(outcome.answer));
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
  if (info.menuItemId === MENU_ID && tab?.id !== undefined) savePage(tab.id, info.frameId ?? 0);
});

// For the tests of a browser no test driver can steer: a copy of the
// extension that carries test-hook.json saves, by itself, every page whose
// address ends in the hook's trigger. The extension as shipped has no such
// file, and then nothing here runs.
async function startTestHook() {
  let hook;
  try {
    const reply = await fetch(api.runtime.getURL('test-hook.json'));
    if (!reply.ok) return;
    hook = await reply.json();
  } catch {
    return;
  }
  const done = new Set();
  const maybeSave = (tab) => {
    if (tab.status !== 'complete' || !tab.url?.endsWith(hook.trigger) || done.has(tab.id)) return;
    done.add(tab.id);
    savePage(tab.id, 0);
  };
  api.tabs.onUpdated.addListener((tabId, change, tab) => maybeSave(tab));
  // The page may have loaded before this script ran.
  for (const tab of await api.tabs.query({})) maybeSave(tab);
}
startTestHook();
