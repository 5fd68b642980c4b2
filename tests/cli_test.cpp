// Runs the built tool in a fresh folder per case and compares the exit status, standard
// output, standard error and every file left behind, byte for byte.
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <map>
#include <thread>

#include "combine/combine.h"
#include "fixture.h"
#include "text.h"

namespace {

using Files = std::vector<std::pair<std::string, Bytes>>;

struct Case {
  std::string name;
  Files files;
  std::vector<std::string> args;
  int status;
  std::optional<Console> expect;  // none: not compared
  std::optional<Bytes> output;    // what args[2] holds afterwards; none: the folder is unchanged
  std::string shell = "";         // redirections of the case's own
};

// Every entry of a folder, files (and the files links lead to) by content.
std::map<Text, Bytes> snapshot(const fs::path& dir) {
  std::map<Text, Bytes> m;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    m[utf8(fs::relative(e.path(), dir))] = e.is_regular_file() ? readFile(e.path()) : "<dir>";
  }
  return m;
}

// Text streams end lines with CR LF on Windows.
Text lineEnds(Text s) {
  for (size_t i = 0; kWindows && (i = s.find('\n', i)) != Text::npos; i += 2) s.insert(i, 1, '\r');
  return s;
}

void run(const std::vector<Case>& cases) {
  const fs::path root = fs::temp_directory_path() / ("wavpair-test-" + std::to_string(getpid()));
  const fs::path dir = root / "work";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root);
    fs::create_directories(dir / "sub");
    for (const auto& [name, bytes] : c.files) writeFile(dir / pathOf(name), bytes);
    // Other names for the inputs: hard.wav a hard link, soft.wav a symbolic link.
    if (fs::exists(dir / "a.wav")) fs::create_hard_link(dir / "a.wav", dir / "hard.wav");
    if (!kWindows && fs::exists(dir / "b.wav")) fs::create_symlink("b.wav", dir / "soft.wav");
    auto before = snapshot(dir);
    Console got;
    EXPECT_EQ(runTool(dir, c.args, &got, c.shell), c.status);
    if (c.expect) {
      EXPECT_EQ(toUtf8(got.out), lineEnds(c.expect->out));
      EXPECT_EQ(toUtf8(got.err), lineEnds(c.expect->err));
    }
    auto after = snapshot(dir);
    if (c.output) {
      EXPECT_TRUE(after[c.args[2]] == *c.output) << "output differs";
      before.erase(c.args[2]), after.erase(c.args[2]);
    }
    EXPECT_TRUE(before == after) << "an input or the folder changed";
  }
  fs::remove_all(root);
}

const std::vector<std::string> kAbo = {"a.wav", "b.wav", "out.wav"};
const Text kDataWrite = "wavDataWriteでエラー発生.\n";
Text done(const Text& a, const Text& b, const Text& o) {
  return "\n[" + a + "] と [" + b + "] を [" + o + "] へ合成しました.\n";
}
const Text kDone = done("a.wav", "b.wav", "out.wav");
// Both inputs reported in full, then what the run adds.
Console both(const Pcm& a, const Pcm& b, const Text& out, const Text& err, const Text& na = "a.wav",
             const Text& nb = "b.wav") {
  const Console ra = scanReport(na, a), rb = scanReport(nb, b);
  return {ra.out + rb.out + out, ra.err + rb.err + err};
}
// Both streams into one file: a scan's lines in the order they are printed.
Text interleaved(const Text& name, const Pcm& p) {
  const Console r = scanReport(name, p);
  const size_t head = r.out.find(']') + 2, time = r.out.find("\n 時間"), fmt = r.err.find('\n') + 1;
  return r.out.substr(0, head) + r.err.substr(0, fmt) + r.out.substr(head, time - head) +
         r.err.substr(fmt) + r.out.substr(time);
}
Files pair(const Pcm& a, const Pcm& b) { return {{"a.wav", a.file()}, {"b.wav", b.file()}}; }
// Refused once both inputs are scanned, before any output.
Case refused(const Text& name, const Pcm& a, const Pcm& b, const Text& err,
             const Text& out = "out.wav") {
  return {name, pair(a, b), {"a.wav", "b.wav", out}, 255, both(a, b, "", err), {}};
}
// What the scan of p's file, followed by the chunk tail and cut to k bytes, prints, and
// whether that ends the run: a cut RIFF header, no chunk, a cut format chunk (silent),
// no data chunk; the tail is reported where its header is whole.
std::pair<Console, bool> scanCut(const Text& name, const Pcm& p, const Bytes& tail, size_t k) {
  Console c = scanReport(name, p);
  const Text head = "\nファイル名[" + name + "]\n", fmtLen = c.err.substr(0, c.err.find('\n') + 1);
  if (k < 12) return {{head, " " + std::to_string(k) + " で読み込み失敗.\n"}, true};
  if (k < 20) return {{head, "'fmt ' が無い.\n"}, true};
  if (k < 36) return {{head, fmtLen}, true};
  if (k < 44) return {{c.out.substr(0, c.out.find("\n 時間")), fmtLen + "'data' が無い.\n"}, true};
  if (!tail.empty() && k >= p.file().size() + 8) {
    c.out.insert(c.out.find("\n 時間"), " \"" + tail.substr(0, 4) + "\"の長さ: " +
                                            std::to_string(tail.size() - 8) + " [bytes]\n");
  }
  return {c, false};
}
// A pair, the first the longer, whose files (with tail after each) are cut to cutA and
// cutB bytes: combined where no frame is missing from either input, and otherwise
// refused with the folder as it was.
Case cut(const Text& name, const Pcm& a, const Pcm& b, size_t cutA, size_t cutB,
         const Bytes& tail = "") {
  const size_t s = a.bits / 4, m = a.samples.size() / 2, n = std::min(m, b.samples.size() / 2);
  const auto held = [s](size_t cut) { return cut < 44 ? 0 : (cut - 44) / s; };
  const bool whole = held(cutA) >= m && held(cutB) >= n;
  const Files files = {{"a.wav", (a.file() + tail).substr(0, cutA)},
                       {"b.wav", (b.file() + tail).substr(0, cutB)}};
  const auto [ra, endedA] = scanCut("a.wav", a, tail, cutA);
  const auto [rb, endedB] = scanCut("b.wav", b, tail, cutB);
  const bool scanned = !endedA && !endedB;
  const Console report = endedA ? ra : Console{ra.out + rb.out, ra.err + rb.err};
  Case c{name, files, kAbo, scanned && whole ? 0 : 255, report, std::nullopt};
  if (scanned) c.expect->out += whole ? kDone : "", c.expect->err += whole ? "" : kDataWrite;
  if (scanned && whole) c.output = expectedOutput(a, b);
  return c;
}
// The files given, combined as args say: a's fold and b's, the report naming them as shown.
Case named(const Text& name, const Files& files, const std::vector<std::string>& args, const Pcm& a,
           const Pcm& b, const std::vector<Text>& shown, const std::string& shell = "") {
  const Console report = both(a, b, done(shown[0], shown[1], shown[2]), "", shown[0], shown[1]);
  return {name, files, args, 0, report, expectedOutput(a, b), shell};
}
Case combined(const Text& name, const Pcm& a, const Pcm& b) {
  return named(name, pair(a, b), kAbo, a, b, kAbo);
}
// One file as the first input, reported; where its scan succeeds, the missing second
// input ends the run.
Case scan(const Text& name, const Bytes& file, bool ok, const Text& out, const Text& err) {
  const Text gone = ok ? " gone.wavをオープンできません.\n" : "";
  const Console report{"\nファイル名[a.wav]\n" + out, err + gone};
  return {name, {{"a.wav", file}}, {"a.wav", "gone.wav", "out.wav"}, 255, report, {}};
}

