// The page: the engine run on two chosen files in a worker, its report as it comes (bounded)
// and the result to play and save, in the reader's language (the report stays in Japanese).
"use strict";

const kStartMs = 5000; // an engine not loaded by then has failed to start
const kDrawMs = 200; // the report is drawn at most this often while it comes
// The largest result the browser hands over (plays, saves) from memory, as opened from disk:
// a fresh Chromium 156 failed at 524 MB (ERR_BLOB_REFERENCED_BLOB_BROKEN), a used one at 450.
const kMemoryBytes = 400e6;
const kEndLines = 2000; // the report shows this many of its first lines and of its last ones
const kStemBytes = 200; // the saved name's stem, in UTF-8: file systems take 255 bytes

const kTexts = {
  // The page's own English is in index.html; here, what it fills in.
  en: {
    pictureLabel: (left, right) =>
      `The output's left channel (${left}) above its right channel (${right})`,
    sides: (left, right) => `Left: ${left}, folded to mono. Right: ${right}.`,
    choose: "Choose two files.", chooseBoth: "Choose a first and a second file.",
    combining: "Combining…", cancelled: "Cancelled.", starting: "Starting the engine…",
    done: (name) => `Done: ${name} is ready to save.`, save: (name) => `Save ${name}`,
    time: (all, at) =>
      `Playing time: ${all} s` + (at ? `; the shorter input runs out at ${at} s.` : "."),
    omitted: (n) => `… ${n.toLocaleString("en")} lines left out …`,
    failed: (why) => `The engine could not run: ${why}. Reload the page to try again.`,
    slow: "it did not start", noWorker: "this browser will not start it here",
    noLoad: "it could not be loaded",
    fromDisk: "This page needs a web server. Opened from disk, use wavpair.html (the whole " +
      "page in one file) beside it instead.",
    refused: (why) => `Refused: ${why}`, files: ["the first file", "the second file"],
    tooLarge: (mb) => `Refused: the result may be as large as the larger file, about ${mb} MB. ` +
      `Here it is kept in memory, and this browser hands over at most ${kMemoryBytes / 1e6} ` +
      "MB of it: serve the page from a web server, or use the command-line tool.",
  },
  ja: {
    title: "wavpair: 二つのステレオWAVファイルを並べる",
    intro: "二つのステレオWAVファイル(PCM、8または16ビット)をひとつにします。" +
      "長いほうをモノラルにまとめて左チャンネルに、もう一方を右チャンネルに入れます。" +
      "処理はすべてこのコンピュータの中で行われ、ファイルはどこにも送られません。",
    first: "一つ目のWAVファイル", second: "二つ目のWAVファイル", drop: "またはここにドロップ",
    combine: "合成", cancel: "中止", progress: "進み具合", report: "レポート", result: "結果",
    listen: "試聴", channels: "チャンネル", both: "両方", left: "左チャンネルを両耳で",
    right: "右チャンネルを両耳で",
    pictureLabel: (left, right) => `出力の左チャンネル(${left}、上)と右チャンネル(${right}、下)`,
    caption: "上が左チャンネル、下が右チャンネル。線は短いほうの入力が終わった位置です。",
    sides: (left, right) => `左: ${left}(モノラルにまとめたもの)。右: ${right}。`,
    choose: "ファイルを二つ選んでください。",
    chooseBoth: "一つ目と二つ目のファイルを選んでください。",
    combining: "合成しています…", cancelled: "中止しました。",
    starting: "エンジンを起動しています…",
    done: (name) => `完了: ${name} を保存できます。`, save: (name) => `${name} を保存`,
    time: (all, at) =>
      `再生時間: ${all} 秒` + (at ? `(短いほうの入力は ${at} 秒で終わります)。` : "。"),
    omitted: (n) => `… ${n.toLocaleString("ja")} 行を省略 …`,
    failed: (why) =>
      `エンジンを実行できませんでした: ${why}。ページを再読み込みしてください。`,
    slow: "起動しませんでした", noWorker: "このブラウザはここでは起動を許しません",
    noLoad: "読み込めませんでした",
    fromDisk: "このページはWebサーバーから開いてください。ディスクから開く場合は、" +
      "隣にある wavpair.html(ページ全体をひとつにしたファイル)を使ってください。",
    refused: (why) => `合成できません: ${why}`, files: ["一つ目のファイル", "二つ目のファイル"],
    tooLarge: (mb) => `合成できません: 結果は大きいほうのファイルと同じ約 ${mb} MB になり得ます。` +
      `ここでは結果をメモリーに保持し、このブラウザが受け渡せるのは ${kMemoryBytes / 1e6} MB ` +
      "までです。ページをWebサーバーから開くか、コマンドラインのツールを使ってください。",
    update: "新しい版があります。", reload: "再読み込み", dismiss: "閉じる",
  },
};

