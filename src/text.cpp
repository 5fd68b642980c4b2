// The one walk every console text takes, on every system: names put in their stream's
// form, then the message filled in by vsnprintf. The systems only say which form a
// stream takes and supply the conversions and the write.
#include "text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace {

// The length of the well-formed UTF-8 character at p (at most left bytes) and its
// code point; 0 where the bytes are no character (overlong, a surrogate, past
// U+10FFFF, cut short).
size_t utf8Char(const unsigned char* p, size_t left, uint32_t* cp) {
  const unsigned char c = p[0];
  size_t n = 0;
  uint32_t v = 0;
  uint32_t least = 0;
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, v = c & 0x1FU, least = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, v = c & 0x0FU, least = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, v = c & 0x07U, least = 0x10000;
  } else {
    return 0;
  }
  if (n > left) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((p[k] & 0xC0U) != 0x80) return 0;
    v = (v << 6) | (p[k] & 0x3FU);
  }
  if (v < least || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *cp = v;
  return n;
}

// What must not reach a screen from a name: the C0 and C1 controls and DEL, which
// move the cursor, set titles or clear the screen, and the marks that reorder the
// text around them, which make "a<RLO>vaw.exe" read as something it is not.
bool drivesScreen(uint32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
         (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

}  // namespace

std::string textName(const StreamForm& f, const char* name) {
  std::string out;
  if (f.names == NameSource::kAsGiven) {
    // No character boundaries to go by: a screen gets printable ASCII only, as ls
    // shows names in the C locale; anything else gets the bytes as they are.
    for (const char* p = name; *p != '\0'; ++p) {
      const auto c = static_cast<unsigned char>(*p);
      out += f.screen && (c < 0x20 || c > 0x7E) ? '?' : *p;
    }
    return out;
  }
  const std::string utf8 = f.names == NameSource::kUtf8 ? name : f.decode(f.codeset, name);
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  for (size_t at = 0; at < utf8.size();) {
    uint32_t cp = 0;
    const size_t n = utf8Char(p + at, utf8.size() - at, &cp);
    const bool shown = n != 0 && !(f.screen && drivesScreen(cp));
    char sjis[2];
    // Code page 932 keeps ASCII as it is: the converter is asked only for the rest.
    const size_t k =
        shown && f.shiftJis && cp >= 0x80 ? platformShiftJisOf(utf8.data() + at, n, sjis) : 0;
    if (shown && (!f.shiftJis || cp < 0x80)) {
      out.append(utf8, at, n);
    } else if (k != 0) {
      out.append(sjis, k);
    } else {
      out += '?';  // no character, one that could drive a screen, or one 932 lacks
    }
    at += n == 0 ? 1 : n;
  }
  return out;
}

std::string textFill(const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) static_cast<void>(std::vsnprintf(text.data(), text.size() + 1, format, again));
  va_end(again);
  va_end(args);
  return text;
}

namespace {

// The progress line as it stands: when the audio began, when the line was last drawn,
// and its columns on the screen (0: none shown).
struct Progress {
  int on = -1;  // decided at the first block: standard error a screen that takes it
  int64_t began = 0;
  int64_t drawn = 0;
  size_t columns = 0;
} gProgress;

constexpr int64_t kProgressAfterMs = 1000;  // a short run never shows it
constexpr int64_t kProgressEveryMs = 250;
constexpr size_t kProgressColumns = 40;  // never wraps on an 80-column screen

// Columns of a UTF-8 text of the table's characters: the Japanese ones take two.
size_t textColumns(const std::string& text) {
  size_t n = 0;
  for (size_t at = 0; at < text.size(); ++at) {
    const auto c = static_cast<unsigned char>(text[at]);
    n += (c & 0xC0U) == 0x80 ? 0 : c >= 0xE3 ? 2 : 1;  // U+3000 on: wide
  }
  return n;
}

// A size in the unit that keeps it to three or four figures: "512 B", "4.52 MiB".
std::string textSize(double bytes, double unit, const char* name) {
  const double v = bytes / unit;
  return textFill(v < 10 ? "%.2f %s" : v < 100 ? "%.1f %s" : "%.0f %s", v, name);
}
std::string textSizeOf(double bytes, double in) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB"};
  int k = 0;
  double unit = 1;
  while (k < 3 && in >= 1000 * unit) unit *= 1024, ++k;
  return textSize(bytes, unit, kUnits[k]);
}

