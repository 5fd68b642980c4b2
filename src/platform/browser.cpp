// The browser: the tool runs in a Web Worker of the page in web/, its inputs read in
// place from the files the user chose. Both standard streams are the page's report,
// a screen that shows UTF-8: names as the files are called, control characters in
// them as '?'.
#include <emscripten.h>

#include "platform/platform.h"

// Hands the page one finished text of a stream (1 standard output, 2 standard error).
// clang-format off
EM_JS(void, browserReportWrite, (int stream, const char* text, size_t length), {
  Module["reportWrite"](stream, HEAPU8.slice(text, text + length));
});
// clang-format on

const char* const* platformStart(int* /*argc*/, char** argv) { return argv; }

StreamForm platformFormFor(bool /*screen*/, const char* /*codeset*/) {
  StreamForm f;
  f.screen = true;
  f.shiftJis = false;
  f.names = NameSource::kUtf8;
  static_cast<void>(std::snprintf(f.codeset, sizeof f.codeset, "UTF-8"));
  return f;
}

StreamForm platformStreamForm(const FILE* /*stream*/) { return platformFormFor(true, "UTF-8"); }

// File names in the browser are UTF-8 already.
std::string platformNameDecode(const StreamForm& /*f*/, const char* name) { return name; }

// The page is never given Shift_JIS.
size_t platformShiftJisOf(const char* /*utf8*/, size_t /*n*/, char (&/*out*/)[2]) { return 0; }

std::string platformScreenText(const StreamForm& /*f*/, const std::string& utf8) { return utf8; }

// cppcheck-suppress constParameter ; the signature every system shares
void platformTextWrite(FILE* stream, const std::string& text) {
  browserReportWrite(stream == stderr ? 2 : 1, text.data(), text.size());
}

// The page takes every text it is handed.
bool platformStreamGood(FILE* /*stream*/) { return true; }
