// Windows (8 on, for FILE_ID_INFO): names are UTF-16 held as UTF-8; the report is
// Shift_JIS (code page 932) wherever it is stored and UTF-16 on a console; a file is its
// volume serial number and index.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "progress.h"
#include "text.h"

namespace {

// How stdout and stderr each take the texts. A program started without standard
// handles (by a graphical front-end) drops their texts as if sent to NUL.
enum class Kind { kFile, kConsole, kMissing };
Kind gKinds[2];
bool gConsoleFailed[2];  // a write to that console has failed

int streamSlot(const FILE* stream) { return stream == stderr ? 1 : 0; }

// UTF-8 as UTF-16: a name as the system opens it, a text as a console takes it.
std::wstring wideOf(const char* s, size_t length) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, static_cast<int>(length), nullptr, 0);
  std::wstring w(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s, static_cast<int>(length), w.data(), n);
  return w;
}
std::wstring wideOf(const char* name) { return wideOf(name, std::strlen(name)); }

// UTF-16 as UTF-8: an argument, a path the system gives.
std::string utf8Of(const wchar_t* w, size_t length) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(length), s.data(), n, nullptr, nullptr);
  return s;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE streamHandle(FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

// What an open handle leads to: a file by its volume and index, a console (one file of
// its own kind), or a pipe, which has no identity.
struct HandleId {
  FileId file;
  bool console;
  bool pipe;
};

// The identity of an open handle; none for the null device and a pipe. FILE_ID_INFO
// where the file system has it, else the older index (FAT).
bool handleId(HANDLE h, HandleId* id) {
  *id = HandleId{};
  DWORD mode = 0;
  const DWORD type = h == INVALID_HANDLE_VALUE || h == nullptr ? FILE_TYPE_UNKNOWN : GetFileType(h);
  id->console = type == FILE_TYPE_CHAR && GetConsoleMode(h, &mode) != 0;
  id->pipe = type == FILE_TYPE_PIPE;
  FILE_ID_INFO info{};
  BY_HANDLE_FILE_INFORMATION old{};
  if (type != FILE_TYPE_DISK) {
    return id->console;
  } else if (GetFileInformationByHandleEx(h, FileIdInfo, &info, sizeof info) != 0) {
    id->file.volume = info.VolumeSerialNumber;
    std::memcpy(id->file.index, &info.FileId, sizeof id->file.index);
  } else if (GetFileInformationByHandle(h, &old) != 0) {
    id->file.volume = old.dwVolumeSerialNumber;
    id->file.index[0] = (uint64_t{old.nFileIndexHigh} << 32) | old.nFileIndexLow;
  }
  return (id->file.volume | id->file.index[0] | id->file.index[1]) != 0;
}

// The identity of the file a name leads to, opened with no access rights so that no
// other stream's file is disturbed; a device again with the rights that ask whether it
// is a console.
bool nameId(const char* name, HandleId* id) {
  const std::wstring wide = wideOf(name);
  HANDLE h = CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_CHAR) {
    CloseHandle(h);
    // CONOUT$ opens with both rights; CON only with one, and reading asks the mode.
    h = INVALID_HANDLE_VALUE;
    for (const DWORD rights : {GENERIC_READ | GENERIC_WRITE, DWORD{GENERIC_READ}}) {
      if (h == INVALID_HANDLE_VALUE)
        h = CreateFileW(wide.c_str(), rights, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    }
  }
  const bool ok = handleId(h, id);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return ok;
}

bool sameId(const HandleId& a, const HandleId& b) {
  if (a.console || b.console) return a.console && b.console;
  return fileIdSame(a.file, b.file);
}

// The one decision of which file is which.
FileRoles rolesOf(const HandleId& id, const FileId (&inputs)[2]) {
  HandleId out{};
  HandleId err{};
  return FileRoles{
      !id.console && (fileIdSame(id.file, inputs[0]) || fileIdSame(id.file, inputs[1])),
      handleId(streamHandle(stdout), &out) && sameId(id, out),
      handleId(streamHandle(stderr), &err) && sameId(id, err)};
}

volatile LONG gCommitting = 0;  // set from the commit to the end of the run
wchar_t gErase[64];             // what erases the progress line, while one is shown
volatile LONG gEraseLength = 0;

// A console event (Ctrl-C, Ctrl-Break, the console closed) ends the tool with its
// failure status at once, and the new output, marked to go on its close, with it; held
// off while the output is put in place: the run ends by itself.
BOOL WINAPI consoleEnd(DWORD /*event*/) {
  if (gCommitting != 0) Sleep(INFINITE);
  DWORD wrote = 0;
  if (gEraseLength > 0) {
    WriteConsoleW(GetStdHandle(STD_ERROR_HANDLE), gErase, static_cast<DWORD>(gEraseLength), &wrote,
                  nullptr);
  }
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(-1));
  return TRUE;
}

