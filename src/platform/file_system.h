// Whole-file access for the system's own files (word database, ignore words,
// sender lists, settings). Files are read whole and written whole: a write goes
// to a new file that replaces the old one only when it is complete, so a crash
// or a full disk never leaves a half-written file behind.
//
// Replacing a file must not change what the user set up around it: a symbolic
// link keeps pointing at its target, which is the file replaced; the new file
// gets the old one's permissions (and owner, where the system allows); and a
// file that the user cannot write, or that is not a plain file, is never
// replaced behind the user's back.
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

#include "platform/status.h"

namespace tarvex {

// What becomes of the file that a write replaces.
enum class Backup {
  kNone,
  // It stays beside the new one as "<path>.bak", so that one bad write is
  // never the only copy. A backup that cannot be made does not stop the write.
  kKeepPrevious,
};

// A file being written. Nothing is visible at the path until Commit succeeds;
// destroying an uncommitted file discards it.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // After a failed append the file can no longer be committed.
  virtual Status Append(std::string_view data) = 0;
  // Replaces the file at the path with what was appended. On failure the old
  // file, if any, is untouched.
  virtual Status Commit() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Reads the whole file. The status tells a missing file (IsNotFound) from
  // one that is there but cannot be read.
  virtual Status Read(const std::string& path, std::string* contents) = 0;
  // The same, for callers to whom the reason does not matter.
  bool ReadFile(const std::string& path, std::string* contents) {
    return Read(path, contents).ok();
  }
  // Starts writing the file at path; *file stays null on failure, also when
  // a file is there that cannot be written or is not a plain file.
  virtual Status NewWritableFile(const std::string& path, Backup backup,
                                 std::unique_ptr<WritableFile>* file) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Creates the folder and its missing parents. True when it exists afterwards.
  virtual bool CreateDirectories(const std::string& path) = 0;
};

// Writes data as the whole new content of path.
Status WriteWholeFile(FileSystem& fs, const std::string& path, std::string_view data,
                      Backup backup = Backup::kNone);

// The real file system. Paths are converted to UTF-8, and so are the paths
// in the messages of what it returns.
class PosixFileSystem : public FileSystem {
 public:
  Status Read(const std::string& path, std::string* contents) override;
  Status NewWritableFile(const std::string& path, Backup backup,
                         std::unique_ptr<WritableFile>* file) override;
  bool FileExists(const std::string& path) override;
  bool CreateDirectories(const std::string& path) override;
};

// Files held in memory, for tests. Paths can be made to fail at each step of
// reading or writing; a folder exists when it was created or holds a file.
class MemoryFileSystem : public FileSystem {
 public:
  Status Read(const std::string& path, std::string* contents) override;
  Status NewWritableFile(const std::string& path, Backup backup,
                         std::unique_ptr<WritableFile>* file) override;
  bool FileExists(const std::string& path) override;
  bool CreateDirectories(const std::string& path) override;

  // Reading fails as if the file were there but unreadable.
  void FailReads(const std::string& path) { unreadable_.insert(path); }
  // Opening for writing fails (a read-only file or folder).
  void FailWrites(const std::string& path) { unwritable_.insert(path); }
  // Appending fails (a full disk).
  void FailAppends(const std::string& path) { unappendable_.insert(path); }
  // The final replacement fails.
  void FailCommits(const std::string& path) { uncommittable_.insert(path); }
  void Heal() {
    unreadable_.clear(), unwritable_.clear(), unappendable_.clear(), uncommittable_.clear();
  }

  // Direct access for test set-up and checks.
  std::map<std::string, std::string>& files() { return files_; }
  int commits() const { return commits_; }

 private:
  class File;
  std::map<std::string, std::string> files_;
  std::set<std::string> folders_;
  std::set<std::string> unreadable_, unwritable_, unappendable_, uncommittable_;
  int commits_ = 0;
};

// Reads through to another file system but keeps every write in memory, so a
// run can use real files without changing any of them.
class OverlayFileSystem : public FileSystem {
 public:
  explicit OverlayFileSystem(FileSystem& base) : base_(base) {}
  Status Read(const std::string& path, std::string* contents) override;
  Status NewWritableFile(const std::string& path, Backup backup,
                         std::unique_ptr<WritableFile>* file) override {
    return written_.NewWritableFile(path, backup, file);
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
