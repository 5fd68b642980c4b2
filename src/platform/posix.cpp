// Files on POSIX systems: names are bytes, opened as they are; a file is its device
// and inode, read from the open descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace {

FileId idOf(const struct stat& st) {
  return FileId{static_cast<uint64_t>(st.st_dev), {static_cast<uint64_t>(st.st_ino), 0}};
}

// True when st is the character device that node names (/dev/null, /dev/tty).
bool isDevice(const struct stat& st, const char* node) {
  struct stat n {};
  return S_ISCHR(st.st_mode) && stat(node, &n) == 0 && st.st_rdev == n.st_rdev;
}

// True when st is what stream writes into. The null device keeps nothing, so it is
// never the same as anything.
bool sameAsStream(const struct stat& st, FILE* stream) {
  struct stat ss {};
  const int fd = fileno(stream);
  if (isDevice(st, "/dev/null") || fstat(fd, &ss) != 0) return false;
  // The controlling terminal: the stream's if that leads this session.
  if (isDevice(st, "/dev/tty")) return isatty(fd) != 0 && tcgetsid(fd) == getsid(0);
  return fileIdSame(idOf(st), idOf(ss));
}

// The refusal of an output that is st (an open file's, or a name's that could not be
// opened), in the order the checks are made.
OutputRefusal outputRefusal(const struct stat& st, const FileId (&inputs)[2]) {
  const FileId id = idOf(st);
  if (fileIdSame(id, inputs[0]) || fileIdSame(id, inputs[1])) return OutputRefusal::kInput;
  if (sameAsStream(st, stdout)) return OutputRefusal::kStdout;
  if (sameAsStream(st, stderr)) return OutputRefusal::kStderr;
  return OutputRefusal::kNone;
}

}  // namespace

FILE* platformInputOpen(const char* name, FileId* id) {
  *id = FileId{};
  FILE* in = std::fopen(name, "rb");
  // A folder opens as a stream here but is no file to read.
  struct stat st {};
  if (in != nullptr && (fstat(fileno(in), &st) != 0 || S_ISDIR(st.st_mode))) {
    static_cast<void>(std::fclose(in));
    return nullptr;
  }
  if (in != nullptr) *id = idOf(st);
  return in;
}

bool platformStreamInto(FILE* stream, const FileId& id) {
  struct stat ss {};
  return fstat(fileno(stream), &ss) == 0 && !isDevice(ss, "/dev/null") && fileIdSame(id, idOf(ss));
}

FILE* platformOutputCreate(const char* name, const FileId (&inputs)[2], OutputRefusal* why) {
  // Not truncated here, and without waiting: a FIFO nobody reads fails at once (ENXIO,
  // as a socket does) instead of blocking.
  const int fd = open(name, O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
  struct stat st {};
  if (fd < 0) {
    const int error = errno;
    // Nothing was touched: the name only chooses which refusal to give.
    *why = stat(name, &st) == 0 ? outputRefusal(st, inputs) : OutputRefusal::kNone;
    if (*why == OutputRefusal::kNone) {
      *why = error == ENXIO ? OutputRefusal::kNotAFile : OutputRefusal::kCannotOpen;
    }
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &st) != 0 || flags == -1) {
    *why = OutputRefusal::kCannotOpen;
  } else if ((*why = outputRefusal(st, inputs)) == OutputRefusal::kNone) {
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || isatty(fd) != 0) {
      *why = OutputRefusal::kNotAFile;
    } else if ((S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) ||
               fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      *why = OutputRefusal::kCannotOpen;
    }
  }
  FILE* out = *why == OutputRefusal::kNone ? fdopen(fd, "wb") : nullptr;
  if (out == nullptr) {
    if (*why == OutputRefusal::kNone) *why = OutputRefusal::kCannotOpen;
    close(fd);
  }
  return out;
}

bool platformSameAsStream(const char* name, FILE* stream) {
  struct stat sn {};
  return stat(name, &sn) == 0 && sameAsStream(sn, stream);
}

int platformSeek(FILE* f, int64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET); }
int64_t platformTell(FILE* f) { return static_cast<int64_t>(ftello(f)); }
