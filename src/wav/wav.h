// The WAV file layout this tool reads and writes, and the description of one input.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"
#include "text.h"

// The canonical header written in front of the output frames.
inline constexpr int kWavHeaderSize = 44;
inline constexpr uint16_t kFormatPcm = 1;

// One input as the scan found it. Zeroed before every scan.
struct WavInfo {
  uint32_t sampleRate;
  uint16_t bitsPerSample;
  uint32_t dataSize;  // payload size of the "data" chunk, as declared
  uint16_t channels;
  uint32_t bytesPerSec;  // as declared: compared between the inputs and divided into the
                         // data size for the playing time; the output's own is computed
  int64_t dataOffset;    // file position of the first audio byte
  FileStamp stamp;       // the file the scan read, as it found it: the audio is read from
                         // that one only, and only as it was
  uint16_t formatTag;    // as read, kept also where it is refused: a front explains it
};

// Bytes of one frame: one sample per channel.
inline uint32_t wavFrameSize(const WavInfo& info) {
  return static_cast<uint32_t>(info.bitsPerSample / 8) * info.channels;
}

// Little-endian fields, one byte at a time, so neither host order nor alignment matters.
inline uint16_t getU16le(const uint8_t* p) {
  return static_cast<uint16_t>(static_cast<uint16_t>(p[0]) |
                               static_cast<uint16_t>(static_cast<uint16_t>(p[1]) << 8));
}
inline uint32_t getU32le(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void putU16le(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putU32le(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Closes a stream that was only read, or one whose run has failed already: nothing
// more can be lost by a failing close, so its result is of no interest.
inline void wavStreamClose(FILE* f) { static_cast<void>(std::fclose(f)); }

// Opens, reports and validates one input, refusing one that a standard stream writes
// into; fills info. nullptr on success, else the failure, its message printed (none
// for a "fmt " payload cut short by the end of the file, or an input standard error
// writes into).
Failure wavHeaderRead(const char* name, WavInfo* info);

// True when the output's header can hold what infos[0] gives it: its bytes per second
// (frame size times rate) in 32 bits.
bool wavHeaderFits(const WavInfo (&infos)[2]);

// Writes the 44-byte header for infos[0]; returns the stream position after it.
int64_t wavHeaderWrite(FILE* out, const WavInfo (&infos)[2]);
