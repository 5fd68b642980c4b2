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
// was opened. Anything but a regular file (a folder, a FIFO, a pipe, a socket, a
// device) is refused like a missing file, without waiting for a FIFO's writer: the
// audio is read a second time, and a stream read once has nothing left then.
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

// ---- The output --------------------------------------------------------------
//
// Nothing half-made ever has the output's name: each system makes the new output
// beside the file its name leads to, unnamed where it can, and puts it in place
// whole once complete, or leaves every file as it was. A device is written where it
// stands.

// Why an output was refused, in the order the checks are made.
enum class OutputRefusal { kNone, kInput, kStdout, kStderr, kNotAFile, kCannotOpen };

// The output while it is made, owned by the run from platformOutputBegin until
// platformOutputCommit or platformOutputAbort has closed everything in it.
struct Output {
  FILE* stream = nullptr;  // where the header and the frames go
  intptr_t target = -1;    // the file the name leads to, held open since it was checked
  intptr_t folder = -1;    // the folder the new file is made in (a descriptor), or -1
  std::string name;        // the target's name there (on Windows its whole path)
  std::string temp;        // the new file's hidden name there, where it has one
  bool device = false;     // no file but takes writes (the null device): written in place
};

// Opens what name leads to without creating or truncating it and refuses it, by
// what was opened, where it is an input the scans read (inputs), what standard output
// or error writes into (the same file, pipe, FIFO, terminal or console) or anything
// else that cannot hold a file; then makes the new file beside it (kCannotOpen where
// it cannot be made: nothing is ever written in place but a device).
OutputRefusal platformOutputBegin(const char* name, const FileId (&inputs)[2], Output* out);
// Closes the new file and puts it in the place of the old, which keeps its permission
// bits (and, where the tool may, its owner and group). Every signal that would end the
// tool is held off from here to the end of the run, so a published output is never
// followed by a failed status. False, every file as it was, where it cannot.
bool platformOutputCommit(Output* out);
// Closes and removes the new file of a run that failed.
void platformOutputAbort(Output* out);
// Told after each block of audio: the output's stream has been handed written of its
// total bytes. Cheap where there is nothing to do with it.
void platformOutputWritten(FILE* stream, uint64_t written, uint64_t total);

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
