// The one walk every console text takes, on every system. The systems only say which
// form a stream takes and supply the conversions and the write.
#include "text.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "progress.h"

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

void textWrite(FILE* stream, const std::string& text, bool failure) {
  // Standard output is block-buffered into a file or a pipe: what it holds goes first,
  // and standard error's text at once, whatever the system buffers.
  progressErase();
  if (stream == stderr) static_cast<void>(std::fflush(stdout));
  platformTextWrite(stream, text, failure);
  if (stream == stderr) static_cast<void>(std::fflush(stderr));
}
