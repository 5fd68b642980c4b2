// One combination, in a worker of its own: the page starts a worker for each run and
// ends it when the run is over or cancelled, so nothing of one run reaches the next.
// The engine (src/platform/browser.cpp) asks this worker for its files: the inputs are
// the chosen files, read in place; the output goes into the tab's file of the origin's
// private file system where the browser has one (memory stays flat whatever its
// size), or else to the page piece by piece. Only documented interfaces: Module's
// callbacks, the engine's EM_JS calls, ccall and the exported functions of
// web/page.cpp. What the page shows of the run comes from the engine's result, never
// from the report or the output's bytes.
//
// From the page:
//   {type: "run", first, second, output, diskName}   the one run of this worker
//   {type: "cancel"}                   leave nothing on disk, then say "cancelled"
// To the page:
//   {type: "ready", build, disk}       the engine is loaded; build: the build of this
//                                      worker and its engine (null where they differ);
//                                      disk: the output can go to disk
//   {type: "report", pieces}           the report's texts, each sent within kBatchMs of
//                                      its writing: [kind, text, kind, text, ...], kind
//                                      1 standard output, 2 standard error, 3 the
//                                      message that ended the run
//   {type: "progress", done, total}    output bytes written, at most ten times a second
//   {type: "chunk", bytes}             the output's next bytes, where it is not on disk
//   {type: "end", status, disk, result, columns}
//                                      the exit status, whether the output is on disk
//                                      (the tab's file), the engine's result and the
//                                      picture's columns
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
const open = new Map(); // handle -> {file, chosen, ahead, aheadAt} or {output: true}
let handles = 0;
let access = null; // the output's file on disk
let dir = null;
let written = 0;
let total = 0;
let columns = null;
const result = { inputs: [] };
let pieces = [];
let batch = 0; // the timer that sends the texts not sent yet
let progressAt = 0;

function failed(what) {
  postMessage({ type: "failed", message: String(what && what.message ? what.message : what) });
}

function reportSend() {
  clearTimeout(batch);
  batch = 0;
  if (pieces.length) postMessage({ type: "report", pieces });
  pieces = [];
}

// Whether this browser gives a worker a file on disk to write into.
async function diskProbe() {
  try {
    return typeof FileSystemFileHandle !== "undefined" &&
      "createSyncAccessHandle" in FileSystemFileHandle.prototype &&
      !!(await navigator.storage.getDirectory());
  } catch (e) {
    return false;
  }
}

// A chosen file is read as a stream, in order from where the engine asks, into one
// buffer of its own that every read reuses: no allocation per block, so memory stays
// flat, and several times the rate of reading slice by slice. A read from anywhere
// else starts the stream there; the scan's small reads are served from one slice.
async function streamRead(f, view, at, n) {
  if (!f.stream || f.streamAt !== at) {
    if (f.stream) f.stream.cancel().catch(() => {});
    f.stream = f.file.slice(at).stream().getReader({ mode: "byob" });
    f.streamAt = at;
  }
  if (!f.buffer || f.buffer.byteLength < n) f.buffer = new ArrayBuffer(n);
  let filled = 0;
  while (filled < n) {
    const { value, done } = await f.stream.read(new Uint8Array(f.buffer, filled, n - filled));
    if (done) break;
    f.buffer = value.buffer; // the same memory, handed back
    filled += value.byteLength;
  }
  view.set(new Uint8Array(f.buffer, 0, filled));
  f.streamAt += filled;
  return filled;
}

// A browser whose files are no byte streams gets slices (more memory while it runs).
const byteStreams = (() => {
  try {
    new Blob([]).stream().getReader({ mode: "byob" }).releaseLock();
    return true;
  } catch (e) {
    return false;
  }
})();

async function fileRead(f, view, at) {
  let n = Math.max(0, Math.min(view.length, f.file.size - at));
  if (n >= kAhead && byteStreams) {
    n = await streamRead(f, view, at, n);
  } else if (n >= kAhead) {
    view.set(new Uint8Array(await f.file.slice(at, at + n).arrayBuffer()));
  } else if (n > 0) {
    if (!f.ahead || at < f.aheadAt || at + n > f.aheadAt + f.ahead.length) {
      f.ahead = new Uint8Array(await f.file.slice(at, at + kAhead).arrayBuffer());
      f.aheadAt = at;
    }
    view.set(f.ahead.subarray(at - f.aheadAt, at - f.aheadAt + n));
  }
  return n;
}

