// Files on POSIX systems: names are bytes, opened as they are; a file is its device and
// inode, read from the open descriptor. The output is made unnamed in its folder and
// named once whole, every step through that folder's descriptor.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "progress.h"

namespace {

FileId idOf(const struct stat& st) {
  return FileId{static_cast<uint64_t>(st.st_dev), {static_cast<uint64_t>(st.st_ino), 0}};
}

// True when st is the character device node names (/dev/null, /dev/tty).
bool isDevice(const struct stat& st, const char* node) {
  struct stat n {};
  return S_ISCHR(st.st_mode) && stat(node, &n) == 0 && st.st_rdev == n.st_rdev;
}

// True when st is what stream writes into; the null device keeps nothing, so never.
bool sameAsStream(const struct stat& st, FILE* stream) {
  struct stat ss {};
  const int fd = fileno(stream);
  if (isDevice(st, "/dev/null") || fstat(fd, &ss) != 0) return false;
  // The controlling terminal: the stream's if that leads this session.
  if (isDevice(st, "/dev/tty")) return isatty(fd) != 0 && tcgetsid(fd) == getsid(0);
  return fileIdSame(idOf(st), idOf(ss));
}

// The one decision of which file is which.
FileRoles rolesOf(const struct stat& st, const FileId (&inputs)[2]) {
  const FileId id = idOf(st);
  return FileRoles{fileIdSame(id, inputs[0]) || fileIdSame(id, inputs[1]), sameAsStream(st, stdout),
                   sameAsStream(st, stderr)};
}

}  // namespace

FileRoles platformNameRoles(const char* name, const FileId (&inputs)[2]) {
  struct stat st {};
#ifdef O_PATH
  // Opened for its identity alone: no device is opened, no FIFO waited for.
  const int fd = open(name, O_PATH | O_CLOEXEC);
  const bool known = fd >= 0 && fstat(fd, &st) == 0;
  if (fd >= 0) close(fd);
#else
  const bool known = stat(name, &st) == 0;
#endif
  return known ? rolesOf(st, inputs) : FileRoles{};
}

FileRoles platformStreamRoles(FILE* stream, const FileId (&inputs)[2]) {
  struct stat st {};
  return fstat(fileno(stream), &st) == 0 ? rolesOf(st, inputs) : FileRoles{};
}

FILE* platformInputOpen(const char* name) {
  // Without waiting: a FIFO nobody writes into opens at once, and is then refused.
  const int fd = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  const int flags = fd < 0 ? -1 : fcntl(fd, F_GETFL);
  struct stat st {};
  FILE* in = nullptr;
  if (flags != -1 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) {
    in = fdopen(fd, "rb");
  }
  if (in == nullptr && fd >= 0) close(fd);
  return in;
}

bool platformStreamStamp(FILE* f, FileStamp* stamp) {
  struct stat st {};
  const auto ns = [](const struct timespec& t) {
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
  };
  if (fstat(fileno(f), &st) != 0) return false;
  *stamp = FileStamp{idOf(st), static_cast<uint64_t>(st.st_size), ns(st.st_mtim), ns(st.st_ctim)};
  return true;
}

namespace {

// The new file while it has a name of its own (no unnamed files there), which a signal
// that ends the tool removes; and what erases the progress line while one is shown.
char gPending[256];
int gPendingFolder = -1;
char gErase[64];
volatile sig_atomic_t gEraseLength = 0;

void pendingRemove(int sig) {
  if (gPending[0] != '\0') static_cast<void>(unlinkat(gPendingFolder, gPending, 0));
  const auto erase = static_cast<size_t>(gEraseLength);
  const ssize_t wrote = erase > 0 ? write(STDERR_FILENO, gErase, erase) : 0;
  static_cast<void>(wrote);
  // The handler was reset on entry: the same signal ends the tool once raised again.
  static_cast<void>(raise(sig));
}

bool gReplaces = false;  // the new output replaces an existing file
sigset_t gEnding;        // the signals caught, held off from the commit on

// Catches every signal that ends the tool and still has its default action, once: one
// the caller ignored (nohup) stays ignored, one set up elsewhere in the process stays.
void signalsArm() {
  static bool armed = false;
  if (armed) return;
  armed = true;
  sigemptyset(&gEnding);
  const auto add = [](int sig) {
    struct sigaction was {};
    if (sigaction(sig, nullptr, &was) != 0 || was.sa_handler != SIG_DFL) return;
    struct sigaction sa {};
    sa.sa_handler = pendingRemove;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    if (sigaction(sig, &sa, nullptr) == 0) sigaddset(&gEnding, sig);
  };
  for (const int sig :
       {SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV,
        SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS}) {
    add(sig);
  }
#ifdef SIGSTKFLT
  add(SIGSTKFLT);
#endif
#ifdef SIGPOLL
  add(SIGPOLL);
#endif
#ifdef SIGPWR
  add(SIGPWR);
#endif
#ifdef SIGRTMIN
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) add(sig);
#endif
}