// Why a run ended (refusal), in English and Japanese, for each message that can end one here.
const kWhy = {
  kInputOpen: ["{f} could not be read.", "{f}を読めません。"],
  kReadFailed: ["{f} is too short to be a WAV file.", "{f}はWAVファイルとしては短すぎます。"],
  kNoWave: ["{f} is not a WAV file.", "{f}はWAVファイルではありません。"],
  kNotRiff: ["{f} is not a WAV file (or a big-endian one).",
    "{f}はWAVファイルではありません(ビッグエンディアン形式を含む)。"],
  kNoFmt: ["{f} has no format chunk.", "{f}にはフォーマットチャンクがありません。"],
  kNoData: ["{f} holds no audio (no data chunk).", "{f}には音声(dataチャンク)がありません。"],
  cut: ["{f} ends inside its format chunk.", "{f}はフォーマットチャンクの途中で終わっています。"],
  kPcmOnly: ["{f} is compressed (format {hex}); only uncompressed PCM can be combined.",
    "{f}は圧縮されています(形式 {hex})。合成できるのは無圧縮PCMだけです。"],
  extensible: ["{f} is in the extensible format (FFFE); only plain PCM (format 1) can be combined.",
    "{f}は拡張形式(FFFE)です。合成できるのは通常のPCM(形式1)だけです。"],
  float: ["{f} is {bits}-bit floating point; only 8- and 16-bit PCM can be combined.",
    "{f}は{bits}ビット浮動小数点です。合成できるのは8ビットと16ビットのPCMだけです。"],
  law: ["{f} is {law} compressed; only uncompressed PCM can be combined.",
    "{f}は{law}で圧縮されています。合成できるのは無圧縮PCMだけです。"],
  kBitsOnly: ["{f} is {bits}-bit; only 8- and 16-bit PCM can be combined.",
    "{f}は{bits}ビットです。合成できるのは8ビットと16ビットのPCMだけです。"],
  kNotStereo: ["{f} is not stereo ({channels} channel(s)); both files need two.",
    "{f}はステレオではありません({channels}チャンネル)。両方とも2チャンネルである必要があります。"],
  neither: ["neither file is stereo; both need two channels.",
    "どちらのファイルもステレオではありません。両方とも2チャンネルである必要があります。"],
  kRateDiffers: ["the two files have different sample rates ({rate0} Hz and {rate1} Hz).",
    "二つのファイルのサンプリング周波数が異なります({rate0} Hz と {rate1} Hz)。"],
  kBitsDiffers: ["the two files have different sample widths ({bits0}-bit and {bits1}-bit).",
    "二つのファイルのサンプルビット数が異なります({bits0}ビットと{bits1}ビット)。"],
  kBytesPerSecDiffers: ["the two files declare different byte rates.",
    "二つのファイルの1秒当たりのバイト数が異なります。"],
  kFileOpen: ["a file could not be opened.", "ファイルを開けませんでした。"],
  kOutputWrite: ["the result could not be written.", "結果を書き込めませんでした。"],
  kDataWrite: ["a file ends before the audio it declares, or the result could not be written.",
    "ファイルが宣言された音声より先に終わっているか、結果を書き込めませんでした。"],
  other: ["exit status {status}; see the report.",
    "終了ステータス {status}。レポートを見てください。"],
};
kWhy.kHeaderWrite = kWhy.kOutputWrite; // alike
const kLanguage = [...(navigator.languages || []), navigator.language || "en"]
  .map((l) => String(l).toLowerCase().split("-")[0]).find((l) => l in kTexts) || "en";
const T = kTexts[kLanguage];

const $ = (id) => document.getElementById(id);
const [first, second, combine, cancel, progress, status, report, result, picture, player,
  channels] = ["first", "second", "combine", "cancel", "progress", "status", "report", "result",
  "picture", "player", "channels"].map($);
