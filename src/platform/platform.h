// Everything that differs between the systems the tool runs on: how a name on the
// command line becomes a file, what makes two names one file, 64-bit positions, and
// the standard streams with the form each one's text takes. The rest of the tool
// never asks which system it is on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "messages.h"

// Sets up the standard streams before anything else runs, and returns the arguments
// (their count in argc) as the tool holds them: the names to open, which are also
// what the report prints for them (in the form each stream needs).
const char* const* platformStart(int* argc, char** argv);

// Flushes stream; true when everything written to it since the start arrived.
bool platformStreamGood(FILE* stream);

// Opens an existing file for binary reading; a folder is refused like a missing file.
FILE* platformInputOpen(const char* name);

// Creates or truncates a file for binary writing.
FILE* platformOutputCreate(const char* name);

// True when both names lead to one existing file, however either is spelt or linked.
bool platformSameFile(const char* a, const char* b);

// True when name leads to the very file stream writes into, whatever its kind (a
// regular file, a pipe, a FIFO, a terminal, by any of its names). The null device
// keeps nothing, so it is never the same as anything.
bool platformSameAsStream(const char* name, FILE* stream);

// Absolute positioning and the current position, in 64 bits on every system.
int platformSeek(FILE* f, int64_t pos);
int64_t platformTell(FILE* f);

// ---- The console texts -------------------------------------------------------------
//
// A message is filled in first, each name already in the form its stream needs, and
// only the finished text is converted: a converted text is never a format. The walk
// is the same on every system (text.cpp); each system decides the forms and supplies
// its encodings and its write.

// How the bytes of a name are to be read.
enum class NameSource {
  kAsGiven,  // nothing is known of their encoding (C locale) or they are Shift_JIS already
  kUtf8,     // UTF-8
  kLocale,   // the locale's own encoding (EUC-JP, say), which the system decodes
};

// How one standard stream takes the tool's texts.
struct StreamForm {
  bool screen = false;   // a terminal or console: control characters in names show as '?'
  bool shiftJis = true;  // the table's Shift_JIS bytes, names in code page 932; otherwise
                         // the UTF-8 text, converted as a whole for the screen
  NameSource names = NameSource::kAsGiven;
  char codeset[32] = "";  // the locale's encoding, for kLocale names and the screen
};

// The form platformStart decided for stdout or stderr.
StreamForm platformStreamForm(const FILE* stream);

// The form a stream would take: a screen or not, under a locale of that encoding
// (ignored where the system does not go by the locale).
StreamForm platformFormFor(bool screen, const char* codeset);

// A kLocale name as UTF-8, each byte not valid in the encoding as '?'.
std::string platformNameDecode(const StreamForm& f, const char* name);

// One UTF-8 character (n bytes) in code page 932: its byte count, 0 where it has none.
size_t platformShiftJisOf(const char* utf8, size_t n, char (&out)[2]);

// A finished UTF-8 text as a screen of form f is given it.
std::string platformScreenText(const StreamForm& f, const std::string& utf8);

// Writes the finished text to stream. A failed write shows in platformStreamGood.
void platformTextWrite(FILE* stream, const std::string& text);

// A name in the form of stream f: as given, or decoded and, on a screen, with every
// control character (C0, DEL, and C1 where the name is Unicode) as '?', and in code
// page 932 (with '?' for what it lacks) where the stream takes Shift_JIS.
std::string textName(const StreamForm& f, const char* name);

// printf of format and its arguments, into a string.
std::string textFill(const char* format, ...);  // NOLINT(cert-dcl50-cpp): the table's formats

// An argument of a message: numbers as they are, names in the stream's form (kept
// alive in keep until the text is filled in).
template <typename T>
T textArg(const StreamForm& /*f*/, T v, std::string* /*keep*/) {
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
  const std::string text = textFill(f.shiftJis ? m->sjis : m->utf8, textArg(f, args, &names[I])...);
  return f.shiftJis ? text : platformScreenText(f, text);
}

// Message m with its printf-style arguments filled in, as a stream of form f takes it.
template <typename... Args>
std::string platformTextBytes(const StreamForm& f, const Message* m, Args... args) {
  return textBytesAt(f, m, std::index_sequence_for<Args...>{}, args...);
}

// Writes message m, its arguments filled in, to stdout or stderr. A terminal or
// console gets the text in the encoding it shows; anything else (a file, a pipe, the
// null device) gets the Shift_JIS bytes.
template <typename... Args>
void platformMessagePrint(FILE* stream, const Message* m, Args... args) {
  platformTextWrite(stream, platformTextBytes(platformStreamForm(stream), m, args...));
}
