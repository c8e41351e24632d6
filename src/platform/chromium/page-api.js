// Injected into every document of the web view before the document's own scripts.
// Gives the page window.chrome.webview and reports what the host must know (title,
// fullscreen, close and new-window requests, accelerator keys) through the host's
// binding. Everything the page could tamper with is captured before the page runs.
// Reports are one string: a kind letter followed by its data.
(function (config, makeDirectoryHandles) {
  'use strict';
  const binding = globalThis[config.binding];
  if (typeof binding !== 'function') return;
  delete globalThis[config.binding];

  const apply = Reflect.apply;
  const defineProperty = Object.defineProperty;
  const freeze = Object.freeze;
  const URLClass = URL;
  const MessageEventClass = MessageEvent;
  const addListener = EventTarget.prototype.addEventListener;
  const removeListener = EventTarget.prototype.removeEventListener;
  const dispatchEvent = EventTarget.prototype.dispatchEvent;
  const titleOf = Object.getOwnPropertyDescriptor(Document.prototype, 'title').get;
  const fullscreenElementOf =
      Object.getOwnPropertyDescriptor(Document.prototype, 'fullscreenElement').get;
  const nativeOpen = window.open;
  const doc = document;
  const isTop = window === window.top;
  const report = (text) => { binding(text); };
  const on = (target, type, listener, capture) =>
      apply(addListener, target, [type, listener, { capture: capture, passive: false }]);

  const absoluteUrl = (url) => {
    try {
      return new URLClass(url === undefined || url === null || url === '' ? 'about:blank' :
                          '' + url, doc.baseURI).href;
    } catch (e) {
      return '' + url;
    }
  };

  // The folder handles the host grants: for the top-level document only.
  const directoryHandles = isTop && typeof makeDirectoryHandles === 'function' ?
      makeDirectoryHandles((text) => { report('d' + text); }) : null;
  const arrayMap = Array.prototype.map;
  const isArray = Array.isArray;

  // ----- window.chrome.webview -----
  const listeners = new EventTarget();
  const webview = {
    postMessage(message) {
      if (!config.messages) return;
      report(typeof message === 'string' ? 'm' + message : 'x');
    },
    addEventListener(type, listener, options) {
      apply(addListener, listeners, [type, listener, options]);
    },
    removeEventListener(type, listener, options) {
      apply(removeListener, listeners, [type, listener, options]);
    },
  };
  let chrome = window.chrome;
  if (chrome === undefined || chrome === null) {
    chrome = {};
    defineProperty(window, 'chrome', { value: chrome, writable: false, configurable: false });
  }
  defineProperty(chrome, 'webview',
                 { value: freeze(webview), writable: false, configurable: false, enumerable: true });

  // The host's way in: called by the host in this document's context.
  defineProperty(window, config.dispatcher, {
    value: function (data, objects) {
      if (!config.messages) return;
      const event = new MessageEventClass('message', { data: data });
      const additional = directoryHandles !== null && isArray(objects) ?
          apply(arrayMap, objects, [directoryHandles.handleFor]) : [];
      defineProperty(event, 'additionalObjects', { value: freeze(additional), enumerable: true });
      apply(dispatchEvent, listeners, [event]);
    },
    writable: false, configurable: false, enumerable: false,
  });

  // The host's replies to the folder handles' calls.
  defineProperty(window, config.fileSystemReplies, {
    value: function (reply) {
      if (directoryHandles !== null) directoryHandles.receiveReply(reply);
    },
    writable: false, configurable: false, enumerable: false,
  });

  // ----- New windows: reported to the host, never opened -----
  const namesThisWindow = (target) => target === '_self' || target === '_top' || target === '_parent';
  const opensInPlace = (target) => target === undefined || target === '' || namesThisWindow(target);
  const baseTarget = () => {
    const base = doc.querySelector('base[target]');
    return base === null ? '' : base.target;
  };
  defineProperty(window, 'open', {
    value: function open(url, target, features) {
      if (namesThisWindow(target)) return apply(nativeOpen, window, [url, target, features]);
      report('n' + absoluteUrl(url));
      return null;
    },
    writable: true, configurable: true,
  });
  const linkOf = (event) => {
    const path = event.composedPath();
    for (let i = 0; i < path.length; i++) {
      const node = path[i];
      if ((node instanceof HTMLAnchorElement || node instanceof HTMLAreaElement) && node.href) {
        return node;
      }
    }
    return null;
  };
  const onLinkActivated = (event) => {
    if (!event.isTrusted || event.defaultPrevented) return;
    const link = linkOf(event);
    if (link === null || link.hasAttribute('download')) return;
    const modified = event.ctrlKey || event.shiftKey || event.metaKey || event.button === 1;
    if (!modified && opensInPlace(link.target || baseTarget())) return;
    event.preventDefault();
    report('n' + link.href);
  };
  on(window, 'click', onLinkActivated, false);
  on(window, 'auxclick', onLinkActivated, false);
  on(window, 'submit', (event) => {
    if (!event.isTrusted || event.defaultPrevented) return;
    const form = event.target;
    const submitter = event.submitter;
    const target = submitter && submitter.hasAttribute('formtarget') ? submitter.formTarget :
        (form.target || baseTarget());
    if (opensInPlace(target)) return;
    event.preventDefault();
    report('n' + absoluteUrl(submitter && submitter.hasAttribute('formaction') ?
                             submitter.formAction : form.action));
  }, false);

  // ----- Keys: accelerators reported, browser shortcuts blocked -----
  const F1 = 112, F24 = 135;
  const isFunctionKey = (code) => code >= F1 && code <= F24;
  const isEditingShortcut = (code) =>   // Ctrl+A, C, V, X, Y, Z and word-wise editing
      code === 65 || code === 67 || code === 86 || code === 88 || code === 89 || code === 90 ||
      (code >= 33 && code <= 40) || code === 8 || code === 46 || code === 45;
  const isZoomKey = (event) => (event.ctrlKey || event.metaKey) &&
      [187, 189, 107, 109, 48, 96, 61, 173].indexOf(event.keyCode) >= 0;
  const isDevToolsKey = (event) => event.keyCode === 123 ||
      ((event.ctrlKey || event.metaKey) && event.shiftKey &&
       (event.keyCode === 73 || event.keyCode === 74 || event.keyCode === 67)) ||
      ((event.ctrlKey || event.metaKey) && event.keyCode === 85);
  const isModifierKey = (code) =>
      code === 16 || code === 17 || code === 18 || code === 91 || code === 92 || code === 93 ||
      code === 225;
  const isBrowserKey = (event) => {
    const code = event.keyCode;
    if (isModifierKey(code)) return false;
    if (isDevToolsKey(event)) return true;
    if (isFunctionKey(code)) return true;
    if (code >= 166 && code <= 172) return true;  // browser back, forward, refresh, search ...
    if (event.altKey && (code === 37 || code === 39 || code === 36)) return true;
    if (event.ctrlKey || event.metaKey) return !isEditingShortcut(code) || event.shiftKey && code === 46;
    return false;
  };
  const isAccelerator = (event) =>
      event.ctrlKey || event.altKey || event.metaKey || event.key === undefined ||
      event.key.length !== 1;
  const onKey = (event) => {
    if (!event.isTrusted) return;
    if (isAccelerator(event)) {
      report('k' + (event.type === 'keydown' ? 'd' : 'u') + (event.altKey ? 's' : 'n') +
             event.keyCode);
    }
    if ((!config.devTools && isDevToolsKey(event)) || (!config.browserKeys && isBrowserKey(event)) ||
        (!config.zoomControl && isZoomKey(event))) {
      event.preventDefault();
    }
  };
  on(window, 'keydown', onKey, true);
  on(window, 'keyup', onKey, true);
  on(window, 'wheel', (event) => {
    if (event.ctrlKey && (!config.zoomControl || !config.pinchZoom)) event.preventDefault();
  }, true);
  if (!config.contextMenus) on(window, 'contextmenu', (event) => event.preventDefault(), true);

  if (!isTop) return;

  // ----- Top document only: title, fullscreen, close -----
  let lastTitle = null;
  const reportTitle = () => {
    const title = apply(titleOf, doc, []);
    if (title === lastTitle) return;
    lastTitle = title;
    report('t' + title);
  };
  new MutationObserver(reportTitle).observe(doc, { childList: true, subtree: true, characterData: true });
  on(doc, 'DOMContentLoaded', reportTitle, true);

  on(doc, 'fullscreenchange', () => {
    report('f' + (apply(fullscreenElementOf, doc, []) ? '1' : '0'));
  }, true);

  defineProperty(window, 'close', {
    value: function close() { report('c'); },
    writable: true, configurable: true,
  });
})
