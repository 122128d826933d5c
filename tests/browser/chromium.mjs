// Chromium with the real extension, for the tests that drive it.
import path from 'node:path';
import { chromium } from 'playwright-core';

import { extension } from './support.mjs';

// Chromium with the extension, its user data in the home's config folder,
// where -regserver put the host manifest. Only the test's own sites are
// reached (127.0.0.1 and localhost).
export async function launch(home, { viewport } = {}) {
  const context = await chromium.launchPersistentContext(path.join(home.config, 'chromium'), {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    ignoreDefaultArgs: ['--disable-extensions'],
    args: [
      `--disable-extensions-except=${extension}`,
      `--load-extension=${extension}`,
      '--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1 , EXCLUDE localhost',
    ],
    env: home.env,
    ...(viewport ? { viewport } : {}),
  });
  const worker = context.serviceWorkers()[0] ?? await context.waitForEvent('serviceworker');
  return { context, worker };
}

// Runs the menu's action (or only its capture) for the tab showing Url, in
// the frame showing FrameUrl (the top frame when none).
export function action(worker, name, url, frameUrl) {
  return worker.evaluate(async ({ name, url, frameUrl }) => {
    const tab = (await chrome.tabs.query({})).find((t) => t.url === url);
    let frameId = 0;
    if (frameUrl) {
      const frames = await chrome.webNavigation.getAllFrames({ tabId: tab.id });
      frameId = frames.find((f) => f.url === frameUrl).frameId;
    }
    return globalThis[name](tab.id, frameId);
  }, { name, url, frameUrl });
}
