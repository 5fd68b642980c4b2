// The Windows side: names are UTF-16, whatever the system's ANSI code page, held as
// UTF-8 and converted back to open; the report is Shift_JIS (code page 932) wherever
// it is stored and UTF-16 on a console; a file is its volume serial number and index.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
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

// The command-line arguments as UTF-8, and the pointers the tool is handed.
std::vector<std::string> gArguments;
std::vector<const char*> gArgv;

// How standard output and standard error each take the tool's texts. A program
// started without standard handles (by a graphical front-end) has nowhere to write;
// such a stream's texts are dropped as if sent to NUL, as a closed descriptor's are
// on POSIX.
enum class Kind { kFile, kConsole, kMissing };
Kind gKinds[2];
bool gConsoleFailed[2];  // a write to that console has failed

int streamSlot(const FILE* stream) { return stream == stderr ? 1 : 0; }

std::wstring wideFrom(UINT codePage, const char* s, int length) {
  const int n = MultiByteToWideChar(codePage, 0, s, length, nullptr, 0);
  std::wstring w(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, s, length, w.data(), n);
  return w;
}

std::string utf8Of(const wchar_t* w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? static_cast<size_t>(n) : 1, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  s.resize(s.size() - 1);  // the terminating NUL
  return s;
}

// The name as the system opens it.
std::wstring wideOf(const char* name) {
  return wideFrom(CP_UTF8, name, static_cast<int>(std::strlen(name)));
}

HANDLE streamHandle(FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
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
      gKinds[k] = Kind::kMissing;
    } else if (GetConsoleMode(streamHandle(streams[k]), &mode) != 0) {
      gKinds[k] = Kind::kConsole;
    } else {
      // Text mode: each line feed of a message goes out as CR LF. The WAV files are
      // opened in binary mode, so none of their bytes is translated.
      static_cast<void>(_setmode(_fileno(streams[k]), _O_TEXT));
    }
  }
  if (gKinds[0] == Kind::kConsole) {
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
  for (int i = 0; i < n; ++i) gArguments[static_cast<size_t>(i)] = utf8Of(wide[i]);
  gArgv.resize(gArguments.size() + 1, nullptr);
  std::transform(gArguments.begin(), gArguments.end(), gArgv.begin(),
                 [](const std::string& a) { return a.c_str(); });
  *argc = n;
  return gArgv.data();
}

StreamForm platformFormFor(bool screen, const char* /*codeset*/) {
  StreamForm f;
  f.screen = screen;
  f.shiftJis = !screen;
  f.names = NameSource::kUtf8;
  return f;
}

StreamForm platformStreamForm(const FILE* stream) {
  return platformFormFor(gKinds[streamSlot(stream)] == Kind::kConsole, "");
}

// Names are held as UTF-8 already.
std::string platformNameDecode(const StreamForm& /*f*/, const char* name) { return name; }

size_t platformShiftJisOf(const char* utf8, size_t n, char (&out)[2]) {
  const std::wstring w = wideFrom(CP_UTF8, utf8, static_cast<int>(n));
  // No best fit: a character code page 932 lacks is not replaced by a look-alike.
  BOOL lacking = FALSE;
  const int k = WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, w.data(),
                                    static_cast<int>(w.size()), out, sizeof out, nullptr, &lacking);
  return k > 0 && lacking == FALSE ? static_cast<size_t>(k) : 0;
}

// The console takes UTF-16, converted when the text is written.
std::string platformScreenText(const StreamForm& /*f*/, const std::string& utf8) { return utf8; }

void platformTextWrite(FILE* stream, const std::string& text) {
  const int k = streamSlot(stream);
  if (gKinds[k] == Kind::kFile) {
    // A failed write shows in the stream's error flag, which platformStreamGood reads.
    static_cast<void>(std::fwrite(text.data(), 1, text.size(), stream));
    return;
  }
  if (gKinds[k] != Kind::kConsole) return;
  std::wstring w;
  for (const wchar_t c : wideFrom(CP_UTF8, text.data(), static_cast<int>(text.size()))) {
    if (c == L'\n') w += L'\r';
    w += c;
  }
  static_cast<void>(std::fflush(stream));  // whatever went through the stream first
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
