// Everything that differs between the systems the tool runs on: how a name on the
// command line becomes a file, what makes two names one file, 64-bit positions, and
// the standard streams with the form each one's text takes. The rest of the tool
// never asks which system it is on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "messages.h"

// Sets up the standard streams before anything else runs, and returns the arguments
// (their count in argc) as the tool holds them: the names to open and to print.
const char* const* platformStart(int* argc, char** argv);

// Flushes stream; true when everything written to it since the start arrived.
bool platformStreamGood(FILE* stream);

// Opens an existing file for binary reading; a folder is refused like a missing file.
FILE* platformInputOpen(const char* name);

// Creates or truncates a file for binary writing. A name that leads to something that
// cannot hold a file (a FIFO, a socket, a pipe, a terminal or console) is refused
// before a byte reaches it and without waiting for a reader: nullptr, with notAFile
// set. The null device is a file here: it takes everything.
FILE* platformOutputCreate(const char* name, bool* notAFile);

// True when both names lead to one existing file, however either is spelt or linked.
bool platformSameFile(const char* a, const char* b);

// True when name leads to what stream writes into, by any of its names: the same
// file, and on POSIX the same pipe, FIFO or terminal, on Windows the same console.
// The null device keeps nothing, so it is never the same as anything.
bool platformSameAsStream(const char* name, FILE* stream);

// Absolute positioning and the current position, in 64 bits on every system.
int platformSeek(FILE* f, int64_t pos);
int64_t platformTell(FILE* f);

// ---- The console texts -------------------------------------------------------------
//
// Each system decides the form each standard stream takes, and supplies its encodings
// and its write; the walk every text takes is the same everywhere (text.h).

// How the bytes of a name are read: as they are where nothing is known of their
// encoding (the C locale), as UTF-8, or in the locale's own (EUC-JP, Shift_JIS).
enum class NameSource { kAsGiven, kUtf8, kLocale };

// How one standard stream takes the tool's texts.
struct StreamForm {
  bool screen = false;   // a terminal or console: what could drive it shows as '?'
  bool shiftJis = true;  // the table's Shift_JIS bytes, names in code page 932; otherwise
                         // the UTF-8 text, converted as a whole when it is written
  NameSource names = NameSource::kAsGiven;
  // For kLocale names: the name as UTF-8, each byte not valid in codeset as '?'.
  std::string (*decode)(const char* codeset, const char* name) = nullptr;
  char codeset[32] = "";  // the locale's encoding, for kLocale names and the screen
};

// The form platformStart decided for stdout or stderr.
StreamForm platformStreamForm(const FILE* stream);
// The form a stream would take: a screen or not, under a locale of that encoding
// (ignored where the system does not go by the locale).
StreamForm platformFormFor(bool screen, const char* codeset);

// One UTF-8 character (n bytes) in code page 932: its byte count, 0 where it has none.
size_t platformShiftJisOf(const char* utf8, size_t n, char (&out)[2]);

// Writes the finished text of message m to stream, converted for a screen that does
// not show UTF-8 as it is. A failed write shows in platformStreamGood.
void platformTextWrite(FILE* stream, const Message* m, const std::string& text);
