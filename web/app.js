// The page: picks two files, runs the engine on them in a worker, shows its report as
// it is written and, on success, the output's picture and a link to save it. It
// speaks the reader's language (Japanese or English); the report stays the tool's own
// Japanese. Nothing is sent anywhere: the output is a file of the origin's private
// file system where the browser has one, and is gathered here only where it has not.
"use strict";

const kStartMs = 5000; // an engine not loaded by then has failed to start
const kLargeBytes = 512 << 20; // inputs from which gathering the output here is a risk

const kTexts = {
  en: {
    title: "wavpair: two stereo WAV files side by side",
    intro: "Two stereo WAV files (PCM, 8 or 16 bits) become one: the longer one, folded to " +
      "mono, on the left channel, the other on the right. Everything happens on this computer; " +
      "the files are not sent anywhere.",
    first: "First WAV file", second: "Second WAV file", drop: "or drop it here",
    combine: "Combine", cancel: "Cancel", progress: "Progress", report: "Report",
    reportLabel: "Report (Japanese)", result: "Result",
    pictureLabel: "The output's left channel above its right channel",
    caption: "Left channel above, right channel below; the line marks where the shorter input ran out.",
    choose: "Choose two files.", chooseBoth: "Choose a first and a second file.",
    combining: "Combining…", cancelled: "Cancelled.", starting: "Starting the engine…",
    done: (name) => `Done: ${name} is ready to save.`, save: (name) => `Save ${name}`,
    time: (all, at) => `Playing time: ${all} s` + (at ? `; the shorter input runs out at ${at} s.` : "."),
    failed: (why) => `The engine could not run: ${why}. Reload the page to try again.`,
    slow: "it did not start", noWorker: "this browser will not start it here",
    noLoad: "it could not be loaded",
    fromDisk: "This page needs a web server. Opened from disk, use wavpair.html (the whole page " +
      "in one file) beside it instead.",
    memory: "This browser cannot write the result to disk from this page, so it is kept in " +
      "memory: a result this large may need more memory than the computer has.",
    refused: (why) => `Refused: ${why}`,
    files: ["the first file", "the second file"],
    why: {
      kInputOpen: (f) => `${f} could not be read.`,
      kReadFailed: (f) => `${f} is too short to be a WAV file.`,
      kNoWave: (f) => `${f} is not a WAV file.`,
      kNotRiff: (f) => `${f} is not a WAV file (or a big-endian one).`,
      kPcmOnly: (f) => `${f} is compressed; only uncompressed PCM can be combined.`,
      kBitsOnly: (f) => `${f} has neither 8 nor 16 bits per sample.`,
      kNoFmt: (f) => `${f} has no format chunk.`,
      kNoData: (f) => `${f} holds no audio (no data chunk).`,
      cut: (f) => `${f} ends inside its format chunk.`,
      kNotStereo: () => "a file is not stereo; both need two channels.",
      kRateDiffers: () => "the two files have different sample rates.",
      kBitsDiffers: () => "the two files have different sample widths.",
      kBytesPerSecDiffers: () => "the two files declare different byte rates.",
      kDataWrite: () => "a file ends before the audio it declares, or the result could not be written.",
      kHeaderWrite: () => "the result could not be written.",
      kFileOpen: () => "a file could not be opened.",
      kOutputWrite: () => "the result could not be written.",
      other: (status) => `exit status ${status}; see the report.`,
    },
  },
  ja: {
    title: "wavpair: 二つのステレオWAVファイルを並べる",
    intro: "二つのステレオWAVファイル(PCM、8または16ビット)をひとつにします。長いほうをモノラルに" +
      "まとめて左チャンネルに、もう一方を右チャンネルに入れます。処理はすべてこのコンピュータの中で" +
      "行われ、ファイルはどこにも送られません。",
    first: "一つ目のWAVファイル", second: "二つ目のWAVファイル", drop: "またはここにドロップ",
    combine: "合成", cancel: "中止", progress: "進み具合", report: "レポート",
    reportLabel: "レポート", result: "結果",
    pictureLabel: "出力の左チャンネル(上)と右チャンネル(下)",
    caption: "上が左チャンネル、下が右チャンネル。線は短いほうの入力が終わった位置です。",
    choose: "ファイルを二つ選んでください。", chooseBoth: "一つ目と二つ目のファイルを選んでください。",
    combining: "合成しています…", cancelled: "中止しました。", starting: "エンジンを起動しています…",
    done: (name) => `完了: ${name} を保存できます。`, save: (name) => `${name} を保存`,
    time: (all, at) => `再生時間: ${all} 秒` + (at ? `(短いほうの入力は ${at} 秒で終わります)。` : "。"),
    failed: (why) => `エンジンを実行できませんでした: ${why}。ページを再読み込みしてください。`,
    slow: "起動しませんでした", noWorker: "このブラウザはここでは起動を許しません",
    noLoad: "読み込めませんでした",
    fromDisk: "このページはWebサーバーから開いてください。ディスクから開く場合は、隣にある " +
      "wavpair.html(ページ全体をひとつにしたファイル)を使ってください。",
    memory: "このブラウザはこのページから結果をディスクに書けないため、結果をメモリーに保持します。" +
      "これほど大きな結果では、メモリーが足りなくなるおそれがあります。",
    refused: (why) => `合成できません: ${why}`,
    files: ["一つ目のファイル", "二つ目のファイル"],
    why: {
      kInputOpen: (f) => `${f}を読めません。`,
      kReadFailed: (f) => `${f}はWAVファイルとしては短すぎます。`,
      kNoWave: (f) => `${f}はWAVファイルではありません。`,
      kNotRiff: (f) => `${f}はWAVファイルではありません(ビッグエンディアン形式を含む)。`,
      kPcmOnly: (f) => `${f}は圧縮されています。無圧縮PCMだけを合成できます。`,
      kBitsOnly: (f) => `${f}は8ビットでも16ビットでもありません。`,
      kNoFmt: (f) => `${f}にはフォーマットチャンクがありません。`,
      kNoData: (f) => `${f}には音声(dataチャンク)がありません。`,
      cut: (f) => `${f}はフォーマットチャンクの途中で終わっています。`,
      kNotStereo: () => "ステレオでないファイルがあります。両方とも2チャンネルである必要があります。",
      kRateDiffers: () => "二つのファイルのサンプリング周波数が異なります。",
      kBitsDiffers: () => "二つのファイルのサンプルビット数が異なります。",
      kBytesPerSecDiffers: () => "二つのファイルの1秒当たりのバイト数が異なります。",
      kDataWrite: () => "ファイルが宣言された音声より先に終わっているか、結果を書き込めませんでした。",
      kHeaderWrite: () => "結果を書き込めませんでした。",
      kFileOpen: () => "ファイルを開けませんでした。",
      kOutputWrite: () => "結果を書き込めませんでした。",
      other: (status) => `終了ステータス ${status}。レポートを見てください。`,
    },
  },
};
const kLanguage = [...(navigator.languages || []), navigator.language || "en"]
  .map((l) => String(l).toLowerCase().split("-")[0])
  .find((l) => l in kTexts) || "en";
