// The standard streams on POSIX systems: a terminal gets the texts in its locale's
// encoding where that holds them, UTF-8 under no locale and English where it cannot; a
// file or a pipe the Shift_JIS bytes. Names are read in the locale's encoding.
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "platform/platform.h"
#include "progress.h"
#include "text.h"

namespace {

// What iconv_open and iconv return when they cannot.
const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
constexpr size_t kFailed = static_cast<size_t>(-1);

// The converter between two encodings, opened once: a run uses a handful at most.
iconv_t converter(const char* to, const char* from) {
  static struct {
    std::string key;
    iconv_t cd;
  } open[8];
  static size_t count = 0;
  const std::string key = std::string(to) + '<' + from;
  for (size_t k = 0; k < count; ++k) {
    if (open[k].key == key) return open[k].cd;
  }
  const iconv_t cd = iconv_open(to, from);
  if (count < std::size(open)) open[count++] = {key, cd};
  return cd;
}

// in converted, ending with the converter in its initial state (a stateful encoding
// such as ISO-2022-JP ends every text in ASCII). Where a character does not convert, or
// only to a look-alike, a strict conversion fails; a lenient one writes '?' for each
// byte it cannot take.
bool convert(const char* toCode, const char* fromCode, const std::string& in, std::string* out,
             bool strict) {
  const iconv_t cd = converter(toCode, fromCode);
  if (cd == kNoIconv) return false;
  static_cast<void>(iconv(cd, nullptr, nullptr, nullptr, nullptr));
  out->clear();
  char* from = const_cast<char*>(in.data());
  size_t left = in.size();
  char buf[256];
  for (;;) {
    char* to = buf;
    size_t room = sizeof buf;
    const bool reset = left == 0;
    const size_t rc =
        reset ? iconv(cd, nullptr, nullptr, &to, &room) : iconv(cd, &from, &left, &to, &room);
    const int error = errno;
    out->append(buf, static_cast<size_t>(to - buf));
    if (rc == kFailed && error == E2BIG) continue;
    if ((rc != kFailed && rc > 0 && strict) || (rc == kFailed && (strict || reset))) return false;
    if (rc == kFailed) {
      ++from, --left;
      // Through the converter, so that a stateful encoding shifts back to ASCII first.
      char mark[] = "?";
      char* m = mark;
      size_t one = 1;
      to = buf, room = sizeof buf;
      static_cast<void>(iconv(cd, &m, &one, &to, &room));
      out->append(buf, static_cast<size_t>(to - buf));
    } else if (reset) {
      return true;
    }
  }
}

bool codesetIn(const char* codeset, const char* const* names) {
  for (; *names != nullptr; ++names) {
    if (strcasecmp(codeset, *names) == 0) return true;
  }
  return false;
}
const char* const kUtf8Names[] = {"UTF-8", "UTF8", nullptr};
const char* const kShiftJisNames[] = {"SHIFT_JIS",   "SHIFT-JIS", "SJIS", "CP932",
                                      "WINDOWS-31J", "MS_KANJI",  nullptr};
// What the C and POSIX locales report: nothing is known of the names' bytes.
const char* const kAsciiNames[] = {"ANSI_X3.4-1968", "ASCII", "US-ASCII", "646", "", nullptr};

// A name in the locale's encoding as UTF-8, each byte not valid there as '?'.
std::string nameDecode(const char* codeset, const char* name) {
  std::string out;
  return convert("UTF-8", codeset, name, &out, false) ? out : "?";
}

// The form of every stream, as platformStart decided it: stdout and stderr.
StreamForm gForms[2];

// The encoding a locale's name gives ("ja_JP.eucJP@x") where the locale is not
// installed: the terminal uses it all the same.
void codesetNamed(char (&out)[32]) {
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
}

}  // namespace