// Whether the file h leads to goes when its last handle closes.
bool closeDeletes(HANDLE h, bool deletes) {
  FILE_DISPOSITION_INFO info{static_cast<BOOLEAN>(deletes)};
  return SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info) != 0;
}

}  // namespace

std::string platformArgument(const wchar_t* arg) { return utf8Of(arg, std::wcslen(arg)); }

void platformStart() {
  SetConsoleCtrlHandler(consoleEnd, TRUE);
  FILE* const streams[2] = {stdout, stderr};
  for (int k = 0; k < 2; ++k) {
    DWORD mode = 0;
    const HANDLE h = _fileno(streams[k]) < 0 ? nullptr : streamHandle(streams[k]);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
      gKinds[k] = Kind::kMissing;
    } else if (GetConsoleMode(h, &mode) != 0) {
      gKinds[k] = Kind::kConsole;
    } else {
      // Text mode: each line feed of a message goes out as CR LF (the WAV files are
      // opened in binary mode).
      static_cast<void>(_setmode(_fileno(streams[k]), _O_TEXT));
    }
  }
}

// A console shows UTF-16, made from the UTF-8 text; anything else keeps Shift_JIS.
StreamForm platformStreamForm(const FILE* stream) {
  const bool console = gKinds[streamSlot(stream)] == Kind::kConsole;
  return StreamForm{console, !console, NameSource::kUtf8};
}

size_t platformShiftJisOf(const char* utf8, size_t n, char (&out)[2]) {
  const std::wstring w = wideOf(utf8, n);
  // Code page 932, with no best fit: a character it lacks gets no look-alike.
  BOOL lacking = FALSE;
  const int k = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()),
                                    out, sizeof out, nullptr, &lacking);
  return k > 0 && lacking == FALSE ? static_cast<size_t>(k) : 0;
}

// A console takes UTF-16 through the console itself; stdio never writes to it.
void platformTextWrite(FILE* stream, const std::string& text, bool /*failure*/) {
  const int k = streamSlot(stream);
  if (gKinds[k] == Kind::kFile) {
    // A failed write shows in the stream's error flag, which platformStreamGood reads.
    static_cast<void>(std::fwrite(text.data(), 1, text.size(), stream));
    return;
  }
  if (gKinds[k] != Kind::kConsole) return;
  std::wstring w;
  for (const wchar_t c : wideOf(text.data(), text.size())) {
    if (c == L'\n') w += L'\r';
    w += c;
  }
  for (size_t done = 0; done < w.size() && !gConsoleFailed[k];) {
    DWORD wrote = 0;
    const auto chunk = static_cast<DWORD>(std::min<size_t>(w.size() - done, 8192));
    gConsoleFailed[k] =
        WriteConsoleW(streamHandle(stream), w.data() + done, chunk, &wrote, nullptr) == 0 ||
        wrote == 0;
    done += wrote;
  }
}

