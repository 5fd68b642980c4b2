// Runs the built tool in a fresh folder per case and compares standard output, standard
// error, exit status and every file left behind, byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>

#include "fixture.h"
#include "tool.h"

namespace fs = std::filesystem;

namespace {

// Every entry of a folder: regular files by content, links by target.
std::map<std::string, Bytes> snapshot(const fs::path& dir) {
  std::map<std::string, Bytes> m;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string rel = fs::relative(e.path(), dir).string();
    if (e.is_symlink())
      m[rel] = "-> " + fs::read_symlink(e.path()).string();
    else if (e.is_regular_file())
      m[rel] = readFile(e.path().string());
    else
      m[rel] = "<dir>";
  }
  return m;
}

const std::string kUsage =
    "二つのWAVファイルからひとつのWAVファイルを作成します.\n\n"
    "引数に <入力ファイル名１> <入力ファイル名２> <出力ファイル名>を\n指定してください.\n\n"
    "例 : wavpair  foo.wav  bar.wav out.wav\n";

struct Case {
  std::string name;
  std::vector<std::pair<std::string, Bytes>> files;
  std::vector<std::string> args;
  Console expect;
  int status;
  std::optional<Bytes> output;  // none: the run leaves the folder as it found it
  std::function<void(const fs::path&)> setup = nullptr;
  bool unprivileged = false;  // as a user whom file permissions bind
};

// Both inputs reported in full, then what the run adds.
Console reports(const Pcm& a, const Pcm& b, const std::string& out, const std::string& err,
                const std::string& na = "a.wav", const std::string& nb = "b.wav") {
  const Console ra = scanReport(na, a), rb = scanReport(nb, b);
  return {ra.out + rb.out + out, ra.err + rb.err + err};
}
const std::string kDone = "\n[a.wav] と [b.wav] を [out.wav] へ合成しました.\n";