// Opens what name leads to for writing, neither created nor truncated, and refuses it
// by what was opened; *fd -1 where the name leads to nothing yet.
OutputRefusal targetOpen(const char* name, const FileId (&inputs)[2], int* fd, bool* device) {
  // Without waiting: a FIFO nobody reads fails at once (ENXIO, as a socket does).
  *fd = open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (*fd < 0) {
    const int error = errno;
    // Nothing was opened: the name only chooses which refusal to give.
    const OutputRefusal why = outputRefusalOf(platformNameRoles(name, inputs));
    if (why != OutputRefusal::kNone || error == ENOENT) return why;
    return error == ENXIO ? OutputRefusal::kNotAFile : OutputRefusal::kCannotOpen;
  }
  const int flags = fcntl(*fd, F_GETFL);
  OutputRefusal why = OutputRefusal::kCannotOpen;
  if (fstat(*fd, &st) == 0 && flags != -1 &&
      (why = outputRefusalOf(rolesOf(st, inputs))) == OutputRefusal::kNone) {
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || isatty(*fd) != 0) {
      why = OutputRefusal::kNotAFile;
    } else if (fcntl(*fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      why = OutputRefusal::kCannotOpen;
    }
  }
  if (why != OutputRefusal::kNone) close(*fd), *fd = -1;
  *device = *fd >= 0 && !S_ISREG(st.st_mode);
  return why;
}

#ifdef O_PATH
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// The folder and the name in it of the file name leads to through symbolic links (a
// link stays a link), each folder opened from the one before. False where that is no
// longer the file that was checked.
bool folderOpen(const char* name, Output* out) {
  std::string path = name;
  int folder = AT_FDCWD;
  for (int hops = 0;; ++hops) {
    const size_t slash = path.rfind('/');
    const std::string in = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int next = openat(folder, in.c_str(), kFolderFlags);
    if (folder != AT_FDCWD) close(folder);
    folder = next;
    if (slash != std::string::npos) path.erase(0, slash + 1);
    char target[4096];
    const ssize_t n = folder < 0 ? 0 : readlinkat(folder, path.c_str(), target, sizeof target);
    // A loop is left as it stands: opening it failed already.
    if (n <= 0 || static_cast<size_t>(n) == sizeof target || hops == 40) break;
    path.assign(target, static_cast<size_t>(n));
  }
  out->folder = folder;
  out->name = path;
  struct stat at {};
  struct stat st {};
  return folder >= 0 && !path.empty() && path != "." && path != ".." &&
         (out->target < 0 || (fstatat(folder, path.c_str(), &at, AT_SYMLINK_NOFOLLOW) == 0 &&
                              fstat(static_cast<int>(out->target), &st) == 0 &&
                              rolesOf(at, {idOf(st), FileId{}}).input));
}

// A name beside the output's that no "*.wav" takes, hidden by its dot.
void hiddenName(Output* out, unsigned k) {
  struct timespec t {};
  static_cast<void>(clock_gettime(CLOCK_MONOTONIC, &t));
  char temp[128];
  static_cast<void>(std::snprintf(temp, sizeof temp, ".%.100s.%08x.part", out->name.c_str(),
                                  static_cast<unsigned>(t.tv_nsec) + k * 2654435761U));
  out->temp = temp;
}

// The new file under a hidden name, removed by a signal until renamed or removed.
int namedCreate(Output* out) {
  gPendingFolder = static_cast<int>(out->folder);
  for (unsigned k = 0; k < 16; ++k) {
    hiddenName(out, k);
    // Set before the file exists, its first byte last: a signal never sees half a name.
    gPending[0] = '\0';
    if (out->temp.size() >= sizeof gPending) break;
    std::memcpy(gPending + 1, out->temp.c_str() + 1, out->temp.size());
    gPending[0] = out->temp[0];
    const int fd = openat(gPendingFolder, out->temp.c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    gPending[0] = '\0';
    if (errno != EEXIST) break;
  }
  out->temp.clear();
  return -1;
}

// The path through which an unnamed file is given a name (open(2) documents it).
std::string procPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// The new file in the output's folder: unnamed where the file system has such files and
// the name can be given at the end, else under a hidden name. -1 where neither can be
// made: the run is refused then, whatever the reason.
int newFile(Output* out) {
#ifdef O_TMPFILE
  const int fd = openat(static_cast<int>(out->folder), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  struct stat st {};
  if (fd >= 0 && stat(procPath(fd).c_str(), &st) == 0) return fd;
  if (fd >= 0) {
    close(fd);
  } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return -1;
  }
#endif
  return namedCreate(out);
}

// A replaced file's permission bits, never a set-id or sticky one, and where the tool
// may, its owner and group (as root), or its group alone.
void ownerKeep(int fd, int like) {
  struct stat st {};
  if (like < 0 || fstat(like, &st) != 0) return;
  const bool owned =
      fchown(fd, st.st_uid, st.st_gid) == 0 || fchown(fd, static_cast<uid_t>(-1), st.st_gid) == 0;
  static_cast<void>(owned);  // otherwise the new file is the tool's
  static_cast<void>(fchmod(fd, st.st_mode & 0777));
}

// An unnamed new file given a hidden name beside the output, ready for the rename.
bool unnamedLink(int fd, Output* out) {
  const std::string proc = procPath(fd);
  for (unsigned k = 0; k < 16; ++k) {
    hiddenName(out, k);
    if (linkat(AT_FDCWD, proc.c_str(), static_cast<int>(out->folder), out->temp.c_str(),
               AT_SYMLINK_FOLLOW) == 0) {
      return true;
    }
    if (errno != EEXIST) break;
  }
  out->temp.clear();
  return false;
}

// A mount point (a file bound there) cannot be renamed over: the new file is copied into
// the file that was checked, cut to its length. The one step that can leave a file
// part-written, should it fail.
bool copyInto(const Output* out) {
  const int from = openat(static_cast<int>(out->folder), out->temp.c_str(), O_RDONLY | O_CLOEXEC);
  const int to = static_cast<int>(out->target);
  char buf[1 << 16];
  off_t at = 0;
  ssize_t n = 0;
  bool ok = from >= 0 && to >= 0;
  while (ok && (n = pread(from, buf, sizeof buf, at)) > 0) {
    for (ssize_t put = 0, k = 0; ok && put < n; put += k) {
      k = pwrite(to, buf + put, static_cast<size_t>(n - put), at + put);
      ok = k > 0;
    }
    at += n;
  }
  if (from >= 0) close(from);
  return ok && n == 0 && ftruncate(to, at) == 0;
}

// Removes the hidden name where there is one, and closes the folder and the target.
void outputClose(Output* out) {
  if (!out->temp.empty())
    static_cast<void>(unlinkat(static_cast<int>(out->folder), out->temp.c_str(), 0));
  gPending[0] = '\0';
  if (out->target >= 0) close(static_cast<int>(out->target));
  if (out->folder >= 0) close(static_cast<int>(out->folder));
  out->target = out->folder = -1;
}

}  // namespace