document.documentElement.lang = kLanguage;
document.title = T.title || document.title;
for (const node of document.querySelectorAll("[data-text]")) {
  node.textContent = T[node.dataset.text] || node.textContent;
}

// Why the engine refused, from its result: the message that ended the run (none: the run
// was cut inside a format chunk), the input it concerns and the format the scan read.
const kFormats = { 3: "float", 6: "law", 7: "law", 0xfffe: "extensible" };
function refusal(r, exit) {
  let key = r.failure || (r.concerns >= 0 ? "cut" : "other");
  if (key === "kPcmOnly") key = kFormats[r.formatTag] || key;
  if (key === "extensible" && r.formatBits !== 8 && r.formatBits !== 16) key = "kBitsOnly";
  if (key === "kNotStereo" && r.concerns < 0) key = "neither";
  const [a, b] = r.inputs;
  const fill = { f: T.files[r.concerns], bits: r.formatBits,
    law: r.formatTag === 6 ? "A-law" : "μ-law",
    hex: r.formatTag.toString(16).toUpperCase().padStart(4, "0"),
    channels: (r.inputs[r.concerns] || {}).channels,
    rate0: a.rate, rate1: b.rate, bits0: a.bits, bits1: b.bits, status: exit };
  const why = (kWhy[key] || kWhy.other)[kLanguage === "ja" ? 1 : 0];
  const text = why.replace(/\{(\w+)\}/g, (_, k) => fill[k]);
  return text.charAt(0).toUpperCase() + text.slice(1);
}

// What could drive what shows a name (controls, marks that reorder text): what the
// engine's screen shows as '?', and NUL (tests/web_test.py holds the lists together).
// eslint-disable-next-line no-control-regex -- the controls are what it is for
const driving = /[\u0000-\u001f\u007f-\u009f\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069]/gu;
const shown = (name) => name.replace(driving, "?");
// The output's name after the inputs' (a.wav, b.wav: a+b.wav) without any of that, its stem
// cut to fit file systems between characters as a reader sees them (an emoji kept whole).
function outputName(a, b) {
  const whole = [a, b].map((n) => n.replace(driving, "").replace(/\.wav$/i, "")).join("+");
  const bytes = (text) => new TextEncoder().encode(text).length;
  const characters = Intl.Segmenter
    ? [...new Intl.Segmenter().segment(whole)].map((s) => s.segment) : [whole];
  // A character larger than all the room: its code points.
  const stem = characters.flatMap((c) => (bytes(c) > kStemBytes ? [...c] : [c]));
  while (bytes(stem.join("")) > kStemBytes) stem.pop();
  return `${stem.join("")}.wav`;
}

// The worker's script: the one-file page carries it inside itself.
const inline = $("worker-source");
const workerUrl = inline
  ? URL.createObjectURL(new Blob([inline.textContent], { type: "text/javascript" })) : "worker.js";
const fromDisk = location.protocol === "file:" && !inline;

// Served, an installable app that works offline (sw.js). A new build waits and the page says
// so: Reload takes it in (the files chosen kept), Dismiss keeps this build. A page another's
// Reload left behind starts no engine (the new build's): its next Combine reloads, goes on.
let [stale, asked] = [false, false];
if (!inline && /^https?:$/.test(location.protocol) && "serviceWorker" in navigator) {
  navigator.serviceWorker.register("sw.js").then((registration) => {
    const ask = () => registration.waiting && ($("update").hidden = false);
    registration.addEventListener("updatefound",
      () => registration.installing.addEventListener("statechange", ask));
    ask();
    // Once no page's engine is loading: asked while a worker loads, Chromium can leave the
    // new build waiting until a page next starts or ends a worker.
    $("reload").addEventListener("click", () => {
      asked = true;
      const take = () => registration.waiting ? registration.waiting.postMessage("take")
        : reload(false);
      return navigator.locks?.request("engines-loading", take).catch(take) ?? take();
    });
  }).catch(() => {});
  navigator.serviceWorker.addEventListener("controllerchange", () => {
    stale = true;
    // One that was loading meanwhile may hold parts of both builds.
    for (const engine of [spare, running]) if (engine && !engine.said) engine.stale = true;
    spare?.worker?.terminate();
    spare = null;
    if (asked) reload(false);
    $("update").hidden = false;
  });
}
$("dismiss").addEventListener("click", () => ($("update").hidden = true));

