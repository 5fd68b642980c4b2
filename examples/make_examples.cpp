// Writes the two example inputs: long.wav (2.0 s, with a LIST chunk so the report
// shows one) and short.wav (1.25 s), both 16-bit stereo at 22,050 Hz, each channel
// a different tone, so every channel of the combined file can be heard.
//
//   wavpair_make_examples DIR
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "wav/wav.h"

namespace {

constexpr uint32_t kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

void append(std::vector<uint8_t>& v, const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  v.insert(v.end(), b, b + n);
}
void appendU16(std::vector<uint8_t>& v, uint16_t x) {
  uint8_t b[2];
  putU16le(b, x);
  append(v, b, 2);
}
void appendU32(std::vector<uint8_t>& v, uint32_t x) {
  uint8_t b[4];
  putU32le(b, x);
  append(v, b, 4);
}

std::vector<uint8_t> tones(double seconds, double leftHz, double rightHz, double level,
                           const std::string& title) {
  const auto frames = static_cast<uint32_t>(seconds * kRate);
  std::vector<uint8_t> body;
  append(body, "fmt ", 4);
  appendU32(body, 16);
  appendU16(body, kFormatPcm);
  appendU16(body, 2);
  appendU32(body, kRate);
  appendU32(body, kRate * 4);
  appendU16(body, 4);
  appendU16(body, 16);
  if (!title.empty()) {
    const uint32_t nameSize = static_cast<uint32_t>(title.size() + 1);  // with its NUL
    const uint32_t pad = nameSize & 1U;
    append(body, "LIST", 4);
    appendU32(body, 4 + 8 + nameSize + pad);
    append(body, "INFOINAM", 8);
    appendU32(body, nameSize);
    append(body, title.c_str(), nameSize + pad);  // std::string keeps a NUL past the end
  }
  append(body, "data", 4);
  appendU32(body, frames * 4);
  for (uint32_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    appendU16(body, static_cast<uint16_t>(std::lround(level * std::sin(2 * kPi * leftHz * t))));
    appendU16(body, static_cast<uint16_t>(std::lround(level * std::sin(2 * kPi * rightHz * t))));
  }
  std::vector<uint8_t> file;
  append(file, "RIFF", 4);
  appendU32(file, static_cast<uint32_t>(4 + body.size()));
  append(file, "WAVE", 4);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

int save(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::perror(path.c_str());
    return -1;
  }
  const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
  if (std::fclose(f) != 0 || written != bytes.size()) {
    std::perror(path.c_str());
    return -1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    static_cast<void>(std::fputs("usage: wavpair_make_examples DIR\n", stderr));
    return 2;
  }
  const std::string dir = argv[1];
  if (save(dir + "/long.wav", tones(2.0, 440, 660, 12000, "long example")) != 0 ||
      save(dir + "/short.wav", tones(1.25, 330, 550, 8000, "")) != 0) {
    return 1;
  }
  return 0;
}
