// The page: picks two files, runs the engine on them in a worker, shows its report as
// it is written (bounded: the first and the last lines) and, on success, the output's
// picture, a player and a link to save it. It speaks the reader's language (Japanese
// or English); the report stays the tool's own Japanese. What it says about a run
// comes from the engine's result, never from the report. Nothing is sent anywhere: the
// output is the tab's file in the origin's private file system where the browser has
// one, and is gathered here only where it has not.
"use strict";

const kStartMs = 5000; // an engine not loaded by then has failed to start
const kBuild = "@BUILD@"; // the page runs workers and engines of this build only
const kDrawMs = 200; // the report is drawn at most this often while it comes
const kStopMs = 500; // a cancelled worker that has not tidied up by then is ended anyway
const kLargeBytes = 512 << 20; // inputs from which gathering the output here is a risk
const kHeadLines = 2000; // the report shows its first lines and its last ones
const kTailLines = 2000;
const kStemBytes = 200; // the saved name's stem, in UTF-8: file systems take 255 bytes

// A file's format, as a person knows it: the format tag the scan read and its bits.
const kTagNames = { 3: "float", 6: "alaw", 7: "mulaw", 0xfffe: "extensible" };
const formatOf = (r) => ({ tag: r.formatTag, bits: r.formatBits, kind: kTagNames[r.formatTag] || "compressed",
  hex: r.formatTag.toString(16).toUpperCase().padStart(4, "0") });
const pcmBits = (bits) => bits === 8 || bits === 16;

