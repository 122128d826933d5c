// What runs in each frame of the tab at the menu's action: the frame's
// address, title, selection and links, and the frame's document as it
// stands, written out as HTML. The browser sends this function by its
// source, so it uses nothing from outside itself.
//
// Options: { nonce, lazy (load the pictures that wait for scrolling first),
// lazyMs (the most that may take), document (write the document out) }.
'use strict';

async function readFrame(options) {
  // Text with a lone surrogate (a script's title, an emoji cut in two)
  // would make the message invalid JSON for the program.
  const text = (value) => String(value ?? '').toWellFormed();

  // ---- Pictures that wait for scrolling -------------------------------
  // Native loading=lazy pictures are asked for at once; pictures that a
  // script swaps in when they come into view are brought into view, one
  // screen at a time, within the time allowed; the scroll position is
  // put back afterwards.
  async function loadLazyPictures(budgetMs) {
    const end = performance.now() + budgetMs;
    const frame = () => new Promise((done) => {
      requestAnimationFrame(() => requestAnimationFrame(done));
      setTimeout(done, 100);
    });
    const urlLike = /^(https?:|\/|\.{0,2}\/)|\.(jpe?g|png|gif|webp|avif|svg)(\?|#|$)/i;
    const waiting = (element) => {
      if (element instanceof HTMLImageElement) {
        if (element.loading === 'lazy' && !element.complete) return true;
        const src = element.currentSrc || element.getAttribute('src') || '';
        const placeholder = src === '' || src.startsWith('data:');
        for (const a of element.attributes) {
          if (a.name.startsWith('data-') && urlLike.test(a.value.trim()) &&
              (placeholder || !src.endsWith(a.value.trim()))) return true;
        }
        return false;
      }
      // Backgrounds a script sets from an attribute.
      return element.hasAttribute('data-bg') || element.hasAttribute('data-background') ||
        element.hasAttribute('data-background-image') || element.hasAttribute('data-bg-src');
    };
    const eager = [];
    for (const img of document.images) {
      if (img.loading === 'lazy' && !img.complete) {
        img.loading = 'eager';
        eager.push(img);
      }
    }
    const candidates = [...document.images, ...document.querySelectorAll(
      '[data-bg],[data-background],[data-background-image],[data-bg-src]')].filter(waiting);
    const x = scrollX;
    const y = scrollY;
    if (candidates.length > 0 && document.documentElement) {
      const height = Math.max(innerHeight, 1);
      const stops = [...new Set(candidates.map((element) => {
        const top = element.getBoundingClientRect().top + y;
        return Math.max(0, Math.floor(top / height) * height);
      }))].sort((a, b) => a - b);
      for (const stop of stops) {
        if (performance.now() > end) break;
        scrollTo({ left: x, top: stop, behavior: 'instant' });
        await frame();
      }
      scrollTo({ left: x, top: y, behavior: 'instant' });
      await frame();
    }
    // What has begun to load may finish within the time left.
    const loading = [...document.images].filter((img) => !img.complete);
    if (loading.length > 0) {
      await Promise.race([
        Promise.all(loading.map((img) => new Promise((done) => {
          img.addEventListener('load', done, { once: true });
          img.addEventListener('error', done, { once: true });
        }))),
        new Promise((done) => setTimeout(done, Math.max(0, end - performance.now()))),
      ]);
    }
    for (const img of eager) img.loading = 'lazy';
  }

  // ---- The document as it stands, as HTML -----------------------------
  // Written as the browser writes it (the HTML serialisation), but with
  // what the browser shows and its markup does not say: form fields as
  // they are filled in, the picture the browser chose, canvases as their
  // pictures, style sheets as scripts changed them, shadow roots (open and
  // closed) as declarative ones, and frames as marks the extension fills
  // in. Scripts are left in: the program takes out what would run.
  const HTML = 'http://www.w3.org/1999/xhtml';
  const SVG = 'http://www.w3.org/2000/svg';
  const MATHML = 'http://www.w3.org/1998/Math/MathML';
  const VOID = new Set(['area', 'base', 'basefont', 'bgsound', 'br', 'col', 'embed', 'frame',
    'hr', 'img', 'input', 'keygen', 'link', 'meta', 'param', 'source', 'track', 'wbr']);
  const RAW_TEXT = new Set(['style', 'script', 'xmp', 'iframe', 'noembed', 'noframes',
    'plaintext', 'noscript']);
  const TEXT_INPUTS = new Set(['text', 'search', 'url', 'tel', 'email', 'number', 'range',
    'date', 'time', 'datetime-local', 'month', 'week', 'color', 'hidden']);
  // The elements that can show more than their markup says.
  const STATEFUL = 'input,option,textarea,img,canvas,iframe,frame,style,picture';

  const escapeText = (s) => (/[&<>\u00a0]/.test(s)
    ? s.replace(/&/g, '&amp;').replace(/\u00a0/g, '&nbsp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')
    : s);
  const escapeAttribute = (s) => (/[&"<>\u00a0]/.test(s)
    ? s.replace(/&/g, '&amp;').replace(/\u00a0/g, '&nbsp;').replace(/"/g, '&quot;')
      .replace(/</g, '&lt;').replace(/>/g, '&gt;')
    : s);

  // The shadow root of an element, open or closed, as only extensions see.
  const shadowOf = globalThis.chrome?.dom?.openOrClosedShadowRoot
    ? (element) => { try { return chrome.dom.openOrClosedShadowRoot(element); } catch { return null; } }
    : (element) => element.openOrClosedShadowRoot ?? element.shadowRoot ?? null;

  const rulesOf = (sheet) => {
    try {
      return Array.from(sheet.cssRules, (rule) => rule.cssText).join('\n');
    } catch {
      return null;  // another origin's sheet: its text cannot be read
    }
  };
  // The text of a <style> as its rules stand, when a script has changed
  // them (inserted rules, changed declarations); null when the text still
  // says what the rules are.
  const changedStyle = (element) => {
    const sheet = element.sheet;
    if (!sheet) return null;
    const rules = rulesOf(sheet);
    if (rules === null) return null;
    const written = element.textContent;
    if (written.trim() === '') return rules === '' ? null : rules;
    try {
      // The text read afresh gives the same rules unless they changed
      // (a text with @import reads differently here: its rules are taken).
      const fresh = new CSSStyleSheet();
      fresh.replaceSync(written);
      if (rulesOf(fresh) === rules) return null;
    } catch {
      // a text the constructor refuses: the rules are what counts
    }
    return rules;
  };

  // Written out past this many characters, a document is too big to hand
  // over; the program downloads it instead.
  const maxChars = options?.maxChars ?? 60 * 1024 * 1024;
  let written = 0;
  const tooBig = new Error('too big');
  const count = (s) => {
    written += s.length;
    if (written > maxChars) throw tooBig;
    return s;
  };

  // The elements written out here, with every element above them, in a
  // document or shadow root; every other element the browser writes out
  // itself, many times faster.
  const rewrittenIn = new Map();
  const rewritten = (root) => {
    let set = rewrittenIn.get(root);
    if (set) return set;
    set = new Set();
    const mark = (element) => {
      for (let e = element; e && e.nodeType === 1 && !set.has(e); e = e.parentNode) set.add(e);
    };
    for (const element of root.querySelectorAll(STATEFUL)) mark(element);
    const walker = (root.ownerDocument ?? root).createTreeWalker(root, NodeFilter.SHOW_ELEMENT);
    for (let e = walker.nextNode(); e; e = walker.nextNode()) {
      // Closed shadow roots are looked for on custom elements, which are
      // what holds them.
      if (e.shadowRoot || (e.localName.includes('-') && shadowOf(e))) mark(e);
    }
    if (root.adoptedStyleSheets?.length && root.body) mark(root.body);
    rewrittenIn.set(root, set);
    return set;
  };

  const frameIndex = new Map();
  for (let i = 0; i < window.frames.length; i++) frameIndex.set(window.frames[i], i);
  const frameSources = {};

  function serialize(doc, depth) {
    const out = [];
    const nameOf = (element) => (element.namespaceURI === HTML || element.namespaceURI === SVG ||
      element.namespaceURI === MATHML ? element.localName : element.tagName);
    const attributeName = (a) => {
      if (!a.namespaceURI) return a.localName;
      if (a.namespaceURI === 'http://www.w3.org/XML/1998/namespace') return 'xml:' + a.localName;
      if (a.namespaceURI === 'http://www.w3.org/2000/xmlns/') {
        return a.localName === 'xmlns' ? 'xmlns' : 'xmlns:' + a.localName;
      }
      if (a.namespaceURI === 'http://www.w3.org/1999/xlink') return 'xlink:' + a.localName;
      return a.name;
    };

    function start(element, name, changed) {
      out.push('<', name);
      for (const a of element.attributes) {
        const attribute = attributeName(a);
        if (changed && attribute in changed) continue;
        out.push(' ', attribute, '="', count(escapeAttribute(a.value)), '"');
      }
      if (changed) {
        for (const [attribute, value] of Object.entries(changed)) {
          if (value !== null) out.push(' ', attribute, '="', count(escapeAttribute(value)), '"');
        }
      }
      out.push('>');
    }

    // What an element shows differently from its attributes: the state of
    // form fields, the picture the browser chose, a canvas's drawing, a
    // frame's document. Attributes to write instead (null: left out).
    function stateOf(element, name) {
      if (element.namespaceURI !== HTML) return null;
      switch (name) {
        case 'input': {
          const type = element.type;
          // A password is never written, whatever the page put there.
          if (type === 'password') return { value: null };
          if (type === 'checkbox' || type === 'radio') return { checked: element.checked ? '' : null };
          if (TEXT_INPUTS.has(type)) return { value: element.value };
          return null;
        }
        case 'option':
          return { selected: element.selected ? '' : null };
        case 'img':
          if (!element.currentSrc || element.currentSrc.startsWith('blob:')) return { loading: null };
          return { src: element.currentSrc, srcset: null, sizes: null, loading: null };
        case 'canvas': {
          let picture = '';
          try {
            if (element.width > 0 && element.height > 0) picture = element.toDataURL();
          } catch {
            return null;  // drawn from another origin: the browser does not let it be read
          }
          if (!picture.startsWith('data:image/')) return null;
          const style = (element.getAttribute('style') ?? '').trim();
          return {
            style: `${style}${style && !style.endsWith(';') ? ';' : ''}` +
              `background: url("${picture}") 0 0 / 100% 100% no-repeat content-box`,
          };
        }
        case 'iframe':
        case 'frame':
          return frameState(element, name);
        default:
          return null;
      }
    }

    // A frame of this document: one that a script wrote (about:blank and
    // the like, of this origin) goes into the copy as its srcdoc; one
    // with an address of its own is written by its own frame's reader, and
    // the element points at it through a mark the extension fills in.
    function frameState(element, name) {
      let inner = null;
      try {
        inner = element.contentDocument;
      } catch {
        inner = null;
      }
      const location = inner ? String(inner.location?.href ?? '') : '';
      // A frame with a web address that has not loaded it yet (one that
      // waits for scrolling) is not one a script wrote.
      const webSource = (element.getAttribute('src') ?? '').trim() !== '' &&
        /^https?:/i.test(element.src ?? '');
      // What a script wrote into a frame keeps the address of the page
      // that wrote it (document.open): it is not that page.
      const written = element.hasAttribute('srcdoc') || !webSource;
      if (inner && name === 'iframe' && (written || !/^https?:/i.test(location)) && depth < 8 &&
          inner.documentElement) {
        return { srcdoc: serialize(inner, depth + 1), src: null, loading: null };
      }
      if (depth > 0) return { loading: null };  // a frame inside a srcdoc keeps its src
      const index = frameIndex.get(element.contentWindow);
      if (index === undefined) return { loading: null };
      frameSources[index] = text(element.src ?? '');
      return { src: `leafstash-frame-${options.nonce}-${index}`, srcdoc: null, loading: null };
    }

    function children(parent, skipSources) {
      for (let node = parent.firstChild; node; node = node.nextSibling) {
        if (skipSources && node.nodeType === 1 && node.localName === 'source') continue;
        write(node, parent);
      }
    }

    function write(node, parent) {
      switch (node.nodeType) {
        case 1: {  // an element
          const element = node;
          if (!rewritten(element.getRootNode()).has(element)) {
            out.push(count(element.outerHTML));
            return;
          }
          const name = nameOf(element);
          const html = element.namespaceURI === HTML;
          start(element, name, stateOf(element, name));
          if (html && VOID.has(name)) return;
          const shadow = shadowOf(element);
          if (shadow) writeShadow(shadow);
          let rules = null;
          if (html && name === 'template') {
            children(element.content, false);
          } else if (html && name === 'textarea') {
            out.push(count(escapeText(element.value)));
          } else if (html && name === 'style' && (rules = changedStyle(element)) !== null) {
            out.push(count(rules));
          } else {
            // A picture the browser chose among sources shows that one.
            const chosen = html && name === 'picture' &&
              Array.from(element.children).some((c) => c.localName === 'img' && c.currentSrc);
            children(element, chosen);
          }
          if (html && name === 'body') writeAdopted(doc.adoptedStyleSheets);
          out.push('</', name, '>');
          return;
        }
        case 3: {  // text
          const raw = parent.nodeType === 1 && parent.namespaceURI === HTML &&
            RAW_TEXT.has(parent.localName);
          out.push(count(raw ? node.data : escapeText(node.data)));
          return;
        }
        case 4:  // CDATA, in foreign content
          out.push('<![CDATA[', count(node.data), ']]>');
          return;
        case 7:
          out.push('<?', node.target, ' ', count(node.data), '>');
          return;
        case 8:
          out.push('<!--', count(node.data), '-->');
          return;
        case 10: {
          let doctype = `<!DOCTYPE ${node.name}`;
          if (node.publicId) doctype += ` PUBLIC "${node.publicId}"`;
          if (node.systemId) doctype += `${node.publicId ? '' : ' SYSTEM'} "${node.systemId}"`;
          out.push(doctype, '>');
          return;
        }
        default:
          children(node, false);
      }
    }

    function writeAdopted(sheets) {
      for (const sheet of sheets ?? []) {
        const rules = rulesOf(sheet);
        if (rules) out.push('<style>', count(rules), '</style>');
      }
    }

    function writeShadow(shadow) {
      out.push(`<template shadowrootmode="${shadow.mode}"`);
      if (shadow.delegatesFocus) out.push(' shadowrootdelegatesfocus=""');
      if (shadow.clonable) out.push(' shadowrootclonable=""');
      if (shadow.serializable) out.push(' shadowrootserializable=""');
      out.push('>');
      writeAdopted(shadow.adoptedStyleSheets);
      children(shadow, false);
      out.push('</template>');
    }

    children(doc, false);
    return out.join('');
  }

  // ---- The frame's reading --------------------------------------------
  const lazyStart = performance.now();
  if (options?.lazy) {
    try {
      await loadLazyPictures(options.lazyMs ?? 2500);
    } catch {
      // what could be loaded is loaded
    }
  }

  const readStart = performance.now();
  const lazyMs = readStart - lazyStart;
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
  let html = null;
  let missing;
  const began = performance.now();
  const linksMs = began - readStart;
  // A picture, a text or a PDF the browser shows by itself is what its
  // server sent: only pages are written out.
  if (options?.document && document.contentType !== 'text/html') missing = 'notPage';
  else if (options?.document && document.documentElement) {
    try {
      html = text(serialize(document, 0));
    } catch (e) {
      missing = e === tooBig ? 'tooBig' : 'unreadable';
    }
  }
  // The addresses the frame loaded things from, for the session's cookies.
  const resources = [...new Set(performance.getEntriesByType('resource').map((e) => e.name)
    .filter((name) => /^https?:/i.test(name)).map((name) => new URL(name).origin))];
  // One string crosses to the extension faster than thousands of objects.
  return JSON.stringify({
    location: text(location.href),
    documentUrl: text(document.URL),
    title: text(document.title),
    selectionHtml: text(holder.innerHTML),
    links,
    index,
    html,
    ...(missing ? { htmlMissing: missing } : {}),
    frameSources,
    resources,
    userAgent: navigator.userAgent,
    ms: { lazy: lazyMs, links: linksMs, serialize: performance.now() - began },
  });
}
