// The browser: the tool runs in a Web Worker of the page in web/, which serves it the
// chosen files, read in place, and takes its output as it is written. Both standard
// streams are the page's report, a screen that shows UTF-8. Streams are fopencookie's
// over the worker's JavaScript, called through EM_JS.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

#include "platform/platform.h"
#include "progress.h"
#include "text.h"

// web/worker.js: open by name (a handle above 0); which chosen file a handle reads (the
// same number for both opens of one input); its size; whether it still reads as chosen
// (0: changed since); read (the engine unwound until the bytes are there) or write at a
// position (the bytes moved, or -1); close (0 or -1); one text of the report (1: stdout,
// 2: stderr, 3: the failure's), for people only: the page's facts come from the result.
// clang-format off
EM_JS(int, browserFileOpen, (const char* name, int write), {
  return Module["fileOpen"](UTF8ToString(name), write !== 0);
});
EM_JS(int, browserFileChosen, (int file), { return Module["fileChosen"](file); });
EM_JS(double, browserFileSize, (int file), { return Module["fileSize"](file); });
EM_ASYNC_JS(int, browserFileSame, (int file), { return await Module["fileSame"](file); });
EM_ASYNC_JS(double, browserFileRead, (int file, char* bytes, size_t n, double at), {
  return await Module["fileRead"](file, HEAPU8.subarray(bytes, bytes + n), at);
});
EM_JS(double, browserFileWrite, (int file, const char* bytes, size_t n, double at), {
  return Module["fileWrite"](file, HEAPU8.subarray(bytes, bytes + n), at);
});
EM_JS(int, browserFileClose, (int file), { return Module["fileClose"](file); });
EM_JS(void, browserReportWrite, (int kind, const char* text, size_t n), {
  Module["reportWrite"](kind, HEAPU8.subarray(text, text + n));
});
// clang-format on

namespace {

// One open file: the worker's handle (0: a free slot), the next position, its stream.
struct BrowserFile {
  int handle;
  int64_t at;
  FILE* stream;
};
BrowserFile gFiles[4];  // the scan's input; the output and both inputs again

ssize_t browserMoved(BrowserFile* f, double moved) {
  f->at += moved < 0 ? 0 : static_cast<int64_t>(moved);
  return moved < 0 ? -1 : static_cast<ssize_t>(moved);
}

ssize_t browserRead(void* cookie, char* bytes, size_t n) {
  auto* f = static_cast<BrowserFile*>(cookie);
  return browserMoved(f, browserFileRead(f->handle, bytes, n, static_cast<double>(f->at)));
}
ssize_t browserWrite(void* cookie, const char* bytes, size_t n) {
  auto* f = static_cast<BrowserFile*>(cookie);
  return browserMoved(f, browserFileWrite(f->handle, bytes, n, static_cast<double>(f->at)));
}

// Absolute and relative positions only: the tool never asks where a file ends.
int browserSeek(void* cookie, off64_t* pos, int whence) {
  auto* f = static_cast<BrowserFile*>(cookie);
  const int64_t at = whence == SEEK_CUR ? f->at + *pos : *pos;
  if (whence == SEEK_END || at < 0) return -1;
  *pos = f->at = at;
  return 0;
}

int browserClose(void* cookie) {
  auto* f = static_cast<BrowserFile*>(cookie);
  const int rc = browserFileClose(f->handle);
  *f = BrowserFile{};
  return rc;
}

// A stream over the worker's file handle, which it takes over (closed where none can be).
FILE* browserStream(int handle, bool write) {
  BrowserFile* f = std::find_if(std::begin(gFiles), std::end(gFiles),
                                [](const BrowserFile& g) { return g.handle == 0; });
  FILE* stream = nullptr;
  if (f != std::end(gFiles)) {
    *f = BrowserFile{handle, 0, nullptr};
    f->stream = stream =
        fopencookie(f, write ? "wb" : "rb", {browserRead, browserWrite, browserSeek, browserClose});
  }
  // Unbuffered: each read of a chosen file costs the same whatever its size, so the
  // mixer's blocks reach the worker whole, never followed by a small refill.
  if (stream != nullptr && std::setvbuf(stream, nullptr, _IONBF, 0) == 0) return stream;
  if (stream != nullptr) static_cast<void>(std::fclose(stream));
  if (stream == nullptr) static_cast<void>(browserFileClose(handle));
  if (stream == nullptr && f != std::end(gFiles)) f->handle = 0;
  return nullptr;
}

}  // namespace

// The worker sets up the page's streams; a run starts at pageRun, never at main.
void platformStart() {}
// An input is known by the file the worker was given for it, never by its name.
FILE* platformInputOpen(const char* name) {
  const int handle = browserFileOpen(name, 0);
  return handle > 0 ? browserStream(handle, false) : nullptr;
}
// The page's output is a file of the worker's own, never a chosen one whatever its
// name, offered only once the run has succeeded: written where it stands, as a device.
OutputRefusal platformOutputBegin(const char* name, const FileId (&/*inputs*/)[2], Output* out) {
  *out = Output{};
  const int handle = browserFileOpen(name, 1);
  out->stream = handle > 0 ? browserStream(handle, true) : nullptr;
  out->device = true;
  return out->stream != nullptr ? OutputRefusal::kNone : OutputRefusal::kCannotOpen;
}
bool platformOutputCommit(Output* out) {
  return std::fclose(std::exchange(out->stream, nullptr)) == 0;
}
void platformOutputAbort(Output* out) {
  static_cast<void>(std::fclose(std::exchange(out->stream, nullptr)));
}
void platformOutputWritten(FILE* /*stream*/, uint64_t /*written*/, uint64_t /*total*/) {}
// A chosen file is a snapshot: a read of one changed since fails, but a read under way
// may go on into its new bytes. Its stamp is whether a fresh read can still be made.
bool platformStreamStamp(FILE* f, FileStamp* stamp) {
  *stamp = FileStamp{};
  const BrowserFile* file =
      std::find_if(std::begin(gFiles), std::end(gFiles),
                   [f](const BrowserFile& g) { return g.handle != 0 && g.stream == f; });
  if (file == std::end(gFiles) || browserFileSame(file->handle) == 0) return false;
  stamp->file = FileId{1, {static_cast<uint64_t>(browserFileChosen(file->handle)), 0}};
  stamp->size = static_cast<uint64_t>(browserFileSize(file->handle));
  return true;
}

// The standard streams are the page.
FileRoles platformNameRoles(const char* /*name*/, const FileId (&/*inputs*/)[2]) { return {}; }
FileRoles platformStreamRoles(FILE* /*stream*/, const FileId (&/*inputs*/)[2]) { return {}; }

int platformSeek(FILE* f, int64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET); }
int64_t platformTell(FILE* f) { return static_cast<int64_t>(ftello(f)); }
StreamForm platformStreamForm(const FILE* /*stream*/) {
  return StreamForm{true, false, NameSource::kUtf8};
}

// The page draws its own progress.
int platformScreenColumns() { return 0; }
void platformProgressShown(const char* /*erase*/, size_t /*n*/) {}
int64_t platformClockMs() { return 0; }

// The page is never given Shift_JIS, and takes every text it is handed.
size_t platformShiftJisOf(const char* /*utf8*/, size_t /*n*/, char (&/*out*/)[2]) { return 0; }
bool platformStreamGood(FILE* /*stream*/) { return true; }

// cppcheck-suppress constParameter ; the signature every system shares
void platformTextWrite(FILE* stream, const std::string& text, bool failure) {
  browserReportWrite(failure ? 3 : stream == stderr ? 2 : 1, text.data(), text.size());
}