const kTexts = {
  en: {
    title: "wavpair: two stereo WAV files side by side",
    intro: "Two stereo WAV files (PCM, 8 or 16 bits) become one: the longer one, folded to " +
      "mono, on the left channel, the other on the right. Everything happens on this computer; " +
      "the files are not sent anywhere.",
    first: "First WAV file", second: "Second WAV file", drop: "or drop it here",
    combine: "Combine", cancel: "Cancel", progress: "Progress", report: "Report (in Japanese)",
    result: "Result", listen: "Listen", channels: "Channels",
    both: "Both", left: "Left channel in both ears", right: "Right channel in both ears",
    pictureLabel: (left, right) => `The output's left channel (${left}) above its right channel (${right})`,
    caption: "Left channel above, right channel below; the line marks where the shorter input ran out.",
    sides: (left, right) => `Left: ${left}, folded to mono. Right: ${right}.`,
    choose: "Choose two files.", chooseBoth: "Choose a first and a second file.",
    combining: "Combining…", cancelled: "Cancelled.", starting: "Starting the engine…",
    done: (name) => `Done: ${name} is ready to save.`, save: (name) => `Save ${name}`,
    time: (all, at) => `Playing time: ${all} s` + (at ? `; the shorter input runs out at ${at} s.` : "."),
    omitted: (n) => `… ${n.toLocaleString("en")} lines left out …`,
    failed: (why) => `The engine could not run: ${why}. Reload the page to try again.`,
    slow: "it did not start", noWorker: "this browser will not start it here",
    noLoad: "it could not be loaded",
    fromDisk: "This page needs a web server. Opened from disk, use wavpair.html (the whole page " +
      "in one file) beside it instead.",
    memory: "This browser cannot write the result to disk from this page, so it is kept in " +
      "memory: a result this large may need more memory than the computer has.",
    refused: (why) => `Refused: ${why}`,
    files: ["the first file", "the second file"],
    // For each message of the engine that can end a run in the browser: why, in the
    // reader's words, from the run's result (f: the file it concerns, r: the result).
    why: {
      kInputOpen: (f) => `${f} could not be read.`,
      kReadFailed: (f) => `${f} is too short to be a WAV file.`,
      kNoWave: (f) => `${f} is not a WAV file.`,
      kNotRiff: (f) => `${f} is not a WAV file (or a big-endian one).`,
      kNoFmt: (f) => `${f} has no format chunk.`,
      kNoData: (f) => `${f} holds no audio (no data chunk).`,
      cut: (f) => `${f} ends inside its format chunk.`,
      kPcmOnly: (f, r) => {
        const { bits, kind, hex } = formatOf(r);
        if (kind === "extensible" && !pcmBits(bits)) return kTexts.en.why.kBitsOnly(f, r);
        if (kind === "extensible") return `${f} is ${bits}-bit PCM in the extensible format (FFFE); only plain PCM (format 1) can be combined.`;
        if (kind === "float") return `${f} is ${bits}-bit floating point; only 8- and 16-bit PCM can be combined.`;
        if (kind === "alaw" || kind === "mulaw") return `${f} is ${kind === "alaw" ? "A-law" : "μ-law"} compressed; only uncompressed PCM can be combined.`;
        return `${f} is compressed (format ${hex}); only uncompressed PCM can be combined.`;
      },
      kBitsOnly: (f, r) => `${f} is ${r.formatBits}-bit; only 8- and 16-bit PCM can be combined.`,
      kNotStereo: (f, r) => f ? `${f} is not stereo (${r.inputs[r.concerns].channels} channel(s)); both files need two.`
        : "neither file is stereo; both need two channels.",
      kRateDiffers: (f, r) => `the two files have different sample rates (${r.inputs[0].rate} Hz and ${r.inputs[1].rate} Hz).`,
      kBitsDiffers: (f, r) => `the two files have different sample widths (${r.inputs[0].bits}-bit and ${r.inputs[1].bits}-bit).`,
      kBytesPerSecDiffers: () => "the two files declare different byte rates.",
      kFileOpen: () => "a file could not be opened.",
      kHeaderWrite: () => "the result could not be written.",
      kDataWrite: () => "a file ends before the audio it declares, or the result could not be written.",
      kOutputWrite: () => "the result could not be written.",
      other: (f, r, status) => `exit status ${status}; see the report.`,
    },
  },
  ja: {
    title: "wavpair: 二つのステレオWAVファイルを並べる",
    intro: "二つのステレオWAVファイル(PCM、8または16ビット)をひとつにします。長いほうをモノラルに" +
      "まとめて左チャンネルに、もう一方を右チャンネルに入れます。処理はすべてこのコンピュータの中で" +
      "行われ、ファイルはどこにも送られません。",
    first: "一つ目のWAVファイル", second: "二つ目のWAVファイル", drop: "またはここにドロップ",
    combine: "合成", cancel: "中止", progress: "進み具合", report: "レポート",
    result: "結果", listen: "試聴", channels: "チャンネル",
    both: "両方", left: "左チャンネルを両耳で", right: "右チャンネルを両耳で",
    pictureLabel: (left, right) => `出力の左チャンネル(${left}、上)と右チャンネル(${right}、下)`,
    caption: "上が左チャンネル、下が右チャンネル。線は短いほうの入力が終わった位置です。",
    sides: (left, right) => `左: ${left}(モノラルにまとめたもの)。右: ${right}。`,
    choose: "ファイルを二つ選んでください。", chooseBoth: "一つ目と二つ目のファイルを選んでください。",
    combining: "合成しています…", cancelled: "中止しました。", starting: "エンジンを起動しています…",
    done: (name) => `完了: ${name} を保存できます。`, save: (name) => `${name} を保存`,
    time: (all, at) => `再生時間: ${all} 秒` + (at ? `(短いほうの入力は ${at} 秒で終わります)。` : "。"),
    omitted: (n) => `… ${n.toLocaleString("ja")} 行を省略 …`,
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
      kNoFmt: (f) => `${f}にはフォーマットチャンクがありません。`,
      kNoData: (f) => `${f}には音声(dataチャンク)がありません。`,
      cut: (f) => `${f}はフォーマットチャンクの途中で終わっています。`,
      kPcmOnly: (f, r) => {
        const { bits, kind, hex } = formatOf(r);
        if (kind === "extensible" && !pcmBits(bits)) return kTexts.ja.why.kBitsOnly(f, r);
        if (kind === "extensible") return `${f}は拡張形式(FFFE)の${bits}ビットPCMです。合成できるのは通常のPCM(形式1)だけです。`;
        if (kind === "float") return `${f}は${bits}ビット浮動小数点です。合成できるのは8ビットと16ビットのPCMだけです。`;
        if (kind === "alaw" || kind === "mulaw") return `${f}は${kind === "alaw" ? "A-law" : "μ-law"}で圧縮されています。合成できるのは無圧縮PCMだけです。`;
        return `${f}は圧縮されています(形式 ${hex})。合成できるのは無圧縮PCMだけです。`;
      },
      kBitsOnly: (f, r) => `${f}は${r.formatBits}ビットです。合成できるのは8ビットと16ビットのPCMだけです。`,
      kNotStereo: (f, r) => f ? `${f}はステレオではありません(${r.inputs[r.concerns].channels}チャンネル)。両方とも2チャンネルである必要があります。`
        : "どちらのファイルもステレオではありません。両方とも2チャンネルである必要があります。",
      kRateDiffers: (f, r) => `二つのファイルのサンプリング周波数が異なります(${r.inputs[0].rate} Hz と ${r.inputs[1].rate} Hz)。`,
      kBitsDiffers: (f, r) => `二つのファイルのサンプルビット数が異なります(${r.inputs[0].bits}ビットと${r.inputs[1].bits}ビット)。`,
      kBytesPerSecDiffers: () => "二つのファイルの1秒当たりのバイト数が異なります。",
      kFileOpen: () => "ファイルを開けませんでした。",
      kHeaderWrite: () => "結果を書き込めませんでした。",
      kDataWrite: () => "ファイルが宣言された音声より先に終わっているか、結果を書き込めませんでした。",
      kOutputWrite: () => "結果を書き込めませんでした。",
      other: (f, r, status) => `終了ステータス ${status}。レポートを見てください。`,
    },
  },
};
// The second text of a refusal says the same as the first.
for (const texts of Object.values(kTexts)) {
  Object.assign(texts.why, { kPcmOnlyTag: texts.why.kPcmOnly, kBitsOnlyValue: texts.why.kBitsOnly });
}
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
const player = $("player");
const channels = $("channels");

