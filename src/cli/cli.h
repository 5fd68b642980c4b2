// The whole run behind the command line, callable without a process of its own.
#pragma once

#include <cstdint>

// One input as the run knew it: zero where its scan did not get that far.
struct RunInput {
  uint32_t rate;
  uint16_t bits;
  uint16_t channels;
  uint64_t frames;  // whole frames of its data chunk, as declared
};

struct Message;

// What a run found, for a front that shows it (the page), so that it never reads the
// report back.
struct RunResult {
  const Message* failure;  // the message that ended a failed run; none where it succeeded
                           // or printed nothing
  RunInput inputs[2];      // the longer first once paired; command-line order before that
  int longer;              // the command-line input (0 or 1) that is the longer; -1: not paired
  uint64_t outputFrames;   // frames written to the output, 0 unless the run succeeded
  uint64_t shorterFrames;  // of those, the frames the shorter input fed
  uint64_t outputBytes;    // the output's size: its header and those frames; 0 unless it succeeded
  int concerns;            // the command-line input (0, 1) the failure is about; -1: both or none
  uint16_t formatTag;      // the format the last scan read, also of a file it refused
  uint16_t formatBits;     // and its bits per sample
};

// Checks the arguments, scans both inputs, combines them and prints the closing line.
// Returns the exit status: 0, or -1 after the failure's message. Fills result where
// one is given.
int wavpairRun(int argc, const char* const* argv, RunResult* result = nullptr);
