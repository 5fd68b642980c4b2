// One combination, in a worker of its own: the page starts a worker for each run and
// ends it when the run is over or cancelled, so nothing of one run reaches the next.
// The engine (src/platform/browser.cpp) asks this worker for its files: the inputs are
// the chosen files, read in place; the output goes into the tab's file of the origin's
// private file system where the browser has one (memory stays flat whatever its
// size), or else to the page piece by piece. Only documented interfaces: Module's
// callbacks, the engine's EM_JS calls, ccall and web/page.cpp's exports.
//
// From the page:
//   {type: "run", first, second, output, diskName}   the one run of this worker
//   {type: "cancel"}                   leave nothing on disk, then say "cancelled"
// To the page:
//   {type: "ready", build, disk}       loaded; build: of this worker and its engine (null
//                                      where they differ); disk: the output can go to disk
//   {type: "report", pieces, done, total}
//                                      at most every kBatchMs: the report's texts since
//                                      the last ([kind, text, ...]; kind 1 standard output,
//                                      2 standard error, 3 the message that ended the run)
//                                      and the bytes of the chosen files read so far
//   {type: "chunk", bytes}             the output's next bytes, where it is not on disk
//   {type: "end", status, disk, result, columns}
//                                      the exit status, whether the output is the tab's
//                                      file, the engine's result and the picture's columns
//   {type: "cancelled"}                the run is stopped and its file gone
//   {type: "failed", message}          the engine could not run
"use strict";

const kBuild = "@BUILD@";
const kBatchMs = 40;
const kAhead = 64 << 10; // reads below this (the scan's) are served from one slice this large
const kHeldTries = 20; // a worker ended just now may hold the tab's file for a moment

const decoder = new TextDecoder();
let job = null;
let ready = false;
let cancelled = false;
const inputs = new Map(); // the names the engine is given -> {file, chosen: its number}
const open = new Map(); // handle -> {file, chosen, ...} or {} for the output
let handles = 0;
let dir = null;
let access = null; // the output's file on disk
let read = 0;
let pieces = [];
let batch = 0;
let end = null;

const failed = (e) => postMessage({ type: "failed", message: String(e && e.message ? e.message : e) });
function send() {
  clearTimeout(batch);
  batch = 0;
  postMessage({ type: "report", pieces, done: read, total: job.first.size + job.second.size });
  pieces = [];
}

// A chosen file: the scan's small reads from one slice; the audio as a stream, in
// order from where the engine asks, into one buffer of its own that every read reuses,
// so memory stays flat. A read from anywhere else starts the stream there.
async function fileRead(f, view, at) {
  const n = Math.max(0, Math.min(view.length, f.file.size - at));
  if (n < kAhead) {
    if (!f.ahead || at < f.aheadAt || at + n > f.aheadAt + f.ahead.length) {
      f.ahead = new Uint8Array(await f.file.slice(at, at + kAhead).arrayBuffer());
      f.aheadAt = at;
    }
    view.set(f.ahead.subarray(at - f.aheadAt, at - f.aheadAt + n));
    return n;
  }
  if (f.streamAt !== at) {
    if (f.stream) f.stream.cancel().catch(() => {});
    f.stream = f.file.slice(at).stream().getReader({ mode: "byob" });
    f.streamAt = at;
  }
  if (!f.buffer || f.buffer.byteLength < n) f.buffer = new ArrayBuffer(n);
  let filled = 0;
  for (;;) {
    const { value, done } = await f.stream.read(new Uint8Array(f.buffer, filled, n - filled));
    f.buffer = value.buffer; // the same memory, handed back
    filled += value.byteLength;
    if (done || filled === n) break;
  }
  view.set(new Uint8Array(f.buffer, 0, filled));
  f.streamAt += filled;
  return filled;
}

function outputWrite(view, at) {
  if (access && access.write(view, { at }) !== view.length) return -1;
  if (!access) {
    const bytes = view.slice();
    postMessage({ type: "chunk", bytes: bytes.buffer }, [bytes.buffer]);
  }
  Module._picturePass(view.byteOffset, view.length, at);
  return view.length;
}

