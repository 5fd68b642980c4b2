// One combination, in a worker of its own: the page starts a worker for each run and
// ends it when the run is over or cancelled, so nothing of one run reaches the next.
// The engine (src/platform/browser.cpp) asks this worker for its files: the inputs are
// the chosen files, read in place; the output goes into a file of the origin's private
// file system where the browser has one (memory stays flat whatever its size), or
// else to the page piece by piece. Only documented interfaces: Module's callbacks, the
// engine's EM_JS calls, ccall and the exported functions of web/page.cpp.
//
// To the page:
//   {type: "ready", disk}              the engine is loaded; disk: the output can go to disk
//   {type: "text", stream, text, message}  a piece of the report (1 standard output, 2
//                                      error) and the name of the engine's message
//   {type: "progress", done, total}    output bytes written, at most ten times a second
//   {type: "chunk", bytes}             the output's next bytes, where it is not on disk
//   {type: "end", status, disk, frames, shorterFrames, rate, bits, columns}
//                                      the exit status, whether the output is on disk
//                                      (the page's file), its frames, how many of them
//                                      the shorter input fed, its format and picture
//   {type: "failed", message}          the engine could not run
"use strict";

const kProgressMs = 100;
const kAhead = 64 << 10; // reads below this (the scan's) are served from one slice this large

const decoder = new TextDecoder();
let job = null;
let ready = false;
const inputs = new Map(); // the names the engine is given -> the chosen files
const open = new Map(); // handle -> {file, ahead, aheadAt} or {output: true}
const reads = [undefined]; // bytes read through each handle (0 is none), the output's null
let access = null; // the output's file on disk
let header = null; // the output's first 44 bytes
let written = 0;
let total = 0;
let shown = 0;
let columns = null;

function failed(what) {
  postMessage({ type: "failed", message: String(what && what.message ? what.message : what) });
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
  reads[f.handle] += n;
  return n;
}

function outputWrite(view, at) {
  if (at === 0 && view.length >= 44) {
    header = new DataView(view.slice(0, 44).buffer);
    total = 44 + header.getUint32(40, true);
    // The whole size at once: growing the file write by write costs more than the writes.
    if (access) access.truncate(total);
  }
  if (access) {
    if (access.write(view, { at }) !== view.length) return -1;
  } else {
    const bytes = view.slice();
    postMessage({ type: "chunk", bytes: bytes.buffer }, [bytes.buffer]);
  }
  Module._picturePass(view.byteOffset, view.length);
  written = at + view.length;
  const now = performance.now();
  if (now - shown >= kProgressMs) {
    shown = now;
    postMessage({ type: "progress", done: written, total });
  }
  return view.length;
}

self.wavpairConfig = {
  fileOpen(name, write) {
    if (!write && !inputs.has(name)) return -1;
    const handle = reads.push(write ? null : 0) - 1;
    open.set(handle, write ? { output: true } : { file: inputs.get(name), handle });
    return handle;
  },
  async fileRead(handle, view, at) {
    const f = open.get(handle);
    try {
      return f.file ? await fileRead(f, view, at) : -1;
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
  reportWrite(stream, message, bytes) {
    postMessage({ type: "text", stream, message, text: decoder.decode(bytes) });
  },
  pictureDone(values) {
    columns = values;
  },
  print: (line) => postMessage({ type: "text", stream: 1, message: "", text: line + "\n" }),
  printErr: (line) => postMessage({ type: "text", stream: 2, message: "", text: line + "\n" }),
  onRuntimeInitialized: async () => {
    postMessage({ type: "ready", disk: await diskProbe() });
    ready = true;
    go();
  },
  onAbort: failed,
};

self.onmessage = (event) => {
  job = event.data;
  go();
};

function go() {
  if (ready && job) combineRun(job).catch(failed);
}

// The run: the names as the files are called, as on a command line (two files of one
// name kept apart by folders), the output named by the page.
async function combineRun({ first, second, output, diskName }) {
  const [a, b] = first.name === second.name ? [`1/${first.name}`, `2/${second.name}`] : [first.name, second.name];
  inputs.set(a, first).set(b, second);
  let dir = null;
  if (diskName) {
    try {
      dir = await navigator.storage.getDirectory();
      access = await (await dir.getFileHandle(diskName, { create: true })).createSyncAccessHandle();
      access.truncate(0);
    } catch (e) {
      access = null;
    }
  }
  Module._pictureStart();
  const status = (await Module.ccall("pageRun", "number", ["string", "string", "string"], [a, b, output],
    { async: true })) & 0xff;
  Module._pictureFinish();
  if (access) {
    // No flush: the file is there to be saved at once, not kept, and forcing it to the
    // disk would cost as much as the whole run's writing.
    if (status === 0) access.truncate(written);
    access.close();
    if (status !== 0) await dir.removeEntry(diskName);
  }
  const end = { type: "end", status, disk: !!access, columns };
  if (status === 0 && header) {
    // The engine opens the output, then the longer input, then the shorter one, and
    // reads from the shorter one exactly the frames it feeds into the output.
    const block = header.getUint16(32, true) || 1;
    Object.assign(end, {
      rate: header.getUint32(24, true), bits: header.getUint16(34, true),
      frames: Math.floor(header.getUint32(40, true) / block),
      shorterFrames: Math.floor(reads[reads.lastIndexOf(null) + 2] / block),
    });
  }
  postMessage(end);
}

// The engine's script; the one-file page has the script itself in this place.
importScripts("wavpair.js");
