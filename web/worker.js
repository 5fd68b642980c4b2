// One combination, in a worker of its own: the page starts a worker for each run and
// ends it when the run is over or cancelled, so nothing of one run reaches the next.
// The engine reads the chosen files in place (WORKERFS) and writes the output into a
// device that hands each piece to the page as it is written, so neither input nor
// output is ever whole in the engine's memory. The page draws the picture from the
// pieces, on its own thread.
//
// To the page:
//   {type: "text", stream, text}    a piece of the report (1 standard output, 2 error)
//   {type: "progress", done, total} output bytes written, at most ten times a second
//   {type: "chunk", bytes}          the next bytes of the output
//   {type: "end", status, name, shorter, memory}  the exit status, the output's name,
//                                   the shorter input's data size, the engine's memory
//   {type: "failed", message}       the engine could not run at all
"use strict";

const kProgressMs = 100;
const kAhead = 64 << 10;
const kEspipe = 70; // the engine's errno for "cannot seek"

// The engine loads at once; the run starts when both it and the page's files are there.
let job = null;
let ready = false;
let report = "";
const decoder = new TextDecoder();
function text(stream, piece) {
  report += piece;
  postMessage({ type: "text", stream, text: piece });
}
function go() {
  if (!ready || !job) return;
  try {
    combineRun(job.first, job.second);
  } catch (e) {
    postMessage({ type: "failed", message: String(e && e.message ? e.message : e) });
  }
}
self.wavpairConfig = {
  reportWrite: (stream, bytes) => text(stream, decoder.decode(bytes)),
  print: (line) => text(1, line + "\n"),
  printErr: (line) => text(2, line + "\n"),
  onRuntimeInitialized: () => {
    ready = true;
    go();
  },
  onAbort: (what) => postMessage({ type: "failed", message: String(what) }),
};
self.onmessage = (event) => {
  job = event.data;
  go();
};

// The output's name, after the inputs: long.wav and short.wav give long+short.wav.
function outputName(a, b) {
  const stem = (name) => name.replace(/\.wav$/i, "");
  return `${stem(a)}+${stem(b)}.wav`;
}

// Each read of a chosen file costs about a millisecond whatever its size, and the
// engine's stdio follows each large read with a small one for its own buffer. A large
// read takes kAhead bytes more, and the small read after it is served from those.
function readAhead() {
  const read = WORKERFS.stream_ops.read;
  const kept = new Map(); // node -> {position, bytes}
  WORKERFS.stream_ops.read = (stream, buffer, offset, length, position) => {
    const node = stream.node;
    const k = kept.get(node);
    if (k && position >= k.position && position + length <= k.position + k.bytes.length) {
      buffer.set(k.bytes.subarray(position - k.position, position - k.position + length), offset);
      return length;
    }
    if (length < kAhead || position >= node.size) return read(stream, buffer, offset, length, position);
    const end = Math.min(node.size, position + length + kAhead);
    const got = new Uint8Array(WORKERFS.reader.readAsArrayBuffer(node.contents.slice(position, end)));
    const n = Math.min(length, got.length);
    buffer.set(got.subarray(0, n), offset);
    kept.set(node, { position: position + n, bytes: got.subarray(n) });
    return n;
  };
}

function combineRun(first, second) {
  readAhead();
  FS.mkdir("/in1");
  FS.mkdir("/in2");
  FS.mount(WORKERFS, { files: [first] }, "/in1");
  FS.mount(WORKERFS, { files: [second] }, "/in2");
  FS.mkdir("/run");
  FS.chdir("/run");
  // The names as the files are called, as on a command line; two files of one name
  // keep their folders apart.
  let [a, b] = [first.name, second.name];
  if (a === b) {
    [a, b] = [`/in1/${a}`, `/in2/${b}`];
  } else {
    FS.symlink(`/in1/${a}`, a);
    FS.symlink(`/in2/${b}`, b);
  }
  const out = outputName(first.name, second.name);
  let written = 0;
  let total = 0; // from the header's data size, once it has passed
  let shown = 0;
  const device = FS.makedev(64, 0);
  FS.registerDevice(device, {
    open() {},
    close() {},
    // Only the current position can be asked for: the output leaves as it is written.
    llseek(stream, offset, whence) {
      const at = whence === 1 ? stream.position + offset : whence === 0 ? offset : -1;
      if (at !== stream.position) throw new FS.ErrnoError(kEspipe);
      return at;
    },
    write(stream, buffer, offset, length) {
      const bytes = new Uint8Array(buffer.buffer, buffer.byteOffset + offset, length).slice();
      if (written === 0 && length >= 44) total = 44 + new DataView(bytes.buffer).getUint32(40, true);
      postMessage({ type: "chunk", bytes: bytes.buffer }, [bytes.buffer]);
      written += length;
      const now = performance.now();
      if (now - shown >= kProgressMs) {
        shown = now;
        postMessage({ type: "progress", done: written, total });
      }
      return length;
    },
  });
  FS.mkdev(out, device);
  const status = Module.callMain([a, b, out]) & 0xff;
  // Where the shorter input ran out: the smaller of the two "data" sizes reported.
  const sizes = [...report.matchAll(/"data" の長さ: (-?\d+)/g)].map((m) => Number(m[1]) >>> 0);
  const shorter = sizes.length === 2 ? Math.min(...sizes) : null;
  // The engine's whole memory, which cannot grow: the figure the tests hold it to.
  postMessage({ type: "end", status, name: out, shorter, memory: HEAPU8.length });
}

// The engine's script; the one-file page has the script itself in this place.
importScripts("wavpair.js");
