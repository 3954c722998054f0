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
  void Release() { fd_ = -1; }
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
  return {static_cast<uint64_t>(st.st_dev),
          static_cast<uint64_t>(st.st_ino),
          static_cast<uint64_t>(st.st_size),
          static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
          static_cast<uint32_t>(st.st_mode & 07777),
          static_cast<uint32_t>(st.st_uid),
          static_cast<uint32_t>(st.st_gid)};
}

const char* KindOf(mode_t mode) {
  if (S_ISREG(mode)) return nullptr;
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

int Open(const std::string& path, int flags, mode_t mode = 0) {
  for (;;) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

// Opens a message file for reading: only a regular file, never through a
// link, and without waiting, so that a FIFO or a device put in a message's
// place can neither block nor be opened at all (the look before the open
// keeps devices closed; the flags cover a swap between the two).
int OpenRegular(const std::string& path, int* opened, struct stat* st) {
  if (::lstat(path.c_str(), st) != 0) return errno;
  if (!S_ISREG(st->st_mode)) return kNotRegularFile;
  const int fd = Open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ELOOP ? kNotRegularFile : errno;
  Descriptor descriptor(fd);
  if (::fstat(fd, st) != 0) return errno;
  if (!S_ISREG(st->st_mode)) return kNotRegularFile;
  *opened = fd;
  descriptor.Release();
  return 0;
}

int WriteAll(int fd, std::string_view data) {
  for (size_t written = 0; written < data.size();) {
    const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    written += static_cast<size_t>(n);
  }
  return 0;
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

// Reads a message file from its start, until its end or until stop says
// enough; room for all of it is made at once when it is to be read whole.
template <typename Stop>
int ReadMessageFile(const std::string& path, std::string* contents, FileIdentity* identity,
                    bool whole, Stop stop) {
  struct stat st;
  int opened = -1;
  if (const int error = OpenRegular(path, &opened, &st)) return error;
  Descriptor fd(opened);
  if (identity) *identity = IdentityOf(st);
  contents->clear();
  if (whole) contents->reserve(static_cast<size_t>(st.st_size));
  return ReadFrom(fd.get(), contents, stop);
}

}  // namespace

std::string ErrorText(int error) {
  return error == kNotRegularFile ? "not a regular file" : std::strerror(error);
}

std::string NonMessageKind(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return {};
  const char* kind = KindOf(st.st_mode);
  return kind ? kind : "";
}

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
  return ReadMessageFile(path, contents, identity, true, [](size_t) { return false; });
}

int ReadHead(const std::string& path, std::string* head, FileIdentity* identity, size_t limit) {
  return ReadMessageFile(path, head, identity, false, [head, limit](size_t before) {
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
  if (const int error = WriteAll(fd.get(), data)) return error;
  if (::fsync(fd.get()) != 0) return errno;
  return fd.Close();
}

int WriteNewFileFrom(const std::string& path, std::string_view head, const std::string& source,
                     uint64_t skip, const FileIdentity& identity) {
  struct stat st;
  int opened = -1;
  if (const int error = OpenRegular(source, &opened, &st)) return error;
  Descriptor from(opened);
  if (IdentityOf(st) != identity) return ESTALE;
  Descriptor fd(Open(path, O_WRONLY | O_CREAT | O_EXCL, 0600));
  if (fd.get() < 0) return errno;
  // The owner first: changing it may clear set-id bits that the mode sets.
  // Only root may give a file away; anyone else keeps the file as theirs.
  if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
      ::fchown(fd.get(), st.st_uid, st.st_gid) != 0 && errno != EPERM) {
    return errno;
  }
  if (::fchmod(fd.get(), st.st_mode & 07777) != 0) return errno;
  if (const int error = WriteAll(fd.get(), head)) return error;
  if (::lseek(from.get(), static_cast<off_t>(skip), SEEK_SET) < 0) return errno;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(from.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    if (const int error = WriteAll(fd.get(), std::string_view(buffer, static_cast<size_t>(n)))) {
      return error;
    }
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
