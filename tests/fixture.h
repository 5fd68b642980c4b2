// Builds odd and ordinary WAV files from bytes, and states, independently of the
// tool's code, what it should print and write for them.
#pragma once

#include <iconv.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using Bytes = std::string;

inline Bytes u16(unsigned v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
inline Bytes u32(uint32_t v) { return u16(v & 0xFFFF) + u16(v >> 16); }

// A chunk whose declared size is its payload's, with the pad byte RIFF asks for.
inline Bytes chunk(const Bytes& id, const Bytes& payload) {
  return id + u32(uint32_t(payload.size())) + payload + Bytes(payload.size() & 1, '\0');
}
// A chunk header declaring any size, followed by whatever bytes are given.
inline Bytes chunkRaw(const Bytes& id, uint32_t size, const Bytes& payload = "") {
  return id + u32(size) + payload;
}
inline Bytes fmtPayload(unsigned tag, unsigned ch, uint32_t rate, uint32_t bps, unsigned align,
                        unsigned bits) {
  return u16(tag) + u16(ch) + u32(rate) + u32(bps) + u16(align) + u16(bits);
}
inline Bytes riff(const Bytes& body, const Bytes& mark = "RIFF") {
  return mark + u32(uint32_t(4 + body.size())) + "WAVE" + body;
}

// Stereo PCM: interleaved samples (left, right, ...), unsigned 0..255 for 8 bits.
struct Pcm {
  unsigned bits;
  uint32_t rate;
  std::vector<int> samples;
  unsigned channels = 2;
  Bytes tail = "";   // bytes after the last whole frame, inside the data chunk
  uint32_t bps = 0;  // declared bytes per second, when it is not the true one
};

inline uint32_t bytesPerSec(const Pcm& p) {
  return p.bps ? p.bps : p.rate * p.channels * (p.bits / 8);
}
inline Bytes sampleBytes(unsigned bits, int v) {
  return bits == 8 ? Bytes(1, char(v)) : u16(v & 0xFFFF);
}
inline Bytes pcmData(const Pcm& p) {
  Bytes d;
  for (int v : p.samples) d += sampleBytes(p.bits, v);
  return d + p.tail;
}
inline Bytes wavFile(const Pcm& p) {
  const unsigned align = p.channels * (p.bits / 8);
  return riff(chunk("fmt ", fmtPayload(1, p.channels, p.rate, bytesPerSec(p), align, p.bits)) +
              chunk("data", pcmData(p)));
}

// A reproducible test signal that visits both extremes of the sample range.
inline Pcm noise(unsigned bits, uint32_t rate, size_t frames, uint32_t seed) {
  Pcm p{bits, rate, {}};
  const int lo = bits == 8 ? 0 : -32768;
  const int hi = bits == 8 ? 255 : 32767;
  for (size_t i = 0; i < 2 * frames; ++i) {
    seed = seed * 1103515245U + 12345U;
    const int v = i % 7 == 3 ? (i % 2 ? lo : hi) : lo + int((seed >> 8) % uint32_t(hi - lo + 1));
    p.samples.push_back(v);
  }
  return p;
}

// What the output must hold: the longer input (ties: the first) folded on the left,
// the other on the right until its whole frames run out, then the left's fold again.
inline Bytes expectedOutput(const Pcm& first, const Pcm& second) {
  const bool swap = pcmData(first).size() < pcmData(second).size();
  const Pcm& a = swap ? second : first;
  const Pcm& b = swap ? first : second;
  const size_t frames = a.samples.size() / 2;
  const uint32_t block = 2 * (a.bits / 8);
  const uint32_t data = uint32_t(frames * block);
  Bytes out = "RIFF" + u32(data + 36) + "WAVE" + "fmt " + u32(16) + u16(1) + u16(2) + u32(a.rate) +
              u32(a.rate * block) + u16(block) + u16(a.bits) + "data" + u32(data);
  auto fold = [](int l, int r) { return int(std::floor((l + r) / 2.0)); };
  for (size_t i = 0; i < frames; ++i) {
    const Pcm& r = 2 * i < b.samples.size() ? b : a;
    out += sampleBytes(a.bits, fold(a.samples[2 * i], a.samples[2 * i + 1]));
    out += sampleBytes(a.bits, fold(r.samples[2 * i], r.samples[2 * i + 1]));
  }
  return out;
}

// Console text as UTF-8, for comparing with the tool's Shift_JIS.
inline std::string fmtLines(unsigned tag, unsigned ch, uint32_t rate, uint32_t bps, unsigned align,
                            unsigned bits) {
  std::ostringstream s;
  s << "             データ形式: " << tag << " (1 = PCM)\n"
    << "           チャンネル数: " << ch << "\n"
    << "     サンプリング周波数: " << rate << " [Hz]\n"
    << "          バイト数 / 秒: " << bps << " [bytes/sec]\n"
    << " バイト数×チャンネル数: " << align << " [bytes]\n"
    << "    ビット数 / サンプル: " << bits << " [bits/sample]\n";
  return s.str();
}
inline std::string seconds(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "\n 時間=%.3f\n", v);
  return b;
}

struct Console {
  std::string out, err;
};
// The report of an ordinary file written by wavFile().
inline Console scanReport(const std::string& name, const Pcm& p) {
  const uint32_t data = uint32_t(pcmData(p).size());
  return {
      "\nファイル名[" + name + "]\n" +
          fmtLines(1, p.channels, p.rate, bytesPerSec(p), p.channels * (p.bits / 8), p.bits) +
          seconds(double(data) / bytesPerSec(p)),
      " \"fmt \"の長さ: 16 [bytes]\n\n \"data\" の長さ: " + std::to_string(data) + " [bytes]\n"};
}

// Shift_JIS (as Windows writes it, ASCII kept as ASCII) to UTF-8, or the other way.
inline std::string recode(const std::string& in, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  char* dst = out.data();
  size_t left = in.size(), room = out.size();
  const bool ok = cd != iconv_t(-1) && iconv(cd, &src, &left, &dst, &room) != size_t(-1);
  if (cd != iconv_t(-1)) iconv_close(cd);
  if (!ok) return "<not convertible: " + in + ">";
  out.resize(out.size() - room);
  return out;
}
inline std::string toUtf8(const std::string& sjis) { return recode(sjis, "UTF-8", "CP932"); }
inline std::string toSjis(const std::string& utf8) { return recode(utf8, "CP932", "UTF-8"); }

inline Bytes readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}
inline void writeFile(const std::string& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary) << b;
}
