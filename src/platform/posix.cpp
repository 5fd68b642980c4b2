// Files on POSIX systems: names are bytes, opened as they are; a file is its device
// and inode, read from the open descriptor.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
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

// The output's new file while it is unpublished, for a signal that ends the tool:
// the handler removes it, so an interrupted run leaves the folder as it was.
int gPendingFolder = -1;
char gPendingName[256];

void pendingRemove(int sig) {
  if (gPendingFolder >= 0) static_cast<void>(unlinkat(gPendingFolder, gPendingName, 0));
  // The handler was reset to the default on entry: the same signal ends the tool as
  // soon as this returns.
  static_cast<void>(raise(sig));
}

void pendingSet(int folder, const std::string& name) {
  static bool armed = false;
  if (!armed) {
    struct sigaction sa {};
    sa.sa_handler = pendingRemove;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(sig, &sa, nullptr);
    armed = true;
  }
  gPendingFolder = -1;
  static_cast<void>(std::snprintf(gPendingName, sizeof gPendingName, "%s", name.c_str()));
  gPendingFolder = folder;
}

// The name an output is published under: its last component's symbolic links
// followed, so that a link stays a link and the file it leads to is replaced. A loop
// is left as it stands; the open after fails as the name's own would.
std::string outputResolve(const char* name) {
  std::string path = name;
  char target[4096];
  for (int hops = 0; hops < 40; ++hops) {
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) break;
    const size_t slash = path.rfind('/');
    const std::string from =
        target[0] == '/' || slash == std::string::npos ? "" : path.substr(0, slash + 1);
    path = from + std::string(target, static_cast<size_t>(n));
  }
  return path;
}

// The output's folder, held while both its names are used: search rights suffice.
#ifdef O_PATH
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// A hidden name in the output's folder that no other file has and no "*.wav" takes.
int outputTempCreate(int folder, const std::string& base, std::string* temp) {
  static unsigned count = 0;
  for (int tries = 0; tries < 64; ++tries) {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    const auto mix = static_cast<unsigned>(getpid()) * 2654435761U ^
                     static_cast<unsigned>(now.tv_nsec) ^ (++count * 40503U);
    char name[160];
    static_cast<void>(std::snprintf(name, sizeof name, ".%.100s.%08x.part", base.c_str(), mix));
    *temp = name;
    pendingSet(folder, *temp);
    // 0666 less the umask: the bits a new output has always had.
    const int fd = openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      if (fd < 0) gPendingFolder = -1;
      return fd;
    }
  }
  gPendingFolder = -1;
  return -1;
}

// The refusal of an output name that could not be opened: nothing was touched, and
// the name only chooses which refusal to give.
OutputRefusal outputNameRefusal(const char* name, int error, const FileId (&inputs)[2]) {
  struct stat st {};
  const OutputRefusal why = stat(name, &st) == 0 ? outputRefusal(st, inputs) : OutputRefusal::kNone;
  if (why != OutputRefusal::kNone) return why;
  return error == ENXIO ? OutputRefusal::kNotAFile : OutputRefusal::kCannotOpen;
}

bool outputFail(OutputFile* out, int fd, OutputRefusal why, OutputRefusal* said) {
  if (fd >= 0) close(fd);
  if (out->folder >= 0) close(out->folder);
  out->folder = -1;
  *said = why;
  return false;
}

}  // namespace

bool platformStreamStamp(FILE* f, FileStamp* stamp) {
  struct stat st {};
  if (fstat(fileno(f), &st) != 0) return false;
  const auto ns = [](const struct timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
  };
  *stamp = FileStamp{static_cast<uint64_t>(st.st_size), ns(st.st_mtim), ns(st.st_ctim)};
  return true;
}