// Erases what is shown by writing blanks over it: no other control reaches the screen.
std::string textErasing(size_t columns) {
  std::string erase(columns + 2, ' ');
  erase.front() = erase.back() = '\r';
  return erase;
}

}  // namespace

void textProgress(uint64_t written, uint64_t total) {
  Progress& p = gProgress;
  if (p.on < 0) p.on = platformStreamForm(stderr).screen && platformScreenColumns() > 0;
  if (p.on == 0) return;
  const int64_t now = platformClockMs();
  if (p.began == 0) p.began = now;
  if (now - p.began < kProgressAfterMs || now - p.drawn < kProgressEveryMs || written == 0 ||
      written > total) {
    return;
  }
  p.drawn = now;
  const double seconds = static_cast<double>(now - p.began) / 1000;
  const double rate = static_cast<double>(written) / seconds;
  const auto left = static_cast<unsigned>(static_cast<double>(total - written) / rate);
  const auto percent = static_cast<unsigned>(written * 100 / total);
  // Written of total in the total's unit ("1.21/2.87 GiB"), then the rate and time left.
  std::string of = textSizeOf(static_cast<double>(total), static_cast<double>(total));
  const std::string done = textSizeOf(static_cast<double>(written), static_cast<double>(total));
  of.insert(0, done.substr(0, done.find(' ')) + "/");
  const std::string time = left >= 3600
                               ? textFill("%u:%02u:%02u", left / 3600, left / 60 % 60, left % 60)
                               : textFill("%u:%02u", left / 60, left % 60);
  // The widest form that fits, measured in its UTF-8, shorter where the screen is narrow,
  // never on its last column.
  const StreamForm form = platformStreamForm(stderr);
  StreamForm utf8 = form;
  utf8.shiftJis = false;
  const size_t room =
      std::min<size_t>(kProgressColumns, static_cast<size_t>(platformScreenColumns()) - 1);
  const std::string rated = textSizeOf(rate, rate);
  const auto fill = [&](const StreamForm& f, int k) {
    return k == 0 ? textBytes(f, &msg::kProgress, percent, of.c_str(), rated.c_str(), time.c_str())
           : k == 1 ? textBytes(f, &msg::kProgressPart, percent, of.c_str())
                    : textFill("%3u%%", percent);
  };
  int k = 0;
  while (k < 3 && textColumns(fill(utf8, k)) > room) ++k;
  std::string line = k < 3 ? fill(form, k) : "";
  const size_t columns = k < 3 ? textColumns(fill(utf8, k)) : 0;
  // Over what stood there, blanks where the new line is shorter.
  line.insert(line.begin(), '\r');
  line.append(p.columns > columns ? p.columns - columns : 0, ' ');
  platformTextWrite(stderr, line, false);
  p.columns = std::max(p.columns, columns);
  const std::string erase = textErasing(p.columns);
  platformProgressShown(erase.data(), erase.size());
}

void textProgressErase() {
  if (gProgress.columns == 0) return;
  platformTextWrite(stderr, textErasing(gProgress.columns), false);
  gProgress.columns = 0;
  platformProgressShown(nullptr, 0);
}

void textWrite(FILE* stream, const std::string& text, bool failure) {
  // Standard output is block-buffered into a file or a pipe: what it holds goes first,
  // and standard error's text at once, whatever the system buffers.
  textProgressErase();
  if (stream == stderr) static_cast<void>(std::fflush(stdout));
  platformTextWrite(stream, text, failure);
  if (stream == stderr) static_cast<void>(std::fflush(stderr));
}