// Each run's output is a file of the origin's private file system, named for the tab and
// the run. The page removes it when the run fails or its result goes (waiting while an
// ended worker holds it), and the files of tabs that are gone (no page holds their lock).
const tab = `${Date.now().toString(36)}${Math.random().toString(36).slice(2, 8)}`;
const hasDisk = !!(navigator.storage && navigator.storage.getDirectory && navigator.locks);
let [runs, diskName, saved] = [0, null, null]; // saved: the object URL of the result shown
async function diskRemove(name, tries = 40) {
  for (let k = 0; k < tries; k++, await new Promise((wake) => setTimeout(wake, 50))) {
    const removed = navigator.storage.getDirectory().then((d) => d.removeEntry(name));
    if (await removed.then(() => true, (e) => e.name === "NotFoundError")) return;
  }
}
// This tab's files of the runs so far but keep, and the files of tabs that are gone.
async function diskTidy(keep) {
  if (!hasDisk) return;
  const upTo = runs; // the runs so far, not one that starts meanwhile
  const held = new Set(((await navigator.locks.query()).held || []).map((l) => l.name));
  for await (const name of (await navigator.storage.getDirectory()).keys()) {
    const [, owner, run] = /^wavpair-([a-z0-9]+)-(\d+)\.wav$/.exec(name) || [];
    const gone = owner === tab ? +run <= upTo && name !== keep
      : owner && !held.has(`wavpair-${owner}`);
    if (gone) await diskRemove(name);
  }
}
if (hasDisk) navigator.locks.request(`wavpair-${tab}`, () => new Promise(() => {})).catch(() => {});

// An engine in a worker of its own, started ahead so that it has loaded by the time
// Combine is pressed; `ready` gives its first word: ready (within kStartMs) or failed.
function engineStart() {
  const engine = { said: null };
  engine.ready = new Promise((settle) => {
    const fail = (message) => settle({ type: "failed", message });
    setTimeout(() => fail(T.slow), kStartMs);
    try { engine.worker = new Worker(workerUrl); } catch { return fail(T.noWorker); }
    engine.worker.onmessage = ({ data }) => settle(data);
    engine.worker.onerror = (e) => e.preventDefault() || fail(e.message || T.slow);
  });
  engine.ready.then((word) => (engine.said = word));
  // Held while it loads, for a Reload in any tab to wait for.
  navigator.locks?.request("engines-loading", { mode: "shared" }, () => engine.ready)
    .catch(() => {});
  return engine;
}
let [spare, running] = [fromDisk ? null : engineStart(), null]; // running: the run's engine

// The status line, and its state for whoever watches the page: running, done, refused,
// cancelled or failed (none before the first run); no mark of a run it does not show.
function say(text, state, marks = {}) {
  status.textContent = text;
  for (const name of Object.keys(status.dataset)) delete status.dataset[name];
  Object.assign(status.dataset, marks, state ? { state } : {});
}

// The report, bounded: its first kEndLines lines, a line saying how many are left out and
// its last kEndLines lines (kept as [kind, line], drawn anew), each run of one kind a
// node: text, or a marked span for the message that ended the run.
const view = {};
const span = (className, textContent = "") =>
  Object.assign(document.createElement("span"), { className, textContent });
function nodes(lines) {
  const runs = [];
  for (const [kind, text] of lines) {
    if (runs.at(-1)?.[0] === kind) runs.at(-1)[1] += text;
    else runs.push([kind, text]);
  }
  return runs.map(([kind, text]) =>
    (kind === 3 ? span("err", text) : document.createTextNode(text)));
}
function reportAdd(pieces) {
  const head = [];
  for (let k = 0; k < pieces.length; k += 2) {
    for (const line of pieces[k + 1].split(/(?<=\n)/)) {
      const whole = line.endsWith("\n") ? 1 : 0;
      if (view.head < kEndLines) head.push([pieces[k], line]), (view.head += whole);
      else view.tail.push([pieces[k], line]), (view.lines += whole);
    }
  }
  view.top.append(...nodes(head));
  let drop = 0;
  for (; view.lines > kEndLines; drop++) {
    if (view.tail[drop][1].endsWith("\n")) view.lines--, view.left++;
  }
  view.tail.splice(0, drop);
  // Drawn at most every kDrawMs, in a frame, however many batches came: laying out the
  // tail is the page's largest cost, and Cancel must still be answered at once.
  view.timer = view.timer || setTimeout(() => requestAnimationFrame(reportDraw), kDrawMs);
}
function reportDraw() {
  clearTimeout(view.timer);
  view.timer = 0;
  view.gap.textContent = view.left ? `${T.omitted(view.left)}\n` : "";
  view.gap.dataset.lines = String(view.left);
  view.end.replaceChildren(...nodes(view.tail));
}