const T = kTexts[kLanguage];

const $ = (id) => document.getElementById(id);
const first = $("first");
const second = $("second");
const combine = $("combine");
const cancel = $("cancel");
const progress = $("progress");
const status = $("status");
const report = $("report");
const result = $("result");
const picture = $("picture");

document.documentElement.lang = kLanguage;
document.title = T.title;
for (const node of document.querySelectorAll("[data-text]")) node.textContent = T[node.dataset.text];
for (const node of document.querySelectorAll("[data-label]")) {
  node.setAttribute("aria-label", T[node.dataset.label]);
}

// What could drive what shows a name (controls, marks that reorder text): '?' where
// the page shows a name, gone from a name the browser saves under.
const kDriving = /[\u0000-\u001f\u007f-\u009f\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069]/g;
const shown = (name) => name.replace(kDriving, "?");
// The output's name, after the inputs: long.wav and short.wav give long+short.wav.
const outputName = (a, b) => `${a.replace(/\.wav$/i, "")}+${b.replace(/\.wav$/i, "")}.wav`;

// The worker's script: the one-file page carries it inside itself, as one URL for
// every run.
const inline = $("worker-source");
const workerUrl = inline ? URL.createObjectURL(new Blob([inline.textContent], { type: "text/javascript" }))
  : "worker.js";

// The output's file on disk, named for this page so that a page that is gone leaves
// nothing behind: another page removes what no live page holds (Web Locks).
const tab = `${Date.now().toString(36)}${Math.random().toString(36).slice(2, 8)}`;
let runs = 0;
let runFile = null; // the file the run under way writes, if on disk
let diskName = null; // the file of the result shown, if on disk
let saved = null; // the object URL of the result shown
const disk = async () => navigator.storage.getDirectory();
async function diskRemove(name, tries = 20) {
  for (let k = 0; k < tries; k++) {
    try {
      await (await disk()).removeEntry(name);
      return;
    } catch (e) {
      if (e.name === "NotFoundError") return;
      await new Promise((wake) => setTimeout(wake, 100)); // a worker ended just now still holds it
    }
  }
}
async function leftoversRemove() {
  if (!navigator.locks) return;
  const held = new Set(((await navigator.locks.query()).held || []).map((l) => l.name));
  for await (const name of (await disk()).keys()) {
    const owner = /^wavpair-([a-z0-9]+)-\d+\.wav$/.exec(name);
    if (owner && !held.has(`wavpair-${owner[1]}`)) await diskRemove(name, 1);
  }
}
if (navigator.locks && navigator.storage && navigator.storage.getDirectory) {
  navigator.locks.request(`wavpair-${tab}`, () => new Promise(() => {})).catch(() => {});
  leftoversRemove().catch(() => {});
}

