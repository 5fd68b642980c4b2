// The tool's texts: the message table in its three forms, the form each standard stream
// takes, and the one walk every text takes on every system: names put in their stream's
// form, the message filled in, and only the finished text handed to the system's write,
// which converts it for a screen. A converted text is never a format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>
#include <utility>

#include "messages.h"
#include "messages_sjis.h"  // made from messages.h when the tool is built

// One text: Shift_JIS wherever it is stored or parsed, UTF-8 for a screen to show,
// English for a screen that cannot show Japanese. Its name identifies it to the page.
struct Message {
  const char* name;
  const char* utf8;
  const char* sjis;
  const char* english;
};

namespace msg {
namespace sjis {
#define WAVPAIR_MESSAGE(name, text, english) inline constexpr char name[] = text;
WAVPAIR_MESSAGES_SJIS(WAVPAIR_MESSAGE)
#undef WAVPAIR_MESSAGE
}  // namespace sjis
#define WAVPAIR_MESSAGE(name, utf8, english) \
  inline constexpr Message name{#name, utf8, sjis::name, english};
WAVPAIR_MESSAGES(WAVPAIR_MESSAGE)
#undef WAVPAIR_MESSAGE
#define WAVPAIR_MESSAGE(name, utf8, english) &(name),
inline constexpr const Message* kAll[] = {WAVPAIR_MESSAGES(WAVPAIR_MESSAGE)};
#undef WAVPAIR_MESSAGE
// What a failure that prints nothing ends with: no text of the table.
inline constexpr Message kSilent{"", "", "", ""};
}  // namespace msg

// What ended a step: nullptr where it succeeded, else its message (msg::kSilent where
// it printed none). Nothing ever learns it by reading the report.
using Failure = const Message*;

// How the bytes of a name are read: as given where nothing is known of their encoding
// (the C locale), as UTF-8, or in the locale's own (EUC-JP, Shift_JIS).
enum class NameSource { kAsGiven, kUtf8, kLocale };

// How one standard stream takes the tool's texts.
struct StreamForm {
  bool screen = false;   // a terminal or console: what could drive it shows as '?'
  bool shiftJis = true;  // the table's Shift_JIS and names in code page 932; otherwise
                         // UTF-8, converted as a whole when it is written
  NameSource names = NameSource::kAsGiven;
  // For kLocale names: the name as UTF-8, each byte not valid in codeset as '?'.
  std::string (*decode)(const char* codeset, const char* name) = nullptr;
  char codeset[32] = "";  // what a screen is written in and kLocale names are read in
  bool english = false;   // for a screen that cannot show Japanese
};

// The system's own (src/platform): the form platformStart decided for stdout or stderr.
StreamForm platformStreamForm(const FILE* stream);
// POSIX only: the form of a stream, a screen or not, under a locale of that encoding.
StreamForm platformFormFor(bool screen, const char* codeset);
// The system's own: one UTF-8 character (n bytes) in code page 932, its byte count; 0
// where it has none.
size_t platformShiftJisOf(const char* utf8, size_t n, char (&out)[2]);
// The system's own: writes a finished text, converted for a screen that does not show
// UTF-8 as it is; failure marks the text that ends a run. A failed write shows in
// platformStreamGood.
void platformTextWrite(FILE* stream, const std::string& text, bool failure);

// A name in the form of stream f: on a screen, what could drive it (controls, the marks
// that reorder text) as '?', and where its encoding is unknown every byte outside
// printable ASCII too; in code page 932 ('?' for what it lacks) where the stream takes
// Shift_JIS and the name was read as text.
std::string textName(const StreamForm& f, const char* name);

// printf of format and its arguments, into a string.
std::string textFill(const char* format, ...);  // NOLINT(cert-dcl50-cpp): the table's formats

// An argument of a message: numbers as they are, names in the stream's form (kept in
// keep until the text is filled in). A string object does not compile.
template <typename T>
requires std::is_arithmetic_v<T> T textArg(const StreamForm& /*f*/, T v, std::string* /*keep*/) {
  return v;
}
inline const char* textArg(const StreamForm& f, const char* name, std::string* keep) {
  *keep = textName(f, name);
  return keep->c_str();
}

template <typename... Args, size_t... I>
std::string textBytesAt(const StreamForm& f, const Message* m, std::index_sequence<I...> /*at*/,
                        Args... args) {
  std::string names[sizeof...(Args) + 1];
  return textFill(f.english    ? m->english
                  : f.shiftJis ? m->sjis
                               : m->utf8,
                  textArg(f, args, &names[I])...);
}

// Message m filled in as a stream of form f is handed it.
template <typename... Args>
std::string textBytes(const StreamForm& f, const Message* m, Args... args) {
  return textBytesAt(f, m, std::index_sequence_for<Args...>{}, args...);
}

// Hands a finished text to the system's write. Where both streams lead into one file
// or pipe, their lines arrive in the order they are printed.
void textWrite(FILE* stream, const std::string& text, bool failure);

// Writes message m to stdout or stderr: a screen gets it in its encoding (or English),
// anything else (a file, a pipe, the null device) the Shift_JIS bytes.
template <typename... Args>
void textPrint(FILE* stream, const Message* m, Args... args) {
  textWrite(stream, textBytes(platformStreamForm(stream), m, args...), false);
}

// Writes the message of a failure that ends the run to stderr and returns it.
template <typename... Args>
Failure textFail(const Message* m, Args... args) {
  textWrite(stderr, textBytes(platformStreamForm(stderr), m, args...), true);
  return m;
}
