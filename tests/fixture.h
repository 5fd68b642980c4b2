// Builds odd and ordinary WAV files from bytes, states independently of the tool's
// code what it must print and write for them, and runs the built tool as a user would.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#ifdef _WIN32
#include <windows.h>
constexpr bool kWindows = true;
#else
#include <iconv.h>
#include <sys/wait.h>
constexpr bool kWindows = false;
#endif

namespace fs = std::filesystem;
using Bytes = std::string;
using Text = std::string;  // console text as UTF-8, lines ending in a line feed

inline Bytes u16(unsigned v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
inline Bytes u32(uint32_t v) { return u16(v & 0xFFFF) + u16(v >> 16); }
// A chunk with the size it holds and the pad byte RIFF asks for.
inline Bytes chunk(const Bytes& id, const Bytes& payload) {
  return id + u32(uint32_t(payload.size())) + payload + Bytes(payload.size() & 1, '\0');
}
inline Bytes fmtChunk(unsigned tag, unsigned ch, uint32_t rate, uint32_t bps, unsigned bits) {
  return chunk("fmt ",
               u16(tag) + u16(ch) + u32(rate) + u32(bps) + u16(ch * (bits / 8)) + u16(bits));
}
inline Bytes riff(const Bytes& body, const Bytes& mark = "RIFF") {
  return mark + u32(uint32_t(4 + body.size())) + "WAVE" + body;
}
inline Bytes sample(unsigned bits, int v) {
  return bits == 8 ? Bytes(1, char(v)) : u16(unsigned(v) & 0xFFFF);
}

// PCM as interleaved samples (unsigned 0..255 for 8 bits), written as a plain file.
struct Pcm {
  unsigned bits;
  uint32_t rate;
  std::vector<int> samples;
  unsigned channels = 2;
  Bytes tail = "";   // bytes after the last whole frame, inside the data chunk
  uint32_t bps = 0;  // declared bytes per second, when not the true one
  uint32_t bytesPerSec() const { return bps ? bps : rate * channels * (bits / 8); }
  Bytes data() const {
    Bytes d;
    for (int v : samples) d += sample(bits, v);
    return d + tail;
  }
  Bytes file() const {
    return riff(fmtChunk(1, channels, rate, bytesPerSec(), bits) + chunk("data", data()));
  }
};

// Reproducible noise that visits both ends of the sample range.
inline Pcm noise(unsigned bits, size_t frames, uint32_t seed, uint32_t rate = 8000) {
  Pcm p{bits, rate, {}};
  const int lo = bits == 8 ? 0 : -32768, hi = bits == 8 ? 255 : 32767;
  for (size_t i = 0; i < 2 * frames; ++i) {
    seed = seed * 1103515245U + 12345U;
    p.samples.push_back(i % 7 == 3 ? (i % 2 ? lo : hi) : lo + int((seed >> 8) % (hi - lo + 1)));
  }
  return p;
}

// The output: the longer input (ties: the first) folded on the left, the other on the
// right until its whole frames run out, then the left's fold again.
inline Bytes expectedOutput(const Pcm& first, const Pcm& second) {
  const bool swap = first.data().size() < second.data().size();
  const Pcm &a = swap ? second : first, &b = swap ? first : second;
  const uint32_t block = 2 * (a.bits / 8), data = uint32_t(a.samples.size() / 2) * block;
  Bytes out = "RIFF" + u32(data + 36) + "WAVE" + fmtChunk(1, 2, a.rate, a.rate * block, a.bits) +
              "data" + u32(data);
  for (size_t i = 0; i + 1 < a.samples.size(); i += 2) {
    for (const Pcm* p : {&a, i < b.samples.size() ? &b : &a}) {
      out += sample(a.bits, int(std::floor((p->samples[i] + p->samples[i + 1]) / 2.0)));
    }
  }
  return out;
}

// The report of a "fmt " payload, of a playing time, and of a whole plain file.
inline Text fmtLines(unsigned tag, unsigned ch, uint32_t rate, uint32_t bps, unsigned bits,
                     unsigned align = 0) {
  const auto n = [](uint32_t v) { return std::to_string(v); };
  return "             データ形式: " + n(tag) + " (1 = PCM)\n           チャンネル数: " + n(ch) +
         "\n     サンプリング周波数: " + n(rate) + " [Hz]\n          バイト数 / 秒: " + n(bps) +
         " [bytes/sec]\n バイト数×チャンネル数: " + n(align ? align : ch * (bits / 8)) +
         " [bytes]\n    ビット数 / サンプル: " + n(bits) + " [bits/sample]\n";
}
inline Text seconds(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "\n 時間=%.3f\n", v);
  return b;
}
struct Console {
  Text out, err;
};
inline Console scanReport(const std::string& name, const Pcm& p) {
  const uint32_t data = uint32_t(p.data().size());
  return {
      "\nファイル名[" + name + "]\n" + fmtLines(1, p.channels, p.rate, p.bytesPerSec(), p.bits) +
          seconds(double(data) / p.bytesPerSec()),
      " \"fmt \"の長さ: 16 [bytes]\n\n \"data\" の長さ: " + std::to_string(data) + " [bytes]\n"};
}

