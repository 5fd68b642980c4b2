// A long run's progress on a screen: after a second of audio, one line on standard
// error redrawn in place at most four times a second (percent, bytes, rate, time left),
// at most 40 columns and never wider than the screen. Files and pipes never get it.
#pragma once

#include <cstddef>
#include <cstdint>

// Told after each block: written of total bytes of the output. Where standard error is
// no screen it returns before reading a clock.
void progressTell(uint64_t written, uint64_t total);
// Erases the line where one is shown: before any other text.
void progressErase();

// The system's own: the columns of standard error's screen; 0 where it takes no
// progress line (no screen, or the page, which draws its own).
int platformScreenColumns();
// The system's own: what erases the line (CR, blanks, CR) for a signal or console event
// that ends the tool while it is shown; n 0 while none is.
void platformProgressShown(const char* erase, size_t n);