// A page without a run: no report, no result, the files of runs gone.
function reset() {
  clearTimeout(view.timer);
  const [top, gap, end] = [span("part"), span("part omitted"), span("part")];
  report.replaceChildren(top, gap, end);
  Object.assign(view, { top, gap, end, head: 0, tail: [], lines: 0, left: 0, timer: 0 });
  result.hidden = true;
  $("save").textContent = "";
  player.removeAttribute("src");
  player.load();
  URL.revokeObjectURL(saved);
  [saved, progress.value] = [null, 0];
  diskTidy(null).catch(() => {});
}

// Ends the run under way and says how: its worker ended, its file gone unless its result is
// shown (focus: the link to save it), the bar full only for a result, Combine usable again,
// a spare engine coming.
function finish(text, state, marks, focus) {
  running?.worker?.terminate();
  diskTidy(focus ? diskName : null).catch(() => {});
  [running, spare] = [null, spare || (stale ? null : engineStart())];
  [combine.disabled, cancel.disabled, progress.value] = [false, true, state === "done" ? 1 : 0];
  (focus || status).focus();
  say(text, state, marks);
}
const failed = (why) => finish(T.failed(why || T.noLoad), "failed", { error: "engine" });

// The picture: each channel's extremes per column, a line where the shorter input ran out.
function draw(r, columns) {
  const g = picture.getContext("2d");
  const [w, h, n] = [picture.width, picture.height / 2, columns.length / 4];
  const [full, centre] = r.inputs[0].bits === 8 ? [128, 128] : [32768, 0];
  g.fillStyle = "#fff";
  g.fillRect(0, 0, w, 2 * h);
  ["#0b57d0", "#137333"].forEach((colour, ch) => {
    g.fillStyle = colour;
    const y = (v) => ch * h + h / 2 - ((v - centre) / full) * (h / 2 - 2);
    for (let x = 0; x < n; x++) {
      const [lo, hi] = [columns[4 * x + 2 * ch], columns[4 * x + 2 * ch + 1]];
      if (lo <= hi) g.fillRect((x * w) / n, y(hi), Math.max(1, w / n), Math.max(1, y(lo) - y(hi)));
    }
  });
  picture.dataset.shorterFrames = String(r.shorterFrames);
  g.fillStyle = "#c5221f";
  const x = (r.shorterFrames / r.outputFrames) * w;
  if (r.shorterFrames < r.outputFrames) g.fillRect(x - 1, 0, 2, 2 * h);
}

// The channel the listener picked in both ears, or both as they are (Web Audio).
let audio = null;
channels.addEventListener("change", () => {
  if (!audio) {
    const context = new AudioContext();
    audio = { context, split: context.createChannelSplitter(2),
      merge: context.createChannelMerger(2) };
    context.createMediaElementSource(player).connect(audio.split);
    audio.merge.connect(context.destination);
  }
  audio.split.disconnect();
  ({ both: [0, 1], left: [0, 0], right: [1, 1] })[channels.value].forEach((from, to) =>
    audio.split.connect(audio.merge, from, to));
  audio.context.resume().catch(() => {});
});
player.addEventListener("play", () => audio && audio.context.resume().catch(() => {}));

// The result shown: playing time, picture, player and the link to save it.
async function show(r, columns, onDisk, name, files, parts) {
  // The tool's own 0 Hz: 0 s.
  const seconds = (n) => (r.inputs[0].rate ? n / r.inputs[0].rate : 0).toFixed(3);
  const shorter = r.shorterFrames < r.outputFrames && seconds(r.shorterFrames);
  $("duration").textContent = T.time(seconds(r.outputFrames), shorter);
  draw(r, columns);
  const sides = (r.longer === 1 ? [files[1], files[0]] : files).map((f) => shown(f.name));
  picture.setAttribute("aria-label", T.pictureLabel(...sides));
  $("sides").textContent = T.sides(...sides);
  const disk = onDisk && (await navigator.storage.getDirectory());
  const file = onDisk ? await (await disk.getFileHandle(diskName)).getFile()
    : new Blob(parts, { type: "audio/wav" });
  saved = player.src = URL.createObjectURL(file);
  const link = Object.assign(document.createElement("a"), { id: "download", href: saved,
    download: name, textContent: T.save(name) });
  $("save").append(link);
  result.hidden = false;
  return link;
}