TEST(Cli, RunsMatchByteForByte) {
  const Text usage = msg::kUsage.utf8;
  const Pcm s10 = noise(16, 10, 3), s4 = noise(16, 4, 4), s5 = noise(16, 5, 5);
  const Pcm e10 = noise(8, 10, 6, 11025), e4 = noise(8, 4, 7, 11025), empty{16, 8000, {}};
  Pcm mono = noise(16, 3, 8), odd8 = e10, oddB = s4, liar = s4, below = empty, w10 = s10;
  mono.channels = 1, odd8.tail = "z", oddB.tail = "q", liar.bps = 32001, below.tail = "xy";
  w10.bps = 12345;  // agrees with itself; the output's rate is computed, not copied
  // Frame size times rate must fit the header's 32 bits: 4 * 2^30 does not, 2 * 2^30 does.
  Pcm fast = s4, fast8 = e4;
  fast.rate = fast8.rate = 1U << 30, fast.bps = fast8.bps = 176400;
  const Text nul = kWindows ? "NUL" : "/dev/null";
  const Text reportErr = both(s10, s4, "", "").err, stdoutWrite = "標準出力に書き込めません.\n";
  const Text inputIsStdout = "入力ファイル[a.wav]が標準出力と同じです.\n";
  const Text notStereo = "\n入力ファイルがステレオファイルでありません!\n";
  const auto same = [](const Text& out, const Text& as) {
    return "出力ファイル[" + out + "]が" + as;
  };
  // A run on the pair s10, s4 whose standard output gets nothing, or the whole report.
  const auto quiet = [&](const Text& name, int status, const Text& err,
                         const std::string& shell = "",
                         const std::vector<std::string>& args = kAbo) {
    return Case{name, pair(s10, s4), args, status, Console{"", err}, {}, shell};
  };
  const auto told = [&](const Text& name, int status, const Text& err, const std::string& shell,
                        const std::vector<std::string>& args = kAbo) {
    return Case{name, pair(s10, s4), args, status, both(s10, s4, "", err), {}, shell};
  };
  // A run without inputs that prints err alone.
  const auto alone = [](const Text& name, const std::vector<std::string>& args, int status,
                        const Text& out, const Text& err) {
    return Case{name, {}, args, status, Console{out, err}, {}};
  };
  const auto usageOf = [&](const Text& name, const std::vector<std::string>& args) {
    return alone(name, args, 255, "", usage);
  };
  // What a quiet run does with an output that exists already.
  const auto overOld = [](Case c) {
    c.files.push_back({"out.wav", "PRECIOUS\n"});
    return c;
  };
  const Pcm extremes{
      16, 8000, {32767, 32767, -32768, -32768, -32768, 32767, -1, -2, 1, 2, -3, 0, 32767, -32767}};
  std::vector<Case> v = {
      usageOf("two arguments", {"a.wav", "b.wav"}),
      alone("--help", {"--help"}, 0, usage + msg::kHelp.utf8, ""),
      alone("--version", {"--version"}, 0, "wavpair " WAVPAIR_VERSION "\n", ""),
      usageOf("one other argument", {"-h"}),
      usageOf("--help and more", {"--help", "b.wav"}),
      usageOf("four arguments", {"a", "b", "c", "d"}),
      alone("missing first input", {"gone.wav", "b.wav", "out.wav"}, 255, "",
            " gone.wavをオープンできません.\n"),
      alone("folder as input", {"sub", "b.wav", "out.wav"}, 255, "", " subをオープンできません.\n"),
      combined("first longer stays left", s10, s4),
      combined("second longer goes left", s4, s10),
      combined("equal lengths keep order", s5, noise(16, 5, 10)),
      combined("eight bits", e10, e4),
      combined("16-bit extremes and odd negative sums", extremes, s4),
      combined("second input empty", s5, empty),
      combined("longer input below one frame", below, empty),
      combined("partial frames are neither read nor declared", odd8, e4),
      combined("partial frame of the shorter input", s10, oddB),
      named("one file twice, its declared rate wrong", pair(w10, s4), {"a.wav", "a.wav", "out.wav"},
            w10, w10, {"a.wav", "a.wav", "out.wav"}),
      overOld(combined("existing output replaced", s4, s10)),
      refused("mono first", mono, s4, notStereo),
      refused("mono second", s4, mono, notStereo),
      refused("rates, widths and rates per second differ", s10, noise(8, 4, 1, 8001),
              "サンプリング周波数が異なると合成できません!\n"),
      refused("bits differ", noise(8, 4, 1), s4, "サンプルビット数が異なると合成できません!\n"),
      refused("bytes per second differ", s10, liar,
              "ビット当たりのバイト数が異なると合成できません!\n"),
      refused("a rate the header cannot hold", fast, fast, "ヘッダを書き込めません: out.wav\n"),
      combined("8 bits at that rate fit", fast8, fast8),
      refused("output folder missing", s10, s4, "no/out.wav をオープンできません.\n", "no/out.wav"),
      // Refused before a byte is printed; where standard error is the output, silently.
      quiet("output is standard output", 255, same("../out", "標準出力と同じです.\n"), "",
            {"a.wav", "b.wav", "../out"}),
      quiet("output is standard error", 255, "", "", {"a.wav", "b.wav", "../err"}),
      overOld(quiet("standard output appends to the output", 255,
                    same("out.wav", "標準出力と同じです.\n"), ">>out.wav")),
      overOld(quiet("standard error appends to the output", 255, "", "2>>out.wav")),
      quiet("standard output appends to an input", 255, inputIsStdout, ">>a.wav"),
      quiet("standard output appends to the second input", 255,
            "入力ファイル[b.wav]が標準出力と同じです.\n", ">>b.wav"),
      quiet("standard output writes over an input", 255, inputIsStdout, "1<>a.wav"),
      quiet("standard output appends to a link of an input", 255, inputIsStdout, ">>hard.wav"),
      quiet("standard error appends to an input: silent", 255, "", "2>>b.wav"),
      quiet("both streams into the inputs: silent", 255, "", "1<>b.wav 2>>a.wav"),
      {"both streams into one file, in the order printed", pair(s10, s4), kAbo, 0,
       Console{interleaved("a.wav", s10) + interleaved("b.wav", s4) + kDone, ""},
       expectedOutput(s10, s4), "2>&1"},
      cut("data longer than the file", s10, s4, 56, Bytes::npos),
      quiet("null device as output and standard output", 0, reportErr, ">" + nul,
            {"a.wav", "b.wav", nul}),
  };
  // What the scans show is refused before the output is looked at, let alone made.
  for (const bool second : {false, true}) {
    const Text which = second ? "B" : "A";
    v.push_back(cut(which + "'s data longer than its file, the output's folder missing", s10, s4,
                    second ? Bytes::npos : 56, second ? 50 : Bytes::npos));
    v.back().args[2] = "no/out.wav";
  }
  for (const Text& out :
       kWindows ? std::vector<Text>{"a.wav", "A.WAV", ".\\b.wav", "sub\\..\\a.wav", "sub/../b.wav",
                                    "hard.wav"}
                : std::vector<Text>{"a.wav", "./b.wav", "sub/../a.wav", "hard.wav", "soft.wav"}) {
    v.push_back(refused("output is an input as " + out, s10, s4,
                        same(out, "入力ファイルと同じです.\n"), out));
  }
  if (kWindows) {
    const Text jp = "日本語.wav", jp2 = "日本語2.wav";
    v.push_back(named("names outside the ANSI code page", {{jp, s10.file()}, {jp2, s4.file()}},
                      {jp, jp2, "ü.wav"}, s10, s4, {jp, jp2, "?.wav"}));
    v.push_back({"no standard handles at all", pair(s10, s4), kAbo, 0, std::nullopt,
                 expectedOutput(s10, s4), "detached"});
    v.push_back(named("program name quoted oddly, a name outside code page 932", pair(s10, s4),
                      {"a.wav", "b.wav", "éa.wav"}, s10, s4, {"a.wav", "b.wav", "?a.wav"},
                      "odd-name"));
  } else {
    v.push_back(refused("output cannot be flushed", s10, s4,
                        "出力ファイルを書き込めません: /dev/full\n", "/dev/full"));
    v.push_back(refused("output full mid-write", noise(16, 3000, 11), s4, kDataWrite, "/dev/full"));
    // A report that cannot be written fails the run before the output is put in place.
    v.push_back(quiet("standard output full", 255, reportErr + stdoutWrite, ">/dev/full"));
    for (const std::string arg : {"--help", "--version"})
      v.push_back(quiet(arg + " into a full disk", 255, stdoutWrite, ">/dev/full", {arg}));
    // A pipe nobody reads any more (a FIFO whose reader is gone): the signal ends the run,
    // and where the caller ignores it, the failed write does.
    const std::string noReader =
        "mkfifo ../p; exec 5<>../p 6>../p 5<&-; $W >&6 2>../err </dev/null";
    v.push_back(quiet("standard output a closed pipe", 141, "", "!" + noReader));
    v.push_back(quiet("standard output a closed pipe, SIGPIPE ignored", 255,
                      reportErr + stdoutWrite, "!trap '' PIPE; " + noReader));
    // The new output cannot be made beside the old one: refused, never written in place.
    // (Descriptors the suite itself may hand down are closed first.)
    const std::string plain = " $W >../out 2>../err </dev/null";
    const Text cannot = "out.wav をオープンできません.\n";
    v.push_back(told("too few descriptors for the new output", 255, cannot,
                     "!exec 3>&-; ulimit -n 4;" + plain));
    // As root the run drops to nobody, for whom the folder is as closed as for its owner.
    v.push_back(told("a folder that takes no new file", 255, cannot,
                     "!as=; [ $(id -u) != 0 ] || as='setpriv --reuid=nobody --regid=nogroup "
                     "--clear-groups'; chmod 555 .; chmod 666 out.wav 2>/dev/null; $as" +
                         plain + "; s=$?; chmod 755 .; exit $s"));
    v.push_back({"a file size limit", pair(noise(16, 20000, 12), s4), kAbo, 153, std::nullopt,
                 std::nullopt, "!ulimit -f 16;" + plain});
    // An output path of 4,090 bytes: the new file's hidden name is short beside it.
    std::string deep;
    for (int k = 0; k < 16; ++k) deep += std::string(250, 'd') + "/";
    const std::string last = std::string(70, 'o') + ".wav", longPath = deep + last;
    v.push_back(quiet("an output path near PATH_MAX", 255, reportErr + stdoutWrite,
                      "!mkdir -p " + deep + " && echo PRECIOUS >" + longPath +
                          " && $W >/dev/full 2>../err </dev/null; s=$?; [ \"$(cat " + longPath +
                          ")$(ls -A " + deep + ")\" = PRECIOUS" + last +
                          " ] || s=99; rm -r d*; exit $s",
                      {"a.wav", "b.wav", longPath}));
    // Inputs are read twice, so only a file will do; the check never waits for a writer.
    v.push_back(quiet("a FIFO input with no writer", 255, " fをオープンできません.\n",
                      "!mkfifo f; timeout 5" + plain + "; s=$?; rm f; exit $s",
                      {"f", "b.wav", "out.wav"}));
    const std::vector<std::string> fromStdin = {"/dev/stdin", "b.wav", "out.wav"};
    v.push_back(quiet("a piped input", 255, " /dev/stdinをオープンできません.\n",
                      "!cat a.wav | $W >../out 2>../err", fromStdin));
    v.push_back(named("standard input a file as an input", pair(s10, s4), fromStdin, s10, s4,
                      {"/dev/stdin", "b.wav", "out.wav"}, "!$W >../out 2>../err <a.wav"));
    v.push_back(quiet("output is standard output's pipe", 255,
                      same("/dev/stdout", "標準出力と同じです.\n"),
                      "!$W 2>../err </dev/null | cat >../out", {"a.wav", "b.wav", "/dev/stdout"}));
    v.push_back(quiet("output is standard output's FIFO", 255,
                      same("../f", "標準出力と同じです.\n"),
                      "!mkfifo ../f; cat ../f >../out & $W >../f 2>../err </dev/null; s=$?; "
                      "wait; exit $s",
                      {"a.wav", "b.wav", "../f"}));
    v.push_back({"standard output closed", pair(s10, s4), kAbo, 0, Console{"", reportErr},
                 expectedOutput(s10, s4), ">&-"});
    // What cannot hold a file is refused before a byte reaches it and without waiting
    // (the terminal is the screens' test's): a FIFO someone reads (its first line must be
    // the shell's own), a FIFO nobody reads (timeout's 124 would fail the case).
    const auto noFile = [&](const Text& name, const Text& out, const std::string& shell) {
      return told(name, 255, "ヘッダを書き込めません: " + out + "\n", shell,
                  {"a.wav", "b.wav", out});
    };
    v.push_back(noFile("output a FIFO someone reads", "../f",
                       "!mkfifo ../f; exec 4<>../f; $W >../out 2>../err </dev/null; s=$?; "
                       "echo end >../f; read -r got <&4; [ \"$got\" = end ] || s=99; exit $s"));
    v.push_back(noFile("output a FIFO nobody reads", "../f",
                       "!mkfifo ../f; timeout 10 $W >../out 2>../err </dev/null"));
    // Redirected, a name is read in the locale's encoding and printed in code page 932,
    // '?' for what it lacks; where the locale says nothing of it, its bytes pass as given.
    const Text sjis = toSjis("長い") + ".wav", euc = "\xc4\xb9\xa4\xa4.wav";
    const Text eucGr =
        "Gr\x8f\xab\xe4\x8f\xa9\xce"
        "e.wav";
    using Names = std::vector<Text>;
    for (const auto& [locale, names, shown] : std::vector<std::tuple<Text, Names, Names>>{
             {"C.UTF-8",
              {"長い.wav", "Grüße.wav", "出\x1b力.wav"},
              {"長い.wav", "Gr??e.wav", "出\x1b力.wav"}},
             {"xx_XX.EUC-JP", {euc, eucGr, "o.wav"}, {"長い.wav", "Gr??e.wav", "o.wav"}},
             {"C", {sjis, "Grüße.wav", "o.wav"}, {"長い.wav", toUtf8("Grüße.wav"), "o.wav"}},
             {"C.UTF-8", {sjis, "b.wav", "o.wav"}, {"????.wav", "b.wav", "o.wav"}}}) {
      v.push_back(named("names redirected under " + locale + ": " + shown[0],
                        {{names[0], s10.file()}, {names[1], s4.file()}}, names, s10, s4, shown,
                        "!env LC_ALL=" + locale + " $W >../out 2>../err </dev/null"));
    }
  }
  // Every run that fails, again over an existing output: that keeps every byte, and no
  // other file is left in the folder.
  for (size_t k = 0, n = v.size(); k < n; ++k) {
    if (v[k].status == 0 || v[k].args.size() != 3 || v[k].args[2] != "out.wav") continue;
    v.push_back(v[k]);
    v.back().name += ", over an existing output",
        v.back().files.push_back({"out.wav", "PRECIOUS\n"});
  }
  run(v);
}

