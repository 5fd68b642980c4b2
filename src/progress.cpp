#include "progress.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "text.h"

namespace {

struct Progress {
  int on = -1;  // decided at the first block
  int64_t began = 0;
  int64_t drawn = 0;
  size_t columns = 0;  // of the line shown; 0: none
} gProgress;

constexpr int64_t kAfterMs = 1000;  // a short run never shows it
constexpr int64_t kEveryMs = 250;
constexpr size_t kColumns = 40;  // never wraps on an 80-column screen

// Columns of a UTF-8 text of the table's characters: those from U+3000 on take two.
size_t columnsOf(const std::string& text) {
  size_t n = 0;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    n += (c & 0xC0U) == 0x80 ? 0 : c >= 0xE3 ? 2 : 1;
  }
  return n;
}

// A size in the unit that keeps it to three or four figures: "512 B", "4.52 MiB".
std::string sizeOf(double bytes, double in) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB"};
  int k = 0;
  double unit = 1;
  while (k < 3 && in >= 1000 * unit) unit *= 1024, ++k;
  const double v = bytes / unit;
  return textFill(v < 10 ? "%.2f %s" : v < 100 ? "%.1f %s" : "%.0f %s", v, kUnits[k]);
}

// Blanks over what is shown: no other control reaches the screen.
std::string erasing(size_t columns) {
  std::string erase(columns + 2, ' ');
  erase.front() = erase.back() = '\r';
  return erase;
}

}  // namespace

void progressTell(uint64_t written, uint64_t total) {
  Progress& p = gProgress;
  if (p.on < 0) p.on = platformStreamForm(stderr).screen && platformScreenColumns() > 0;
  if (p.on == 0) return;
  const int64_t now = platformClockMs();
  if (p.began == 0) p.began = now;
  if (now - p.began < kAfterMs || now - p.drawn < kEveryMs || written == 0 || written > total)
    return;
  p.drawn = now;
  const double seconds = static_cast<double>(now - p.began) / 1000;
  const double rate = static_cast<double>(written) / seconds;
  const auto left = static_cast<unsigned>(static_cast<double>(total - written) / rate);
  const auto percent = static_cast<unsigned>(written * 100 / total);
  // Written of total in the total's unit ("1.21/2.87 GiB").
  std::string of = sizeOf(static_cast<double>(total), static_cast<double>(total));
  const std::string done = sizeOf(static_cast<double>(written), static_cast<double>(total));
  of.insert(0, done.substr(0, done.find(' ')) + "/");
  const std::string time = left >= 3600
                               ? textFill("%u:%02u:%02u", left / 3600, left / 60 % 60, left % 60)
                               : textFill("%u:%02u", left / 60, left % 60);
  const std::string rated = sizeOf(rate, rate);
  // The widest form that fits, measured in its UTF-8, never on the screen's last column.
  const StreamForm form = platformStreamForm(stderr);
  StreamForm utf8 = form;
  utf8.shiftJis = false;
  const size_t room = std::min<size_t>(kColumns, static_cast<size_t>(platformScreenColumns()) - 1);
  const auto fill = [&](const StreamForm& f, int k) {
    return k == 0 ? textBytes(f, &msg::kProgress, percent, of.c_str(), rated.c_str(), time.c_str())
           : k == 1 ? textBytes(f, &msg::kProgressPart, percent, of.c_str())
                    : textBytes(f, &msg::kProgressPercent, percent);
  };
  int k = 0;
  while (k < 3 && columnsOf(fill(utf8, k)) > room) ++k;
  std::string line = k < 3 ? fill(form, k) : "";
  const size_t columns = k < 3 ? columnsOf(fill(utf8, k)) : 0;
  // Over what stood there, blanks where the new line is shorter.
  line.insert(line.begin(), '\r');
  line.append(p.columns > columns ? p.columns - columns : 0, ' ');
  platformTextWrite(stderr, line, false);
  p.columns = std::max(p.columns, columns);
  const std::string erase = erasing(p.columns);
  platformProgressShown(erase.data(), erase.size());
}

void progressErase() {
  if (gProgress.columns == 0) return;
  platformTextWrite(stderr, erasing(gProgress.columns), false);
  gProgress.columns = 0;
  platformProgressShown(nullptr, 0);
}
