// One combination, in a worker the page ends after the run (nothing of it reaches the next).
// The engine asks it for its files (src/platform/browser.cpp): the chosen files, read in place
// by a reader worker beside it, and the output, a private file system's file or sent in pieces.
// Page to worker: {first, second, output, diskName}, the one run. Worker to page:
//   ready {disk (the output can go there)}; failed {message}
//   report {pieces: [kind, text, ...] since the last (1 standard output, 2 standard
//          error, 3 the message that ended the run), done, total: bytes read}
//   chunk {bytes}, where the output is not on disk
//   end {status, disk, result, columns}: the engine's result and the picture's columns
"use strict";

const kBatchMs = 40;
const kAhead = 64 << 10; // reads below this (the scan's) are served from one slice this large

const decoder = new TextDecoder();
const inputs = new Map(); // the names the engine is given -> {file, chosen: its number}
const open = new Map(); // handle -> {file, chosen, ...} or {} for the output
let [job, ready, handles, read, batch, pieces] = [null, false, 0, 0, 0, []];
let [access, end] = [null, null]; // access: the output's file on disk

const failed = (e) =>
  postMessage({ type: "failed", message: String(e && e.message ? e.message : e) });
function send() {
  clearTimeout(batch);
  batch = 0;
  postMessage({ type: "report", pieces, done: read, total: job.first.size + job.second.size });
  pieces = [];
}

// A chosen file: the scan's small reads from one slice; the audio in blocks from the
// reader, into two buffers of the file's that take turns: while the engine folds and
// writes one block, the next is read into the other, and memory stays flat.
async function fileRead(f, view, at) {
  const n = Math.max(0, Math.min(view.length, f.file.size - at));
  if (n < kAhead) {
    if (!f.ahead || at < f.aheadAt || at + n > f.aheadAt + f.ahead.length) {
      const ahead = await f.file.slice(at, at + kAhead).arrayBuffer();
      [f.ahead, f.aheadAt] = [new Uint8Array(ahead), at];
    }
    view.set(f.ahead.subarray(at - f.aheadAt, at - f.aheadAt + n));
    return n;
  }
  const ahead = f.next && f.next.at === at && f.next.n >= n;
  const block = await (ahead ? f.next.block : blockRead(f, at, n));
  f.next = null;
  if (block.error) throw new Error(block.error);
  const got = Math.min(n, block.filled); // a block read ahead may be longer than this read
  view.set(new Uint8Array(block.buffer, 0, got));
  if (block.filled === got && !block.done) {
    f.next = { at: at + n, n, block: blockRead(f, at + n, n) };
  }
  f.spare = block.buffer;
  return got;
}

// n bytes of a chosen file at `at`, read by the reader into the file's free buffer (a
// buffer handed over is detached and has no length): {buffer, filled, done} or {error}.
function blockRead(f, at, n) {
  const buffer = f.spare && f.spare.byteLength >= n ? f.spare : new ArrayBuffer(n);
  const id = ++reads;
  reading.postMessage({ id, file: f.file, chosen: f.chosen, at, n, buffer }, [buffer]);
  return new Promise((done) => readings.set(id, done));
}
const readings = new Map(); // read -> what takes its block
let reads = 0;
const readerScript = new Blob([`"use strict";(${reader})();`], { type: "text/javascript" });
const reading = new Worker(URL.createObjectURL(readerScript));
reading.onmessage = ({ data }) => { readings.get(data.id)(data); readings.delete(data.id); };
reading.onerror = (e) => {
  e.preventDefault();
  readings.forEach((done) => done({ error: e.message }));
};

