// The listeners of window.chrome.webview. They are called as the browser calls an event
// target's listeners: capturing ones first, then the others, each in the order added;
// one registration per listener and phase; `once` and `signal`; objects with handleEvent;
// stopImmediatePropagation; a listener's exception reported as uncaught without keeping
// the others from their call. What differs is the event: a plain object with the fields
// and methods of a message event instead of a browser event. Creating and dispatching
// browser events costs a page several microseconds a message until its heap has grown,
// which would make a burst of host messages the slowest part of their way.
// Called by the page API with the object that stands as the events' target.
(function (eventTarget) {
  'use strict';
  const apply = Reflect.apply;
  const freeze = Object.freeze;
  const MapClass = Map;
  const mapGet = Map.prototype.get;
  const mapSet = Map.prototype.set;
  const TypeErrorClass = TypeError;
  const AbortSignalClass = AbortSignal;
  const abortedOf = Object.getOwnPropertyDescriptor(AbortSignal.prototype, 'aborted').get;
  const addListener = EventTarget.prototype.addEventListener;
  const setTimeoutNative = setTimeout;
  // As the browser reports an exception of a listener: uncaught, to the window's
  // error event and the console (browsers before reportError: thrown from a task).
  const reportUncaught = typeof reportError === 'function' ? reportError :
      (error) => { setTimeoutNative(() => { throw error; }, 0); };
  const performanceNow = Performance.prototype.now;
  const performanceObject = performance;
  const arrayFilter = Array.prototype.filter;
  const empty = freeze([]);

  // Registrations by event type. A list is replaced, never changed in place: a dispatch
  // under way goes through the list it began with and skips what was removed since.
  const registrations = new MapClass();
  const listOf = (type) => apply(mapGet, registrations, [type]) || empty;
  // Counts the changes, so that a batch of events sees each change from the next event on.
  let changes = 0;
  const replaceList = (type, list) => {
    apply(mapSet, registrations, [type, list]);
    changes++;
  };

  const isDictionary = (options) =>
      options !== null && (typeof options === 'object' || typeof options === 'function');
  const flagsOf = (options) => {
    if (!isDictionary(options)) return { capture: !!options, once: false, signal: null };
    const signal = options.signal;
    if (signal !== undefined && !(signal instanceof AbortSignalClass)) {
      throw new TypeErrorClass(
          "Failed to execute 'addEventListener': member signal is not of type 'AbortSignal'.");
    }
    return { capture: !!options.capture, once: !!options.once,
             signal: signal === undefined ? null : signal };
  };
  const checkCallback = (method, callback) => {
    if (callback === null || callback === undefined) return false;
    if (typeof callback !== 'function' && typeof callback !== 'object') {
      throw new TypeErrorClass(
          "Failed to execute '" + method + "': parameter 2 is not of type 'Object'.");
    }
    return true;
  };
  const findIn = (list, callback, capture) => {
    for (let i = 0; i < list.length; i++) {
      if (list[i].callback === callback && list[i].capture === capture) return list[i];
    }
    return null;
  };
  const unregister = (type, registration) => {
    registration.removed = true;
    replaceList(type, apply(arrayFilter, listOf(type), [(r) => r !== registration]));
  };

  const add = (type, callback, options) => {
    if (!checkCallback('addEventListener', callback)) return;
    type = '' + type;
    const flags = flagsOf(options);
    if (flags.signal !== null && apply(abortedOf, flags.signal, [])) return;
    const list = listOf(type);
    if (findIn(list, callback, flags.capture) !== null) return;
    const registration =
        { callback: callback, capture: flags.capture, once: flags.once, removed: false };
    const grown = [];
    for (let i = 0; i < list.length; i++) grown[i] = list[i];
    grown[list.length] = registration;
    replaceList(type, grown);
    if (flags.signal !== null) {
      apply(addListener, flags.signal, ['abort', () => {
        if (!registration.removed) unregister(type, registration);
      }, { once: true }]);
    }
  };
  const remove = (type, callback, options) => {
    if (!checkCallback('removeEventListener', callback)) return;
    type = '' + type;
    const capture = isDictionary(options) ? !!options.capture : !!options;
    const registration = findIn(listOf(type), callback, capture);
    if (registration !== null) unregister(type, registration);
  };

  // ----- The event -----
  // Marks an event whose listener called stopImmediatePropagation.
  const stopped = Symbol('stopped');
  class WebViewMessageEvent {
    constructor(data, additionalObjects, timeStamp) {
      this.data = data;
      this.additionalObjects = additionalObjects;
      this.timeStamp = timeStamp;
    }
    stopImmediatePropagation() { this[stopped] = true; }
    stopPropagation() {}
    preventDefault() {}
    composedPath() { return [eventTarget]; }
  }
  const prototype = WebViewMessageEvent.prototype;
  const constants = {
    type: 'message', origin: '', lastEventId: '', source: null, ports: empty,
    target: eventTarget, currentTarget: eventTarget, srcElement: eventTarget, eventPhase: 2,
    bubbles: false, cancelable: false, composed: false, defaultPrevented: false,
    isTrusted: false, NONE: 0, CAPTURING_PHASE: 1, AT_TARGET: 2, BUBBLING_PHASE: 3,
  };
  for (const name in constants) {
    Object.defineProperty(prototype, name, { value: constants[name], enumerable: true });
  }
  // The old ways to stop and cancel are writable; neither changes anything for an
  // event that cannot be cancelled and has no further target.
  Object.defineProperty(prototype, 'returnValue', { get() { return true; }, set() {}, enumerable: true });
  Object.defineProperty(prototype, 'cancelBubble', { get() { return false; }, set() {}, enumerable: true });
  freeze(prototype);
  freeze(WebViewMessageEvent);

  const call = (registration, event) => {
    const callback = registration.callback;
    try {
      if (typeof callback === 'function') {
        apply(callback, eventTarget, [event]);
      } else {
        const handler = callback.handleEvent;
        if (typeof handler !== 'function') {
          throw new TypeErrorClass("The listener's handleEvent is not a function.");
        }
        apply(handler, callback, [event]);
      }
    } catch (error) {
      reportUncaught(error);
    }
  };
  // The listeners of a type in the order of their calls: capturing ones first.
  const inCallOrder = (type) => {
    const list = listOf(type);
    const ordered = [];
    for (let i = 0; i < list.length; i++) if (list[i].capture) ordered[ordered.length] = list[i];
    for (let i = 0; i < list.length; i++) if (!list[i].capture) ordered[ordered.length] = list[i];
    return ordered;
  };
  // One message event for each message of a batch, all stamped with the batch's time
  // of arrival. Nothing is created while no one listens.
  const dispatchMessages = (batch, additionalObjects) => {
    const timeStamp = apply(performanceNow, performanceObject, []);
    let listeners = empty;
    let seenChanges = -1;
    for (let i = 0; i < batch.length; i++) {
      if (seenChanges !== changes) {
        listeners = inCallOrder('message');
        seenChanges = changes;
      }
      if (listeners.length === 0) continue;
      const event = new WebViewMessageEvent(batch[i], additionalObjects, timeStamp);
      for (let j = 0; j < listeners.length; j++) {
        const registration = listeners[j];
        if (registration.removed) continue;
        if (registration.once) unregister('message', registration);
        call(registration, event);
        if (event[stopped] === true) break;
      }
    }
  };

  return freeze({ add: add, remove: remove, dispatchMessages: dispatchMessages });
})
