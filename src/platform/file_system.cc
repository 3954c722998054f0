#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "platform/codepage.h"

namespace tarvex {

Status WriteWholeFile(FileSystem& fs, const std::string& path, std::string_view data,
                      Backup backup) {
  std::unique_ptr<WritableFile> file;
  Status status = fs.NewWritableFile(path, backup, &file);
  if (status.ok()) status = file->Append(data);
  if (status.ok()) status = file->Commit();
  return status;
}

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel allows in one path

int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that path finally names once every symbolic link on the way is
// followed; it need not exist (a link may point at a file yet to be made).
Status FollowLinks(const std::string& path, std::string* target) {
  std::string current = path;
  for (int hops = 0; hops < kMaxLinkHops; ++hops) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = current;
      return Status::Ok();
    }
    char link[PATH_MAX];
    const ssize_t n = ::readlink(current.c_str(), link, sizeof link);
    if (n < 0) return Status::FromErrno(path, "cannot follow the link", errno);
    if (static_cast<size_t>(n) == sizeof link) {
      return Status::FromErrno(path, "cannot follow the link", ENAMETOOLONG);
    }
    std::string next(link, static_cast<size_t>(n));
    if (next.empty() || next[0] != '/') next = FolderOf(current) + "/" + next;
    current = std::move(next);
  }
  return Status::FromErrno(path, "cannot follow the link", ELOOP);
}

// Refuses a file that is there but must not be replaced: not a plain file,
// or not writable by the user. The superuser can open any file for writing,
// so a file without any write permission counts as read-only for everyone.
Status CheckReplaceable(const std::string& shown, const std::string& target,
                        const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return Status::Invalid(shown, "not a plain file; not replacing it");
  if ((st.st_mode & 0222) == 0) return Status::FromErrno(shown, "cannot write", EACCES);
  const int probe = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (probe < 0) return Status::FromErrno(shown, "cannot write", errno);
  ::close(probe);
  return Status::Ok();
}

// Writes into a temporary file beside the target and renames it over the target
// once it is complete and flushed to disk.
class PosixWritableFile : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string temp_path, std::string target, std::string shown,
                    bool keep_backup)
      : fd_(fd),
        temp_path_(std::move(temp_path)),
        target_(std::move(target)),
        shown_(std::move(shown)),
        keep_backup_(keep_backup) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_path_.c_str());
  }
  Status Append(std::string_view data) override {
    if (status_.ok() && fd_ >= 0) {
      if (const int error = WriteAll(fd_, data)) {
        status_ = Status::FromErrno(shown_, "cannot write", error);
      }
    }
    return status_;
  }
  Status Commit() override {
    if (!status_.ok() || fd_ < 0) return status_;
    if (::fsync(fd_) != 0) status_ = Status::FromErrno(shown_, "cannot write", errno);
    if (::close(fd_) != 0 && status_.ok()) {
      status_ = Status::FromErrno(shown_, "cannot write", errno);
    }
    fd_ = -1;
    if (!status_.ok()) return status_;
    if (keep_backup_) KeepBackup();
    if (::rename(temp_path_.c_str(), target_.c_str()) != 0) {
      return status_ = Status::FromErrno(shown_, "cannot replace the file", errno);
    }
    committed_ = true;
    SyncFolder();
    return status_;
  }

 private:
  // The old file gets a second name, which the rename then leaves as its
  // only one. Linked under a temporary name first, so that the previous
  // backup stays until the new one is complete.
  void KeepBackup() const {
    const std::string backup = target_ + ".bak";
    const std::string staged = backup + ".tmp";
    ::unlink(staged.c_str());
    if (::link(target_.c_str(), staged.c_str()) != 0) return;
    if (::rename(staged.c_str(), backup.c_str()) != 0) ::unlink(staged.c_str());
  }
  // Makes the rename itself survive a crash.
  void SyncFolder() const {
    const int fd = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
  }

  int fd_;
  std::string temp_path_, target_, shown_;
  bool keep_backup_;
  Status status_;
  bool committed_ = false;
};

}  // namespace

Status PosixFileSystem::Read(const std::string& path, std::string* contents) {
  const std::string native = cp1252::ToUtf8(path);
  contents->clear();
  if (native.empty()) return Status::FromErrno(native, "cannot read", ENOENT);
  const int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Status::FromErrno(native, "cannot read", errno);
  struct stat st;
  Status status;
  if (::fstat(fd, &st) != 0) {
    status = Status::FromErrno(native, "cannot read", errno);
  } else if (S_ISDIR(st.st_mode)) {
    status = Status::FromErrno(native, "cannot read", EISDIR);
  } else if (!S_ISREG(st.st_mode)) {
    status = Status::Invalid(native, "cannot read: not a plain file");
  } else if (st.st_size > 0) {
    contents->reserve(static_cast<size_t>(st.st_size));
  }
  char buffer[1 << 16];
  while (status.ok()) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) status = Status::FromErrno(native, "cannot read", errno);
    if (n <= 0) break;
    contents->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return status;
}

