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

// The terminal a descriptor leads to, by the device behind it (Linux's own; /dev/tty
// and /dev/console are device nodes of their own), elsewhere the node's; 0 for none.
uint64_t terminalOf(int fd) {
  struct stat st {};
  if (isatty(fd) == 0 || fstat(fd, &st) != 0) return 0;
#if defined(__linux__) && defined(TIOCGDEV)
  unsigned int real = 0;
  if (ioctl(fd, TIOCGDEV, &real) == 0) return (uint64_t{1} << 63) | real;
#endif
  return st.st_rdev;
}

// True when the character device name is the terminal fd leads to. The device is
// opened without becoming the controlling terminal and without waiting, and closed.
bool sameTerminal(const char* name, int fd) {
  const uint64_t want = terminalOf(fd);
  int named = want == 0 ? -1 : open(name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (want != 0 && named < 0) named = open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const bool same = named >= 0 && terminalOf(named) == want;
  if (named >= 0) close(named);
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
