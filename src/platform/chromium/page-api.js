// Injected into every document of the web view before the document's own scripts.
// Gives the page window.chrome.webview and reports what the host must know (title,
// fullscreen, close and new-window requests, accelerator keys) through the host's
// binding. Everything the page could tamper with is captured before the page runs.
// Reports are one string: the code of its kind (the Report table, which the host's
// PageReports.h mirrors) followed by its data.
(function (config, makeDirectoryHandles, makeMessageListeners) {
  'use strict';
  const defineProperty = Object.defineProperty;
  // The binding is taken off the global object before any page script runs. Where the
  // browser installs it only after this script (frames in a process of their own), the
  // name is held by an accessor that takes the binding when it arrives.
  let binding = globalThis[config.binding];
  if (typeof binding === 'function') {
    delete globalThis[config.binding];
  } else {
    binding = null;
    defineProperty(globalThis, config.binding, {
      get() { return undefined; },
      set(value) { if (binding === null && typeof value === 'function') binding = value; },
      configurable: false, enumerable: false,
    });
  }

  const apply = Reflect.apply;
  const freeze = Object.freeze;
  const URLClass = URL;
  const addListener = EventTarget.prototype.addEventListener;
  const titleOf = Object.getOwnPropertyDescriptor(Document.prototype, 'title').get;
  const fullscreenElementOf =
      Object.getOwnPropertyDescriptor(Document.prototype, 'fullscreenElement').get;
  const RangeErrorClass = RangeError;
  const FormDataClass = FormData;
  const URLSearchParamsClass = URLSearchParams;
  const charCodeAt = String.prototype.charCodeAt;
  const toLowerCase = String.prototype.toLowerCase;
  const userActivation = navigator.userActivation;
  const isActiveOf = Object.getOwnPropertyDescriptor(UserActivation.prototype, 'isActive').get;
  const nativeOpen = window.open;
  const doc = document;
  const createElement = Document.prototype.createElement;
  const setInputType = Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, 'type').set;
  const isTop = window === window.top;
  const WebSocketClass = WebSocket;
  const socketSend = WebSocket.prototype.send;
  const socketStateOf = Object.getOwnPropertyDescriptor(WebSocket.prototype, 'readyState').get;
  const messageDataOf = Object.getOwnPropertyDescriptor(MessageEvent.prototype, 'data').get;
  const jsonParse = JSON.parse;
  const jsonStringify = JSON.stringify;
  const queueMicrotaskNative = queueMicrotask;
  const indexOf = String.prototype.indexOf;
  const slice = String.prototype.slice;
  const MapClass = Map;
  const mapGet = Map.prototype.get;
  const mapSet = Map.prototype.set;
  const mapDelete = Map.prototype.delete;
  const Uint8ArrayClass = Uint8Array;
  const randomValues = Crypto.prototype.getRandomValues;
  const cryptoObject = crypto;
  const Report = freeze({
    message: 'm',
    nonStringMessage: 'x',
    newWindow: 'n',
    acceleratorKey: 'k',
    title: 't',
    fullscreen: 'f',
    close: 'c',
    fileSystemCall: 'd',
    socketToken: 's',
  });
  // Every report carries the key of this browser run: a page that reaches a bare
  // binding (in a document this script never ran in) cannot speak for it.
  const reportText = (text) => {
    if (binding !== null) binding(config.key + text);
  };
  const report = (kind, data) => { reportText(kind + (data === undefined ? '' : data)); };
  const hasUserGesture = () => {
    try { return apply(isActiveOf, userActivation, []); } catch (e) { return false; }
  };
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
      makeDirectoryHandles((text) => { report(Report.fileSystemCall, text); }) : null;
  const arrayMap = Array.prototype.map;
  const isArray = Array.isArray;

  // ----- window.chrome.webview -----
  // The size of the text as the browser hands it to the host: escaped inside a JSON
  // string, characters outside printable ASCII as \uXXXX. Counted only for texts that
  // might pass the ceiling, so that no message the page may send is too large for the
  // host to read.
  const wireLength = (text) => {
    let bytes = 0;
    for (let i = 0; i < text.length; i++) {
      const unit = apply(charCodeAt, text, [i]);
      if (unit === 0x22 || unit === 0x5C) bytes += 2;
      else if (unit >= 0x20 && unit < 0x7F) bytes += 1;
      else bytes += 6;
    }
    return bytes;
  };
  const exceedsCeiling = (text) => text.length > config.messageCeiling ||
      (text.length * 6 > config.messageCeiling && wireLength(text) > config.messageCeiling);
  // Messages go through the message socket once the host has greeted it, else through
  // the binding. Both ways carry the message's number: the host restores the order
  // where one way overtakes the other. Through the socket, the messages of one task go
  // together, as a JSON array when there are several.
  let socket = null;
  let messagesSent = 0;
  let outgoing = null;
  let outgoingLength = 0;
  const largestBatch = 1 << 20;  // characters
  const flushOutgoing = () => {
    if (outgoing === null) return;
    const batch = outgoing;
    outgoing = null;
    outgoingLength = 0;
    if (socket !== null && apply(socketStateOf, socket, []) === 1) {
      apply(socketSend, socket, [batch.length === 1 ? batch[0] : jsonStringify(batch)]);
    } else {
      for (let i = 0; i < batch.length; i++) reportText(batch[i]);
    }
  };
  const sendMessage = (kind, text) => {
    const entry = kind + messagesSent++ + ':' + text;
    if (socket === null) {
      reportText(entry);
      return;
    }
    if (outgoing !== null && outgoingLength + entry.length > largestBatch) flushOutgoing();
    if (outgoing === null) {
      outgoing = [];
      apply(queueMicrotaskNative, globalThis, [flushOutgoing]);
    }
    outgoing[outgoing.length] = entry;
    outgoingLength += entry.length;
  };
  const webview = {
    postMessage(message) {
      if (!config.messages) return;
      if (typeof message === 'string' && exceedsCeiling(message)) {
        throw new RangeErrorClass('chrome.webview.postMessage: the message is larger than ' +
                                  (config.messageCeiling / 1048576) + ' MiB');
      }
      if (typeof message === 'string') {
        sendMessage(Report.message, message);
      } else {
        sendMessage(Report.nonStringMessage, '');
      }
    },
    addEventListener(type, listener, options) { messageListeners.add(type, listener, options); },
    removeEventListener(type, listener, options) { messageListeners.remove(type, listener, options); },
  };
  const messageListeners = makeMessageListeners(webview);
  let chrome = window.chrome;
  if (chrome === undefined || chrome === null) {
    chrome = {};
    defineProperty(window, 'chrome', { value: chrome, writable: false, configurable: false });
  }
  defineProperty(chrome, 'webview',
                 { value: freeze(webview), writable: false, configurable: false, enumerable: true });

  // The host's deliveries are numbered from 0 in each document and run in that order,
  // whether they came as DevTools calls or through the message socket.
  let nextDelivery = 0;
  const waitingDeliveries = new MapClass();
  const noObjects = freeze([]);
  const deliverBatch = (batch, objects) => {
    if (!config.messages || !isArray(batch)) return;
    const additional = directoryHandles !== null && isArray(objects) ?
        freeze(apply(arrayMap, objects, [directoryHandles.handleFor])) : noObjects;
    messageListeners.dispatchMessages(batch, additional);
  };
  const deliverInOrder = (number, batch, objects) => {
    if (number !== nextDelivery) {
      if (number > nextDelivery) apply(mapSet, waitingDeliveries, [number, [batch, objects]]);
      return;
    }
    let next = [batch, objects];
    while (next !== undefined) {
      apply(mapDelete, waitingDeliveries, [nextDelivery]);
      nextDelivery++;
      deliverBatch(next[0], next[1]);
      next = apply(mapGet, waitingDeliveries, [nextDelivery]);
    }
  };

  // The host's way in through DevTools: called by the host in this document's context.
  defineProperty(window, config.dispatcher, {
    value: function (key, number, batch, objects) {
      if (key === config.key && typeof number === 'number') deliverInOrder(number, batch, objects);
    },
    writable: false, configurable: false, enumerable: false,
  });

  // The host's replies to the folder handles' calls; a read's reply comes with the file
  // input that holds the file.
  defineProperty(window, config.fileSystemReplies, {
    value: function (reply, fileInput) {
      if (directoryHandles !== null) directoryHandles.receiveReply(reply, fileInput);
    },
    writable: false, configurable: false, enumerable: false,
  });
  defineProperty(window, config.fileInputMaker, {
    value: function () {
      const input = apply(createElement, doc, ['input']);
      apply(setInputType, input, ['file']);
      return input;
    },
    writable: false, configurable: false, enumerable: false,
  });

  // ----- New windows: reported to the host, never opened -----
  // A target names this window, a frame that exists (the browser loads there), or a
  // new window (reported with whether the user asked for it).
  const lowered = (text) => apply(toLowerCase, '' + text, []);
  const namesThisWindow = (target) => {
    const name = lowered(target);
    return name === '_self' || name === '_top' || name === '_parent';
  };
  const isWindow = (value) => {
    try { return value !== null && value !== undefined && value.window === value; } catch (e) { return false; }
  };
  const namesAFrame = (target) => {
    if (lowered(target) === '_blank') return false;
    let visited = 0;
    const search = (win, depth) => {
      if (depth > 8 || ++visited > 200) return false;
      try { if (isWindow(win[target])) return true; } catch (e) {}
      let count = 0;
      try { count = win.length; } catch (e) {}
      for (let i = 0; i < count; i++) {
        let child = null;
        try { child = win[i]; } catch (e) {}
        if (isWindow(child) && search(child, depth + 1)) return true;
      }
      return false;
    };
    return search(window.top, 0);
  };
  const opensInPlace = (target) => target === undefined || target === null || target === '' ||
      namesThisWindow(target) || namesAFrame('' + target);
  const reportNewWindow = (url) => { report(Report.newWindow, (hasUserGesture() ? '1' : '0') + url); };
  const baseTarget = () => {
    const base = doc.querySelector('base[target]');
    return base === null ? '' : base.target;
  };
  defineProperty(window, 'open', {
    value: function open(url, target, features) {
      if (target !== undefined && target !== null && target !== '' && opensInPlace(target)) {
        return apply(nativeOpen, window, [url, target, features]);
      }
      reportNewWindow(absoluteUrl(url));
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
    reportNewWindow(link.href);
  };
  // A GET form sends its fields as the query of the address it opens.
  const submittedUrl = (form, submitter) => {
    const override = (name) => submitter && submitter.hasAttribute(name);
    const action = absoluteUrl(override('formaction') ? submitter.formAction : form.action);
    const method = override('formmethod') ? submitter.formMethod : form.method;
    if (lowered(method) !== 'get') return action;
    try {
      const url = new URLClass(action);
      const query = new URLSearchParamsClass();
      for (const [name, value] of new FormDataClass(form, submitter || null)) {
        query.append(name, typeof value === 'string' ? value : value.name);
      }
      url.search = query.toString();
      return url.href;
    } catch (e) {
      return action;
    }
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
    reportNewWindow(submittedUrl(form, submitter));
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
      report(Report.acceleratorKey,
             (event.type === 'keydown' ? 'd' : 'u') + (event.altKey ? 's' : 'n') + event.keyCode);
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

  // ----- Top document only: the message socket -----
  const hexDigits = '0123456789abcdef';
  const openMessageSocket = () => {
    const bytes = new Uint8ArrayClass(16);
    apply(randomValues, cryptoObject, [bytes]);
    let token = '';
    for (let i = 0; i < bytes.length; i++) token += hexDigits[bytes[i] >> 4] + hexDigits[bytes[i] & 15];
    report(Report.socketToken, token);
    let opened;
    try {
      opened = new WebSocketClass(config.messageSocket + token);
    } catch (e) {
      return;  // not allowed here: the binding carries the messages
    }
    let greeted = false;
    opened.onmessage = (event) => {
      const text = apply(messageDataOf, event, []);
      if (typeof text !== 'string') return;
      if (!greeted) {
        greeted = text === 'hello';
        if (greeted) socket = opened;
        return;
      }
      const space = apply(indexOf, text, [' ']);
      let batch = [];
      try { batch = jsonParse(apply(slice, text, [space + 1])); } catch (e) {}
      deliverInOrder(+apply(slice, text, [0, space]), batch, undefined);
    };
    opened.onclose = () => { if (socket === opened) socket = null; };
  };
  if (config.messages && config.messageSocket !== '') openMessageSocket();

  // ----- Top document only: title, fullscreen, close -----
  let lastTitle = null;
  const reportTitle = () => {
    const title = apply(titleOf, doc, []);
    if (title === lastTitle) return;
    lastTitle = title;
    report(Report.title, title);
  };
  new MutationObserver(reportTitle).observe(doc, { childList: true, subtree: true, characterData: true });
  on(doc, 'DOMContentLoaded', reportTitle, true);

  on(doc, 'fullscreenchange', () => {
    report(Report.fullscreen, (apply(fullscreenElementOf, doc, []) ? '1' : '0'));
  }, true);

  defineProperty(window, 'close', {
    value: function close() { report(Report.close); },
    writable: true, configurable: true,
  });
})
