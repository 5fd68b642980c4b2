// Prints every message of the table that takes names, with arbitrary names, through
// each form a stream can take, and checks what must hold whatever the names: a
// Shift_JIS text decodes as code page 932, and nothing of a name that could drive a
// screen (a control, a mark that reorders text) reaches one. The other messages take
// numbers alone, which carry nothing of an input's bytes.
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

// The code points of text in encoding from; aborts where it is not valid there.
std::u32string decode(const char* from, const std::string& text) {
  const iconv_t cd = iconv_open("UTF-32LE", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) std::abort();  // NOLINT(performance-no-int-to-ptr)
  std::u32string out(text.size() + 1, U'\0');
  char* in = const_cast<char*>(text.data());
  char* to = reinterpret_cast<char*>(out.data());
  size_t left = text.size();
  size_t room = out.size() * 4;
  if (iconv(cd, &in, &left, &to, &room) == static_cast<size_t>(-1) || left != 0) std::abort();
  static_cast<void>(iconv_close(cd));
  out.resize(out.size() - room / 4);
  return out;
}

// The line feeds of a text, and whether it holds any other C0 character, DEL, C1 or a
// mark that reorders text.
std::pair<size_t, bool> linesAndControls(const std::u32string& text) {
  std::pair<size_t, bool> seen{0, false};
  for (const char32_t c : text) {
    seen.first += c == U'\n' ? 1 : 0;
    seen.second = seen.second || (c < 0x20 && c != U'\n') || (c >= 0x7F && c <= 0x9F) ||
                  c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
                  (c >= 0x2066 && c <= 0x2069);
  }
  return seen;
}

template <typename... Args>
void check(const StreamForm& f, const Message* m, Args... args) {
  const std::string bytes = textBytes(f, m, args...);
  // Into a file, names nothing is known of pass as the bytes they are.
  if (f.names == NameSource::kAsGiven && !f.screen) return;
  const std::u32string text = decode(f.shiftJis ? "CP932" : "UTF-8", bytes);
  if (f.screen && linesAndControls(text) !=
                      std::pair{linesAndControls(decode("UTF-8", m->utf8)).first, false}) {
    std::abort();  // something of a name that could drive the screen reached it
  }
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
  const char* const n[3] = {parts[0].c_str(), parts[1].c_str(), parts[2].c_str()};
  for (const StreamForm& f : forms) {
    for (const Message* m : msg::kAll) {
      // The progress line's figures stand in as names: any bytes.
      if (std::strncmp(m->utf8, "%3u", 3) == 0) {
        check(f, m, 100U, n[0], n[1], n[2]);
      } else if (std::strstr(m->utf8, "%s") != nullptr) {
        check(f, m, n[0], n[1], n[2]);
      }
    }
  }
  return 0;
}