#ifdef _WIN32
// A named pipe someone serves is refused as an output before a byte goes into it, whether
// the checks of the name before took every instance of it or one is left to open.
TEST(Cli, NamedPipeOutputRefused) {
  const Text pipe = "\\\\.\\pipe\\wavpair-test-" + std::to_string(GetCurrentProcessId());
  const Pcm a = noise(16, 10, 3), b = noise(16, 4, 4);
  for (const DWORD instances : {1, 8}) {
    std::vector<HANDLE> server;
    for (DWORD k = 0; k < instances; ++k) {
      server.push_back(CreateNamedPipeW(pathOf(pipe).c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE,
                                        instances, 0, 4096, 0, nullptr));
      ASSERT_NE(server.back(), INVALID_HANDLE_VALUE);
    }
    run({refused("output a named pipe of " + std::to_string(instances), a, b,
                 "ヘッダを書き込めません: " + pipe + "\n", pipe)});
    for (HANDLE h : server) {
      DWORD waiting = 0;  // where nothing connected, the peek fails and leaves it
      PeekNamedPipe(h, nullptr, 0, nullptr, &waiting, nullptr);
      EXPECT_EQ(waiting, 0U) << "bytes reached the pipe";
      CloseHandle(h);
    }
  }
}
#endif

#ifndef _WIN32
// Names that come to mean other files while the tool runs, swapped by a second thread
// for a while: what the scan read is what is combined, and what an output name leads
// to is replaced only once it is known to be no input. Every run either succeeds
// with one of the right outputs or is refused, and the victim never changes.
TEST(Cli, NamesSwappedWhileRunning) {
  const fs::path root = fs::temp_directory_path() / ("wavpair-race-" + std::to_string(getpid()));
  const fs::path dir = root / "work";
  fs::create_directories(dir);
  const Pcm a = noise(16, 3000, 1), b = noise(16, 1000, 2), x = noise(16, 2000, 3);
  writeFile(dir / "victim.wav", a.file());
  writeFile(dir / "b.wav", b.file());
  writeFile(dir / "x.wav", x.file());  // x's audio, and the same 38 bytes further on
  writeFile(dir / "y.wav", riff(chunk("LIST", Bytes(30, 'l')) + x.file().substr(12)));
  const std::string d = dir.string() + "/";
  // The name that changes, and what it is made in turn: a link of a file, a symbolic
  // link ("@"), or a fresh empty file ("").
  for (const auto& [name, where, turns] :
       std::vector<std::tuple<Text, std::string, std::vector<std::string>>>{
           {"the output a fresh file or a link to an input", "out.wav", {"@victim.wav", ""}},
           {"an input one file or another", "in.wav", {"@x.wav", "@y.wav"}}}) {
    SCOPED_TRACE(name);
    const auto place = [&](const std::string& what) {
      const std::string tmp = d + "swap.tmp";
      static_cast<void>(unlink(tmp.c_str()));  // a rename onto another link of it keeps it
      if (what.empty()) writeFile(tmp, "");
      const int made = what.empty()     ? 0
                       : what[0] == '@' ? symlink(what.substr(1).c_str(), tmp.c_str())
                                        : link((d + what).c_str(), tmp.c_str());
      if (made == 0) static_cast<void>(rename(tmp.c_str(), (d + where).c_str()));
    };
    fs::remove(dir / "out.wav");  // the last race may have left it a link to the victim
    place(turns[0]);
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
      // A pause between swaps leaves some runs a name that holds still, even under ASan.
      for (size_t k = 0; !stop; ++k, usleep(200)) place(turns[k % turns.size()]);
    });
    int runs = 0, done = 0;
    std::string fault;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
         fault.empty() && std::chrono::steady_clock::now() < end; ++runs) {
      Console got;
      const int status =
          runTool(dir, {where == "in.wav" ? where : "victim.wav", "b.wav", "out.wav"}, &got);
      done += status == 0 ? 1 : 0;
      if (status != 0 && status != 255) fault = "status " + std::to_string(status);
      if (readFile(dir / "victim.wav") != a.file()) fault = "the victim changed";
      if (status == 0 && where == "in.wav" && readFile(dir / "out.wav") != expectedOutput(x, b))
        fault = "a wrong output, status 0";
    }
    stop = true;
    swapper.join();
    EXPECT_TRUE(fault.empty() && done > 0)
        << fault << " in run " << runs << "; successes: " << done;
  }
  fs::remove_all(root);
}
#endif

