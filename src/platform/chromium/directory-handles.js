// The page's directory and file handles for the folders the host grants. They behave
// as the File System Access API's handles; every operation is a call to the host, which
// names the folder by its grant and the entry by plain names beneath it. File bodies
// never travel in calls: a read gets the file itself, put by the host into a file input
// (or fetches the body the host offers), a write sends its bytes to the upload address
// the host gives for it.
// Called by the page API in the top-level document with the function that sends one
// call to the host; returns the handle factory and the receiver of the host's replies.
(function (sendCall) {
  'use strict';
  const apply = Reflect.apply;
  const defineProperty = Object.defineProperty;
  const freeze = Object.freeze;
  const create = Object.create;
  const keysOf = Object.keys;
  const setPrototypeOf = Object.setPrototypeOf;
  const stringify = JSON.stringify;
  const PromiseClass = Promise;
  const MapClass = Map;
  const WeakMapClass = WeakMap;
  const TypeErrorClass = TypeError;
  const DOMExceptionClass = DOMException;
  const BlobClass = Blob;
  const FileClass = File;
  const WritableStreamClass = WritableStream;
  const isView = ArrayBuffer.isView;
  const ArrayBufferClass = ArrayBuffer;
  const nativeFetch = fetch;
  const responseOk = Object.getOwnPropertyDescriptor(Response.prototype, 'ok').get;
  const responseBlob = Response.prototype.blob;
  const blobSize = Object.getOwnPropertyDescriptor(Blob.prototype, 'size').get;
  const inputFiles = Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, 'files').get;
  const fileListItem = FileList.prototype.item;
  const getWriter = WritableStream.prototype.getWriter;
  const writerWrite = WritableStreamDefaultWriter.prototype.write;
  const releaseLock = WritableStreamDefaultWriter.prototype.releaseLock;
  const mapGet = Map.prototype.get, mapSet = Map.prototype.set, mapDelete = Map.prototype.delete;
  const weakGet = WeakMap.prototype.get, weakSet = WeakMap.prototype.set;
  const slice = Array.prototype.slice;
  const iteratorSymbol = Symbol.asyncIterator;
  const prototypes = {
    directory: globalThis.FileSystemDirectoryHandle ? FileSystemDirectoryHandle.prototype : Object.prototype,
    file: globalThis.FileSystemFileHandle ? FileSystemFileHandle.prototype : Object.prototype,
    writable: globalThis.FileSystemWritableFileStream ? FileSystemWritableFileStream.prototype : null,
  };

  // ----- Calls and replies -----
  const waiting = new MapClass();
  let nextId = 1;
  const failure = (reply) => reply.error === 'TypeError' ? new TypeErrorClass(reply.message) :
      new DOMExceptionClass(reply.message, reply.error);
  const call = (op, members) => new PromiseClass((resolve, reject) => {
    const id = nextId++;
    apply(mapSet, waiting, [id, { resolve: resolve, reject: reject }]);
    members.id = id;
    members.op = op;
    sendCall(stringify(members));
  });
  const receiveReply = (reply, fileInput) => {
    if (reply === null || typeof reply !== 'object') return;
    const entry = apply(mapGet, waiting, [reply.id]);
    if (entry === undefined) return;
    apply(mapDelete, waiting, [reply.id]);
    if (reply.ok === true) {
      reply.fileInput = fileInput;
      entry.resolve(reply);
    } else {
      entry.reject(failure(reply));
    }
  };

  const checkedName = (name) => {
    name = '' + name;
    if (name === '' || name === '.' || name === '..' || name.indexOf('/') >= 0 ||
        name.indexOf('\\') >= 0 || name.indexOf('\0') >= 0) {
      throw new TypeErrorClass('Name is not allowed.');
    }
    return name;
  };

  // ----- Handles -----
  // What each handle stands for, out of the page's reach: grant, path, kind.
  const entries = new WeakMapClass();
  const entryOf = (handle) =>
      (handle !== null && typeof handle === 'object') ? apply(weakGet, entries, [handle]) : undefined;
  const own = (object, name, value) =>
      defineProperty(object, name, { value: value, writable: false, configurable: true, enumerable: false });

  const newHandle = (kind, grant, path, name) => {
    const handle = create(prototypes[kind]);
    apply(weakSet, entries, [handle, freeze({ kind: kind, grant: grant, path: freeze(path) })]);
    defineProperty(handle, 'kind', { value: kind, enumerable: true, configurable: true });
    defineProperty(handle, 'name', { value: name, enumerable: true, configurable: true });
    const methods = kind === 'directory' ? directoryMethods : fileMethods;
    const names = keysOf(methods);
    for (let i = 0; i < names.length; i++) own(handle, names[i], methods[names[i]]);
    if (kind === 'directory') own(handle, iteratorSymbol, directoryMethods.entries);
    return handle;
  };
  const childPath = (entry, name) => {
    const path = apply(slice, entry.path, []);
    path.push(name);
    return path;
  };
  const thisEntry = (handle, kind) => {
    const entry = entryOf(handle);
    if (entry === undefined || entry.kind !== kind) throw new TypeErrorClass('Illegal invocation');
    return entry;
  };

  const commonMethods = {
    async isSameEntry(other) {
      const mine = entryOf(this), theirs = entryOf(other);
      if (mine === undefined || theirs === undefined) return false;
      if (mine.kind !== theirs.kind || mine.grant !== theirs.grant ||
          mine.path.length !== theirs.path.length) return false;
      for (let i = 0; i < mine.path.length; i++) if (mine.path[i] !== theirs.path[i]) return false;
      return true;
    },
    async queryPermission() { return 'granted'; },
    async requestPermission() { return 'granted'; },
  };

  const getEntry = async (handle, op, kind, name, options) => {
    const entry = thisEntry(handle, 'directory');
    name = checkedName(name);
    await call(op, { grant: entry.grant, path: entry.path, name: name,
                     create: !!(options && options.create) });
    return newHandle(kind, entry.grant, childPath(entry, name), name);
  };

  const directoryMethods = {
    getDirectoryHandle(name, options) {
      return getEntry(this, 'get-directory', 'directory', name, options);
    },
    getFileHandle(name, options) {
      return getEntry(this, 'get-file', 'file', name, options);
    },
    async removeEntry(name, options) {
      const entry = thisEntry(this, 'directory');
      await call('remove', { grant: entry.grant, path: entry.path, name: checkedName(name),
                             recursive: !!(options && options.recursive) });
    },
    async *entries() {
      const entry = thisEntry(this, 'directory');
      const reply = await call('list', { grant: entry.grant, path: entry.path });
      for (let i = 0; i < reply.entries.length; i++) {
        const item = reply.entries[i];
        yield [item.name, newHandle(item.kind, entry.grant, childPath(entry, item.name), item.name)];
      }
    },
    async *keys() {
      for await (const pair of directoryMethods.entries.call(this)) yield pair[0];
    },
    async *values() {
      for await (const pair of directoryMethods.entries.call(this)) yield pair[1];
    },
    async resolve(possibleDescendant) {
      const mine = thisEntry(this, 'directory');
      const theirs = entryOf(possibleDescendant);
      if (theirs === undefined || theirs.grant !== mine.grant ||
          theirs.path.length < mine.path.length) return null;
      for (let i = 0; i < mine.path.length; i++) if (mine.path[i] !== theirs.path[i]) return null;
      return apply(slice, theirs.path, [mine.path.length]);
    },
    isSameEntry: commonMethods.isSameEntry,
    queryPermission: commonMethods.queryPermission,
    requestPermission: commonMethods.requestPermission,
  };

  // ----- Files -----
  const blobOf = (data) => {
    if (data instanceof BlobClass) return data;
    if (typeof data === 'string' || data instanceof ArrayBufferClass || isView(data)) {
      return new BlobClass([data]);
    }
    throw new TypeErrorClass('The data to write must be a string, a BufferSource or a Blob.');
  };

  // Sends the bytes of one write to the upload address the host gives for it.
  const upload = async (writer, position, blob) => {
    const size = apply(blobSize, blob, []);
    if (size === 0) return 0;
    const reply = await call('write', { writer: writer, position: position, size: size });
    let response;
    try {
      response = await apply(nativeFetch, globalThis,
                             [reply.url, { method: 'POST', body: blob, cache: 'no-store' }]);
    } catch (e) {
      throw new DOMExceptionClass('The data could not be written.', 'InvalidStateError');
    }
    if (!apply(responseOk, response, [])) {
      throw new DOMExceptionClass('The data could not be written.', 'InvalidStateError');
    }
    return size;
  };

  const newWritable = (writer, initialSize) => {
    const state = { position: 0, size: initialSize };
    const writeChunk = async (chunk) => {
      const isCommand = chunk !== null && typeof chunk === 'object' && !(chunk instanceof BlobClass) &&
          !(chunk instanceof ArrayBufferClass) && !isView(chunk);
      if (!isCommand) chunk = { type: 'write', data: chunk };
      if (chunk.type === 'seek') {
        if (typeof chunk.position !== 'number' || !(chunk.position >= 0)) {
          throw new TypeErrorClass('Invalid params passed. seek requires a position argument');
        }
        state.position = chunk.position;
        return;
      }
      if (chunk.type === 'truncate') {
        if (typeof chunk.size !== 'number' || !(chunk.size >= 0)) {
          throw new TypeErrorClass('Invalid params passed. truncate requires a size argument');
        }
        await call('truncate', { writer: writer, size: chunk.size });
        state.size = chunk.size;
        if (state.position > state.size) state.position = state.size;
        return;
      }
      if (chunk.type !== 'write' || chunk.data === undefined || chunk.data === null) {
        throw new TypeErrorClass('Invalid params passed. write requires a data argument');
      }
      if (chunk.position !== undefined && chunk.position !== null) {
        if (typeof chunk.position !== 'number' || !(chunk.position >= 0)) {
          throw new TypeErrorClass('Invalid params passed. position must be a number');
        }
        state.position = chunk.position;
      }
      const written = await upload(writer, state.position, blobOf(chunk.data));
      state.position += written;
      if (state.position > state.size) state.size = state.position;
    };
    const stream = new WritableStreamClass({
      write: writeChunk,
      close: () => call('close', { writer: writer }).then(() => undefined),
      abort: () => call('abort', { writer: writer }).then(() => undefined),
    });
    if (prototypes.writable !== null) setPrototypeOf(stream, prototypes.writable);
    const throughWriter = async (stream, chunk) => {
      const streamWriter = apply(getWriter, stream, []);
      try {
        return await apply(writerWrite, streamWriter, [chunk]);
      } finally {
        apply(releaseLock, streamWriter, []);
      }
    };
    own(stream, 'write', function write(data) { return throughWriter(this, data); });
    own(stream, 'seek', function seek(position) {
      return throughWriter(this, { type: 'seek', position: position });
    });
    own(stream, 'truncate', function truncate(size) {
      return throughWriter(this, { type: 'truncate', size: size });
    });
    return stream;
  };

  const notReadable = () => new DOMExceptionClass('The file could not be read.', 'NotReadableError');
  // The file the host put into the reply's input: read by the browser from disk when
  // the page reads it, and no longer readable once the file has changed.
  const sharedFile = (fileInput) => {
    try {
      return apply(fileListItem, apply(inputFiles, fileInput, []), [0]);
    } catch (e) {
      return null;
    }
  };
  const fetchedBody = async (url) => {
    let response;
    try {
      response = await apply(nativeFetch, globalThis, [url, { cache: 'no-store' }]);
    } catch (e) {
      throw notReadable();
    }
    if (!apply(responseOk, response, [])) throw notReadable();
    return apply(responseBlob, response, []);
  };

  const fileMethods = {
    async getFile() {
      const entry = thisEntry(this, 'file');
      const reply = await call('read', { grant: entry.grant, path: entry.path });
      const body = typeof reply.url === 'string' ? await fetchedBody(reply.url) :
          sharedFile(reply.fileInput);
      if (body === null || body === undefined) throw notReadable();
      return new FileClass([body], entry.path[entry.path.length - 1],
                           { type: reply.type, lastModified: reply.lastModified });
    },
    async createWritable(options) {
      const entry = thisEntry(this, 'file');
      const reply = await call('open-writable', {
        grant: entry.grant, path: entry.path,
        keepExistingData: !!(options && options.keepExistingData),
      });
      return newWritable(reply.writer, reply.size);
    },
    isSameEntry: commonMethods.isSameEntry,
    queryPermission: commonMethods.queryPermission,
    requestPermission: commonMethods.requestPermission,
  };

  // A folder the host granted, as the message event's additional object.
  const handleFor = (granted) => {
    if (granted === null || typeof granted !== 'object') return null;
    return newHandle('directory', '' + granted.grant, [], '' + granted.name);
  };

  return freeze({ handleFor: handleFor, receiveReply: receiveReply });
})
