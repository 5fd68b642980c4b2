// What differs between the systems the tool runs on about files: how a name becomes a
// file, which file is which, 64-bit positions, the standard streams and the output's
// making (what differs about texts is in text.h). Nothing else asks which system it is but
// the entry point (src/cli/main.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Sets up the standard streams before anything else runs: one that is closed takes its
// texts nowhere, and each one's form is decided.
void platformStart();
#ifdef _WIN32
// A command-line argument as Windows gives it (UTF-16), held as UTF-8.
std::string platformArgument(const wchar_t* arg);
#endif

// Flushes stream; true when everything written to it since the start arrived.
bool platformStreamGood(FILE* stream);

// What tells one open file from another: device and inode on POSIX, volume serial number
// and file ID on Windows, the chosen file in the browser. All zero where nothing is
// known, which matches nothing, not even itself.
struct FileId {
  uint64_t volume;
  uint64_t index[2];
};
inline bool fileIdSame(const FileId& a, const FileId& b) {
  const bool known = (a.volume | a.index[0] | a.index[1]) != 0;
  return known && a.volume == b.volume && a.index[0] == b.index[0] && a.index[1] == b.index[1];
}

// What an open file is to the run, decided in one place by each system: one of the
// inputs, what standard output writes into, what standard error writes into (the same
// file, pipe, FIFO, terminal or console). A file can be more than one (2>&1); the null
// device is none.
struct FileRoles {
  bool input;
  bool out;
  bool err;
};
// The roles of the file name leads to, opened without access rights for its identity
// (nothing read, written or waited for); none where it leads nowhere.
FileRoles platformNameRoles(const char* name, const FileId (&inputs)[2]);
// The roles of the file an open stream reads.
FileRoles platformStreamRoles(FILE* stream, const FileId (&inputs)[2]);

// Opens an existing file for binary reading. Anything but a regular file is refused like
// a missing one, without waiting for a FIFO's writer: the audio is read a second time,
// and a stream has nothing left then.
FILE* platformInputOpen(const char* name);

// An open file's identity, size and the times its content and status last changed: a
// file rewritten in place, or removed and made again, shows another stamp.
struct FileStamp {
  FileId file;
  uint64_t size;
  int64_t modified;
  int64_t changed;
};
inline bool fileStampSame(const FileStamp& a, const FileStamp& b) {
  return fileIdSame(a.file, b.file) && a.size == b.size && a.modified == b.modified &&
         a.changed == b.changed;
}
// The stamp of the open file f now; false where the system cannot tell.
bool platformStreamStamp(FILE* f, FileStamp* stamp);

// Milliseconds on a clock that only moves forward.
int64_t platformClockMs();

// Absolute positioning and the current position, in 64 bits on every system.
int platformSeek(FILE* f, int64_t pos);
int64_t platformTell(FILE* f);

// ---- The output ------------------------------------------------------------------
// Nothing half-made ever has the output's name: the new output is made beside the file
// its name leads to, unnamed where the system can, and put in place whole once
// complete, or every file is left as it was. A device is written where it stands, and a
// mount point, which cannot be renamed over, is copied into once the output is whole.

// Why an output was refused, in the order the checks are made.
enum class OutputRefusal { kNone, kInput, kStdout, kStderr, kNotAFile, kCannotOpen };
inline OutputRefusal outputRefusalOf(const FileRoles& is) {
  return is.input ? OutputRefusal::kInput
         : is.out ? OutputRefusal::kStdout
         : is.err ? OutputRefusal::kStderr
                  : OutputRefusal::kNone;
}

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

// Opens what name leads to, neither created nor truncated, and refuses it where it is an
// input (inputs), what standard output or error writes into, or cannot hold a file; then
// makes the new file beside it (kCannotOpen where it cannot: nothing but a device is
// ever written in place).
OutputRefusal platformOutputBegin(const char* name, const FileId (&inputs)[2], Output* out);
// Closes the new file and puts it in the place of the old, which keeps its permission
// bits (and, where the tool may, its owner and group). Every signal that would end the
// tool is held off from here to the end of the run, so a published output is never
// followed by a failed status. False where it cannot: every file as it was, but for a
// mount point whose copy failed.
bool platformOutputCommit(Output* out);
// Closes and removes the new file of a run that failed.
void platformOutputAbort(Output* out);
// Told after each block: the output's stream has been handed written of total bytes.
void platformOutputWritten(FILE* stream, uint64_t written, uint64_t total);