#ifndef _WIN32
// True once the tool's new output (unnamed, or under a hidden name) is open in dir.
bool newOutputOpen(pid_t pid, const fs::path& dir) {
  std::error_code e;
  fs::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", e), end;
  for (; !e && fds != end; fds.increment(e)) {
    const std::string to = fs::read_symlink(fds->path(), e).string();
    if (to.rfind(dir.string() + "/", 0) == 0 &&
        (to.find("(deleted)") != std::string::npos || to.find(".part") != std::string::npos))
      return true;
  }
  return false;
}

// A long run caught while its new output is being written: ended by each signal that
// ends the tool, SIGKILL too, or its first input rewritten in place (same size and name,
// same inode): it fails, the existing output keeps every byte and nothing else is left.
// A signal the caller ignored stays ignored, and a folder renamed meanwhile gets the
// output all the same: those runs complete. As root, the signals meet the new file
// under its hidden name too, as on a file system without unnamed files: the run is
// given a /proc of its own where its descriptors cannot be named.
TEST(Cli, InterruptedRunsLeaveTheFolder) {
  const fs::path dir = fs::temp_directory_path() / ("wavpair-stop-" + std::to_string(getpid()));
  const fs::path moved = dir.string() + "-moved";
  const Bytes fmt = fmtChunk(1, 2, 8000, 32000, 16);
  const auto file = [&](char c) { return riff(fmt + chunk("data", Bytes(16 << 20, c))); };
  constexpr int kRewritten = 0, kIgnored = -1, kMoved = -2;
  const bool root = geteuid() == 0;
  if (!root) std::cout << "not root: the new file under a hidden name is not tried\n";
  std::vector<std::pair<int, bool>> rows = {
      {SIGKILL, false}, {kRewritten, false}, {kIgnored, false}, {kIgnored, root}, {kMoved, false}};
  for (const int sig : {SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,
                        SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF})
    rows.push_back({sig, root});
  for (const auto& [sig, named] : rows) {
    SCOPED_TRACE(std::to_string(sig) + (named ? ", named" : ""));
    fs::remove_all(dir), fs::remove_all(moved);
    fs::create_directories(dir);
    writeFile(dir / "a.wav", file('x'));
    writeFile(dir / "b.wav", noise(16, 4, 4).file());
    const std::string whole =
        "cd " + dir.string() + " && " WAVPAIR_BIN " a.wav b.wav out.wav >/dev/null 2>&1";
    const Bytes done = std::system(whole.c_str()) == 0 ? readFile(dir / "out.wav") : "";
    ASSERT_FALSE(done.empty());
    writeFile(dir / "out.wav", "PRECIOUS\n");
    auto before = snapshot(dir);
    int status = -1, tries = 0;
    // A try whose moment was missed (the run ended first) is tried again.
    for (; tries < 20 && status == -1; ++tries) {
      writeFile(dir / "a.wav", file('x'));  // as each try finds it
      writeFile(dir / "out.wav", "PRECIOUS\n");
      const pid_t pid = fork();
      if (pid == 0 && chdir(dir.c_str()) == 0 && freopen("/dev/null", "w", stdout) &&
          freopen("/dev/null", "w", stderr) &&
          (sig != kIgnored || signal(SIGHUP, SIG_IGN) != SIG_ERR)) {
        if (named)
          execlp("unshare", "unshare", "--mount", "sh", "-c",
                 "mount -t tmpfs none /proc/$$/fd && exec \"$0\" a.wav b.wav out.wav", WAVPAIR_BIN,
                 nullptr);
        execl(WAVPAIR_BIN, WAVPAIR_BIN, "a.wav", "b.wav", "out.wav", nullptr);
      }
      if (pid == 0) _exit(127);
      bool seen = false;
      while (!seen && waitpid(pid, nullptr, WNOHANG) == 0) seen = newOutputOpen(pid, dir);
      if (seen && sig != kRewritten && sig != kMoved) kill(pid, sig > 0 ? sig : SIGHUP);
      if (seen && (sig == kRewritten || sig == kMoved) && kill(pid, SIGSTOP) == 0) {
        if (sig == kMoved) fs::rename(dir, moved);
        if (sig == kRewritten)
          std::fstream(dir / "a.wav", std::ios::in | std::ios::out | std::ios::binary) << file('y');
        kill(pid, SIGCONT);
      }
      int raw = 0;
      if (waitpid(pid, &raw, 0) == pid && seen)
        status = WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
      if (fs::exists(moved)) fs::rename(moved, dir);
    }
    EXPECT_EQ(status, sig > 0             ? 128 + sig
                      : sig == kRewritten ? 255
                                          : 0)
        << "after " << tries << " tries";
    if (sig == kRewritten) before["a.wav"] = file('y');
    if (sig < 0) before["out.wav"] = done;
    EXPECT_TRUE(snapshot(dir) == before) << "the folder changed";
  }
  fs::remove_all(dir);
}