// Shift_JIS (code page 932) to UTF-8 and back.
inline std::string recode(const std::string& in, bool toUtf8) {
  std::string out(4 * in.size() + 16, '\0');
#ifdef _WIN32
  std::wstring w(in.size() + 1, L'\0');
  const int n = MultiByteToWideChar(toUtf8 ? 932 : CP_UTF8, 0, in.data(), int(in.size()), w.data(),
                                    int(w.size()));
  out.resize(size_t(WideCharToMultiByte(toUtf8 ? CP_UTF8 : 932, 0, w.data(), n, out.data(),
                                        int(out.size()), nullptr, nullptr)));
#else
  iconv_t cd = iconv_open(toUtf8 ? "UTF-8" : "CP932", toUtf8 ? "CP932" : "UTF-8");
  char *src = const_cast<char*>(in.data()), *dst = out.data();
  size_t left = in.size(), room = out.size();
  if (iconv(cd, &src, &left, &dst, &room) == size_t(-1)) room = out.size();
  iconv_close(cd);
  out.resize(out.size() - room);
#endif
  return out;
}
inline Text toUtf8(const Bytes& sjis) { return recode(sjis, true); }
inline Bytes toSjis(const Text& utf8) { return recode(utf8, false); }

inline Text utf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return {s.begin(), s.end()};
}
inline fs::path pathOf(const Text& utf8) { return std::u8string(utf8.begin(), utf8.end()); }
inline Bytes readFile(const fs::path& p) {
  return {std::istreambuf_iterator<char>(std::ifstream(p, std::ios::binary).rdbuf()), {}};
}
inline void writeFile(const fs::path& p, const Bytes& b) {
  std::ofstream(p, std::ios::binary) << b;
}

#ifdef _WIN32
// One redirection of the case's own, POSIX shell style: [fd]>NAME, [fd]>>NAME, fd<>NAME.
inline HANDLE redirectOpen(const fs::path& dir, const std::string& op, const Text& name) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const DWORD access = op == ">>" ? FILE_APPEND_DATA : GENERIC_READ | GENERIC_WRITE;
  const fs::path p = name == "NUL" ? fs::path("NUL") : dir / pathOf(name);
  return CreateFileW(p.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     &inherit, op == ">" ? CREATE_ALWAYS : OPEN_ALWAYS, 0, nullptr);
}
#endif

// Runs the built tool in dir, standard output and error caught in the files out and
// err beside dir, standard input empty. shell adds redirections of the case's own;
// on POSIX, one that starts with "!" is the whole command line instead, with "$W"
// for the tool and its arguments. On Windows the tool is started directly, so its
// exit status is its own; "detached" starts it with no standard handles at all and
// "odd-name" spells the program's name as "NAME"X. Returns the exit status, 255 for -1.
inline int runTool(const fs::path& dir, const std::vector<std::string>& args, Console* got,
                   const std::string& shell = "") {
  const fs::path cap = dir.parent_path();
  const std::string bin = WAVPAIR_BIN;
  int status = -1;
#ifdef _WIN32
  // Under wine, the build's Debian path is reached through the drive Z:.
  const std::string exe = (bin[0] == '/' ? "Z:" : "") + bin;
  const bool detached = shell == "detached";
  std::string line = "\"" + exe + "\"" + (shell == "odd-name" ? "X" : "");
  for (const auto& a : args) line += " \"" + a + "\"";
  HANDLE std3[3] = {redirectOpen(dir, "<>", "NUL"), redirectOpen(cap, ">", "out"),
                    redirectOpen(cap, ">", "err")};
  for (size_t at = 0, end = 0; !detached && at < shell.size(); at = end + 1) {
    end = std::min(shell.find(' ', at), shell.size());
    const std::string word = shell.substr(at, end - at);
    const size_t op = word.find_first_of("<>"), name = word.find_first_not_of("<>", op);
    if (op == std::string::npos) continue;
    const HANDLE self = GetCurrentProcess();  // 2>&1: standard error into standard output's file
    if (word == "2>&1" && CloseHandle(std3[2]) &&
        DuplicateHandle(self, std3[1], self, &std3[2], 0, TRUE, DUPLICATE_SAME_ACCESS))
      continue;
    const int fd = op == 0 ? 1 : word[0] - '0';
    CloseHandle(std3[fd]);
    std3[fd] = redirectOpen(dir, word.substr(op, name - op), word.substr(name));
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = detached ? 0 : STARTF_USESTDHANDLES;
  si.hStdInput = std3[0], si.hStdOutput = std3[1], si.hStdError = std3[2];
  PROCESS_INFORMATION pi{};
  std::wstring wline = pathOf(line).wstring();
  // A start that fails is the launcher's failure, never the tool's status (wine under
  // load can fail one): the tool did not run, so it is started again.
  bool started = false;
  DWORD error = 0;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) Sleep(DWORD(200 * attempt));
    started = CreateProcessW(pathOf(exe).c_str(), wline.data(), nullptr, nullptr, !detached,
                             detached ? DETACHED_PROCESS : 0, nullptr, dir.c_str(), &si, &pi);
    error = started ? 0 : GetLastError();
  }
  if (started) {
    DWORD code = 0;
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &code);
    status = code == DWORD(-1) ? 255 : int(code);
    CloseHandle(pi.hProcess), CloseHandle(pi.hThread);
  } else {
    ADD_FAILURE() << "the tool could not be started: error " << error;
  }
  for (HANDLE h : std3) CloseHandle(h);
#else
  const auto quote = [](const std::string& s) { return "'" + s + "'"; };
  std::string tool = quote(bin);
  for (const auto& a : args) tool.append(" ").append(quote(a));
  const std::string plain = "$W >../out 2>../err </dev/null " + shell;
  std::string body = shell.rfind('!', 0) == 0 ? shell.substr(1) : plain;
  body.replace(body.find("$W"), 2, tool);
  writeFile(cap / "run.sh", "set -o pipefail\n" + body + "\n");
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  status = std::system("bash ../run.sh");
  status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  fs::current_path(back);
#endif
  *got = {readFile(cap / "out"), readFile(cap / "err")};
  return status;
}
