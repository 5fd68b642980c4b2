// The Windows side: names are UTF-16, whatever the system's ANSI code page; the report
// is Shift_JIS (code page 932) wherever it is stored and UTF-16 on a console; a file is
// its volume serial number and index.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

// The C runtime's own split of the command line, in UTF-16: the same split its ANSI
// arguments come from, without their loss of every character outside the code page.
extern "C" {
struct WavpairStartupInfo {
  // cppcheck-suppress unusedStructMember ; the runtime reads it
  int newMode;
};
int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expandWildcards,
                           WavpairStartupInfo* info);
}

namespace {

constexpr UINT kShiftJis = 932;

// Each command-line argument as Windows gave it and as the report prints it. The
// tool holds the printed form; opening a file goes back to the true name through
// this table, so a name that code page 932 cannot hold still opens.
struct Argument {
  // cppcheck-suppress unusedStructMember ; read through find_if in wideOf
  std::wstring wide;
  std::string shown;
};
std::vector<Argument> gArguments;
std::vector<const char*> gArgv;

// How standard output and standard error each take the tool's texts. A program
// started without standard handles (by a graphical front-end) has nowhere to write;
// such a stream's texts are dropped as if sent to NUL, as a closed descriptor's are
// on POSIX.
enum class Form { kShiftJis, kConsole, kMissing };
Form gForms[2];
bool gConsoleFailed[2];  // a write to that console has failed

int streamSlot(const FILE* stream) { return stream == stderr ? 1 : 0; }

std::string shiftJisOf(const wchar_t* w) {
  // No best fit: a character code page 932 lacks prints as "?", not as a look-alike.
  const int n =
      WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, w, -1, nullptr, 0, "?", nullptr);
  std::string s(n > 0 ? static_cast<size_t>(n) : 1, '\0');
  if (n > 0) WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, w, -1, s.data(), n, "?", nullptr);
  s.resize(s.size() - 1);  // the terminating NUL
  return s;
}

std::wstring wideFrom(UINT codePage, const char* s, int length) {
  const int n = MultiByteToWideChar(codePage, 0, s, length, nullptr, 0);
  std::wstring w(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, s, length, w.data(), n);
  return w;
}

// The true name behind a name the tool holds: the argument's own UTF-16 when it came
// from the command line, otherwise the name read as Shift_JIS.
std::wstring wideOf(const char* name) {
  const auto arg = std::find_if(gArguments.begin(), gArguments.end(),
                                [name](const Argument& a) { return a.shown.c_str() == name; });
  if (arg != gArguments.end()) return arg->wide;
  return wideFrom(kShiftJis, name, static_cast<int>(std::strlen(name)));
}

HANDLE streamHandle(FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

// The message as a console shows it: UTF-16, each name with every character it has,
// each line feed as CR LF.
std::wstring consoleText(const char* format, va_list args) {
  std::wstring w;
  const char* p = format;
  while (*p != '\0') {
    const char* literal = p;
    p += std::strcspn(p, "%\n");
    w += wideFrom(CP_UTF8, literal, static_cast<int>(p - literal));
    if (*p == '\n') {
      w += L"\r\n";
      ++p;
      continue;
    }
    if (*p == '\0') break;
    // One conversion of the table's few: %s, %c, %d, %u, %lu, %ld, %04X, %.3f.
    const char* start = p++;
    p += std::strspn(p, "0123456789.l");
    const char conversion = *p++;
    const std::string one(start, p);
    char number[64] = "";
    if (conversion == 's') {
      w += wideOf(va_arg(args, const char*));
      continue;
    }
    if (conversion == 'f') {
      std::snprintf(number, sizeof number, one.c_str(), va_arg(args, double));
    } else if (one.find('l') != std::string::npos) {
      std::snprintf(number, sizeof number, one.c_str(), va_arg(args, long));
    } else {
      std::snprintf(number, sizeof number, one.c_str(), va_arg(args, int));
    }
    w += wideFrom(CP_UTF8, number, static_cast<int>(std::strlen(number)));
  }
  return w;
}

// What tells one file from another: its volume and its index on that volume. A
// console is one file of its own kind.
struct FileId {
  FILE_ID_128 index;
  ULONGLONG volume;  // 0 where the system cannot tell it
  // Where the volume is unknown, these tell two files of one index apart.
  LONGLONG created;
  LONGLONG written;
  LONGLONG size;
  bool console;
};

// The identity of what an open handle leads to; false for the null device and for
// what has no identity to compare (an anonymous pipe).
bool handleId(HANDLE h, FileId* id) {
  *id = FileId{};
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return false;
  const DWORD type = GetFileType(h);
  DWORD mode = 0;
  if (type == FILE_TYPE_CHAR) {
    id->console = GetConsoleMode(h, &mode) != 0;
    return id->console;
  }
  if (type != FILE_TYPE_DISK) return false;
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  if (GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) != 0 &&
      GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) != 0) {
    id->created = basic.CreationTime.QuadPart;
    id->written = basic.LastWriteTime.QuadPart;
    id->size = standard.EndOfFile.QuadPart;
  }
  FILE_ID_INFO fid{};
  if (GetFileInformationByHandleEx(h, FileIdInfo, &fid, sizeof fid) != 0) {
    id->index = fid.FileId;
    id->volume = fid.VolumeSerialNumber;
    return true;
  }
  // Systems before Windows 8 know the 64-bit index only.
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(h, &info) == 0) return false;
  const uint64_t index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  std::memcpy(id->index.Identifier, &index, sizeof index);
  id->volume = info.dwVolumeSerialNumber;
  return true;
}

