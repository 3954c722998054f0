#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/codepage.h"

namespace tarvex {

bool WriteWholeFile(FileSystem& fs, const std::string& path, std::string_view data) {
  std::unique_ptr<WritableFile> file = fs.NewWritableFile(path);
  return file && file->Append(data) && file->Commit();
}

namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Writes into a temporary file beside the target and renames it over the target
// once it is complete and flushed to disk.
class PosixWritableFile : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string temp_path, std::string target)
      : fd_(fd), temp_path_(std::move(temp_path)), target_(std::move(target)) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_path_.c_str());
  }
  bool Append(std::string_view data) override { return ok_ = ok_ && WriteAll(fd_, data); }
  bool Commit() override {
    ok_ = ok_ && ::fsync(fd_) == 0;
    ok_ = ::close(fd_) == 0 && ok_;
    fd_ = -1;
    committed_ = ok_ && ::rename(temp_path_.c_str(), target_.c_str()) == 0;
    return committed_;
  }

 private:
  int fd_;
  std::string temp_path_, target_;
  bool ok_ = true, committed_ = false;
};

}  // namespace

bool PosixFileSystem::ReadFile(const std::string& path, std::string* contents) {
  const int fd = ::open(cp1252::ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  contents->clear();
  if (ok && st.st_size > 0) contents->reserve(static_cast<size_t>(st.st_size));
  char buffer[1 << 16];
  while (ok) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    contents->append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

std::unique_ptr<WritableFile> PosixFileSystem::NewWritableFile(const std::string& path) {
  if (path.empty()) return nullptr;
  const std::string target = cp1252::ToUtf8(path);
  std::vector<char> temp(target.begin(), target.end());
  for (char c : std::string_view(".tmp-XXXXXX")) temp.push_back(c);
  temp.push_back('\0');
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixWritableFile>(fd, temp.data(), target);
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
  File(MemoryFileSystem* fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  bool Append(std::string_view data) override {
    data_.append(data);
    return true;
  }
  bool Commit() override {
    if (fs_->uncommittable_.count(path_)) return false;
    fs_->files_[path_] = data_;
    ++fs_->commits_;
    return true;
  }

 private:
  MemoryFileSystem* fs_;
  std::string path_, data_;
};

bool MemoryFileSystem::ReadFile(const std::string& path, std::string* contents) {
  auto it = files_.find(path);
  if (it == files_.end() || unreadable_.count(path)) return false;
  *contents = it->second;
  return true;
}

std::unique_ptr<WritableFile> MemoryFileSystem::NewWritableFile(const std::string& path) {
  if (path.empty() || unwritable_.count(path)) return nullptr;
  return std::make_unique<File>(this, path);
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

bool OverlayFileSystem::ReadFile(const std::string& path, std::string* contents) {
  if (written_.files().count(path)) return written_.ReadFile(path, contents);
  return base_.ReadFile(path, contents);
}

}  // namespace tarvex
