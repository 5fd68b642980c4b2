// Files on POSIX systems: names are bytes, opened as they are; a file is its device
// and inode.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace {

bool sameId(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when st is the character device that node names (/dev/null, /dev/tty).
bool isDevice(const struct stat& st, const char* node) {
  struct stat n {};
  return S_ISCHR(st.st_mode) && stat(node, &n) == 0 && st.st_rdev == n.st_rdev;
}

// The terminal a descriptor leads to, by the device behind it (Linux's own; /dev/console
// is a device node of its own), elsewhere the node's; 0 for none.
uint64_t terminalOf(int fd) {
  struct stat st {};
  if (isatty(fd) == 0 || fstat(fd, &st) != 0) return 0;
#if defined(__linux__) && defined(TIOCGDEV)
  unsigned int real = 0;
  if (ioctl(fd, TIOCGDEV, &real) == 0) return (uint64_t{1} << 63) | real;
#endif
  return st.st_rdev;
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
  const int fd = fileno(stream);
  if (stat(name, &sn) != 0 || isDevice(sn, "/dev/null") || fstat(fd, &ss) != 0) return false;
  // The controlling terminal, without opening it: the stream's if that leads this session.
  if (isDevice(sn, "/dev/tty")) return isatty(fd) != 0 && tcgetsid(fd) == getsid(0);
  const uint64_t want = S_ISCHR(sn.st_mode) && !sameId(sn, ss) ? terminalOf(fd) : 0;
  if (want == 0) return sameId(sn, ss);
  // Another node of that terminal (/dev/console): opened as no controlling one, not waited on.
  int named = open(name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (named < 0) named = open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const bool same = named >= 0 && terminalOf(named) == want;
  if (named >= 0) close(named);
  return same;
}

int platformSeek(FILE* f, int64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET); }
int64_t platformTell(FILE* f) { return static_cast<int64_t>(ftello(f)); }
