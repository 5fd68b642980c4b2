// The Windows side: names are UTF-16, whatever the system's ANSI code page, and the
// report is Shift_JIS (code page 932); a file is its volume serial number and index.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

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

std::string shiftJisOf(const wchar_t* w) {
  // No best fit: a character code page 932 lacks prints as "?", not as a look-alike.
  const int n =
      WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, w, -1, nullptr, 0, "?", nullptr);
  std::string s(n > 0 ? static_cast<size_t>(n) : 1, '\0');
  if (n > 0) WideCharToMultiByte(kShiftJis, WC_NO_BEST_FIT_CHARS, w, -1, s.data(), n, "?", nullptr);
  s.resize(s.size() - 1);  // the terminating NUL
  return s;
}

// The true name behind a name the tool holds: the argument's own UTF-16 when it came
// from the command line, otherwise the name read as Shift_JIS.
std::wstring wideOf(const char* name) {
  const auto arg = std::find_if(gArguments.begin(), gArguments.end(),
                                [name](const Argument& a) { return a.shown.c_str() == name; });
  if (arg != gArguments.end()) return arg->wide;
  const int n = MultiByteToWideChar(kShiftJis, 0, name, -1, nullptr, 0);
  std::wstring w(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
  if (n > 0) MultiByteToWideChar(kShiftJis, 0, name, -1, w.data(), n);
  w.resize(w.size() - 1);
  return w;
}

// What tells one file from another: its volume and its index on that volume.
struct FileId {
  uint64_t index;
  DWORD volume;
  bool volumeKnown;
  bool folder;
};

// The identity of the file behind an open handle; false for what is no disk file
// (a console, a pipe, NUL).
bool handleId(HANDLE h, FileId* id) {
  if (h == INVALID_HANDLE_VALUE || h == nullptr || GetFileType(h) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(h, &info) != 0) {
    *id = {(uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, info.dwVolumeSerialNumber,
           true, (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
    return true;
  }
  // Wine cannot tell the volume of a handle inherited from a POSIX shell's
  // redirection; the file index alone still tells the file there.
  FILE_ID_INFO fid{};
  if (GetFileInformationByHandleEx(h, FileIdInfo, &fid, sizeof fid) == 0) return false;
  uint64_t index = 0;
  std::memcpy(&index, fid.FileId.Identifier, sizeof index);
  *id = {index, 0, false, false};
  return true;
}

// The identity of the file a name leads to. Opening with no access rights reads it
// without disturbing a file that another stream holds open.
bool nameId(const char* name, FileId* id) {
  const HANDLE h =
      CreateFileW(wideOf(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const bool ok = handleId(h, id);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return ok;
}

bool sameId(const FileId& a, const FileId& b) {
  return a.index == b.index && (!a.volumeKnown || !b.volumeKnown || a.volume == b.volume);
}

}  // namespace

const char* const* platformStart(int argc, char** argv) {
  // Text mode: each line feed of a message goes out as CR LF. The WAV files are
  // opened in binary mode, so none of their bytes is translated.
  static_cast<void>(_setmode(_fileno(stdout), _O_TEXT));
  static_cast<void>(_setmode(_fileno(stderr), _O_TEXT));
  if (_isatty(_fileno(stdout)) != 0) {
    static_cast<void>(std::setvbuf(stdout, nullptr, _IONBF, 0));
  }
  // The arguments in UTF-16, as typed: the ANSI argv has lost every character
  // outside the system's code page already. Should the two splits disagree on the
  // count, the ANSI arguments are kept rather than guessed at.
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide == nullptr || n != argc) {
    if (wide != nullptr) LocalFree(wide);
    return argv;
  }
  gArguments.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) gArguments[static_cast<size_t>(i)] = {wide[i], shiftJisOf(wide[i])};
  LocalFree(wide);
  gArgv.resize(gArguments.size() + 1, nullptr);
  std::transform(gArguments.begin(), gArguments.end(), gArgv.begin(),
                 [](const Argument& a) { return a.shown.c_str(); });
  return gArgv.data();
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
  return nameId(a, &ia) && nameId(b, &ib) && sameId(ia, ib);
}

bool platformSameAsStream(const char* name, FILE* stream) {
  FileId in{};
  FileId is{};
  const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  return nameId(name, &in) && !in.folder && handleId(h, &is) && sameId(in, is);
}

int platformSeek(FILE* f, int64_t pos) { return _fseeki64(f, pos, SEEK_SET); }

int64_t platformTell(FILE* f) { return _ftelli64(f); }
