// The page: picks two files, runs the engine on them in a worker, shows its report as
// it is written and, on success, the output's picture and a link to save it. Nothing
// is sent anywhere; the output is gathered here, piece by piece, as the worker hands
// it over.
"use strict";

const kColumns = 1000; // picture columns: the least and greatest sample of each

const $ = (id) => document.getElementById(id);
const first = $("first");
const second = $("second");
const combine = $("combine");
const cancel = $("cancel");
const progress = $("progress");
const status = $("status");
const report = $("report");
const result = $("result");

// The worker's script: the one-file page carries it inside itself.
function workerUrl() {
  const inline = $("worker-source");
  if (!inline) return "worker.js";
  return URL.createObjectURL(new Blob([inline.textContent], { type: "text/javascript" }));
}

// The least and greatest sample of each channel in each column, from the output as
// it passes; the 44-byte header says how to read the frames.
function pictureTaker() {
  const p = {
    head: new Uint8Array(44), got: 0, frames: 0, block: 4, bits: 16, rate: 0,
    frame: 0, carry: new Uint8Array(0),
    min: [new Float64Array(kColumns).fill(Infinity), new Float64Array(kColumns).fill(Infinity)],
    max: [new Float64Array(kColumns).fill(-Infinity), new Float64Array(kColumns).fill(-Infinity)],
  };
  const scan = (bytes) => {
    const n = Math.floor(bytes.length / p.block);
    if (n === 0 || p.frames === 0) return;
    const aligned = bytes.byteOffset % 2 === 0 ? bytes : bytes.slice();
    const s = p.bits === 8 ? aligned.subarray(0, n * 2) : new Int16Array(aligned.buffer, aligned.byteOffset, n * 2);
    const [minL, minR] = p.min, [maxL, maxR] = p.max;
    for (let i = 0; i < n;) {
      const col = Math.min(kColumns - 1, Math.floor(((p.frame + i) * kColumns) / p.frames));
      const end = Math.max(i + 1, Math.min(n, Math.ceil(((col + 1) * p.frames) / kColumns) - p.frame));
      let lo = minL[col], hi = maxL[col], lo2 = minR[col], hi2 = maxR[col];
      for (; i < end; i++) {
        const l = s[2 * i], r = s[2 * i + 1];
        if (l < lo) lo = l;
        if (l > hi) hi = l;
        if (r < lo2) lo2 = r;
        if (r > hi2) hi2 = r;
      }
      minL[col] = lo, maxL[col] = hi, minR[col] = lo2, maxR[col] = hi2;
    }
    p.frame += n;
  };
  p.add = (bytes) => {
    if (p.got < 44) {
      const take = Math.min(44 - p.got, bytes.length);
      p.head.set(bytes.subarray(0, take), p.got);
      p.got += take;
      bytes = bytes.subarray(take);
      if (p.got === 44) {
        const v = new DataView(p.head.buffer);
        p.rate = v.getUint32(24, true);
        p.block = v.getUint16(32, true) || 4;
        p.bits = v.getUint16(34, true);
        p.frames = Math.floor(v.getUint32(40, true) / p.block);
      }
    }
    if (p.carry.length > 0) {
      const joined = new Uint8Array(p.carry.length + bytes.length);
      joined.set(p.carry);
      joined.set(bytes, p.carry.length);
      bytes = joined;
    }
    const whole = bytes.length - (bytes.length % p.block);
    scan(bytes.subarray(0, whole));
    p.carry = bytes.slice(whole);
  };
  return p;
}

let worker = null;
// The next run's worker, started ahead so that its engine has loaded by the time
// Combine is pressed; each run still gets a fresh one.
let spare = new Worker(workerUrl());
let picture = null;
let started = 0; // when the run began, for the time it took (data-ms)
let parts = [];
let saved = null; // the object URL of the last result, freed when a new run starts

function say(text) {
  status.textContent = text;
}

function reset() {
  report.textContent = "";
  result.hidden = true;
  $("save").textContent = "";
  if (saved) URL.revokeObjectURL(saved);
  saved = null;
  parts = [];
  picture = pictureTaker();
  progress.value = 0;
  delete status.dataset.exit;
  status.dataset.pieces = "0";
}

function finish() {
  if (worker) worker.terminate();
  worker = null;
  spare = spare || new Worker(workerUrl());
  combine.disabled = false;
  cancel.disabled = true;
}