// An engine in a worker of its own, started ahead so that it has loaded by the time
// Combine is pressed: "starting", then "ready" or "failed" (within kStartMs).
function engineStart() {
  const engine = { state: "starting", disk: false, why: "", wake: [] };
  const settle = (state, why) => {
    if (engine.state !== "starting") return;
    Object.assign(engine, { state, why });
    clearTimeout(engine.timer);
    engine.wake.splice(0).forEach((wake) => wake());
  };
  try {
    engine.worker = new Worker(workerUrl);
  } catch (e) {
    settle("failed", location.protocol === "file:" ? T.noWorker : String(e.message || e));
    return engine;
  }
  engine.worker.onmessage = ({ data }) => {
    if (data.type === "ready") engine.disk = data.disk;
    settle(data.type === "ready" ? "ready" : "failed", data.message);
  };
  engine.worker.onerror = (e) => {
    e.preventDefault();
    settle("failed", e.message || T.slow);
  };
  engine.timer = setTimeout(() => settle("failed", T.slow), kStartMs);
  return engine;
}
const engineReady = (engine) =>
  engine.state !== "starting" ? Promise.resolve() : new Promise((wake) => engine.wake.push(wake));

let spare = engineStart();
let running = null; // the engine of the run under way

function say(text, attributes = {}) {
  status.textContent = text;
  for (const name of ["exit", "error"]) delete status.dataset[name];
  Object.assign(status.dataset, attributes);
}

async function reset() {
  report.textContent = "";
  report.classList.remove("refused");
  result.hidden = true;
  $("save").textContent = "";
  if (saved) URL.revokeObjectURL(saved);
  const last = diskName;
  saved = diskName = null;
  progress.value = 0;
  if (last) await diskRemove(last);
  await leftoversRemove().catch(() => {});
}

// Ends the run under way; its file stays only where it became the result shown.
function finish(focus) {
  if (running) running.worker.terminate();
  if (runFile && runFile !== diskName) diskRemove(runFile);
  running = runFile = null;
  spare = spare || engineStart();
  combine.disabled = false;
  cancel.disabled = true;
  (focus || status).focus();
}

function failed(why) {
  finish();
  say(T.failed(why || T.noLoad), { error: "engine" });
}

function draw(end) {
  const g = picture.getContext("2d");
  const w = picture.width;
  const h = picture.height / 2;
  const full = end.bits === 8 ? 128 : 32768;
  const centre = end.bits === 8 ? 128 : 0;
  g.fillStyle = "#fff";
  g.fillRect(0, 0, w, 2 * h);
  const columns = end.columns.length / 4;
  ["#0b57d0", "#137333"].forEach((colour, ch) => {
    g.fillStyle = colour;
    for (let x = 0; x < columns; x++) {
      const [lo, hi] = [end.columns[4 * x + 2 * ch], end.columns[4 * x + 2 * ch + 1]];
      if (lo > hi) continue; // a column no frame fell in
      const y0 = ch * h + h / 2 - ((hi - centre) / full) * (h / 2 - 2);
      const y1 = ch * h + h / 2 - ((lo - centre) / full) * (h / 2 - 2);
      g.fillRect((x * w) / columns, y0, Math.max(1, w / columns), Math.max(1, y1 - y0));
    }
  });
  picture.dataset.shorterFrames = String(end.shorterFrames);
  if (end.shorterFrames < end.frames) {
    g.fillStyle = "#c5221f";
    g.fillRect((end.shorterFrames / end.frames) * w - 1, 0, 2, 2 * h);
  }
}

async function show(end, name, parts) {
  const seconds = (n) => (end.rate ? n / end.rate : 0).toFixed(3);
  $("duration").textContent =
    T.time(seconds(end.frames), end.shorterFrames < end.frames ? seconds(end.shorterFrames) : null);
  draw(end);
  const file = end.disk ? await (await (await disk()).getFileHandle(diskName)).getFile()
    : new Blob(parts, { type: "audio/wav" });
  saved = URL.createObjectURL(file);
  const link = document.createElement("a");
  link.id = "download";
  link.href = saved;
  link.download = name.replace(kDriving, "");
  link.textContent = T.save(shown(name));
  $("save").append(link);
  result.hidden = false;
  return link;
}