self.Module = {
  fileOpen(name, write) {
    if (!write && !inputs.has(name)) return -1;
    // Room for the output at once, as much as both inputs: growing the file write by
    // write costs more than the writes. Cut to the engine's size at the end.
    if (write && access) access.truncate(job.first.size + job.second.size);
    open.set(++handles, write ? {} : { ...inputs.get(name) });
    return handles;
  },
  fileChosen: (handle) => open.get(handle).chosen,
  async fileRead(handle, view, at) {
    try {
      const n = cancelled ? -1 : await fileRead(open.get(handle), view, at);
      read += Math.max(n, 0);
      batch = batch || setTimeout(send, kBatchMs);
      return n;
    } catch (e) {
      return -1; // a file that vanished or cannot be read: the engine reports it
    }
  },
  fileWrite(handle, view, at) {
    try {
      return cancelled ? -1 : outputWrite(view, at);
    } catch (e) {
      return -1; // a full disk: the engine reports it
    }
  },
  fileClose(handle) {
    const f = open.get(handle);
    if (f.stream) f.stream.cancel().catch(() => {});
    open.delete(handle);
    return 0;
  },
  reportWrite(kind, bytes) {
    if (cancelled) return;
    pieces.push(kind, decoder.decode(bytes));
    batch = batch || setTimeout(send, kBatchMs);
  },
  runDone: (result, columns) => (end = { result, columns }),
  onRuntimeInitialized: async () => {
    postMessage({ type: "ready", build: self.wavpairBuild === kBuild ? kBuild : null, disk: await diskProbe() });
    ready = true;
    go();
  },
  onAbort: failed,
};

// Whether this browser gives a worker a file on disk to write into.
async function diskProbe() {
  try {
    return "createSyncAccessHandle" in FileSystemFileHandle.prototype && !!(await navigator.storage.getDirectory());
  } catch (e) {
    return false;
  }
}

// The tab's file, created empty. A worker that the page ended a moment ago may still
// hold it; without it the output goes to the page instead.
async function diskOpen(name) {
  dir = await navigator.storage.getDirectory();
  const file = await dir.getFileHandle(name, { create: true });
  for (let k = 0; ; k++) {
    try {
      const handle = await file.createSyncAccessHandle();
      handle.truncate(0);
      return handle;
    } catch (e) {
      if (e.name !== "NoModificationAllowedError" || k >= kHeldTries) return null;
      await new Promise((wake) => setTimeout(wake, 50));
    }
  }
}

// The run's file on disk, stopped and gone.
async function diskDrop() {
  if (!access) return;
  try {
    access.truncate(0);
    access.close();
    await dir.removeEntry(job.diskName);
  } catch (e) {
    // nothing more to do: the next run of the tab truncates it, the next page removes it
  }
  access = null;
}

self.onmessage = async ({ data }) => {
  if (data.type === "cancel") {
    cancelled = true;
    await diskDrop();
    postMessage({ type: "cancelled" });
  } else if (!job) {
    job = data; // one run per worker: a second would share the engine's state mid-read
    go();
  }
};

function go() {
  if (ready && job && !cancelled) combineRun(job).catch(failed);
}

// The run: the names as the files are called, as on a command line (two files of one
// name kept apart by folders), the output named by the page.
async function combineRun({ first, second, output, diskName }) {
  const [a, b] = first.name === second.name ? [`1/${first.name}`, `2/${second.name}`] : [first.name, second.name];
  inputs.set(a, { file: first, chosen: 1 }).set(b, { file: second, chosen: 2 });
  if (diskName) access = await diskOpen(diskName).catch(() => null);
  if (cancelled) return;
  const status = (await Module.ccall("pageRun", "number", ["string", "string", "string"], [a, b, output],
    { async: true })) & 0xff;
  if (cancelled) return;
  const disk = !!access;
  if (access && status === 0) {
    // No flush: the file is there to be saved at once, not kept, and forcing it to the
    // disk would cost as much as the whole run's writing.
    access.truncate(end.result.outputBytes);
    access.close();
    access = null;
  }
  await diskDrop(); // a refused run leaves nothing
  send();
  postMessage({ type: "end", status, disk, ...end });
}

// The engine's script; the one-file page has the script itself in this place.
importScripts("wavpair.js");