function draw(p) {
  const canvas = $("picture");
  const g = canvas.getContext("2d");
  const w = canvas.width;
  const h = canvas.height / 2;
  const full = p.bits === 8 ? 128 : 32768;
  const centre = p.bits === 8 ? 128 : 0;
  g.fillStyle = "#fff";
  g.fillRect(0, 0, w, 2 * h);
  g.strokeStyle = "#ddd";
  g.beginPath();
  g.moveTo(0, h);
  g.lineTo(w, h);
  g.stroke();
  const columns = p.min[0].length;
  ["#0b57d0", "#137333"].forEach((colour, ch) => {
    g.fillStyle = colour;
    const top = ch * h;
    for (let x = 0; x < columns; x++) {
      if (p.min[ch][x] > p.max[ch][x]) continue; // a column no frame fell in
      const y0 = top + h / 2 - ((p.max[ch][x] - centre) / full) * (h / 2 - 2);
      const y1 = top + h / 2 - ((p.min[ch][x] - centre) / full) * (h / 2 - 2);
      g.fillRect((x * w) / columns, y0, Math.max(1, w / columns), Math.max(1, y1 - y0));
    }
  });
  if (p.shorter < p.frames) {
    const x = (p.shorter / p.frames) * w;
    g.fillStyle = "#c5221f";
    g.fillRect(x - 1, 0, 2, 2 * h);
  }
}

function show(p) {
  const seconds = (n) => (p.rate ? n / p.rate : 0).toFixed(3);
  $("duration").textContent =
    `Playing time: ${seconds(p.frames)} s` +
    (p.shorter < p.frames ? `; the shorter input runs out at ${seconds(p.shorter)} s.` : ".");
  draw(p);
  saved = URL.createObjectURL(new Blob(parts, { type: "audio/wav" }));
  parts = [];
  const link = document.createElement("a");
  link.id = "download";
  link.href = saved;
  link.download = p.name;
  link.textContent = `Save ${p.name}`;
  $("save").append(link);
  result.hidden = false;
}

function start(event) {
  event.preventDefault();
  if (worker) return;
  if (!first.files.length || !second.files.length) {
    say("Choose a first and a second file.");
    return;
  }
  reset();
  combine.disabled = true;
  cancel.disabled = false;
  say("Combining…");
  started = performance.now();
  worker = spare || new Worker(workerUrl());
  spare = null;
  worker.onmessage = ({ data }) => {
    if (data.type === "text") {
      const piece = document.createElement("span");
      if (data.stream === 2) piece.className = "err";
      piece.textContent = data.text;
      report.append(piece);
    } else if (data.type === "chunk") {
      // Each piece becomes a blob at once, so the browser may keep it on disk.
      picture.add(new Uint8Array(data.bytes));
      parts.push(new Blob([data.bytes]));
      status.dataset.pieces = String(parts.length);
    } else if (data.type === "progress") {
      progress.value = data.total > 0 ? data.done / data.total : 0;
    } else if (data.type === "failed") {
      // A run the engine could not finish ends as a refusal does: no file.
      finish();
      parts = [];
      status.dataset.exit = "255";
      say(`The engine failed: ${data.message}.`);
    } else if (data.type === "end") {
      finish();
      status.dataset.exit = String(data.status);
      status.dataset.memory = String(data.memory);
      status.dataset.ms = String(Math.round(performance.now() - started));
      if (data.status === 0) {
        progress.value = 1;
        const p = picture;
        p.name = data.name;
        p.shorter = data.shorter === null ? p.frames : Math.floor(data.shorter / p.block);
        show(p);
        say(`Done: ${data.name} is ready to save.`);
      } else {
        parts = [];
        say(`Refused (exit status ${data.status}): see the report.`);
      }
    }
  };
  worker.onerror = (e) => {
    finish();
    parts = [];
    status.dataset.exit = "255";
    say(`The engine failed: ${e.message || "unknown error"}.`);
  };
  worker.postMessage({ first: first.files[0], second: second.files[0] });
}

cancel.addEventListener("click", () => {
  finish();
  parts = [];
  say("Cancelled.");
});
$("form").addEventListener("submit", start);

// Each file box takes a dropped file as if it had been chosen.
for (const input of [first, second]) {
  const box = $(`${input.id}-drop`);
  box.addEventListener("dragover", (e) => {
    e.preventDefault();
    box.classList.add("over");
  });
  box.addEventListener("dragleave", () => box.classList.remove("over"));
  box.addEventListener("drop", (e) => {
    e.preventDefault();
    box.classList.remove("over");
    if (e.dataTransfer.files.length) input.files = e.dataTransfer.files;
  });
}