// The identity of the file a name leads to. Opening with no access rights reads it
// without disturbing a file that another stream holds open; a device is opened again
// with the rights that ask whether it is a console.
bool nameId(const char* name, FileId* id) {
  const std::wstring wide = wideOf(name);
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE h = CreateFileW(wide.c_str(), 0, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                         nullptr);
  if (h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_CHAR) {
    CloseHandle(h);
    // CONOUT$ opens with both rights; CON only with one, and reading asks the mode.
    h = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      h = CreateFileW(wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    }
  }
  const bool ok = handleId(h, id);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return ok;
}

// Volumes are compared wherever both are known. Wine cannot tell the volume of a
// handle that a POSIX shell's redirection passed in; there two files of one index
// on two file systems still differ in their times or their size.
bool sameId(const FileId& a, const FileId& b) {
  if (a.console || b.console) return a.console && b.console;
  if (std::memcmp(&a.index, &b.index, sizeof a.index) != 0) return false;
  if (a.volume != 0 && b.volume != 0) return a.volume == b.volume;
  return a.created == b.created && a.written == b.written && a.size == b.size;
}

}  // namespace

const char* const* platformStart(int* argc, char** argv) {
  const DWORD ids[2] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  FILE* const streams[2] = {stdout, stderr};
  for (int k = 0; k < 2; ++k) {
    const HANDLE h = GetStdHandle(ids[k]);
    DWORD mode = 0;
    if (h == nullptr || h == INVALID_HANDLE_VALUE || _fileno(streams[k]) < 0 ||
        streamHandle(streams[k]) == INVALID_HANDLE_VALUE) {
      gForms[k] = Form::kMissing;
    } else if (GetConsoleMode(streamHandle(streams[k]), &mode) != 0) {
      gForms[k] = Form::kConsole;
    } else {
      // Text mode: each line feed of a message goes out as CR LF. The WAV files are
      // opened in binary mode, so none of their bytes is translated.
      static_cast<void>(_setmode(_fileno(streams[k]), _O_TEXT));
    }
  }
  if (gForms[0] == Form::kConsole) {
    static_cast<void>(std::setvbuf(stdout, nullptr, _IONBF, 0));
  }
  int n = 0;
  wchar_t** wide = nullptr;
  wchar_t** env = nullptr;
  WavpairStartupInfo info{};
  if (__wgetmainargs(&n, &wide, &env, 0, &info) != 0 || wide == nullptr) {
    return argv;  // the runtime could not split it; its ANSI arguments are all there is
  }
  gArguments.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) gArguments[static_cast<size_t>(i)] = {wide[i], shiftJisOf(wide[i])};
  gArgv.resize(gArguments.size() + 1, nullptr);
  std::transform(gArguments.begin(), gArguments.end(), gArgv.begin(),
                 [](const Argument& a) { return a.shown.c_str(); });
  *argc = n;
  return gArgv.data();
}

// The table's texts are printf formats; a parameter pack would not make them safer.
void platformMessagePrint(FILE* stream, const Message* m, ...) {
  va_list args;
  va_start(args, m);
  const int k = streamSlot(stream);
  if (gForms[k] == Form::kShiftJis) {
    // A failed write shows in the stream's error flag, which platformStreamGood reads.
    static_cast<void>(std::vfprintf(stream, m->sjis, args));
  } else if (gForms[k] == Form::kConsole) {
    const std::wstring text = consoleText(m->utf8, args);
    static_cast<void>(std::fflush(stream));  // whatever went through the stream first
    for (size_t done = 0; done < text.size() && !gConsoleFailed[k];) {
      DWORD wrote = 0;
      const auto chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 8192));
      gConsoleFailed[k] =
          WriteConsoleW(streamHandle(stream), text.data() + done, chunk, &wrote, nullptr) == 0 ||
          wrote == 0;
      done += wrote;
    }
  }
  va_end(args);
}

bool platformStreamGood(FILE* stream) {
  const int k = streamSlot(stream);
  return gForms[k] == Form::kMissing ||
         (std::fflush(stream) == 0 && std::ferror(stream) == 0 && !gConsoleFailed[k]);
}

FILE* platformInputOpen(const char* name) {
  FILE* in = _wfopen(wideOf(name).c_str(), L"rb");
  struct _stati64 st {};
  if (in != nullptr && (_fstati64(_fileno(in), &st) != 0 || (st.st_mode & _S_IFDIR) != 0)) {
    static_cast<void>(std::fclose(in));
    return nullptr;
  }
  return in;
}

FILE* platformOutputCreate(const char* name) { return _wfopen(wideOf(name).c_str(), L"wb"); }

bool platformSameFile(const char* a, const char* b) {
  FileId ia{};
  FileId ib{};
  return nameId(a, &ia) && nameId(b, &ib) && !ia.console && sameId(ia, ib);
}

bool platformSameAsStream(const char* name, FILE* stream) {
  FileId in{};
  FileId is{};
  return nameId(name, &in) && handleId(streamHandle(stream), &is) && sameId(in, is);
}

int platformSeek(FILE* f, int64_t pos) { return _fseeki64(f, pos, SEEK_SET); }

int64_t platformTell(FILE* f) { return _ftelli64(f); }