// As root, where the suite may mount and change owners: a full file system and one
// without a free inode keep the existing output; a name that is a mount point (a file
// bound there, as containers bind one) gets the whole output copied into it; a replaced
// output keeps its owner and group, and its permission bits but a set-id one.
TEST(Cli, FileSystemsAndOwners) {
  if (geteuid() != 0) GTEST_SKIP() << "not root: no mounts, and no other owner to keep";
  const fs::path dir = fs::temp_directory_path() / ("wavpair-fs-" + std::to_string(getpid()));
  const fs::path work = dir / "work", out = work / "w/out.wav";
  // 100 bytes over 1 MiB: only the last of them wait in the stream's buffer for its close,
  // and only they do not fit beside the old output (a page).
  const Pcm a = noise(16, ((1 << 20) + 100 - 44) / 4, 1), b = noise(16, 4, 2);
  struct Row {
    Text name;
    std::string setup;  // a mount first, what the run then finds second
    int status;
    Text err;  // the end of standard error
  };
  for (const Row& r : std::vector<Row>{
           {"a full file system", "mount -t tmpfs -o size=512k tmpfs w", 255,
            "wavDataWriteでエラー発生.\n"},
           {"a file system full at the last bytes", "mount -t tmpfs -o size=1028k tmpfs w", 255,
            "出力ファイルを書き込めません: w/out.wav\n"},
           {"no free inode", "mount -t tmpfs -o nr_inodes=2 tmpfs w", 255,
            "w/out.wav をオープンできません.\n"},
           {"the output a mount point",
            "touch ../bound w/out.wav && mount --bind ../bound w/out.wav", 0, ""},
           {"owner, group and bits", "chown nobody:nogroup w/out.wav && chmod 6775 w/out.wav", 0,
            ""}}) {
    SCOPED_TRACE(r.name);
    fs::remove_all(dir);
    fs::create_directories(work / "w");
    writeFile(work / "a.wav", a.file()), writeFile(work / "b.wav", b.file());
    const bool mounted = r.setup.find("mount") != std::string::npos;
    if (!mounted) writeFile(out, "PRECIOUS\n");
    ASSERT_EQ(std::system(("cd " + work.string() + " && " + r.setup).c_str()), 0)
        << "cannot " << r.setup;
    if (mounted) writeFile(out, "PRECIOUS\n");
    struct stat was {};
    struct stat now {};
    stat(out.c_str(), &was);
    Console got;
    EXPECT_EQ(runTool(work, {"a.wav", "b.wav", "w/out.wav"}, &got), r.status);
    EXPECT_TRUE(toUtf8(got.err).ends_with(r.err)) << toUtf8(got.err);
    EXPECT_TRUE(readFile(out) == (r.status == 0 ? expectedOutput(a, b) : "PRECIOUS\n")) << "output";
    EXPECT_EQ(std::distance(fs::directory_iterator(work / "w"), {}), 1) << "a file left beside it";
    stat(out.c_str(), &now);
    EXPECT_EQ(std::pair(now.st_uid, now.st_gid), std::pair(was.st_uid, was.st_gid));
    EXPECT_EQ(now.st_mode & 07777, r.status == 0 ? was.st_mode & 0777 : was.st_mode & 07777);
    if (mounted)
      EXPECT_EQ(
          std::system(("umount " + out.string() + " || umount " + (work / "w").string()).c_str()),
          0);
  }
  fs::remove_all(dir);
}
#endif