bool platformOutputCreate(const char* name, const FileId (&inputs)[2], OutputRefusal* why,
                          OutputFile* out) {
  *out = OutputFile{};
  // Opened to be checked, as the name leads: for writing, so that one that could not
  // be written is refused as before; without waiting, so that a FIFO nobody reads
  // fails at once (ENXIO, as a socket does). Nothing is written through it but a
  // device, or a file whose folder takes no new file.
  int fd = open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno != ENOENT)
    return outputFail(out, -1, outputNameRefusal(name, errno, inputs), why);
  struct stat st {};
  if (fd >= 0) {
    if (fstat(fd, &st) != 0) return outputFail(out, fd, OutputRefusal::kCannotOpen, why);
    const OutputRefusal refusal = outputRefusal(st, inputs);
    if (refusal != OutputRefusal::kNone) return outputFail(out, fd, refusal, why);
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || isatty(fd) != 0) {
      return outputFail(out, fd, OutputRefusal::kNotAFile, why);
    }
  }
  const bool device = fd >= 0 && !S_ISREG(st.st_mode);
  int wfd = -1;
  if (!device) {
    // The file (or the missing name) the output's name leads to, in a folder held
    // open, whatever its path comes to mean meanwhile. It must be the file checked.
    const std::string path = outputResolve(name);
    const size_t slash = path.rfind('/');
    out->name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : path.substr(0, slash);
    out->folder = open(dir.c_str(), kFolderFlags);
    struct stat at {};
    const bool there =
        out->folder >= 0 && fstatat(out->folder, out->name.c_str(), &at, AT_SYMLINK_NOFOLLOW) == 0;
    if (out->folder < 0 || (fd >= 0 && (!there || !fileIdSame(idOf(at), idOf(st))))) {
      return outputFail(out, fd, OutputRefusal::kCannotOpen, why);
    }
    wfd = outputTempCreate(out->folder, out->name, &out->temp);
  }
  if (wfd >= 0) {
    out->keepMode = fd >= 0;
    out->mode = static_cast<unsigned>(st.st_mode) & 07777U;
    if (fd >= 0) close(fd);
  } else if (fd >= 0) {
    // Written where it stands, truncated only now that it has passed every check.
    out->inPlace = true;
    const int flags = fcntl(fd, F_GETFL);
    if (flags == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        (!device && ftruncate(fd, 0) != 0)) {
      return outputFail(out, fd, OutputRefusal::kCannotOpen, why);
    }
    out->emptied = device ? -1 : dup(fd);
    wfd = fd;
  } else {
    return outputFail(out, -1, OutputRefusal::kCannotOpen, why);
  }
  out->stream = fdopen(wfd, "wb");
  if (out->stream == nullptr) {
    close(wfd);
    platformOutputDiscard(out);
    *why = OutputRefusal::kCannotOpen;
    return false;
  }
  *why = OutputRefusal::kNone;
  return true;
}

bool platformOutputPublish(OutputFile* out) {
  bool ok = out->inPlace || !out->keepMode || fchmod(fileno(out->stream), out->mode) == 0;
  ok = std::fclose(out->stream) == 0 && ok;
  out->stream = nullptr;
  if (!out->inPlace) {
    ok = ok && renameat(out->folder, out->temp.c_str(), out->folder, out->name.c_str()) == 0;
    if (!ok) static_cast<void>(unlinkat(out->folder, out->temp.c_str(), 0));
    gPendingFolder = -1;
  }
  if (out->emptied >= 0) close(static_cast<int>(out->emptied));
  if (out->folder >= 0) close(out->folder);
  out->emptied = out->folder = -1;
  return ok;
}

void platformOutputDiscard(OutputFile* out) {
  if (out->stream != nullptr) static_cast<void>(std::fclose(out->stream));
  out->stream = nullptr;
  if (!out->inPlace && !out->temp.empty()) {
    static_cast<void>(unlinkat(out->folder, out->temp.c_str(), 0));
    gPendingFolder = -1;
  }
  if (out->emptied >= 0) {
    // A run that failed has nothing to tell of a failure here as well.
    const int emptied = ftruncate(static_cast<int>(out->emptied), 0);
    static_cast<void>(emptied);
    close(static_cast<int>(out->emptied));
  }
  if (out->folder >= 0) close(out->folder);
  out->emptied = out->folder = -1;
}

bool platformSameAsStream(const char* name, FILE* stream) {
  struct stat sn {};
  return stat(name, &sn) == 0 && sameAsStream(sn, stream);
}

int platformSeek(FILE* f, int64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET); }
int64_t platformTell(FILE* f) { return static_cast<int64_t>(ftello(f)); }
