// Everything that differs between the systems the tool runs on: how a name on the
// command line becomes a file, what makes two names one file, 64-bit positions, and
// the standard streams. The rest of the tool never asks which system it is on.
#pragma once

#include <cstdint>
#include <cstdio>

// Sets up the standard streams before anything else runs, and returns the arguments
// as the tool holds them: each a name to open and, as it stands, the text the report
// prints for it.
const char* const* platformStart(int argc, char** argv);

// Opens an existing file for binary reading; a folder is refused like a missing file.
FILE* platformInputOpen(const char* name);

// Creates or truncates a file for binary writing.
FILE* platformOutputCreate(const char* name);

// True when both names lead to one existing file, however either is spelt or linked.
bool platformSameFile(const char* a, const char* b);

// True when name is an existing regular file and stream writes into that very file.
bool platformSameAsStream(const char* name, FILE* stream);

// Absolute positioning and the current position, in 64 bits on every system.
int platformSeek(FILE* f, int64_t pos);
int64_t platformTell(FILE* f);