bool platformStreamGood(FILE* stream) {
  const int k = streamSlot(stream);
  return gKinds[k] == Kind::kMissing ||
         (std::fflush(stream) == 0 && std::ferror(stream) == 0 && !gConsoleFailed[k]);
}

// A folder does not open as a file here; a pipe or a device is refused once opened.
FILE* platformInputOpen(const char* name) {
  FILE* in = _wfopen(wideOf(name).c_str(), L"rb");
  if (in != nullptr && GetFileType(streamHandle(in)) != FILE_TYPE_DISK) {
    static_cast<void>(std::fclose(in));
    in = nullptr;
  }
  return in;
}

FileRoles platformNameRoles(const char* name, const FileId (&inputs)[2]) {
  HandleId id{};
  return nameId(name, &id) ? rolesOf(id, inputs) : FileRoles{};
}

FileRoles platformStreamRoles(FILE* stream, const FileId (&inputs)[2]) {
  HandleId id{};
  return handleId(streamHandle(stream), &id) ? rolesOf(id, inputs) : FileRoles{};
}

bool platformStreamStamp(FILE* f, FileStamp* stamp) {
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  const HANDLE h = streamHandle(f);
  if (GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) == 0 ||
      GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) == 0) {
    return false;
  }
  HandleId id{};
  static_cast<void>(handleId(h, &id));
  *stamp = FileStamp{id.file, static_cast<uint64_t>(standard.EndOfFile.QuadPart),
                     basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart};
  return true;
}

namespace {

// Opens what name leads to for writing, neither created nor truncated, and refuses it
// by what was opened; *file INVALID_HANDLE_VALUE where the name leads to nothing yet.
OutputRefusal targetOpen(const char* name, const FileId (&inputs)[2], HANDLE* file, bool* device) {
  // A console or a pipe is known by its name and never opened for writing; anything
  // else by the opened handle.
  HandleId named{};
  const bool known = nameId(name, &named);
  HANDLE h = named.console || named.pipe
                 ? INVALID_HANDLE_VALUE
                 : CreateFileW(wideOf(name).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  HandleId opened{};
  const bool identified = h != INVALID_HANDLE_VALUE && handleId(h, &opened);
  OutputRefusal why = identified ? outputRefusalOf(rolesOf(opened, inputs))
                      : known    ? outputRefusalOf(rolesOf(named, inputs))
                                 : OutputRefusal::kNone;
  // A pipe whose every instance is taken (the look at its name took one) fails so.
  if (why == OutputRefusal::kNone &&
      (named.console || named.pipe || opened.pipe || error == ERROR_PIPE_BUSY)) {
    why = OutputRefusal::kNotAFile;
  }
  if (why == OutputRefusal::kNone && h == INVALID_HANDLE_VALUE && error != ERROR_FILE_NOT_FOUND) {
    why = OutputRefusal::kCannotOpen;
  }
  if (why != OutputRefusal::kNone && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  const bool kept = why == OutputRefusal::kNone && h != INVALID_HANDLE_VALUE;
  *file = kept ? h : INVALID_HANDLE_VALUE;
  *device = kept && GetFileType(h) != FILE_TYPE_DISK;
  return why;
}

// The path the output is put at: the file its name leads to through a symbolic link,
// so that the link stays a link. Empty where the link leads nowhere.
std::string outputPath(const char* name) {
  const std::wstring wide = wideOf(name);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return name;
  }
  HANDLE h = CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  std::wstring path(32768, L'\0');
  const DWORD n = h == INVALID_HANDLE_VALUE
                      ? 0
                      : GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()),
                                                  FILE_NAME_NORMALIZED);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return utf8Of(path.data(), n < path.size() ? n : 0);
}

// A binary stream over h, which it takes over; nullptr (h closed) where none can be made.
FILE* streamOver(HANDLE h) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  FILE* stream = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (fd < 0) CloseHandle(h);
  if (fd >= 0 && stream == nullptr) _close(fd);
  return stream;
}

}  // namespace