std::vector<Case> cases() {
  const Pcm a10 = noise(16, 44100, 441000, 1), b6 = noise(16, 44100, 264600, 2);
  const Pcm s10 = noise(16, 8000, 10, 3), s4 = noise(16, 8000, 4, 4), s5 = noise(16, 8000, 5, 5);
  const Pcm e10 = noise(8, 11025, 10, 6), e4 = noise(8, 11025, 4, 7);
  const Pcm none16{16, 8000, {}}, below{16, 8000, {}, 2, "xy"};
  Pcm mono = noise(16, 8000, 3, 8);
  mono.channels = 1;
  Pcm odd8 = noise(8, 11025, 5, 9);
  odd8.tail = "z";
  const std::vector<std::string> abo{"a.wav", "b.wav", "out.wav"};
  const auto files = [](const Pcm& a, const Pcm& b) {
    return std::vector<std::pair<std::string, Bytes>>{{"a.wav", wavFile(a)}, {"b.wav", wavFile(b)}};
  };
  const Console same = reports(s10, s4, "", "");
  std::vector<Case> v = {
      {"no arguments", {}, {}, {"", kUsage}, 255, {}},
      {"two arguments", {}, {"a.wav", "b.wav"}, {"", kUsage}, 255, {}},
      {"four arguments", {}, {"a", "b", "c", "d"}, {"", kUsage}, 255, {}},
      {"ten and six seconds", files(a10, b6), abo, reports(a10, b6, kDone, ""), 0,
       expectedOutput(a10, b6)},
      {"second longer goes left", files(s4, s10), abo, reports(s4, s10, kDone, ""), 0,
       expectedOutput(s4, s10)},
      {"equal lengths keep order", files(s5, noise(16, 8000, 5, 10)), abo,
       reports(s5, noise(16, 8000, 5, 10), kDone, ""), 0,
       expectedOutput(s5, noise(16, 8000, 5, 10))},
      {"one file twice",
       files(s10, s4),
       {"a.wav", "a.wav", "out.wav"},
       reports(s10, s10, "\n[a.wav] と [a.wav] を [out.wav] へ合成しました.\n", "", "a.wav",
               "a.wav"),
       0,
       expectedOutput(s10, s10)},
      {"eight bits", files(e10, e4), abo, reports(e10, e4, kDone, ""), 0, expectedOutput(e10, e4)},
      {"second input empty", files(s5, none16), abo, reports(s5, none16, kDone, ""), 0,
       expectedOutput(s5, none16)},
      {"longer input below one frame", files(below, none16), abo, reports(below, none16, kDone, ""),
       0, expectedOutput(below, none16)},
      {"partial frame is not declared", files(odd8, e4), abo, reports(odd8, e4, kDone, ""), 0,
       expectedOutput(odd8, e4)},
      {"mono input",
       files(mono, s4),
       abo,
       reports(mono, s4, "", "\n入力ファイルがステレオファイルでありません!\n"),
       255,
       {}},
      {"missing first input",
       {},
       {"gone.wav", "gone2.wav", "out.wav"},
       {"", " gone.wavをオープンできません.\n"},
       255,
       {}},
      {"folder as input",
       {},
       {".", "b.wav", "out.wav"},
       {"", " .をオープンできません.\n"},
       255,
       {}},
      {"rates differ",
       files(s10, noise(16, 8001, 4, 1)),
       abo,
       reports(s10, noise(16, 8001, 4, 1), "", "サンプリング周波数が異なると合成できません!\n"),
       255,
       {}},
      {"bits differ",
       files(noise(8, 8000, 4, 1), s4),
       abo,
       reports(noise(8, 8000, 4, 1), s4, "", "サンプルビット数が異なると合成できません!\n"),
       255,
       {}},
      {"output folder missing",
       files(s10, s4),
       {"a.wav", "b.wav", "no/out.wav"},
       reports(s10, s4, "", "no/out.wav をオープンできません.\n"),
       255,
       {}},
      {"output folder not writable",
       files(s10, s4),
       {"a.wav", "b.wav", "ro/out.wav"},
       reports(s10, s4, "", "ro/out.wav をオープンできません.\n"),
       255,
       {},
       [](const fs::path& d) {
         fs::create_directory(d / "ro");
         fs::permissions(d / "ro", fs::perms::owner_read | fs::perms::owner_exec |
                                       fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
       },
       true},
      {"output cannot be flushed",
       files(s10, s4),
       {"a.wav", "b.wav", "/dev/full"},
       reports(s10, s4, "", "出力ファイルを書き込めません: /dev/full\n"),
       255,
       {}},
      {"output full mid-write",
       files(a10, b6),
       {"a.wav", "b.wav", "/dev/full"},
       reports(a10, b6, "", "wavDataWriteでエラー発生.\n"),
       255,
       {}},
  };
  // Declared bytes per second differ while rate and width agree.
  Pcm liar = s4;
  liar.bps = 32001;
  v.push_back({"bytes per second differ",
               files(s10, liar),
               abo,
               reports(s10, liar, "", "ビット当たりのバイト数が異なると合成できません!\n"),
               255,
               {}});
  // A data chunk that declares 40 bytes but holds 12: the header and 3 frames stay.
  v.push_back({"data longer than the file",
               {{"a.wav", wavFile(s10).substr(0, 56)}, {"b.wav", wavFile(s4)}},
               abo,
               reports(s10, s4, "", "wavDataWriteでエラー発生.\n"),
               255,
               expectedOutput(s10, s4).substr(0, 44 + 3 * 4)});
  // The output is one of the inputs, however it is spelled or linked: refused untouched.
  for (const std::string out : {"a.wav", "./b.wav", "sub/../a.wav", "hard.wav", "soft.wav"}) {
    v.push_back({"output is an input as " + out,
                 files(s10, s4),
                 {"a.wav", "b.wav", out},
                 reports(s10, s4, "", "出力ファイル[" + out + "]が入力ファイルと同じです.\n"),
                 255,
                 {},
                 [](const fs::path& d) {
                   fs::create_directory(d / "sub");
                   fs::create_hard_link(d / "a.wav", d / "hard.wav");
                   fs::create_symlink("b.wav", d / "soft.wav");
                 }});
  }
  return v;
}

TEST(Cli, RunsMatchByteForByte) {
  const fs::path root = fs::temp_directory_path() / ("wavpair-cli-" + std::to_string(getpid()));
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root);
    fs::create_directories(root / "work");
    const fs::path dir = root / "work";
    for (const auto& [name, bytes] : c.files) writeFile((dir / name).string(), bytes);
    if (c.setup) c.setup(dir);
    auto before = snapshot(dir);
    int status = 0;
    const Console r = runTool(dir, c.args, root, &status, c.unprivileged);
    EXPECT_EQ(toUtf8(r.out), c.expect.out);
    EXPECT_EQ(toUtf8(r.err), c.expect.err);
    EXPECT_EQ(status, c.status);
    auto after = snapshot(dir);
    if (c.output) {
      EXPECT_TRUE(after[c.args[2]] == *c.output)
          << "output differs, " << after[c.args[2]].size() << " bytes against " << c.output->size();
      after.erase(c.args[2]);
    }
    EXPECT_TRUE(before == after) << "the inputs or the folder changed";
  }
  fs::remove_all(root);
}

}  // namespace