Status PosixFileSystem::NewWritableFile(const std::string& path, Backup backup,
                                        std::unique_ptr<WritableFile>* file) {
  file->reset();
  const std::string shown = cp1252::ToUtf8(path);
  if (shown.empty()) return Status::FromErrno(shown, "cannot write", ENOENT);
  std::string target;
  if (Status status = FollowLinks(shown, &target); !status.ok()) return status;
  struct stat st;
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return Status::FromErrno(shown, "cannot write", errno);
  if (exists) {
    if (Status status = CheckReplaceable(shown, target, st); !status.ok()) return status;
  }
  std::vector<char> temp(target.begin(), target.end());
  for (char c : std::string_view(".tmp-XXXXXX")) temp.push_back(c);
  temp.push_back('\0');
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return Status::FromErrno(shown, "cannot write a new file beside it", errno);
  if (exists) {
    // The owner can be given away only by the superuser (or to one's own
    // group); where that is refused, the new file is the user's.
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
      const int refused = ::fchown(fd, st.st_uid, st.st_gid);
      static_cast<void>(refused);
    }
    ::fchmod(fd, st.st_mode & 07777);
  }
  *file = std::make_unique<PosixWritableFile>(fd, temp.data(), target, shown,
                                              exists && backup == Backup::kKeepPrevious);
  return Status::Ok();
}

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat st;
  return ::stat(cp1252::ToUtf8(path).c_str(), &st) == 0;
}

bool PosixFileSystem::CreateDirectories(const std::string& path) {
  const std::string native = cp1252::ToUtf8(path);
  for (size_t slash = native.find('/', 1);; slash = native.find('/', slash + 1)) {
    const std::string prefix = native.substr(0, slash);
    if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st;
  return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class MemoryFileSystem::File : public WritableFile {
 public:
  File(MemoryFileSystem* fs, std::string path, Backup backup)
      : fs_(fs), path_(std::move(path)), backup_(backup) {}
  Status Append(std::string_view data) override {
    if (status_.ok() && fs_->unappendable_.count(path_)) {
      status_ = Status::FromErrno(path_, "cannot write", ENOSPC);
    }
    if (status_.ok()) data_.append(data);
    return status_;
  }
  Status Commit() override {
    if (status_.ok() && fs_->uncommittable_.count(path_)) {
      status_ = Status::FromErrno(path_, "cannot replace the file", EIO);
    }
    if (!status_.ok()) return status_;
    auto old = fs_->files_.find(path_);
    if (backup_ == Backup::kKeepPrevious && old != fs_->files_.end()) {
      fs_->files_[path_ + ".bak"] = old->second;
    }
    fs_->files_[path_] = data_;
    ++fs_->commits_;
    return status_;
  }

 private:
  MemoryFileSystem* fs_;
  std::string path_, data_;
  Backup backup_;
  Status status_;
};

Status MemoryFileSystem::Read(const std::string& path, std::string* contents) {
  contents->clear();
  auto it = files_.find(path);
  if (unreadable_.count(path)) return Status::FromErrno(path, "cannot read", EACCES);
  if (it == files_.end()) return Status::FromErrno(path, "cannot read", ENOENT);
  *contents = it->second;
  return Status::Ok();
}

Status MemoryFileSystem::NewWritableFile(const std::string& path, Backup backup,
                                         std::unique_ptr<WritableFile>* file) {
  file->reset();
  if (path.empty()) return Status::FromErrno(path, "cannot write", ENOENT);
  if (unwritable_.count(path)) return Status::FromErrno(path, "cannot write", EACCES);
  *file = std::make_unique<File>(this, path, backup);
  return Status::Ok();
}

bool MemoryFileSystem::FileExists(const std::string& path) {
  if (files_.count(path) || folders_.count(path)) return true;
  auto it = files_.lower_bound(path + "/");
  return it != files_.end() && it->first.compare(0, path.size() + 1, path + "/") == 0;
}

bool MemoryFileSystem::CreateDirectories(const std::string& path) {
  folders_.insert(path);
  return true;
}

Status OverlayFileSystem::Read(const std::string& path, std::string* contents) {
  if (written_.files().count(path)) return written_.Read(path, contents);
  return base_.Read(path, contents);
}

}  // namespace tarvex
