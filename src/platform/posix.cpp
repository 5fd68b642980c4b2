// The POSIX side: names are bytes passed through as they are; a file is its device
// and inode; a terminal gets the tool's texts in its locale's encoding.
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/platform.h"

namespace {

bool fileId(const char* name, struct stat* st) { return stat(name, st) == 0; }

bool sameId(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What iconv_open returns when it cannot convert.
const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)

// How one standard stream takes the tool's texts.
enum class Form { kShiftJis, kUtf8, kConverted };
struct StreamForm {
  Form form = Form::kShiftJis;
  iconv_t toTerminal = kNoIconv;  // for kConverted
};
// stdout and stderr. Until platformStart decides, both get the Shift_JIS bytes.
StreamForm gForms[2];

const StreamForm& formOf(const FILE* stream) { return gForms[stream == stderr ? 1 : 0]; }

// Longest text of the table after conversion, with room to spare.
constexpr size_t kConvertedMax = 1024;

// utf8 in the terminal's encoding; false when a character has no place in it.
bool textConvert(iconv_t cd, const char* utf8, char (&out)[kConvertedMax]) {
  static_cast<void>(iconv(cd, nullptr, nullptr, nullptr, nullptr));
  char* in = const_cast<char*>(utf8);
  size_t inLeft = std::strlen(utf8);
  char* to = out;
  size_t room = sizeof out - 1;
  // A count above 0 is of characters replaced by a look-alike: not the text any more.
  if (iconv(cd, &in, &inLeft, &to, &room) != 0 || iconv(cd, nullptr, nullptr, &to, &room) != 0) {
    return false;
  }
  *to = '\0';
  return true;
}

bool codesetIn(const char* codeset, const char* const* names) {
  for (; *names != nullptr; ++names) {
    if (strcasecmp(codeset, *names) == 0) return true;
  }
  return false;
}

// The form for one descriptor: the Shift_JIS bytes unless it is a terminal whose
// encoding can show every text of the table.
StreamForm streamFormDecide(int fd, const char* codeset) {
  static const char* const kUtf8[] = {"UTF-8", "UTF8", nullptr};
  static const char* const kShiftJis[] = {"SHIFT_JIS",   "SHIFT-JIS", "SJIS", "CP932",
                                          "WINDOWS-31J", "MS_KANJI",  nullptr};
  StreamForm f;
  if (isatty(fd) == 0 || codesetIn(codeset, kShiftJis)) return f;
  if (codesetIn(codeset, kUtf8)) {
    f.form = Form::kUtf8;
    return f;
  }
  f.toTerminal = iconv_open(codeset, "UTF-8");
  if (f.toTerminal == kNoIconv) return f;
  char buf[kConvertedMax];
  const auto fails = [&](const Message* m) { return !textConvert(f.toTerminal, m->utf8, buf); };
  if (std::any_of(std::begin(msg::kAll), std::end(msg::kAll), fails)) {
    // ASCII (the C locale) and any encoding without Japanese end here.
    static_cast<void>(iconv_close(f.toTerminal));
    return StreamForm{};
  }
  f.form = Form::kConverted;
  return f;
}

// The encoding a locale's name gives ("ja_JP.UTF-8", "C.utf8", "ja_JP.eucJP@x"), for a
// locale this system has not installed: the terminal uses it all the same.
const char* codesetNamed(char (&out)[64]) {
  const char* name = nullptr;
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    name = std::getenv(var);
    if (name != nullptr && *name != '\0') break;
  }
  const char* dot = name != nullptr ? std::strchr(name, '.') : nullptr;
  if (dot != nullptr) {
    static_cast<void>(std::snprintf(out, sizeof out, "%.*s",
                                    static_cast<int>(std::strcspn(dot + 1, "@")), dot + 1));
  }
  return out;
}

bool isNullDevice(const struct stat& st) {
  struct stat null {};
  return S_ISCHR(st.st_mode) && stat("/dev/null", &null) == 0 && st.st_rdev == null.st_rdev;
}

}  // namespace

const char* const* platformStart(int* /*argc*/, char** argv) {
  // A standard descriptor closed at start would be handed to the first file opened,
  // and the report or an error message would be written into that file. /dev/null
  // takes its number instead, so the closed stream acts as one sent there.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int opened = open("/dev/null", O_RDWR);
      if (opened > 2) close(opened);  // the number was taken meanwhile; nothing lost
    }
  }
  // On a terminal the report and the error lines appear in the order they happen;
  // into a file or a pipe standard output stays block-buffered.
  if (isatty(STDOUT_FILENO) != 0) {
    // Should that fail, the stream stays buffered: only the order of lines suffers.
    static_cast<void>(std::setvbuf(stdout, nullptr, _IONBF, 0));
  }
  // The character type only: the playing time keeps its decimal point whatever the
  // locale's numbers use.
  char named[64] = "";
  const char* codeset =
      std::setlocale(LC_CTYPE, "") != nullptr ? nl_langinfo(CODESET) : codesetNamed(named);
  gForms[0] = streamFormDecide(STDOUT_FILENO, codeset);
  gForms[1] = streamFormDecide(STDERR_FILENO, codeset);
  return argv;
}

// The table's texts are printf formats; a parameter pack would not make them safer.
void platformMessagePrint(FILE* stream, const Message* m, ...) {  // NOLINT(cert-dcl50-cpp)
  const StreamForm& f = formOf(stream);
  char converted[kConvertedMax];
  const char* text = m->sjis;
  if (f.form == Form::kUtf8) {
    text = m->utf8;
  } else if (f.form == Form::kConverted && textConvert(f.toTerminal, m->utf8, converted)) {
    text = converted;
  }
  va_list args;
  va_start(args, m);
  // A failed write shows in the stream's error flag, which platformStreamGood reads.
  static_cast<void>(std::vfprintf(stream, text, args));
  va_end(args);
}

bool platformStreamGood(FILE* stream) {
  return std::fflush(stream) == 0 && std::ferror(stream) == 0;
}

FILE* platformInputOpen(const char* name) {
  FILE* in = std::fopen(name, "rb");
  // A folder opens as a stream here but is no file to read.
  struct stat st {};
  if (in != nullptr && (fstat(fileno(in), &st) != 0 || S_ISDIR(st.st_mode))) {
    static_cast<void>(std::fclose(in));
    return nullptr;
  }
  return in;
}

FILE* platformOutputCreate(const char* name) { return std::fopen(name, "wb"); }

bool platformSameFile(const char* a, const char* b) {
  struct stat sa {};
  struct stat sb {};
  return fileId(a, &sa) && fileId(b, &sb) && sameId(sa, sb);
}

bool platformSameAsStream(const char* name, FILE* stream) {
  struct stat sn {};
  struct stat ss {};
  return fileId(name, &sn) && !isNullDevice(sn) && fstat(fileno(stream), &ss) == 0 &&
         sameId(sn, ss);
}

int platformSeek(FILE* f, int64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET); }

int64_t platformTell(FILE* f) { return static_cast<int64_t>(ftello(f)); }