OutputRefusal platformOutputBegin(const char* name, const FileId (&inputs)[2], Output* out) {
  *out = Output{};
  int target = -1;
  const OutputRefusal why = targetOpen(name, inputs, &target, &out->device);
  out->target = target;
  if (why != OutputRefusal::kNone) return why;
  signalsArm();
  gReplaces = target >= 0 && !out->device;
  const int fd = out->device ? target : folderOpen(name, out) ? newFile(out) : -1;
  if (fd >= 0 && !out->device) ownerKeep(fd, target);
  if (fd >= 0) out->stream = fdopen(fd, "wb");
  if (out->stream != nullptr && out->device) out->target = -1;  // the stream owns it now
  if (out->stream == nullptr && fd >= 0 && !out->device) close(fd);
  if (out->stream != nullptr) return OutputRefusal::kNone;
  platformOutputAbort(out);
  return OutputRefusal::kCannotOpen;
}

bool platformOutputCommit(Output* out) {
  static_cast<void>(sigprocmask(SIG_BLOCK, &gEnding, nullptr));  // to the end of the run
  bool ok = std::fflush(out->stream) == 0 && std::ferror(out->stream) == 0;
  if (ok && !out->device && out->temp.empty()) ok = unnamedLink(fileno(out->stream), out);
  // The close before the rename: a file system may report a failed write only here.
  ok = std::fclose(out->stream) == 0 && ok;
  out->stream = nullptr;
  const int folder = static_cast<int>(out->folder);
  if (ok && !out->device && renameat(folder, out->temp.c_str(), folder, out->name.c_str()) == 0) {
    out->temp.clear();
  } else if (ok && !out->device) {
    ok = (errno == EBUSY || errno == EXDEV) && copyInto(out);
  }
  outputClose(out);
  return ok;
}

void platformOutputAbort(Output* out) {
  if (out->stream != nullptr) static_cast<void>(std::fclose(out->stream));
  out->stream = nullptr;
  outputClose(out);
}

// Where the output replaces a file, its pages are sent to the disk every 8 MiB while the
// next blocks are folded: a rename over an existing file makes ext4 write the new one
// out at once (auto_da_alloc), which would otherwise all wait for the rename. A new name
// waits for nothing, and sending early would only cost it.
void platformOutputWritten(FILE* stream, uint64_t written, uint64_t /*total*/) {
#ifdef SYNC_FILE_RANGE_WRITE
  static uint64_t sent = 0;
  if (!gReplaces || written - sent < (uint64_t{8} << 20)) return;
  static_cast<void>(sync_file_range(fileno(stream), static_cast<off_t>(sent),
                                    static_cast<off_t>(written - sent), SYNC_FILE_RANGE_WRITE));
  sent = written;
#else
  static_cast<void>(stream);
  static_cast<void>(written);
#endif
}

void platformProgressShown(const char* erase, size_t n) {
  gEraseLength = 0;
  if (n > sizeof gErase) return;
  if (n > 0) std::memcpy(gErase, erase, n);
  gEraseLength = static_cast<sig_atomic_t>(n);
}

int64_t platformClockMs() {
  struct timespec t {};
  static_cast<void>(clock_gettime(CLOCK_MONOTONIC, &t));
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

int platformSeek(FILE* f, int64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET); }
int64_t platformTell(FILE* f) { return static_cast<int64_t>(ftello(f)); }
