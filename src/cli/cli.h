// The whole run behind the command line, callable without a process of its own.
#pragma once

// Checks the arguments, scans both inputs, combines them and prints the closing line.
// Returns the exit status: 0, or -1 after the failure's message.
int wavpairRun(int argc, const char* const* argv);