StreamForm platformFormFor(bool screen, const char* codeset) {
  StreamForm f;
  f.screen = screen;
  const bool sjis = codesetIn(codeset, kShiftJisNames);
  const bool utf8 = codesetIn(codeset, kUtf8Names);
  // No locale (C, POSIX): nothing is known of the names' bytes, and a screen is taken
  // to show UTF-8. Shift_JIS names are read as code page 932, which keeps ASCII.
  const bool none = codesetIn(codeset, kAsciiNames);
  const char* own = sjis ? "CP932" : none ? "UTF-8" : codeset;
  static_cast<void>(std::snprintf(f.codeset, sizeof f.codeset, "%s", own));
  // An encoding iconv does not know keeps the Shift_JIS bytes.
  const bool other = !utf8 && !sjis && !none && converter(codeset, "UTF-8") != kNoIconv;
  f.names = utf8 ? NameSource::kUtf8 : other || sjis ? NameSource::kLocale : NameSource::kAsGiven;
  f.decode = f.names == NameSource::kLocale ? nameDecode : nullptr;
  f.shiftJis = !screen || !(utf8 || none || other);
  std::string out;
  // Every text has to convert whole, or the screen gets the English (Latin-1, KOI8-R,
  // EUC-KR, BIG5), so one stream never mixes encodings; names there show in printable
  // ASCII only, as under C.
  const auto converts = [&](const Message* m) {
    return convert(codeset, "UTF-8", m->utf8, &out, true);
  };
  f.english = screen && other && !std::all_of(std::begin(msg::kAll), std::end(msg::kAll), converts);
  if (f.english) {
    f.names = NameSource::kAsGiven;
    f.decode = nullptr;
  }
  return f;
}

void platformStart() {
  // A standard descriptor closed at start would be handed to the first file opened and
  // the report written into it: /dev/null takes its number instead.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int opened = open("/dev/null", O_RDWR);
      if (opened > 2) close(opened);  // the number was taken meanwhile; nothing lost
    }
  }
  // On a terminal the report and the error lines appear in the order they happen;
  // into a file or a pipe standard output stays block-buffered.
  if (isatty(STDOUT_FILENO) != 0) static_cast<void>(std::setvbuf(stdout, nullptr, _IONBF, 0));
  // The character type only: the playing time keeps its decimal point.
  char codeset[32] = "";
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    static_cast<void>(std::snprintf(codeset, sizeof codeset, "%s", nl_langinfo(CODESET)));
  } else {
    codesetNamed(codeset);
  }
  gForms[0] = platformFormFor(isatty(STDOUT_FILENO) != 0, codeset);
  gForms[1] = platformFormFor(isatty(STDERR_FILENO) != 0, codeset);
}

int platformScreenColumns() {
  struct winsize size {};
  if (isatty(STDERR_FILENO) == 0) return 0;
  return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

StreamForm platformStreamForm(const FILE* stream) { return gForms[stream == stderr ? 1 : 0]; }
size_t platformShiftJisOf(const char* utf8, size_t n, char (&out)[2]) {
  std::string got;
  const bool one = convert("CP932", "UTF-8", std::string(utf8, n), &got, true) && !got.empty() &&
                   got.size() <= sizeof out;
  if (one) std::memcpy(out, got.data(), got.size());
  return one ? got.size() : 0;
}

void platformTextWrite(FILE* stream, const std::string& text, bool /*failure*/) {
  const StreamForm& f = gForms[stream == stderr ? 1 : 0];
  std::string converted;
  const bool asIs = f.shiftJis || f.english || codesetIn(f.codeset, kUtf8Names) ||
                    !convert(f.codeset, "UTF-8", text, &converted, false);
  const std::string& out = asIs ? text : converted;
  // A failed write shows in the stream's error flag, which platformStreamGood reads.
  static_cast<void>(std::fwrite(out.data(), 1, out.size(), stream));
}

bool platformStreamGood(FILE* stream) {
  return std::fflush(stream) == 0 && std::ferror(stream) == 0;
}