const chosen = () => [first.files[0], second.files[0]];
// The page again, the files chosen and the run if asked kept in its history entry.
function reload(run) {
  try {
    history.replaceState({ files: chosen(), run }, "");
  } catch { /* files a history entry cannot hold are chosen again */ }
  location.reload();
}

async function start(event) {
  event.preventDefault();
  if (running || fromDisk) return; // from disk, the page has said what to open instead
  if (!chosen().every(Boolean)) return say(T.chooseBoth);
  if (!spare) return reload(true); // left behind by a new build
  [combine.disabled, cancel.disabled] = [true, false];
  reset();
  cancel.focus();
  const engine = spare;
  [running, spare] = [spare, null];
  say(engine.said ? T.combining : T.starting, "running");
  const word = await engine.ready;
  if (running !== engine) return; // cancelled meanwhile
  if (engine.stale) return reload(true);
  if (word.type !== "ready") return failed(word.message);
  const [files, parts, began] = [chosen(), [], performance.now()];
  const size = Math.max(files[0].size, files[1].size); // the output is never larger
  if (!word.disk && size > kMemoryBytes) {
    return finish(T.tooLarge(Math.round(size / 1e6)), "refused", { error: "too-large" });
  }
  say(T.combining, "running");
  const name = outputName(files[0].name, files[1].name);
  const heard = {
    report: ({ pieces, done, total }) => {
      reportAdd(pieces);
      progress.value = total > 0 ? done / total : 0;
    },
    // Each piece a blob at once, which may go to disk.
    chunk: ({ bytes }) => parts.push(new Blob([bytes])),
    failed: ({ message }) => failed(message),
    end: async ({ status: exit, disk: onDisk, result: r, columns }) => {
      cancel.disabled = true; // nothing left to cancel while the result is being shown
      reportDraw(); // the whole report, before the page says the run has ended
      const marks = { exit: String(exit), ms: String(Math.round(performance.now() - began)),
        output: onDisk ? "disk" : "memory" };
      if (exit !== 0) return finish(T.refused(refusal(r, exit)), "refused", marks);
      finish(T.done(name), "done", marks, await show(r, columns, onDisk, name, files, parts));
    },
  };
  engine.worker.onmessage = ({ data }) => {
    if (running === engine && heard[data.type]) heard[data.type](data);
  };
  engine.worker.onerror = (e) => {
    e.preventDefault();
    if (running === engine) failed(e.message || T.slow);
  };
  engine.worker.postMessage({ first: files[0], second: files[1], output: name,
    diskName: (diskName = word.disk ? `wavpair-${tab}-${++runs}.wav` : null) });
}

$("form").addEventListener("submit",
  (event) => start(event).catch((e) => failed(String(e.message || e))));
cancel.addEventListener("click", () => {
  if (!running) return;
  finish(T.cancelled, "cancelled");
});
// A page put aside for going back (the back/forward cache) keeps its result; a page
// that goes removes its file, best effort: the next page removes what is left.
addEventListener("pagehide", (event) => !event.persisted && diskName && diskRemove(diskName, 1));

// Each file box takes a dropped file as if it had been chosen.
for (const input of [first, second]) {
  const box = $(`${input.id}-drop`);
  const over = (on) => (e) => e.preventDefault() || box.classList.toggle("over", on);
  box.addEventListener("dragover", over(true));
  box.addEventListener("dragleave", over(false));
  box.addEventListener("drop", (e) => {
    over(false)(e);
    if (e.dataTransfer.files.length) input.files = e.dataTransfer.files;
  });
}
reset();
if (fromDisk) {
  say(T.fromDisk, null, { error: "from-disk" });
} else {
  const { files = [], run = false } = history.state || {}; // what a reload carried over
  history.replaceState(null, "");
  [first, second].forEach((input, k) => {
    const carried = new DataTransfer();
    if (files[k] instanceof File) carried.items.add(files[k]), (input.files = carried.files);
  });
  say(T.choose);
  if (run) $("form").requestSubmit();
}
