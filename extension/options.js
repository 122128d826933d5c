// The extension's own setting: whether the pictures that wait for
// scrolling are loaded before the page is read.
'use strict';

const api = globalThis.browser ?? globalThis.chrome;

for (const element of document.querySelectorAll('[data-message]')) {
  element.textContent = api.i18n.getMessage(element.dataset.message) || element.textContent;
}
const box = document.getElementById('loadLazyPictures');
api.storage.local.get({ loadLazyPictures: true }).then((stored) => {
  box.checked = stored.loadLazyPictures;
});
box.addEventListener('change', () => api.storage.local.set({ loadLazyPictures: box.checked }));
