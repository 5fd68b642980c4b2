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
int wavStdoutFlushReport() {
  if (!platformStreamGood(stdout)) {
    textPrint(stderr, &msg::kStdoutWrite);
    return -1;
  }
  return 0;
}

// A standard stream that leads into an input or the output would write the report
// into it. Such a run ends before anything is written anywhere; the reason goes to
// standard error only when that stream itself leads into none of the files, and
// otherwise the run is silent.
int wavStreamsIntoFilesRefuse(const char* const (&names)[2], const char* outName) {
  // A screen keeps no file: the reason may go to one that is also the output.
  const bool errIsFile =
      platformSameAsStream(names[0], stderr) || platformSameAsStream(names[1], stderr) ||
      (!platformStreamForm(stderr).screen && platformSameAsStream(outName, stderr));
  const auto outIsInput = [](const char* name) { return platformSameAsStream(name, stdout); };
  const char* const* into = std::find_if(std::begin(names), std::end(names), outIsInput);
  const bool outIsOutput = into == std::end(names) && platformSameAsStream(outName, stdout);
  if (!errIsFile && into != std::end(names)) textPrint(stderr, &msg::kInputIsStdout, *into);
  if (!errIsFile && outIsOutput) textPrint(stderr, &msg::kSameAsStdout, outName);
  return into != std::end(names) || outIsOutput || errIsFile ? -1 : 0;
}

// The facts of one scanned input, for the run's result.
RunInput runInputOf(const WavInfo& info) {
  const uint32_t frame = wavFrameSize(info);
  return RunInput{info.sampleRate, info.bitsPerSample, info.channels,
                  frame == 0 ? 0 : info.dataSize / frame};
}

}  // namespace

int wavpairRun(int argc, const char* const* argv, RunResult* result) {
  RunResult unused{};
  RunResult& r = result != nullptr ? *result : unused;
  r = RunResult{};
  r.longer = r.concerns = -1;
  const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
  if (help || (argc == 2 && std::strcmp(argv[1], "--version") == 0)) {
    // The English summary follows the usage text; a screen that takes English gets
    // the summary alone rather than the usage text twice over.
    if (help && !platformStreamForm(stdout).english) textPrint(stdout, &msg::kUsage);
    textPrint(stdout, help ? &msg::kHelp : &msg::kVersion);
    return wavStdoutFlushReport();
  }
  if (argc != 4) {
    usage();
    return -1;
  }
  const char* names[2] = {argv[1], argv[2]};
  if (wavStreamsIntoFilesRefuse(names, argv[3]) != 0) {
    return -1;
  }
  WavInfo infos[2] = {};
  // The first input is reported in full before the second is opened.
  for (int k = 0; k < 2; ++k) {
    const int rc = wavHeaderRead(names[k], &infos[k]);
    r.formatTag = infos[k].formatTag;
    r.formatBits = infos[k].bitsPerSample;
    if (rc != 0) {
      r.concerns = k;
      return -1;
    }
    r.inputs[k] = runInputOf(infos[k]);
  }
  if (infos[0].channels != 2 || infos[1].channels != 2) {
    r.concerns = infos[0].channels == infos[1].channels ? -1 : infos[0].channels != 2 ? 0 : 1;
    textPrint(stderr, &msg::kNotStereo);
    return -1;
  }
  if (wavFormatCheck(names, infos) != 0) {
    return -1;
  }
  r.longer = names[0] == argv[1] ? 0 : 1;
  r.inputs[0] = runInputOf(infos[0]);
  r.inputs[1] = runInputOf(infos[1]);
  if (wavCombine(names, argv[3], infos) != 0) {
    return -1;
  }
  r.outputFrames = r.inputs[0].frames;
  r.shorterFrames = std::min(r.inputs[1].frames, r.outputFrames);
  r.outputBytes = kWavHeaderSize + r.outputFrames * wavFrameSize(infos[0]);
  textPrint(stdout, &msg::kCombined, argv[1], argv[2], argv[3]);
  return wavStdoutFlushReport();
}