#ifndef _WIN32
// The output's name through symbolic links, followed folder by folder: the file the
// links lead to is replaced (keeping its bits) or made (0666 less the umask), every link
// stays a link, and nothing else is made anywhere.
TEST(Cli, OutputThroughLinks) {
  const fs::path dir = fs::temp_directory_path() / ("wavpair-links-" + std::to_string(getpid()));
  const Pcm a = noise(8, 10, 1), b = noise(8, 3, 2);
  struct Row {
    Text name;
    std::vector<std::pair<std::string, std::string>> links;  // link, what it holds
    std::string out, target;                                 // the name given, the file made
  };
  const std::string abs = (dir / "w/sub/real.wav").string();
  for (const Row& r : std::vector<Row>{
           {"a link beside it", {{"link.wav", "real.wav"}}, "link.wav", "real.wav"},
           {"into another folder", {{"link.wav", "sub/real.wav"}}, "link.wav", "sub/real.wav"},
           {"a link to a link",
            {{"l1.wav", "l2.wav"}, {"l2.wav", "sub/real.wav"}},
            "l1.wav",
            "sub/real.wav"},
           {"an absolute link", {{"link.wav", abs}}, "link.wav", "sub/real.wav"},
           {"from another folder", {{"sub/l.wav", "../real.wav"}}, "sub/l.wav", "real.wav"},
           {"a link to nothing yet", {{"link.wav", "sub/new.wav"}}, "link.wav", "sub/new.wav"},
           {"a new name", {}, "new.wav", "new.wav"}}) {
    SCOPED_TRACE(r.name);
    fs::remove_all(dir);
    fs::create_directories(dir / "w/sub");
    for (const auto& [name, bytes] : pair(a, b)) writeFile(dir / "w" / name, bytes);
    for (const char* old : {"w/real.wav", "w/sub/real.wav"}) {
      writeFile(dir / old, "old");
      fs::permissions(dir / old, fs::perms(0604));
    }
    for (const auto& [link, to] : r.links) fs::create_symlink(to, dir / "w" / link);
    const auto before = std::distance(fs::recursive_directory_iterator(dir / "w"), {});
    const mode_t mask = umask(027);
    Console got;
    EXPECT_EQ(runTool(dir / "w", {"a.wav", "b.wav", r.out}, &got), 0);
    umask(mask);
    EXPECT_TRUE(readFile(dir / "w" / r.target) == expectedOutput(a, b));
    const bool made = r.target.find("new") != std::string::npos;
    EXPECT_EQ(int(fs::status(dir / "w" / r.target).permissions()), made ? 0640 : 0604);
    for (const auto& [link, to] : r.links) EXPECT_TRUE(fs::is_symlink(dir / "w" / link)) << link;
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir / "w"), {}), before + made);
  }
  fs::remove_all(dir);
}
#endif

