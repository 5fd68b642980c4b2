#include "combine/combine.h"

#include <sys/stat.h>

#include <cstring>
#include <utility>

#include "messages.h"

namespace {

// True when outName already names the same file as name (links followed). Creating
// the output would truncate that input before its audio is read.
bool wavSameFile(const char* outName, const char* name) {
  struct stat o {};
  struct stat i {};
  return stat(outName, &o) == 0 && stat(name, &i) == 0 && o.st_dev == i.st_dev &&
         o.st_ino == i.st_ino;
}

// Frame buffer: one frame of A, then one frame of B, s bytes each. Each fold turns
// it into (fold of A, fold of B) in A's half, which is what gets written.
void wavFrameFold8(uint8_t* f) {
  const uint8_t left = fold8(f[0], f[1]);
  const uint8_t right = fold8(f[2], f[3]);
  f[0] = left;
  f[1] = right;
}

void wavFrameFold16(uint8_t* f) {
  const auto sample = [f](int i) { return static_cast<int16_t>(getU16le(f + 2 * i)); };
  const int16_t left = fold16(sample(0), sample(1));
  const int16_t right = fold16(sample(2), sample(3));
  putU16le(f, static_cast<uint16_t>(left));
  putU16le(f + 2, static_cast<uint16_t>(right));
}

// The loop both widths share, frame by frame through the buffered streams.
template <void (*Fold)(uint8_t*)>
int wavMix(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]) {
  const uint32_t s = wavFrameSize(infos[0]);
  const uint64_t m = infos[0].dataSize / s;
  int64_t n = infos[1].dataSize / s;  // B's frames left; below zero, A stands in
  uint8_t frame[8] = {};
  for (uint64_t i = 0; i < m; ++i) {
    if (std::fread(frame, s, 1, ins[0]) != 1) {
      return -1;
    }
    if (--n < 0) {
      std::memcpy(frame + s, frame, s);
    } else if (std::fread(frame + s, s, 1, ins[1]) != 1) {
      return -1;
    }
    Fold(frame);
    if (std::fwrite(frame, s, 1, out) != 1) {
      return -1;
    }
  }
  return 0;
}

}  // namespace

int wavFormatCheck(const char* (&names)[2], WavInfo (&infos)[2]) {
  if (infos[0].sampleRate != infos[1].sampleRate) {
    std::fputs(msg::kRateDiffers, stderr);
    return -1;
  }
  if (infos[0].bitsPerSample != infos[1].bitsPerSample) {
    std::fputs(msg::kBitsDiffers, stderr);
    return -1;
  }
  if (infos[0].bytesPerSec != infos[1].bytesPerSec) {
    std::fputs(msg::kBytesPerSecDiffers, stderr);
    return -1;
  }
  if (infos[0].dataSize < infos[1].dataSize) {
    std::swap(infos[0], infos[1]);
    std::swap(names[0], names[1]);
  }
  return 0;
}

int wavMix8(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]) {
  return wavMix<wavFrameFold8>(ins, out, infos);
}

int wavMix16(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]) {
  return wavMix<wavFrameFold16>(ins, out, infos);
}

int wavDataWrite(FILE* const (&ins)[2], FILE* out, const WavInfo (&infos)[2]) {
  // The mixers' frame buffer holds two stereo frames of 8 or 16 bits; the scan and
  // the stereo rule guarantee that, and this keeps it so for any other caller.
  for (const WavInfo& info : infos) {
    if (info.channels != 2 || (info.bitsPerSample != 8 && info.bitsPerSample != 16)) {
      return -1;
    }
  }
  fseeko(ins[0], static_cast<off_t>(infos[0].dataOffset), SEEK_SET);
  fseeko(ins[1], static_cast<off_t>(infos[1].dataOffset), SEEK_SET);
  return infos[0].bitsPerSample == 8 ? wavMix8(ins, out, infos) : wavMix16(ins, out, infos);
}

int wavCombine(const char* (&names)[2], const char* outName, WavInfo (&infos)[2]) {
  if (wavFormatCheck(names, infos) != 0) {
    return -1;
  }
  if (wavSameFile(outName, names[0]) || wavSameFile(outName, names[1])) {
    std::fprintf(stderr, msg::kSameFile, outName);
    return -1;
  }
  FILE* out = std::fopen(outName, "wb");
  if (out == nullptr) {
    std::fprintf(stderr, msg::kFileOpen, outName);
    return -1;
  }
  if (wavHeaderWrite(out, infos) != kWavHeaderSize) {
    std::fprintf(stderr, msg::kHeaderWrite, outName);
    std::fclose(out);
    return -1;
  }
  FILE* a = std::fopen(names[0], "rb");
  if (a == nullptr) {
    std::fprintf(stderr, msg::kFileOpen, names[0]);
    std::fclose(out);
    return -1;
  }
  FILE* b = std::fopen(names[1], "rb");
  if (b == nullptr) {
    std::fprintf(stderr, msg::kFileOpen, names[1]);
    std::fclose(a);
    std::fclose(out);
    return -1;
  }
  FILE* const ins[2] = {a, b};
  const int rc = wavDataWrite(ins, out, infos);
  std::fclose(a);
  std::fclose(b);
  // The last frames reach the file only on this close; a failure here is a failure
  // of the run, not a success with a short file.
  const int closed = std::fclose(out);
  if (rc != 0) {
    std::fputs(msg::kDataWrite, stderr);
    return -1;
  }
  if (closed != 0) {
    std::fprintf(stderr, msg::kOutputWrite, outName);
    return -1;
  }
  return 0;
}