document.documentElement.lang = kLanguage;
document.title = T.title;
for (const node of document.querySelectorAll("[data-text]")) node.textContent = T[node.dataset.text];

// What could drive what shows a name (controls, marks that reorder text): the
// characters the engine's screen form shows as '?', and NUL (tests/web_test.py holds
// the two lists together). '?' where the page shows a name, gone from a name the
// browser saves under.
const driving = /[\u0000-\u001f\u007f-\u009f\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069]/gu;
const shown = (name) => name.replace(driving, "?");
// The output's name, after the inputs: long.wav and short.wav give long+short.wav, its
// stem cut at a character to what every file system takes.
function outputName(a, b) {
  const stem = `${a.replace(/\.wav$/i, "")}+${b.replace(/\.wav$/i, "")}`;
  const encoder = new TextEncoder();
  let cut = "";
  let bytes = 0;
  for (const c of stem) {
    bytes += encoder.encode(c).length;
    if (bytes > kStemBytes) break;
    cut += c;
  }
  return `${cut}.wav`;
}

// The worker's script: the one-file page carries it inside itself, as one URL for
// every run.
const inline = $("worker-source");
const workerUrl = inline ? URL.createObjectURL(new Blob([inline.textContent], { type: "text/javascript" }))
  : "worker.js";

// Served, the site is an installable app that works offline (sw.js); the one-file
// page from disk stays as it is.
if (!inline && /^https?:$/.test(location.protocol) && "serviceWorker" in navigator) {
  // A new build takes over while this page is idle (no run, no result shown), and the
  // page reloads at once; a busy page keeps its build's files and reloads when a run
  // would meet another build's worker (start).
  const idle = () => !running && result.hidden;
  navigator.serviceWorker.register("sw.js").then((registration) => {
    const take = () => registration.waiting && idle() && registration.waiting.postMessage("take");
    registration.addEventListener("updatefound", () => registration.installing.addEventListener("statechange", take));
    take();
  }).catch(() => {});
  navigator.serviceWorker.addEventListener("controllerchange", () => idle() && location.reload());
}

