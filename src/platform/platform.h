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

// Sets up the standard streams before anything else runs: one that is closed takes
// its texts nowhere, and each one's form is decided.
void platformStart();

// Flushes stream; true when everything written to it since the start arrived.
bool platformStreamGood(FILE* stream);

// What tells one file from another while it is open: device and inode on POSIX, the
// volume serial number and file ID on Windows, the chosen file in the browser. All
// zero where nothing is known, which matches nothing, not even itself.
struct FileId {
  uint64_t volume;
  uint64_t index[2];
};
inline bool fileIdSame(const FileId& a, const FileId& b) {
  const bool known = (a.volume | a.index[0] | a.index[1]) != 0;
  return known && a.volume == b.volume && a.index[0] == b.index[0] && a.index[1] == b.index[1];
}

// Opens an existing file for binary reading and gives the identity of the file that
// was opened; a folder is refused like a missing file.
FILE* platformInputOpen(const char* name, FileId* id);

// What an open file holds, as far as the system tells without reading it: its size
// and the times its content and its status last changed. A file rewritten in place,
// or removed and made again under the same identity, shows another stamp.
struct FileStamp {
  uint64_t size;
  int64_t modified;
  int64_t changed;
};
inline bool fileStampSame(const FileStamp& a, const FileStamp& b) {
  return a.size == b.size && a.modified == b.modified && a.changed == b.changed;
}
// The stamp of the open file f now; false where the system cannot tell.
bool platformStreamStamp(FILE* f, FileStamp* stamp);

// True when stream writes into the file id names.
bool platformStreamInto(FILE* stream, const FileId& id);

// ---- The output's files -------------------------------------------------------
//
// How an output is made is the same everywhere (src/combine): written under a new
// name beside the file it replaces and renamed over it once complete. Each system
// supplies these steps.

// An open file of the system's own (a descriptor, a Windows handle), or none.
using FileHandle = intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Why an output was refused, in the order the checks are made.
enum class OutputRefusal { kNone, kInput, kStdout, kStderr, kNotAFile, kCannotOpen };

// Opens what the output's name leads to, for writing but neither created nor
// truncated, and refuses it, by what was opened, where it is an input the scans read,
// what standard output or error writes into (the same file, pipe, FIFO, terminal or
// console), or anything else that cannot hold a file. kNone with *file (kNoFile where
// the name leads to nothing yet) and *device where it is no file but takes writes
// (the null device): that is written where it stands.
OutputRefusal platformOutputOpen(const char* name, const FileId (&inputs)[2], FileHandle* file,
                                 bool* device);

// The path the output is published at: the file its name leads to through symbolic
// links, so that a link stays a link. Empty where that is no longer file.
std::string platformOutputPath(const char* name, FileHandle file);

// Creates path, which must not exist yet, for writing, with the permission bits of
// like (kNoFile: a new file's). A signal or console event that ends the tool removes
// it until it is renamed or removed. kNoFile where it cannot be; *taken where path is
// another file's.
FileHandle platformFileCreate(const std::string& path, FileHandle like, bool* taken);
// Puts from in the place of to at once, replacing what to names.
bool platformFileRename(const std::string& from, const std::string& to);
void platformFileRemove(const std::string& path);
void platformFileClose(FileHandle file);
// A binary stream writing into file, which it takes over; nullptr (file closed) where
// none can be made.
FILE* platformStreamOf(FileHandle file);
// Truncates the file an unbuffered stream writes into to nothing; true when it did.
bool platformStreamEmpty(FILE* stream);

// True when name, not opened yet (an input before its scan), leads to what stream
// writes into, as above.
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
  char codeset[32] = "";  // the encoding a screen is written in, and kLocale names read in
  bool english = false;   // the table's English, for a screen that cannot show Japanese
};

// The form platformStart decided for stdout or stderr.
StreamForm platformStreamForm(const FILE* stream);
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
// The form a stream takes on POSIX: a screen or not, under a locale of that encoding.
StreamForm platformFormFor(bool screen, const char* codeset);
#endif

// One UTF-8 character (n bytes) in code page 932: its byte count, 0 where it has none.
size_t platformShiftJisOf(const char* utf8, size_t n, char (&out)[2]);

// Writes the finished text of message m to stream, converted for a screen that does
// not show UTF-8 as it is. A failed write shows in platformStreamGood.
void platformTextWrite(FILE* stream, const Message* m, const std::string& text);
