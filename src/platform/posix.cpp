// Files on POSIX systems, and in the browser, whose C library is a POSIX one: names
// are bytes, opened as they are; a file is its device and inode.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace {

bool fileId(const char* name, struct stat* st) { return stat(name, st) == 0; }

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

FILE* platformOutputCreate(const char* name) { return std::fopen(name, "wb"); }

bool platformSameFile(const char* a, const char* b) {
  struct stat sa {};
  struct stat sb {};
  return fileId(a, &sa) && fileId(b, &sb) && sameId(sa, sb);
}

bool platformSameAsStream(const char* name, FILE* stream) {
  struct stat sn {};
  struct stat ss {};
  if (!fileId(name, &sn) || isNullDevice(sn) || fstat(fileno(stream), &ss) != 0) return false;
  return sameId(sn, ss) || (S_ISCHR(sn.st_mode) && sameTerminal(name, fileno(stream)));
}

int platformSeek(FILE* f, int64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET); }

int64_t platformTell(FILE* f) { return static_cast<int64_t>(ftello(f)); }