function outputWrite(view, at) {
  if (cancelled) return -1;
  if (at === 0) {
    // The whole size at once, as the engine paired the inputs: growing the file write
    // by write costs more than the writes.
    total = Module._pageOutputBytes();
    if (access) access.truncate(total);
  }
  if (access) {
    if (access.write(view, { at }) !== view.length) return -1;
  } else {
    const bytes = view.slice();
    postMessage({ type: "chunk", bytes: bytes.buffer }, [bytes.buffer]);
  }
  if (at > 0) Module._picturePass(view.byteOffset, view.length);
  written = at + view.length;
  const now = performance.now();
  if (now - progressAt >= kBatchMs) {
    progressAt = now;
    postMessage({ type: "progress", done: written, total });
  }
  return view.length;
}

self.wavpairConfig = {
  fileOpen(name, write) {
    if (!write && !inputs.has(name)) return -1;
    open.set(++handles, write ? { output: true } : { ...inputs.get(name) });
    return handles;
  },
  fileChosen: (handle) => open.get(handle).chosen,
  async fileRead(handle, view, at) {
    const f = open.get(handle);
    try {
      return f.file && !cancelled ? await fileRead(f, view, at) : -1;
    } catch (e) {
      return -1; // a file that vanished or cannot be read: the engine reports it
    }
  },
  fileWrite(handle, view, at) {
    try {
      return open.get(handle).output ? outputWrite(view, at) : -1;
    } catch (e) {
      return -1; // a full disk: the engine reports it
    }
  },
  fileClose(handle) {
    const f = open.get(handle);
    if (f && f.stream) f.stream.cancel().catch(() => {});
    open.delete(handle);
    return 0;
  },
  reportWrite(kind, bytes) {
    if (cancelled) return;
    const text = decoder.decode(bytes);
    // Texts of one kind in a row travel as one; none waits for the next to be sent.
    if (pieces.length && pieces[pieces.length - 2] === kind) pieces[pieces.length - 1] += text;
    else pieces.push(kind, text);
    batch = batch || setTimeout(reportSend, kBatchMs);
  },
  pictureDone(values) {
    columns = values;
  },
  resultInput(k, input) {
    result.inputs[k] = input;
  },
  resultDone(facts) {
    Object.assign(result, facts);
  },
  print: (line) => postMessage({ type: "report", pieces: [1, line + "\n"] }),
  printErr: (line) => postMessage({ type: "report", pieces: [2, line + "\n"] }),
  onRuntimeInitialized: async () => {
    const build = self.wavpairBuild === kBuild ? kBuild : null;
    postMessage({ type: "ready", build, disk: await diskProbe() });
    ready = true;
    go();
  },
  onAbort: failed,
};

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
  } else if (data.type === "run" && !job) {
    // One run per worker: a second one would share the engine's state mid-read.
    job = data;
    go();
  }
};

function go() {
  if (ready && job && !cancelled) combineRun(job).catch(failed);
}

// The tab's file, created or truncated. A worker that the page ended a moment ago may
// still hold it; without it the output goes to the page instead.
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

// The run: the names as the files are called, as on a command line (two files of one
// name kept apart by folders), the output named by the page.
async function combineRun({ first, second, output, diskName }) {
  const [a, b] = first.name === second.name ? [`1/${first.name}`, `2/${second.name}`] : [first.name, second.name];
  inputs.set(a, { file: first, chosen: 1 }).set(b, { file: second, chosen: 2 });
  if (diskName) access = await diskOpen(diskName).catch(() => null);
  if (cancelled) return;
  Module._pictureStart();
  const status = (await Module.ccall("pageRun", "number", ["string", "string", "string"], [a, b, output],
    { async: true })) & 0xff;
  if (cancelled) return;
  Module._pictureFinish();
  const disk = !!access;
  if (access && status === 0) {
    // No flush: the file is there to be saved at once, not kept, and forcing it to the
    // disk would cost as much as the whole run's writing.
    access.truncate(written);
    access.close();
    access = null;
  }
  await diskDrop(); // a refused run leaves nothing
  reportSend();
  postMessage({ type: "end", status, disk, result, columns });
}

// The engine's script; the one-file page has the script itself in this place.
importScripts("wavpair.js");
