// The POSIX side: names are bytes passed through as they are; a file is its device
// and inode.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace {

bool fileId(const char* name, struct stat* st) { return stat(name, st) == 0; }

bool sameId(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

const char* const* platformStart(int /*argc*/, char** argv) {
  // A standard descriptor closed at start would be handed to the first file opened,
  // and the report or an error message would be written into that file. /dev/null
  // takes its number instead, so the closed stream acts as one sent there.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      const int opened = open("/dev/null", O_RDWR);
      if (opened > 2) close(opened);  // the number was taken meanwhile; nothing lost
    }
  }
  // On a terminal the report and the error lines appear in the order they happen;
  // into a file or a pipe standard output stays block-buffered.
  if (isatty(STDOUT_FILENO) != 0) {
    // Should that fail, the stream stays buffered: only the order of lines suffers.
    static_cast<void>(std::setvbuf(stdout, nullptr, _IONBF, 0));
  }
  return argv;
}

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
  return fileId(name, &sn) && S_ISREG(sn.st_mode) && fstat(fileno(stream), &ss) == 0 &&
         sameId(sn, ss);
}

int platformSeek(FILE* f, int64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET); }

int64_t platformTell(FILE* f) { return static_cast<int64_t>(ftello(f)); }
