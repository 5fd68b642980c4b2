// The tool's texts: the message table in its three forms, the form each standard
// stream takes, and the one walk every text takes, the same on every system: names put
// in their stream's form, the message filled in, and only the finished text handed to
// the system's write, which converts it for a screen. A converted text is never a
// format. Each system supplies the functions marked as its own (src/platform).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>
#include <utility>

#include "messages.h"
#include "messages_sjis.h"  // made from messages.h when the tool is built

// One console text in its three forms: the Shift_JIS bytes go wherever the text is
// stored or parsed, the UTF-8 is what a terminal or console is given to show, the
// English what a terminal that cannot show Japanese gets instead. Its name is its
// identity for a front that must know which text ended a run (the page).
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
// Every text, for what must hold for all of them.
#define WAVPAIR_MESSAGE(name, utf8, english) &(name),
inline constexpr const Message* kAll[] = {WAVPAIR_MESSAGES(WAVPAIR_MESSAGE)};
#undef WAVPAIR_MESSAGE
// What a failure that prints nothing ends with: it is no text of the table.
inline constexpr Message kSilent{"", "", "", ""};
}  // namespace msg

// What ended a step of a run: nullptr where it succeeded, otherwise the message of
// the failure (msg::kSilent where it printed none). A front takes it from the run's
// result; nothing ever learns it by reading the report.
using Failure = const Message*;

// How the bytes of a name are read: as they are where nothing is known of their
// encoding (the C locale), as UTF-8, or in the locale's own (EUC-JP, Shift_JIS).
enum class NameSource { kAsGiven, kUtf8, kLocale };

// How one standard stream takes the tool's texts.
struct StreamForm {
  bool screen = false;   // a terminal or console: what could drive it shows as '?'
  bool shiftJis = true;  // the table's Shift_JIS bytes, names in code page 932; otherwise
                         // the UTF-8 text, converted as a whole when it is written
  NameSource names = NameSource::kAsGiven;
  // For kLocale names: the name as UTF-8, each byte not valid in codeset as '?'.
  std::string (*decode)(const char* codeset, const char* name) = nullptr;
  char codeset[32] = "";  // the encoding a screen is written in, and kLocale names read in
  bool english = false;   // the table's English, for a screen that cannot show Japanese
};

// The system's own: the form platformStart decided for stdout or stderr.
StreamForm platformStreamForm(const FILE* stream);
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
// The system's own on POSIX: the form of a stream, a screen or not, under a locale of
// that encoding.
StreamForm platformFormFor(bool screen, const char* codeset);
#endif
// The system's own: one UTF-8 character (n bytes) in code page 932, its byte count; 0
// where it has none.
size_t platformShiftJisOf(const char* utf8, size_t n, char (&out)[2]);
// The system's own: writes a finished text to stream, converted for a screen that does
// not show UTF-8 as it is; failure marks the text of a failure that ends the run. A
// failed write shows in platformStreamGood.
void platformTextWrite(FILE* stream, const std::string& text, bool failure);

// A name in the form of stream f: on a screen, every character that could drive it
// (controls, and the marks that reorder text) as '?', where nothing is known of the
// name's encoding every byte outside printable ASCII too; in code page 932 (with '?'
// for what it lacks) where the stream takes Shift_JIS and the name was read as text.
std::string textName(const StreamForm& f, const char* name);

// printf of format and its arguments, into a string.
std::string textFill(const char* format, ...);  // NOLINT(cert-dcl50-cpp): the table's formats

// An argument of a message: numbers as they are, names in the stream's form (kept
// alive in keep until the text is filled in). Nothing else reaches the format: a
// char* goes the way of a name, and a string object does not compile.
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

// Message m with its printf-style arguments filled in, as a stream of form f is
// handed it: Shift_JIS, English, or UTF-8 for the write to convert.
template <typename... Args>
std::string textBytes(const StreamForm& f, const Message* m, Args... args) {
  return textBytesAt(f, m, std::index_sequence_for<Args...>{}, args...);
}

// The system's own: the columns of the screen standard error shows (0 where it takes no
// progress line: no screen, or the page, which draws its own).
int platformScreenColumns();
// The system's own: what erases the progress line (carriage return, blanks, carriage
// return), for a signal or console event that ends the tool while it is shown; n 0:
// nothing is shown.
void platformProgressShown(const char* erase, size_t n);

// A long run's progress, told after each block of audio: written of total bytes of the
// output. Where standard error is a screen and the audio has been under way a second,
// one line there, redrawn in place at most four times a second: percent, bytes, rate and
// time left, numbers only, in the screen's language, at most 40 columns and never wider
// than the screen. Nowhere else: elsewhere nothing, not even a clock, is read per block.
void textProgress(uint64_t written, uint64_t total);
// Erases the progress line, line and cursor, where one is shown: before any other text.
void textProgressErase();

// Hands a finished text to the system's write for stream. Where both streams lead
// into one file or pipe, their lines arrive there in the order they are printed.
void textWrite(FILE* stream, const std::string& text, bool failure);

// Writes message m, its arguments filled in, to stdout or stderr. A terminal or
// console gets the text in the encoding it shows, or in English where that cannot
// show Japanese; anything else (a file, a pipe, the null device) gets the Shift_JIS
// bytes.
template <typename... Args>
void textPrint(FILE* stream, const Message* m, Args... args) {
  textWrite(stream, textBytes(platformStreamForm(stream), m, args...), false);
}

// Writes the message of a failure that ends the run to standard error and returns it,
// as the value the run ends with.
template <typename... Args>
Failure textFail(const Message* m, Args... args) {
  textWrite(stderr, textBytes(platformStreamForm(stderr), m, args...), true);
  return m;
}
