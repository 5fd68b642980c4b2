// The scan of one input (RIFF header, chunk loop, "fmt " payload) with its report,
// and the writer of the 44-byte output header.
#include "wav/wav.h"

#include <cstring>

namespace {

// RIFF header at the start of every input: "RIFF", size (never trusted), "WAVE".
constexpr int kRiffHeaderSize = 12;
// Every chunk: a four-byte identifier, then a 32-bit payload size.
constexpr int kChunkHeaderSize = 8;
// The part of a "fmt " payload that is read, whatever size the chunk declares.
constexpr int kFmtPayloadSize = 16;
// The first 16 bytes of a "fmt " payload, decoded.
struct WavFmt {
  uint16_t formatTag;
  uint16_t channels;
  uint32_t sampleRate;
  uint32_t bytesPerSec;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
};

// Bytes of the whole frames in the "data" chunk; a trailing partial frame is never
// read, so it is not counted either.
uint32_t wavFramesSize(const WavInfo& info) {
  const uint32_t s = wavFrameSize(info);
  return s == 0 ? 0 : info.dataSize / s * s;
}

// What the chunk loop met; an input needs both before it can be combined.
constexpr unsigned kSeenFmt = 1;
constexpr unsigned kSeenData = 2;

bool idIs(const uint8_t* id, const char* tag) { return std::memcmp(id, tag, 4) == 0; }

// Sizes print as signed 32-bit values (2 GiB and more show negative): the report's
// format stays the same whatever the width of long, for scripts that read it.
long asSignedLong(uint32_t v) { return static_cast<long>(static_cast<int32_t>(v)); }

// A chunk identifier goes to the terminal as it is only if it is printable ASCII; a
// file must not be able to send control sequences.
int idChar(uint8_t c) { return (c >= 0x20 && c <= 0x7E) ? c : '?'; }

// The 12-byte RIFF header. The WAVE mark is tested before the RIFF mark, so a file
// with neither gets only the WAVE message.
Failure wavRiffCheckReport(FILE* in) {
  uint8_t riff[kRiffHeaderSize];
  if (std::fread(riff, sizeof riff, 1, in) != 1) {
    return textFail(&msg::kReadFailed, static_cast<long>(platformTell(in)));
  }
  if (!idIs(riff + 8, "WAVE")) return textFail(&msg::kNoWave);
  if (!idIs(riff, "RIFF")) return textFail(&msg::kNotRiff);
  return nullptr;
}

// Reads, reports and validates the "fmt " payload at the stream's position.
Failure wavFmtRead(FILE* in, WavFmt* fmt) {
  uint8_t b[kFmtPayloadSize];
  // A payload cut short by the end of the file fails without a message of its own.
  if (std::fread(b, sizeof b, 1, in) != 1) return &msg::kSilent;
  fmt->formatTag = getU16le(b);
  fmt->channels = getU16le(b + 2);
  fmt->sampleRate = getU32le(b + 4);
  fmt->bytesPerSec = getU32le(b + 8);
  fmt->blockAlign = getU16le(b + 12);
  fmt->bitsPerSample = getU16le(b + 14);

  textPrint(stdout, &msg::kFmtTag, static_cast<unsigned>(fmt->formatTag));
  textPrint(stdout, &msg::kFmtChannels, static_cast<unsigned>(fmt->channels));
  textPrint(stdout, &msg::kFmtSampleRate, static_cast<unsigned long>(fmt->sampleRate));
  textPrint(stdout, &msg::kFmtBytesPerSec, static_cast<unsigned long>(fmt->bytesPerSec));
  textPrint(stdout, &msg::kFmtBlockAlign, static_cast<unsigned>(fmt->blockAlign));
  textPrint(stdout, &msg::kFmtBits, static_cast<unsigned>(fmt->bitsPerSample));

  // The reason, then the file's value, both the failure's: the reason is what it ends with.
  if (fmt->formatTag != kFormatPcm) {
    const Failure f = textFail(&msg::kPcmOnly);
    textFail(&msg::kPcmOnlyTag, static_cast<unsigned>(fmt->formatTag));
    return f;
  }
  if (fmt->bitsPerSample != 8 && fmt->bitsPerSample != 16) {
    const Failure f = textFail(&msg::kBitsOnly);
    textFail(&msg::kBitsOnlyValue, static_cast<int>(fmt->bitsPerSample));
    return f;
  }
  return nullptr;
}

// The chunk loop. Every resume position is computed in 64 bits from the chunk's own
// start, so a size can only move the scan forward (by 8 bytes at least) and every
// file comes to an end. Odd payloads are followed by one pad byte, as RIFF requires.
// The first "fmt " and the first "data" chunk describe the file, as other readers take
// them; a later one is reported like any other chunk and changes nothing.
Failure wavChunksReadReport(FILE* in, WavInfo* info, unsigned* seen) {
  uint64_t pos = kRiffHeaderSize;
  uint8_t hdr[kChunkHeaderSize];
  Failure f = nullptr;
  bool more = true;
  while (more && std::fread(hdr, sizeof hdr, 1, in) == 1) {
    const uint32_t size = getU32le(hdr + 4);
    const uint64_t payload = pos + kChunkHeaderSize;
    if (idIs(hdr, "fmt ") && (*seen & kSeenFmt) == 0) {
      textPrint(stderr, &msg::kFmtLength, asSignedLong(size));
      WavFmt fmt{};
      f = wavFmtRead(in, &fmt);
      // Kept also when refused, so that the run can say what the file is.
      info->formatTag = fmt.formatTag;
      info->sampleRate = fmt.sampleRate;
      info->bitsPerSample = fmt.bitsPerSample;
      info->channels = fmt.channels;
      info->bytesPerSec = fmt.bytesPerSec;
      *seen |= f == nullptr ? kSeenFmt : 0;
    } else if (idIs(hdr, "data") && (*seen & kSeenData) == 0) {
      info->dataSize = size;
      textPrint(stderr, &msg::kDataLength, asSignedLong(size));
      info->dataOffset = static_cast<int64_t>(payload);
      *seen |= kSeenData;
    } else {
      textPrint(stdout, &msg::kChunkLength, idChar(hdr[0]), idChar(hdr[1]), idChar(hdr[2]),
                idChar(hdr[3]), asSignedLong(size));
    }
    pos = payload + size + (size & 1U);
    // A seek that fails (an input is a regular file: a read error) ends the chunks there.
    more = f == nullptr && platformSeek(in, static_cast<int64_t>(pos)) == 0;
  }
  return f;
}

}  // namespace