// The output's file on disk: one per tab, which every run truncates, named for the
// tab so that a page that is gone leaves nothing behind: another page removes what no
// live page holds (Web Locks).
const tab = `${Date.now().toString(36)}${Math.random().toString(36).slice(2, 8)}`;
const diskName = `wavpair-${tab}.wav`;
let saved = null; // the object URL of the result shown
const disk = async () => navigator.storage.getDirectory();
async function diskRemove(name) {
  try {
    await (await disk()).removeEntry(name);
  } catch (e) {
    // held or gone: the next page's first run removes what no page holds
  }
}
async function leftoversRemove() {
  if (!navigator.locks) return;
  const held = new Set(((await navigator.locks.query()).held || []).map((l) => l.name));
  for await (const name of (await disk()).keys()) {
    const owner = /^wavpair-([a-z0-9]+)(-\d+)?\.wav$/.exec(name);
    if (owner && !held.has(`wavpair-${owner[1]}`)) await diskRemove(name);
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
    if (data.type === "ready") {
      engine.disk = data.disk;
      engine.build = data.build;
    }
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

// The status line, and its state for whoever watches the page: running, done,
// refused, cancelled or failed (none before the first run).
function say(text, state, attributes = {}) {
  status.textContent = text;
  for (const name of Object.keys(status.dataset)) delete status.dataset[name];
  Object.assign(status.dataset, attributes, state ? { state } : {});
}

// The report, bounded whatever the run prints: its first kHeadLines lines, then a
// line saying how many are left out, then its last kTailLines lines. Standard error's
// lines are marked (red on a refusal).
const view = { head: 0, tail: [], shown: 0, left: 0, gap: null, end: null, drawn: 0 };
function reportClear() {
  clearTimeout(view.drawn);
  report.textContent = "";
  view.gap = document.createElement("span");
  view.gap.className = "omitted";
  view.end = document.createElement("span");
  report.append(view.gap, view.end);
  Object.assign(view, { head: 0, tail: [], shown: 0, left: 0, drawn: 0 });
}
// Texts of one kind in a row as one node: text, or a marked span for the message that
// ended the run.
function linesNode(stream, text) {
  if (stream !== 3) return document.createTextNode(text);
  const span = document.createElement("span");
  span.className = "err";
  span.textContent = text;
  return span;
}
// Where text's first n lines end, and how many it has of them.
function linesCut(text, n) {
  let at = 0;
  let taken = 0;
  for (; taken < n && at < text.length; taken++) {
    const nl = text.indexOf("\n", at);
    at = nl < 0 ? text.length : nl + 1;
  }
  return [at, taken];
}
const linesCount = (text) => linesCut(text, Infinity)[1];
// Each batch of the report: the head while it has room, the rest into the tail, which
// keeps its last kTailLines lines and counts the ones it lets go. Only the tail is
// drawn again, so a batch costs the same however long the report is.
function reportAdd(pieces) {
  const head = document.createDocumentFragment();
  for (let k = 0; k + 1 < pieces.length; k += 2) {
    const [stream, text] = [pieces[k], pieces[k + 1]];
    const [cut, taken] = linesCut(text, kHeadLines - view.head);
    if (cut > 0) head.append(linesNode(stream, text.slice(0, cut)));
    view.head += taken;
    if (cut === text.length) continue;
    const rest = { stream, text: text.slice(cut), lines: linesCount(text.slice(cut)) };
    const last = view.tail[view.tail.length - 1];
    if (last && last.stream === stream) Object.assign(last, { text: last.text + rest.text, lines: last.lines + rest.lines });
    else view.tail.push(rest);
    view.shown += rest.lines;
  }
  view.gap.before(head);
  while (view.shown > kTailLines) {
    const first = view.tail[0];
    const drop = Math.min(first.lines, view.shown - kTailLines);
    if (drop === first.lines) view.tail.shift();
    else Object.assign(first, { text: first.text.slice(linesCut(first.text, drop)[0]), lines: first.lines - drop });
    view.shown -= drop;
    view.left += drop;
  }
  // Drawn at most every kDrawMs, in a frame, however many batches came: laying out the
  // tail is the page's largest cost, and Cancel must still be answered at once.
  view.drawn = view.drawn || setTimeout(() => requestAnimationFrame(reportDraw), kDrawMs);
}
function reportDraw() {
  clearTimeout(view.drawn);
  view.drawn = 0;
  view.gap.textContent = view.left > 0 ? `${T.omitted(view.left)}\n` : "";
  view.gap.dataset.lines = String(view.left);
  view.end.replaceChildren(...view.tail.map((p) => linesNode(p.stream, p.text)));
}
reportClear();

function reset() {
  reportClear();
  result.hidden = true;
  $("save").textContent = "";
  player.pause();
  player.removeAttribute("src");
  player.load();
  if (saved) URL.revokeObjectURL(saved);
  saved = null;
  progress.value = 0;
  leftoversRemove().catch(() => {});
}

// Ends the run under way on the page: Combine usable again, a spare engine coming.
function finish(focus) {
  running = null;
  spare = spare || engineStart();
  combine.disabled = false;
  cancel.disabled = true;
  (focus || status).focus();
}

// Stops an engine: asked first to leave nothing on disk, ended within kStopMs anyway.
function engineStop(engine) {
  const end = () => engine.worker.terminate();
  if (engine.state !== "ready") return end();
  engine.worker.onmessage = ({ data }) => data.type === "cancelled" && end();
  engine.worker.postMessage({ type: "cancel" });
  setTimeout(end, kStopMs);
}

function failed(why) {
  if (running) running.worker.terminate();
  finish();
  say(T.failed(why || T.noLoad), "failed", { error: "engine" });
}

function draw(end, names) {
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
  picture.setAttribute("aria-label", T.pictureLabel(...names));
  $("sides").textContent = T.sides(...names);
}

// The channel the listener picked, in both ears (Web Audio), or the output as it is.
let audio = null;
function channelsRoute() {
  if (!audio && channels.value === "both") return;
  if (!audio) {
    const context = new AudioContext();
    audio = { context, source: context.createMediaElementSource(player),
      split: context.createChannelSplitter(2), merge: context.createChannelMerger(2) };
  }
  const { context, source, split, merge } = audio;
  source.disconnect();
  split.disconnect();
  merge.disconnect();
  if (channels.value === "both") {
    source.connect(context.destination);
  } else {
    const side = channels.value === "left" ? 0 : 1;
    source.connect(split);
    split.connect(merge, side, 0);
    split.connect(merge, side, 1);
    merge.connect(context.destination);
  }
  if (context.state === "suspended") context.resume().catch(() => {});
}
channels.addEventListener("change", channelsRoute);
player.addEventListener("play", () => audio && audio.context.resume().catch(() => {}));

async function show(end, name, files, parts) {
  const r = end.result;
  const facts = { frames: r.outputFrames, shorterFrames: r.shorterFrames, rate: r.inputs[0].rate,
    bits: r.inputs[0].bits, columns: end.columns };
  const seconds = (n) => (facts.rate ? n / facts.rate : 0).toFixed(3);
  $("duration").textContent =
    T.time(seconds(facts.frames), facts.shorterFrames < facts.frames ? seconds(facts.shorterFrames) : null);
  const sides = r.longer === 1 ? [files[1], files[0]] : files;
  draw(facts, sides.map((f) => shown(f.name)));
  const file = end.disk ? await (await (await disk()).getFileHandle(diskName)).getFile()
    : new Blob(parts, { type: "audio/wav" });
  saved = URL.createObjectURL(file);
  player.src = saved;
  const link = document.createElement("a");
  link.id = "download";
  link.href = saved;
  link.download = name.replace(driving, "");
  link.textContent = T.save(shown(name));
  $("save").append(link);
  result.hidden = false;
  return link;
}

// Why the engine refused, from its result: the message that ended the run and the
// input it concerns; a run that ended with no message was cut inside a format chunk.
function refusal(r, status) {
  const file = r.concerns >= 0 ? T.files[r.concerns] : null;
  const why = r.failure ? T.why[r.failure] : r.concerns >= 0 ? T.why.cut : null;
  const text = (why || T.why.other)(file, r, status);
  return text.charAt(0).toUpperCase() + text.slice(1);
}

// The page of a build that is no longer the site's, or with a worker of another: the
// page of the current build instead, once; should that not help, the page says so.
function buildReload() {
  if (sessionStorage.getItem("wavpair-reload") === kBuild) return failed(T.noLoad);
  sessionStorage.setItem("wavpair-reload", kBuild);
  location.reload();
}

async function start(event) {
  event.preventDefault();
  if (running) return;
  if (location.protocol === "file:" && !inline) {
    say(T.fromDisk, null, { error: "from-disk" });
    return;
  }
  if (!first.files.length || !second.files.length) {
    say(T.chooseBoth);
    return;
  }
  combine.disabled = true;
  reset();
  cancel.disabled = false;
  cancel.focus();
  say(spare.state === "ready" ? T.combining : T.starting, "running");
  const engine = (running = spare);
  spare = null;
  await engineReady(engine);
  if (running !== engine) return; // cancelled meanwhile
  if (engine.state === "failed") {
    failed(engine.why);
    return;
  }
  if (engine.build !== kBuild) {
    buildReload();
    return;
  }
  say(T.combining, "running");
  const files = [first.files[0], second.files[0]];
  const name = outputName(files[0].name, files[1].name);
  const parts = [];
  const began = performance.now();
  engine.worker.onmessage = async ({ data }) => {
    if (running !== engine) return;
    if (data.type === "report") {
      reportAdd(data.pieces);
    } else if (data.type === "chunk") {
      parts.push(new Blob([data.bytes])); // each piece a blob at once, which may go to disk
    } else if (data.type === "progress") {
      progress.value = data.total > 0 ? data.done / data.total : 0;
    } else if (data.type === "failed") {
      failed(data.message);
    } else if (data.type === "end") {
      // The run is over: nothing left to cancel while its result is being shown.
      cancel.disabled = true;
      reportDraw(); // the whole report, before the page says the run has ended
      engine.worker.terminate();
      const attributes = { exit: String(data.status), ms: String(Math.round(performance.now() - began)),
        output: data.disk ? "disk" : "memory" };
      if (data.status === 0) {
        progress.value = 1;
        const link = await show(data, name, files, parts);
        finish(link);
        say(T.done(shown(name)), "done", attributes);
      } else {
        finish();
        say(T.refused(refusal(data.result, data.status)), "refused", attributes);
      }
    }
  };
  engine.worker.onerror = (e) => {
    e.preventDefault();
    if (running === engine) failed(e.message || T.slow);
  };
  engine.worker.postMessage({ type: "run", first: files[0], second: files[1], output: name,
    diskName: engine.disk ? diskName : null });
}

$("form").addEventListener("submit", (event) => start(event).catch((e) => failed(String(e.message || e))));
cancel.addEventListener("click", () => {
  if (!running) return;
  engineStop(running);
  finish();
  progress.value = 0;
  say(T.cancelled, "cancelled");
});
// A page put aside for going back (the back/forward cache) keeps its result; a page
// that goes removes its file, best effort: the next page's first run removes what a
// page left.
addEventListener("pagehide", (event) => {
  if (!event.persisted && navigator.storage && navigator.storage.getDirectory) diskRemove(diskName);
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
  say(T.fromDisk, null, { error: "from-disk" });
} else {
  say(T.choose);
  engineReady(spare).then(memoryNotice);
}
