#include "host/maildir/maildir_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarvex::maildir {
namespace {

// Closes a descriptor on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting what close says (a late write error shows here).
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

FileIdentity IdentityOf(const struct stat& st) {
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
          static_cast<uint64_t>(st.st_size),
          static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

int Open(const std::string& path, int flags, mode_t mode = 0) {
  for (;;) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

// Reads into contents from its current size on, until end of file or until
// stop says enough. 0 or errno.
template <typename Stop>
int ReadFrom(int fd, std::string* contents, Stop stop) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    const size_t before = contents->size();
    contents->append(buffer, static_cast<size_t>(n));
    if (stop(before)) return 0;
  }
}

}  // namespace

int Identify(const std::string& path, FileIdentity* identity) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno;
  *identity = IdentityOf(st);
  return 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

int ReadFile(const std::string& path, std::string* contents, FileIdentity* identity) {
  Descriptor fd(Open(path, O_RDONLY));
  if (fd.get() < 0) return errno;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (identity) *identity = IdentityOf(st);
  contents->clear();
  contents->reserve(static_cast<size_t>(st.st_size));
  return ReadFrom(fd.get(), contents, [](size_t) { return false; });
}

int ReadHead(const std::string& path, std::string* head, size_t limit) {
  Descriptor fd(Open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
  if (fd.get() < 0) return errno;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  head->clear();
  return ReadFrom(fd.get(), head, [head, limit](size_t before) {
    if (head->size() >= limit) return true;
    // An empty line: a line feed right after another, perhaps with a CR
    // between. Look a little before the new bytes, for one cut in two.
    const size_t from = before < 2 ? 0 : before - 2;
    for (size_t at = head->find('\n', from); at != std::string::npos;
         at = head->find('\n', at + 1)) {
      if (at == 0 || (*head)[at - 1] == '\n' ||
          (at >= 1 && (*head)[at - 1] == '\r' && (at == 1 || (*head)[at - 2] == '\n'))) {
        head->resize(at + 1);
        return true;
      }
    }
    return false;
  });
}

int ListDirectory(const std::string& path, std::vector<std::string>* names) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return errno;
  names->clear();
  for (;;) {
    errno = 0;
    const struct dirent* entry = ::readdir(dir);
    if (!entry) break;
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names->emplace_back(entry->d_name);
  }
  const int error = errno;
  ::closedir(dir);
  return error;
}

int WriteNewFile(const std::string& path, std::string_view data) {
  Descriptor fd(Open(path, O_WRONLY | O_CREAT | O_EXCL, 0600));
  if (fd.get() < 0) return errno;
  for (size_t written = 0; written < data.size();) {
    const ssize_t n = ::write(fd.get(), data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    written += static_cast<size_t>(n);
  }
  if (::fsync(fd.get()) != 0) return errno;
  return fd.Close();
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the flag: look first. Only another program racing
  // for the same name could slip in between.
  if (Exists(to)) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int ExchangeFiles(const std::string& a, const std::string& b) {
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) return 0;
  return errno == ENOSYS ? EINVAL : errno;
}

int RenameOver(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int SyncDirectory(const std::string& path) {
  Descriptor fd(Open(path, O_RDONLY | O_DIRECTORY));
  if (fd.get() < 0) return errno;
  return ::fsync(fd.get()) == 0 ? 0 : errno;
}

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int EnsureDirectory(const std::string& path) {
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

int MakeMaildir(const std::string& path, bool subfolder) {
  for (const std::string& dir : {path, path + "/tmp", path + "/new"}) {
    if (const int error = EnsureDirectory(dir)) return error;
  }
  if (subfolder) {
    Descriptor marker(Open(path + "/maildirfolder", O_WRONLY | O_CREAT, 0600));
    if (marker.get() < 0) return errno;
  }
  if (const int error = EnsureDirectory(path + "/cur")) return error;
  return SyncDirectory(path);
}

}  // namespace tarvex::maildir
