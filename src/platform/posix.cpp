// Files on POSIX systems: names are bytes, opened as they are; a file is its device
// and inode.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace {

bool sameId(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool isNullDevice(const struct stat& st) {
  struct stat null {};
  return S_ISCHR(st.st_mode) && stat("/dev/null", &null) == 0 && st.st_rdev == null.st_rdev;
}

// The terminal a descriptor leads to, by the device behind it: /dev/tty names the
// controlling terminal and /dev/console the console, each a device node of its own.
bool terminalOf(int fd, uint64_t* dev, bool* byIoctl) {
  if (isatty(fd) == 0) return false;
#if defined(__linux__) && defined(TIOCGDEV)  // Linux's own; elsewhere the node's device
  unsigned int real = 0;
  if (ioctl(fd, TIOCGDEV, &real) == 0) {
    *dev = real, *byIoctl = true;
    return true;
  }
#endif
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  *dev = st.st_rdev, *byIoctl = false;
  return true;
}

// True when the character device name is the terminal fd leads to. The device is
// opened without becoming the controlling terminal and without waiting, and closed.
bool sameTerminal(const char* name, int fd) {
  uint64_t want = 0;
  bool wantIoctl = false;
  if (!terminalOf(fd, &want, &wantIoctl)) return false;
  int named = open(name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (named < 0) named = open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (named < 0) return false;
  uint64_t got = 0;
  bool gotIoctl = false;
  const bool same = terminalOf(named, &got, &gotIoctl) && gotIoctl == wantIoctl && got == want;
  close(named);
  return same;
}

}  // namespace

FILE* platformInputOpen(const char* name) {
  FILE* in = std::fopen(name, "rb");
  // A folder opens as a stream here but is no file to read.
  struct stat st {};
  if (in != nullptr && (fstat(fileno(in), &st) != 0 || S_ISDIR(st.st_mode))) {
    static_cast<void>(std::fclose(in));
    return nullptr;
  }
  return in;
}

FILE* platformOutputCreate(const char* name, bool* notAFile) {
  // Without waiting: a FIFO nobody reads fails at once (ENXIO, as a socket does)
  // instead of blocking. Truncation leaves FIFOs and terminals alone, and nothing is
  // written before the kind of what was opened is known.
  const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
  *notAFile = fd < 0 && errno == ENXIO;
  if (fd < 0) return nullptr;
  struct stat st {};
  const int flags = fcntl(fd, F_GETFL);
  *notAFile = fstat(fd, &st) != 0 || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || isatty(fd);
  FILE* out = nullptr;
  if (!*notAFile && flags != -1 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) {
    out = fdopen(fd, "wb");
  }
  if (out == nullptr) close(fd);
  return out;
}

bool platformSameFile(const char* a, const char* b) {
  struct stat sa {};
  struct stat sb {};
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sameId(sa, sb);
}

bool platformSameAsStream(const char* name, FILE* stream) {
  struct stat sn {};
  struct stat ss {};
  if (stat(name, &sn) != 0 || isNullDevice(sn) || fstat(fileno(stream), &ss) != 0) return false;
  return sameId(sn, ss) || (S_ISCHR(sn.st_mode) && sameTerminal(name, fileno(stream)));
}

int platformSeek(FILE* f, int64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET); }

int64_t platformTell(FILE* f) { return static_cast<int64_t>(ftello(f)); }