OutputRefusal platformOutputBegin(const char* name, const FileId (&inputs)[2], Output* out) {
  *out = Output{};
  HANDLE target = INVALID_HANDLE_VALUE;
  const OutputRefusal why = targetOpen(name, inputs, &target, &out->device);
  if (why != OutputRefusal::kNone) return why;
  if (out->device) {
    out->stream = streamOver(target);
    return out->stream != nullptr ? OutputRefusal::kNone : OutputRefusal::kCannotOpen;
  }
  // A plain file beside the old, its name after a dot (no "*.wav" takes it), marked to go
  // when it is closed, so that neither a failure nor a killed process leaves it.
  out->name = outputPath(name);
  const size_t cut = out->name.find_last_of("/\\:") + 1;  // 0 where there is no folder part
  HANDLE h = INVALID_HANDLE_VALUE;
  for (unsigned k = 0; k < 16 && !out->name.empty() && h == INVALID_HANDLE_VALUE; ++k) {
    char end[24];
    static_cast<void>(std::snprintf(end, sizeof end, ".%08lx.part",
                                    GetTickCount() + GetCurrentProcessId() + k * 2654435761UL));
    out->temp = out->name.substr(0, cut) + "." + out->name.substr(cut, 100) + end;
    h = CreateFileW(wideOf(out->temp.c_str()).c_str(), GENERIC_WRITE | DELETE,
                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
  if (h != INVALID_HANDLE_VALUE) static_cast<void>(closeDeletes(h, true));
  out->stream = h == INVALID_HANDLE_VALUE ? nullptr : streamOver(h);
  if (out->stream == nullptr) {
    platformOutputAbort(out);
    return OutputRefusal::kCannotOpen;
  }
  return OutputRefusal::kNone;
}

bool platformOutputCommit(Output* out) {
  InterlockedExchange(&gCommitting, 1);
  bool ok = std::fflush(out->stream) == 0 && std::ferror(out->stream) == 0 &&
            (out->device || closeDeletes(streamHandle(out->stream), false));
  ok = std::fclose(out->stream) == 0 && ok;
  out->stream = nullptr;
  if (out->device) return ok;
  const std::wstring from = wideOf(out->temp.c_str()), to = wideOf(out->name.c_str());
  // Replacing keeps the old file's permissions and attributes; a new name is a move.
  ok = ok && (ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                           nullptr, nullptr) != 0 ||
              MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0);
  if (!ok) DeleteFileW(from.c_str());
  return ok;
}

void platformOutputWritten(FILE* /*stream*/, uint64_t /*written*/, uint64_t /*total*/) {}

void platformProgressShown(const char* erase, size_t n) {
  gEraseLength = 0;
  const std::wstring w = wideOf(erase == nullptr ? "" : erase, n);
  if (w.size() > std::size(gErase)) return;
  std::copy(w.begin(), w.end(), gErase);
  gEraseLength = static_cast<LONG>(w.size());
}

int platformScreenColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (gKinds[1] != Kind::kConsole) return 0;
  const bool known = GetConsoleScreenBufferInfo(streamHandle(stderr), &info) != 0;
  return known && info.dwSize.X > 0 ? info.dwSize.X : 80;
}

int64_t platformClockMs() { return static_cast<int64_t>(GetTickCount64()); }

void platformOutputAbort(Output* out) {
  if (out->stream != nullptr) static_cast<void>(std::fclose(out->stream));
  out->stream = nullptr;
  // Gone with its close where it was marked; otherwise by name.
  if (!out->temp.empty()) DeleteFileW(wideOf(out->temp.c_str()).c_str());
}

int platformSeek(FILE* f, int64_t pos) { return _fseeki64(f, pos, SEEK_SET); }
int64_t platformTell(FILE* f) { return _ftelli64(f); }
