// Everything that differs between the systems the tool runs on: how a name on the
// command line becomes a file, what makes two names one file, 64-bit positions, and
// the standard streams with the form each one's text takes. The rest of the tool
// never asks which system it is on.
#pragma once

#include <cstdint>
#include <cstdio>

#include "messages.h"

// Sets up the standard streams before anything else runs, and returns the arguments
// (their count in argc) as the tool holds them: each a name to open and, as it
// stands, the text the report prints for it.
const char* const* platformStart(int* argc, char** argv);

// Writes message m, its printf-style arguments filled in, to stdout or stderr. A
// terminal or console gets the text in the encoding it shows; anything else (a file,
// a pipe, the null device) gets the Shift_JIS bytes. Names print as the command line
// gave them.
void platformMessagePrint(FILE* stream, const Message* m, ...);  // NOLINT(cert-dcl50-cpp)

// Flushes stream; true when everything written to it since the start arrived.
bool platformStreamGood(FILE* stream);

// Opens an existing file for binary reading; a folder is refused like a missing file.
FILE* platformInputOpen(const char* name);

// Creates or truncates a file for binary writing.
FILE* platformOutputCreate(const char* name);

// True when both names lead to one existing file, however either is spelt or linked.
bool platformSameFile(const char* a, const char* b);

// True when name leads to the very file stream writes into, whatever its kind (a
// regular file, a pipe, a FIFO, a terminal). The null device keeps nothing, so it is
// never the same as anything.
bool platformSameAsStream(const char* name, FILE* stream);

// Absolute positioning and the current position, in 64 bits on every system.
int platformSeek(FILE* f, int64_t pos);
int64_t platformTell(FILE* f);
