// The run behind the command line: the arguments, the standard streams kept out of
// the inputs and the output, both scans, the stereo and pairing rules, the combining
// and the closing line.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/cli.h"
#include "combine/combine.h"
#include "platform/platform.h"
#include "progress.h"
#include "text.h"
#include "wav/wav.h"

namespace {

// Status 0 promises the whole of what standard output was given was delivered.
Failure wavStdoutFlushReport() {
  return platformStreamGood(stdout) ? nullptr : textFail(&msg::kStdoutWrite);
}

// A standard stream that leads into an input or the output would write the report
// into it. Such a run ends before anything is written anywhere; the reason goes to
// standard error only when that stream itself leads into none of the files, and
// otherwise the run is silent.
Failure wavStreamsIntoFilesRefuse(const char* const (&names)[2], const char* outName) {
  const FileId none[2] = {};
  const FileRoles in[2] = {platformNameRoles(names[0], none), platformNameRoles(names[1], none)};
  const FileRoles out = platformNameRoles(outName, none);
  // A screen keeps no file: the reason may go to one that is also the output.
  const bool errIsFile = in[0].err || in[1].err || (!platformStreamForm(stderr).screen && out.err);
  const int into = in[0].out ? 0 : in[1].out ? 1 : -1;
  if (into >= 0) return errIsFile ? &msg::kSilent : textFail(&msg::kInputIsStdout, names[into]);
  if (out.out) return errIsFile ? &msg::kSilent : textFail(&msg::kSameAsStdout, outName);
  return errIsFile ? &msg::kSilent : nullptr;
}

// The facts of one scanned input, for the run's result.
RunInput runInputOf(const WavInfo& info) {
  const uint32_t frame = wavFrameSize(info);
  return RunInput{info.sampleRate, info.bitsPerSample, info.channels,
                  frame == 0 ? 0 : info.dataSize / frame};
}

// The run's steps, in order; what ended it.
Failure wavRunSteps(int argc, const char* const* argv, RunResult& r) {
  const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
  if (help || (argc == 2 && std::strcmp(argv[1], "--version") == 0)) {
    // The English summary follows the usage text; a screen that takes English gets
    // the summary alone rather than the usage text twice over.
    if (help && !platformStreamForm(stdout).english) textPrint(stdout, &msg::kUsage);
    textPrint(stdout, help ? &msg::kHelp : &msg::kVersion);
    return wavStdoutFlushReport();
  }
  if (argc != 4) return textFail(&msg::kUsage);
  const char* names[2] = {argv[1], argv[2]};
  if (const Failure f = wavStreamsIntoFilesRefuse(names, argv[3])) return f;
  WavInfo infos[2] = {};
  // The first input is reported in full before the second is opened.
  for (int k = 0; k < 2; ++k) {
    const Failure f = wavHeaderRead(names[k], &infos[k]);
    r.formatTag = infos[k].formatTag;
    r.formatBits = infos[k].bitsPerSample;
    r.concerns = k;
    if (f != nullptr) return f;
    r.inputs[k] = runInputOf(infos[k]);
  }
  // Where neither is stereo, both are at fault, whatever their counts.
  const bool stereo[2] = {infos[0].channels == 2, infos[1].channels == 2};
  r.concerns = stereo[0] == stereo[1] ? -1 : stereo[0] ? 1 : 0;
  if (!stereo[0] || !stereo[1]) return textFail(&msg::kNotStereo);
  if (const Failure f = wavFormatCheck(names, infos)) return f;
  r.longer = names[0] == argv[1] ? 0 : 1;
  r.inputs[0] = runInputOf(infos[0]);
  r.inputs[1] = runInputOf(infos[1]);
  if (const Failure f = wavCombine(names, argv[3], infos)) return f;
  r.outputFrames = r.inputs[0].frames;
  r.shorterFrames = std::min(r.inputs[1].frames, r.outputFrames);
  r.outputBytes = kWavHeaderSize + r.outputFrames * wavFrameSize(infos[0]);
  textPrint(stdout, &msg::kCombined, argv[1], argv[2], argv[3]);
  return wavStdoutFlushReport();
}

}  // namespace

int wavpairRun(int argc, const char* const* argv, RunResult* result) {
  RunResult unused{};
  RunResult& r = result != nullptr ? *result : unused;
  r = RunResult{};
  r.longer = r.concerns = -1;
  const Failure f = wavRunSteps(argc, argv, r);
  progressErase();
  r.failure = f == &msg::kSilent ? nullptr : f;
  return f == nullptr ? 0 : -1;
}
