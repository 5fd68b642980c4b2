// The run behind the command line: the arguments, the standard streams kept out of
// the inputs and the output, both scans, the stereo and pairing rules, the combining
// and the closing line.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "cli/cli.h"
#include "combine/combine.h"
#include "platform/platform.h"
#include "text.h"
#include "wav/wav.h"

namespace {

void usage() { textPrint(stderr, &msg::kUsage); }

// Status 0 promises the whole of what standard output was given was delivered.
int wavStdoutFinish() {
  if (!platformStreamGood(stdout)) {
    textPrint(stderr, &msg::kStdoutWrite);
    return -1;
  }
  return 0;
}

// A standard stream that leads into an input would write the report into it. Such a
// run ends before anything is written anywhere; the reason goes to standard error
// only when that stream itself leads into no input, and otherwise the run is silent.
int wavStreamsCheck(const char* const (&names)[2]) {
  const bool errIsInput =
      platformSameAsStream(names[0], stderr) || platformSameAsStream(names[1], stderr);
  const auto outIsInput = [](const char* name) { return platformSameAsStream(name, stdout); };
  const char* const* into = std::find_if(std::begin(names), std::end(names), outIsInput);
  if (into != std::end(names) && !errIsInput) {
    textPrint(stderr, &msg::kInputIsStdout, *into);
  }
  return into != std::end(names) || errIsInput ? -1 : 0;
}

// Creating the output would truncate an input before its audio is read, or a file the
// report is being written to; such an output is refused before it is touched.
int wavOutputCheck(const char* const (&names)[2], const char* outName) {
  const Message* refusal = nullptr;
  if (platformSameFile(outName, names[0]) || platformSameFile(outName, names[1])) {
    refusal = &msg::kSameFile;
  } else if (platformSameAsStream(outName, stdout)) {
    refusal = &msg::kSameAsStdout;
  } else if (platformSameAsStream(outName, stderr)) {
    refusal = &msg::kSameAsStderr;
  }
  if (refusal != nullptr) textPrint(stderr, refusal, outName);
  return refusal == nullptr ? 0 : -1;
}

}  // namespace

int wavpairRun(int argc, const char* const* argv) {
  const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
  if (help || (argc == 2 && std::strcmp(argv[1], "--version") == 0)) {
    textPrint(stdout, help ? &msg::kUsage : &msg::kVersion);
    return wavStdoutFinish();
  }
  if (argc != 4) {
    usage();
    return -1;
  }
  const char* names[2] = {argv[1], argv[2]};
  if (wavStreamsCheck(names) != 0) {
    return -1;
  }
  WavInfo infos[2] = {};
  // The first input is reported in full before the second is opened.
  if (wavHeaderRead(names[0], &infos[0]) != 0 || wavHeaderRead(names[1], &infos[1]) != 0) {
    return -1;
  }
  if (infos[0].channels != 2 || infos[1].channels != 2) {
    textPrint(stderr, &msg::kNotStereo);
    return -1;
  }
  if (wavFormatCheck(names, infos) != 0 || wavOutputCheck(names, argv[3]) != 0 ||
      wavCombine(names, argv[3], infos) != 0) {
    return -1;
  }
  textPrint(stdout, &msg::kCombined, argv[1], argv[2], argv[3]);
  return wavStdoutFinish();
}
