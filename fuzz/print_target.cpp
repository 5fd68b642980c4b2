// Prints every message of the table with arbitrary names through each form a stream
// can take, and checks what must hold whatever the names: a Shift_JIS text decodes as
// code page 932, and nothing of a name that could drive a screen (a control, a mark
// that reorders text) reaches one.
//
// Input: up to three names, separated by NUL bytes.
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "text.h"

namespace {

// text from one encoding to UTF-8; false where it is not valid there.
bool decode(const char* from, const std::string& text, std::string* utf8) {
  const iconv_t cd = iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) std::abort();  // NOLINT(performance-no-int-to-ptr)
  utf8->assign(4 * text.size() + 16, '\0');
  char* in = const_cast<char*>(text.data());
  char* out = utf8->data();
  size_t left = text.size();
  size_t room = utf8->size();
  const bool ok = iconv(cd, &in, &left, &out, &room) != static_cast<size_t>(-1) && left == 0;
  utf8->resize(utf8->size() - room);
  static_cast<void>(iconv_close(cd));
  return ok;
}

// The line feeds of a UTF-8 text; control is set where it holds any other C0
// character, DEL, C1 or a mark that reorders text.
size_t linesAndControls(const std::string& utf8, bool* control) {
  size_t lines = 0;
  for (size_t k = 0; k < utf8.size(); ++k) {
    const auto c = static_cast<unsigned char>(utf8[k]);
    const auto next = [&](size_t i) {
      return k + i < utf8.size() ? static_cast<unsigned char>(utf8[k + i]) : 0U;
    };
    const bool c1 = c == 0xC2 && next(1) >= 0x80 && next(1) <= 0x9F;
    const bool alm = c == 0xD8 && next(1) == 0x9C;  // U+061C
    const bool marks = c == 0xE2 && ((next(1) == 0x80 && (next(2) == 0x8E || next(2) == 0x8F ||
                                                          (next(2) >= 0xAA && next(2) <= 0xAE))) ||
                                     (next(1) == 0x81 && next(2) >= 0xA6 && next(2) <= 0xA9));
    lines += c == '\n' ? 1 : 0;
    *control = *control || (c < 0x20 && c != '\n') || c == 0x7F || c1 || alm || marks;
  }
  return lines;
}

template <typename... Args>
void check(const StreamForm& f, const Message* m, Args... args) {
  const std::string bytes = textBytes(f, m, args...);
  // Into a file, names nothing is known of pass as the bytes they are.
  if (f.names == NameSource::kAsGiven && !f.screen) return;
  std::string utf8;
  bool control = false;
  bool none = false;
  if (!decode(f.shiftJis ? "CP932" : "UTF-8", bytes, &utf8)) std::abort();  // not its encoding
  if (f.screen &&
      (linesAndControls(utf8, &control) != linesAndControls(m->utf8, &none) || control)) {
    std::abort();  // something of a name that could drive the screen reached it
  }
}

// The message with arguments of the types its format takes.
void print(const StreamForm& f, const Message* m, const char* const (&names)[3], uint32_t v) {
  const char* p = std::strchr(m->utf8, '%');
  const char* conversion = p == nullptr ? "" : p + 1 + std::strspn(p + 1, "0123456789.-l");
  const bool isLong = p != nullptr && std::memchr(p, 'l', static_cast<size_t>(conversion - p));
  if (*conversion == 's') return check(f, m, names[0], names[1], names[2]);
  // A number, then texts (the progress line's figures stand in as names: any bytes).
  if (*conversion == 'u' && std::strstr(m->utf8, "%s") != nullptr) {
    return check(f, m, static_cast<unsigned>(v), names[0], names[1], names[2]);
  }
  if (*conversion == 'c') return check(f, m, 'A', '?', ' ', '~', static_cast<long>(v));
  if (*conversion == 'f') return check(f, m, static_cast<double>(v) / 1000);
  if (isLong) return check(f, m, static_cast<long>(static_cast<int32_t>(v)));
  check(f, m, static_cast<unsigned>(v));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const StreamForm forms[] = {
      platformFormFor(true, "UTF-8"),       platformFormFor(true, "EUC-JP"),
      platformFormFor(true, "ISO-2022-JP"), platformFormFor(false, "UTF-8"),
      platformFormFor(false, "EUC-JP"),     platformFormFor(true, "C"),
      platformFormFor(true, "SHIFT_JIS"),   platformFormFor(false, "SHIFT_JIS"),
  };
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string parts[3];
  for (size_t k = 0, at = 0; k < 3 && at <= input.size(); ++k) {
    const size_t end = std::min(input.find('\0', at), input.size());
    parts[k] = input.substr(at, end - at);
    at = end + 1;
  }
  const char* const names[3] = {parts[0].c_str(), parts[1].c_str(), parts[2].c_str()};
  uint32_t v = 0;
  std::memcpy(&v, data, std::min(size, sizeof v));
  for (const StreamForm& f : forms) {
    for (const Message* m : msg::kAll) print(f, m, names, v);
  }
  return 0;
}
