// Files on POSIX systems: names are bytes, opened as they are; a file is its device
// and inode, read from the open descriptor.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

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

namespace {

// The output's new file while it is unpublished, for a signal that ends the tool: the
// handler removes it, so an interrupted run leaves the folder as it was.
char gPending[4096];

void pendingRemove(int sig) {
  if (gPending[0] != '\0') static_cast<void>(unlink(gPending));
  // The handler was reset to the default on entry: the same signal ends the tool once
  // this returns.
  static_cast<void>(raise(sig));
}

}  // namespace

bool platformStreamStamp(FILE* f, FileStamp* stamp) {
  struct stat st {};
  const auto ns = [](const struct timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
  };
  if (fstat(fileno(f), &st) != 0) return false;
  *stamp = FileStamp{static_cast<uint64_t>(st.st_size), ns(st.st_mtim), ns(st.st_ctim)};
  return true;
}

OutputRefusal platformOutputOpen(const char* name, const FileId (&inputs)[2], FileHandle* file,
                                 bool* device) {
  // Without waiting: a FIFO nobody reads fails at once (ENXIO, as a socket does).
  const int fd = open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  *file = kNoFile;
  if (fd < 0) {
    const int error = errno;
    // Nothing was opened: the name only chooses which refusal to give.
    const OutputRefusal why =
        stat(name, &st) == 0 ? outputRefusal(st, inputs) : OutputRefusal::kNone;
    if (why != OutputRefusal::kNone || error == ENOENT) return why;
    return error == ENXIO ? OutputRefusal::kNotAFile : OutputRefusal::kCannotOpen;
  }
  const int flags = fcntl(fd, F_GETFL);
  OutputRefusal why = OutputRefusal::kCannotOpen;
  if (fstat(fd, &st) == 0 && flags != -1 &&
      (why = outputRefusal(st, inputs)) == OutputRefusal::kNone) {
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || isatty(fd) != 0) {
      why = OutputRefusal::kNotAFile;
    } else if (fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      why = OutputRefusal::kCannotOpen;
    }
  }
  if (why != OutputRefusal::kNone) {
    close(fd);
    return why;
  }
  *file = fd;
  *device = !S_ISREG(st.st_mode);
  return why;
}

std::string platformOutputPath(const char* name, FileHandle file) {
  std::string path = name;
  char target[4096];
  ssize_t n = 0;
  // A loop is left as it stands: creating beside it, or renaming onto it, fails then.
  for (int hops = 0; hops < 40 && (n = readlink(path.c_str(), target, sizeof target)) > 0; ++hops) {
    const size_t slash = target[0] == '/' ? std::string::npos : path.rfind('/');
    path = (slash == std::string::npos ? "" : path.substr(0, slash + 1)) +
           std::string(target, static_cast<size_t>(n));
  }
  struct stat at {};
  struct stat st {};
  const bool same = file == kNoFile ||
                    (lstat(path.c_str(), &at) == 0 && fstat(static_cast<int>(file), &st) == 0 &&
                     fileIdSame(idOf(at), idOf(st)));
  return same ? path : "";
}

FileHandle platformFileCreate(const std::string& path, FileHandle like, bool* taken) {
  static bool armed = false;
  if (!armed) {
    struct sigaction sa {};
    sa.sa_handler = pendingRemove;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(sig, &sa, nullptr);
    armed = true;
  }
  gPending[0] = '\0';
  if (path.empty() || path.size() >= sizeof gPending) return kNoFile;
  // Set before the file exists, so that no moment is left without it; its first byte
  // last, so that a signal meanwhile never sees half of one name and half of another.
  std::memcpy(gPending + 1, path.c_str() + 1, path.size());
  gPending[0] = path[0];
  // 0666 less the umask, the bits of a new file, unless it replaces one.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  struct stat st {};
  *taken = fd < 0 && errno == EEXIST;
  if (fd >= 0 && like != kNoFile && fstat(static_cast<int>(like), &st) == 0) {
    static_cast<void>(fchmod(fd, st.st_mode & 07777));
  }
  if (fd < 0) gPending[0] = '\0';
  return fd < 0 ? kNoFile : fd;
}

bool platformFileRename(const std::string& from, const std::string& to) {
  const bool ok = rename(from.c_str(), to.c_str()) == 0;
  if (ok) gPending[0] = '\0';
  return ok;
}

void platformFileRemove(const std::string& path) {
  static_cast<void>(unlink(path.c_str()));
  gPending[0] = '\0';
}

void platformFileClose(FileHandle file) {
  if (file != kNoFile) close(static_cast<int>(file));
}

FILE* platformStreamOf(FileHandle file) {
  FILE* stream = fdopen(static_cast<int>(file), "wb");
  if (stream == nullptr) close(static_cast<int>(file));
  return stream;
}

bool platformStreamEmpty(FILE* stream) { return ftruncate(fileno(stream), 0) == 0; }

bool platformSameAsStream(const char* name, FILE* stream) {
  struct stat sn {};
  return stat(name, &sn) == 0 && sameAsStream(sn, stream);
}

int platformSeek(FILE* f, int64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET); }
int64_t platformTell(FILE* f) { return static_cast<int64_t>(ftello(f)); }