Failure wavHeaderRead(const char* name, WavInfo* info) {
  *info = WavInfo{};
  FILE* in = platformInputOpen(name);
  if (in != nullptr && !platformStreamStamp(in, &info->stamp)) {
    wavStreamClose(in);
    in = nullptr;
  }
  if (in == nullptr) return textFail(&msg::kInputOpen, name);
  // The run checked the names against the standard streams before it began; what was
  // opened is checked again, in case the name has come to mean another file since.
  // Where standard error writes into it, any message would too: silent.
  const FileId none[2] = {};
  const FileRoles is = platformStreamRoles(in, none);
  if (is.out || is.err) {
    wavStreamClose(in);
    return is.err ? &msg::kSilent : textFail(&msg::kInputIsStdout, name);
  }
  textPrint(stdout, &msg::kFileName, name);
  unsigned seen = 0;
  Failure f = wavRiffCheckReport(in);
  if (f == nullptr) f = wavChunksReadReport(in, info, &seen);
  wavStreamClose(in);
  if (f != nullptr) return f;
  if ((seen & kSeenFmt) == 0) return textFail(&msg::kNoFmt);
  if ((seen & kSeenData) == 0) return textFail(&msg::kNoData);
  // A declared rate of 0 gives no playing time; show 0 rather than divide by it.
  const double seconds = info->bytesPerSec == 0 ? 0.0
                                                : static_cast<double>(info->dataSize) /
                                                      static_cast<double>(info->bytesPerSec);
  textPrint(stdout, &msg::kDuration, seconds);
  return nullptr;
}

bool wavHeaderFits(const WavInfo (&infos)[2]) {
  return uint64_t{wavFrameSize(infos[0])} * infos[0].sampleRate <= UINT32_MAX;
}

// The output header, from infos[0]; rates and sizes are computed, never copied from
// what an input declared, and the data size counts only the whole frames written.
//
//   offset size value
//    0     4   "RIFF"
//    4     4   data size + 36, held at 0xFFFFFFFF
//    8     4   "WAVE"
//   12     4   "fmt "
//   16     4   16
//   20     2   1 (PCM)
//   22     2   channels
//   24     4   sample rate
//   28     4   (bits / 8) * channels * sample rate
//   32     2   (bits / 8) * channels
//   34     2   bits per sample
//   36     4   "data"
//   40     4   data size: whole frames of infos[0]
int64_t wavHeaderWrite(FILE* out, const WavInfo (&infos)[2]) {
  const WavInfo& a = infos[0];
  const uint32_t frame = wavFrameSize(a);
  const uint32_t data = wavFramesSize(a);
  // The RIFF size counts everything after its own field: the rest of the header and the data.
  const uint32_t rest = kWavHeaderSize - 8;
  const uint32_t riffSize = data > UINT32_MAX - rest ? UINT32_MAX : data + rest;
  uint8_t h[kWavHeaderSize];
  std::memcpy(h, "RIFF", 4);
  putU32le(h + 4, riffSize);
  std::memcpy(h + 8, "WAVE", 4);
  std::memcpy(h + 12, "fmt ", 4);
  putU32le(h + 16, kFmtPayloadSize);
  putU16le(h + 20, kFormatPcm);
  putU16le(h + 22, a.channels);
  putU32le(h + 24, a.sampleRate);
  putU32le(h + 28, frame * a.sampleRate);
  putU16le(h + 32, static_cast<uint16_t>(frame));
  putU16le(h + 34, a.bitsPerSample);
  std::memcpy(h + 36, "data", 4);
  putU32le(h + 40, data);
  // The caller refuses any position but 44: a short write (a full disk).
  static_cast<void>(std::fwrite(h, sizeof h, 1, out));
  return platformTell(out);
}
