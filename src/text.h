// How every console text is made, the same on every system: the names put in their
// stream's form, the message filled in, and only the finished text handed to the
// system's write, which converts it for a screen. A converted text is never a format.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <type_traits>
#include <utility>

#include "messages.h"
#include "platform/platform.h"

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

// Hands the finished text of m to the system's write for stream. Where both streams
// lead into one file or pipe, their lines arrive there in the order they are printed.
void textWrite(FILE* stream, const Message* m, const std::string& text);

// Writes message m, its arguments filled in, to stdout or stderr. A terminal or
// console gets the text in the encoding it shows, or in English where that cannot
// show Japanese; anything else (a file, a pipe, the null device) gets the Shift_JIS
// bytes.
template <typename... Args>
void textPrint(FILE* stream, const Message* m, Args... args) {
  textWrite(stream, m, textBytes(platformStreamForm(stream), m, args...));
}