// What the scan prints, and where, for files that each hold one quirk.
TEST(Cli, ScansOddFiles) {
  const Bytes fmt16 = fmtChunk(1, 2, 44100, 176400, 16), data4 = chunk("data", "abcd");
  const Text lines = fmtLines(1, 2, 44100, 176400, 16), t0 = seconds(0);
  const Text fmtLen = " \"fmt \"の長さ: 16 [bytes]\n", len4 = "\n \"data\" の長さ: 4 [bytes]\n";
  const Text pcmOnly = "\nこのプログラムは無圧縮PCMのみを対象とします.\nこのwavファイルの形式は ";
  const Text bitsOnly =
      "\nこのプログラムは8/16ビットサンプリングされたものを対象とします\n"
      "このwavファイルの bits/secは ";
  // The line of a chunk other than fmt and data.
  const auto len = [](const Text& id, long n) {
    return " \"" + id + "\"の長さ: " + std::to_string(n) + " [bytes]\n";
  };
  run({
      scan("cut RIFF header", "RIFF\1", false, "", " 5 で読み込み失敗.\n"),
      scan("big-endian mark", riff(fmt16 + data4, "RIFX"), false, "",
           "'RIFF' フォーマットでない.\n"),
      scan("no marks", "RIFX" + u32(4) + "AVI " + fmt16, false, "", "'WAVE' が無い.\n"),
      scan("extensible", riff(fmtChunk(0xFFFE, 2, 44100, 176400, 16) + data4), false,
           fmtLines(65534, 2, 44100, 176400, 16), fmtLen + pcmOnly + "FFFE です．\n"),
      scan("float tag", riff(fmtChunk(3, 2, 44100, 352800, 32)), false,
           fmtLines(3, 2, 44100, 352800, 32), fmtLen + pcmOnly + "0003 です．\n"),
      scan("24 bits", riff(fmtChunk(1, 2, 48000, 288000, 24) + data4), false,
           fmtLines(1, 2, 48000, 288000, 24), fmtLen + bitsOnly + "24 です．\n"),
      scan("fmt of 14 bytes reads 16", riff("fmt " + u32(14) + fmt16.substr(8, 14) + data4), false,
           fmtLines(1, 2, 44100, 176400, 24932, 4),
           " \"fmt \"の長さ: 14 [bytes]\n" + bitsOnly + "24932 です．\n"),
      scan("fmt cut short at the end: silent", riff("fmt " + u32(16) + "abc"), false, "", fmtLen),
      scan("other chunks before fmt, ids outside printable ASCII as ?",
           riff(chunk("LIST", Bytes(26, 'x')) + chunk("JUNK", "") + chunk("\x1f ~\x7f", "") +
                chunk(Bytes("\x80\xa0\xff\0", 4), "") + fmt16 + data4),
           true, len("LIST", 26) + len("JUNK", 0) + len("? ~?", 0) + len("????", 0) + lines + t0,
           fmtLen + len4),
      scan("data of 2 GiB prints negative", riff(fmt16 + "data" + u32(0x80000000U)), true,
           lines + seconds(2147483648.0 / 176400),
           fmtLen + "\n \"data\" の長さ: -2147483648 [bytes]\n"),
      scan("huge size skips forward, not back",
           riff(fmt16 + data4 + "JUNK" + u32(0xFFFFFFF8U) + chunk("LIST", "ab")), true,
           lines + len("JUNK", -8) + t0, fmtLen + len4),
      scan("chunk after data is itself", riff(fmt16 + data4 + chunk("LIST", "INFOab")), true,
           lines + len("LIST", 6) + t0, fmtLen + len4),
      scan("fmt after data is read", riff(data4 + fmt16), true, lines + t0, len4 + fmtLen),
      scan("odd chunks are padded, fmt of 18 bytes",
           riff(chunk("LIST", "abc") + chunk("fmt ", fmt16.substr(8) + "zz") +
                chunk("data", "abcde") + chunk("LIST", "x")),
           true, len("LIST", 3) + lines + len("LIST", 1) + t0,
           " \"fmt \"の長さ: 18 [bytes]\n\n \"data\" の長さ: 5 [bytes]\n"),
      scan("a second fmt and data change nothing",
           riff(fmt16 + data4 + fmtChunk(1, 2, 8000, 16000, 8) + chunk("data", "")), true,
           lines + len("fmt ", 16) + len("data", 0) + t0, fmtLen + len4),
      scan("no fmt", riff(data4), false, "", len4 + "'fmt ' が無い.\n"),
      scan("no data", riff(fmt16), false, lines, fmtLen + "'data' が無い.\n"),
      scan("zero bytes per second", riff(fmtChunk(1, 2, 44100, 0, 16) + data4), true,
           fmtLines(1, 2, 44100, 0, 16) + t0, fmtLen + len4),
  });
}

