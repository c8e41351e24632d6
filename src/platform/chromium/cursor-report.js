// Injected into every document when the host relays the pointer and draws the cursor
// itself (visual hosting): reports the cursor the page shows under the pointer, and the
// page's device pixel ratio, through the host's cursor binding. Reports are one string:
// "c" and the CSS cursor value ("auto" resolved), or "r" and the ratio.
(function (bindingName) {
  'use strict';
  const binding = globalThis[bindingName];
  if (typeof binding !== 'function') return;
  delete globalThis[bindingName];

  const styleOf = getComputedStyle;
  const addListener = EventTarget.prototype.addEventListener;
  const apply = Reflect.apply;
  const ElementClass = Element;
  const textInputTypes = new Set(['', 'text', 'search', 'url', 'tel', 'email', 'password',
                                  'number', 'date', 'datetime-local', 'month', 'time', 'week']);

  // What "auto" shows: the text cursor over editable text, the hand over links, else the
  // arrow.
  const resolveAuto = (element) => {
    for (let node = element; node !== null; node = node.parentElement) {
      if (node.isContentEditable || node.tagName === 'TEXTAREA') return 'text';
      if (node.tagName === 'INPUT') return textInputTypes.has(node.type) ? 'text' : 'default';
      if ((node.tagName === 'A' || node.tagName === 'AREA') && node.hasAttribute('href')) {
        return 'pointer';
      }
    }
    return 'default';
  };

  const cursorAt = (event) => {
    const target = event.composedPath()[0];
    const element = target instanceof ElementClass ? target :
        (target && target.parentElement) || null;
    if (element === null) return 'default';
    const value = styleOf(element).cursor;
    return value === 'auto' ? resolveAuto(element) : value;
  };

  let lastCursor = '';
  const update = (event) => {
    const cursor = cursorAt(event);
    if (cursor === lastCursor) return;
    lastCursor = cursor;
    binding('c' + cursor);
  };
  let lastRatio = 0;
  const reportRatio = () => {
    if (window.devicePixelRatio === lastRatio) return;
    lastRatio = window.devicePixelRatio;
    binding('r' + lastRatio);
  };

  const options = { capture: true, passive: true };
  for (const type of ['pointermove', 'pointerdown', 'pointerup', 'pointerover']) {
    apply(addListener, window, [type, update, options]);
  }
  apply(addListener, window, ['resize', reportRatio, options]);
  if (window === window.top) reportRatio();
})