// The reader, a worker made from this function's text: puts n bytes from its file's
// stream into the buffer it is handed and hands it back (moved, never copied), on a core
// of its own beside the engine's folding and writing (taking the bytes from the browser
// is most of a read's cost). A read from elsewhere than the stream stands starts it there.
function reader() {
  const files = new Map(); // chosen file -> {stream, at, queue: its reads, in order}
  self.onmessage = ({ data: { id, file, chosen, at, n, buffer } }) => {
    const f = files.get(chosen) || files.set(chosen, { queue: Promise.resolve() }).get(chosen);
    f.queue = f.queue.then(async () => {
      let [filled, done] = [0, false];
      try {
        if (f.at !== at) {
          if (f.stream) f.stream.cancel().catch(() => {});
          [f.stream, f.at] = [file.slice(at).stream().getReader({ mode: "byob" }), at];
        }
        while (filled < n && !done) {
          const into = new Uint8Array(buffer, filled, n - filled);
          const { value, done: end } = await f.stream.read(into);
          // The same memory, handed back.
          [buffer, done, filled] = [value.buffer, end, filled + value.byteLength];
        }
        f.at += filled;
        postMessage({ id, buffer, filled, done }, [buffer]);
      } catch (e) {
        f.at = -1;
        postMessage({ id, error: String(e && e.message ? e.message : e) });
      }
    });
  };
}

self.Module = {
  fileOpen(name, write) {
    if (!write && !inputs.has(name)) return -1;
    // Room at once for the output, no larger than the larger input: growing the file write by
    // write costs more than the writes.
    try {
      if (write && access) access.truncate(Math.max(job.first.size, job.second.size));
    } catch { /* no room for it all: it grows as it is written, the disk's to refuse */ }
    open.set(++handles, write ? {} : { ...inputs.get(name) });
    return handles;
  },
  fileChosen: (handle) => open.get(handle).chosen,
  fileSize: (handle) => open.get(handle).file.size,
  fileSame: (handle) => open.get(handle).file.slice(0, 1).arrayBuffer().then(() => 1, () => 0),
  async fileRead(handle, view, at) {
    try {
      const n = await fileRead(open.get(handle), view, at);
      read += Math.max(n, 0);
      batch = batch || setTimeout(send, kBatchMs);
      return n;
    } catch {
      return -1; // a file that vanished or cannot be read: the engine reports it
    }
  },
  fileWrite(handle, view, at) {
    try {
      const bytes = access ? null : view.slice();
      if (bytes) postMessage({ type: "chunk", bytes: bytes.buffer }, [bytes.buffer]);
      else if (access.write(view, { at }) !== view.length) return -1;
      self.Module._picturePass(view.byteOffset, view.length, at);
      return view.length;
    } catch {
      return -1; // a full disk: the engine reports it
    }
  },
  fileClose: (handle) => (open.delete(handle), 0),
  reportWrite(kind, bytes) {
    pieces.push(kind, decoder.decode(bytes));
    batch = batch || setTimeout(send, kBatchMs);
  },
  runDone: (result, columns) => (end = { result, columns }),
  onRuntimeInitialized: async () => {
    // Whether this browser gives a worker a file on disk to write into.
    const disk = await Promise.resolve().then(async () => !!(await navigator.storage.getDirectory())
      && "createSyncAccessHandle" in FileSystemFileHandle.prototype).catch(() => false);
    postMessage({ type: "ready", disk });
    ready = true;
    go();
  },
  onAbort: failed,
};

// One run per worker: a second would share the engine's state mid-read.
self.onmessage = ({ data }) => job || ((job = data), go());
const go = () => ready && job && combineRun(job).catch(failed);

// The run: the names as the files are called, as on a command line (two files of one
// name kept apart by folders), the output named by the page.
async function combineRun({ first, second, output, diskName }) {
  const [a, b] = first.name === second.name ? [`1/${first.name}`, `2/${second.name}`]
    : [first.name, second.name];
  inputs.set(a, { file: first, chosen: 1 }).set(b, { file: second, chosen: 2 });
  // The run's own file, new: the page removes it unless the run succeeds.
  access = diskName && await navigator.storage.getDirectory()
    .then((d) => d.getFileHandle(diskName, { create: true }))
    .then((file) => file.createSyncAccessHandle()).catch(() => null);
  const status = (await self.Module.ccall("pageRun", "number", ["string", "string", "string"],
    [a, b, output], { async: true })) & 0xff;
  if (access) {
    // No flush: the file is saved at once, not kept; forcing it out costs as much as the writes.
    access.truncate(status === 0 ? end.result.outputBytes : 0);
    access.close();
  }
  send();
  postMessage({ type: "end", status, disk: !!access, ...end });
}

// The engine's script; the one-file page has the script itself in this place.
importScripts("wavpair.js");