// Why the engine refused, from the names of the messages it printed (never their
// text): the last failure message, and which input was being read when it came.
function refusal(messages, status) {
  const read = messages.filter((m) => m === "kFileName").length;
  const last = [...messages].reverse().find((m) => m in T.why || m === "kPcmOnlyTag" || m === "kBitsOnlyValue");
  const key = { kPcmOnlyTag: "kPcmOnly", kBitsOnlyValue: "kBitsOnly" }[last] || last;
  const file = T.files[Math.min(1, Math.max(0, key === "kInputOpen" ? read : read - 1))];
  // No failure message at all: the one silent failure, a format chunk cut short.
  const why = key ? T.why[key] : read > 0 ? T.why.cut : null;
  const text = why ? why(file) : T.why.other(status);
  return text.charAt(0).toUpperCase() + text.slice(1);
}

async function start(event) {
  event.preventDefault();
  if (running) return;
  if (location.protocol === "file:" && !inline) {
    say(T.fromDisk, { error: "from-disk" });
    return;
  }
  if (!first.files.length || !second.files.length) {
    say(T.chooseBoth);
    return;
  }
  combine.disabled = true;
  await reset();
  cancel.disabled = false;
  cancel.focus();
  say(spare.state === "ready" ? T.combining : T.starting);
  const engine = (running = spare);
  spare = null;
  await engineReady(engine);
  if (running !== engine) return; // cancelled meanwhile
  if (engine.state === "failed") {
    failed(engine.why);
    return;
  }
  say(T.combining);
  const [a, b] = [first.files[0], second.files[0]];
  const name = outputName(a.name, b.name);
  const file = (runFile = engine.disk ? `wavpair-${tab}-${++runs}.wav` : null);
  const messages = [];
  const parts = [];
  const began = performance.now();
  engine.worker.onmessage = async ({ data }) => {
    if (running !== engine) return;
    if (data.type === "text") {
      const piece = document.createElement("span");
      if (data.stream === 2) piece.className = "err";
      piece.textContent = data.text;
      report.append(piece);
      messages.push(data.message);
    } else if (data.type === "chunk") {
      parts.push(new Blob([data.bytes])); // each piece a blob at once, which may go to disk
    } else if (data.type === "progress") {
      progress.value = data.total > 0 ? data.done / data.total : 0;
    } else if (data.type === "failed") {
      failed(data.message);
    } else if (data.type === "end") {
      running.worker.terminate();
      diskName = data.disk && data.status === 0 ? file : null;
      const attributes = { exit: String(data.status), ms: String(Math.round(performance.now() - began)),
        output: data.disk ? "disk" : "memory" };
      if (data.status === 0) {
        progress.value = 1;
        const link = await show(data, name, parts);
        finish(link);
        say(T.done(shown(name)), attributes);
      } else {
        report.classList.add("refused");
        finish();
        say(T.refused(refusal(messages, data.status)), attributes);
      }
    }
  };
  engine.worker.onerror = (e) => {
    e.preventDefault();
    if (running === engine) failed(e.message || T.slow);
  };
  engine.worker.postMessage({ first: a, second: b, output: name, diskName: file });
}

$("form").addEventListener("submit", (event) => start(event).catch((e) => failed(String(e.message || e))));
cancel.addEventListener("click", () => {
  finish();
  progress.value = 0;
  say(T.cancelled);
});
// Best effort: a page that goes leaves its files to the next page's first run.
addEventListener("pagehide", () => {
  for (const name of [diskName, runFile]) if (name) diskRemove(name, 1);
});

// Before a large run, a browser that keeps the result in memory says so.
function memoryNotice() {
  const size = [first, second].reduce((n, input) => n + (input.files[0] ? input.files[0].size : 0), 0);
  const engine = spare || running;
  $("notice").hidden = !(engine && engine.state === "ready" && !engine.disk && size >= kLargeBytes);
  $("notice").textContent = T.memory;
}
for (const input of [first, second]) {
  input.addEventListener("change", memoryNotice);
  // Each file box takes a dropped file as if it had been chosen.
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
    memoryNotice();
  });
}
if (location.protocol === "file:" && !inline) {
  say(T.fromDisk, { error: "from-disk" });
} else {
  say(T.choose);
  engineReady(spare).then(memoryNotice);
}
