// Whole-file access for the system's own files (word database, ignore words,
// settings). Files are read whole and written whole: a write goes to a new file
// that replaces the old one only when it is complete, so a crash or a full disk
// never leaves a half-written file behind.
//
// Paths are texts of the system (Windows-1252); an implementation converts them
// to whatever its storage needs.
#ifndef TARVEX_PLATFORM_FILE_SYSTEM_H_
#define TARVEX_PLATFORM_FILE_SYSTEM_H_

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

namespace tarvex {

// A file being written. Nothing is visible at the path until Commit succeeds;
// destroying an uncommitted file discards it.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual bool Append(std::string_view data) = 0;
  // Replaces the file at the path with what was appended. False when that failed;
  // the old file, if any, is then untouched.
  virtual bool Commit() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Reads the whole file. False when it cannot be opened or read.
  virtual bool ReadFile(const std::string& path, std::string* contents) = 0;
  // Starts writing the file at path. Null when it cannot be created.
  virtual std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Creates the folder and its missing parents. True when it exists afterwards.
  virtual bool CreateDirectories(const std::string& path) = 0;
};

// Writes data as the whole new content of path.
bool WriteWholeFile(FileSystem& fs, const std::string& path, std::string_view data);

// The real file system. Paths are converted to UTF-8.
class PosixFileSystem : public FileSystem {
 public:
  bool ReadFile(const std::string& path, std::string* contents) override;
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool CreateDirectories(const std::string& path) override;
};

// Files held in memory, for tests. Paths can be made to fail on reading or
// writing; a folder exists when it was created or holds a file.
class MemoryFileSystem : public FileSystem {
 public:
  bool ReadFile(const std::string& path, std::string* contents) override;
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool CreateDirectories(const std::string& path) override;

  void FailReads(const std::string& path) { unreadable_.insert(path); }
  void FailWrites(const std::string& path) { unwritable_.insert(path); }
  void FailCommits(const std::string& path) { uncommittable_.insert(path); }
  void Heal() { unreadable_.clear(), unwritable_.clear(), uncommittable_.clear(); }

  // Direct access for test set-up and checks.
  std::map<std::string, std::string>& files() { return files_; }
  int commits() const { return commits_; }

 private:
  class File;
  std::map<std::string, std::string> files_;
  std::set<std::string> folders_;
  std::set<std::string> unreadable_, unwritable_, uncommittable_;
  int commits_ = 0;
};

// Reads through to another file system but keeps every write in memory, so a
// run can use real files without changing any of them.
class OverlayFileSystem : public FileSystem {
 public:
  explicit OverlayFileSystem(FileSystem& base) : base_(base) {}
  bool ReadFile(const std::string& path, std::string* contents) override;
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    return written_.NewWritableFile(path);
  }
  bool FileExists(const std::string& path) override {
    return written_.files().count(path) || base_.FileExists(path);
  }
  bool CreateDirectories(const std::string&) override { return true; }

  // What was written instead of changing the real files.
  MemoryFileSystem& written() { return written_; }

 private:
  FileSystem& base_;
  MemoryFileSystem written_;
};

}  // namespace tarvex

#endif  // TARVEX_PLATFORM_FILE_SYSTEM_H_