// B running out inside a block and at its edges, and either input cut short there.
TEST(Cli, BlockEdges) {
  std::vector<Case> v;
  for (const unsigned bits : {8U, 16U}) {
    const size_t s = bits / 4, k = kMixBlockBytes / s;
    const Pcm a = noise(bits, 2 * k + 3, bits), b = noise(bits, k + 2, 2);
    for (const size_t n : {k - 1, k, k + 1}) {
      const Text at = std::to_string(bits) + "-bit, " + std::to_string(n) + " frames";
      v.push_back(combined("B runs out after " + at, a, noise(bits, n, 9)));
      v.push_back(cut("A cut after " + at, a, noise(bits, 5, 1), 44 + n * s, Bytes::npos));
      v.push_back(cut("B cut after " + at, a, b, Bytes::npos, 44 + n * s));
    }
  }
  run(v);
}

// Either input cut at each edge that matters, its report compared line by line: inside
// and after the RIFF header, each chunk header and the "fmt " payload (once: the layout
// is the same for both widths), around the first, a middle and the last frame (the mixer
// treats no inner frame differently), and around the LIST chunk after the audio.
TEST(Cli, CutAtEveryEdge) {
  std::vector<Case> v;
  for (const unsigned bits : {8U, 16U}) {
    const Pcm a = noise(bits, 6, bits), b = noise(bits, 3, bits + 1);
    const Bytes list = chunk("LIST", Bytes("INFOIART\4\0\0\0abc\0", 16));
    for (const Pcm* p : {&a, &b}) {
      const size_t s = bits / 4, end = p->file().size();
      std::vector<size_t> at = {end, end + 1, end + 7, end + 8, end + list.size() - 1};
      if (bits == 8) at.insert(at.end(), {0, 1, 11, 12, 13, 19, 20, 21, 28, 35, 36, 37, 43});
      const size_t middle = 44 + s * (p->samples.size() / 4);
      at.insert(at.end(), {44, 44 + s - 1, 44 + s, middle - 1, middle, middle + 1, end - 1});
      for (const size_t k : at) {
        const Text where = std::to_string(bits) + "-bit, cut to " + std::to_string(k);
        v.push_back(p == &a ? cut("A " + where, a, b, k, Bytes::npos, list)
                            : cut("B " + where, a, b, Bytes::npos, k, list));
      }
    }
  }
  run(v);
}

}  // namespace
