// The file operations a Maildir store is changed with. Every change to a
// message is a rename (atomic in POSIX); new content is written in full to
// a file of tmp/ and flushed before it is renamed into place. Functions
// return 0 on success, else the errno value (or kNotRegularFile).
#ifndef TARVEX_HOST_MAILDIR_MAILDIR_FILES_H_
#define TARVEX_HOST_MAILDIR_MAILDIR_FILES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex::maildir {

// What a message file that is not a regular file (a symbolic link, a FIFO,
// a device, a folder, a socket) fails to be read with: reading it could
// follow a link out of the Maildir or wait forever.
inline constexpr int kNotRegularFile = 0x10000;

// The reason for an error these functions return, as strerror gives it.
std::string ErrorText(int error);

// Why the file at path is not a message file ("a symbolic link", "a FIFO",
// ...); empty for a regular file, or when there is nothing there. Does not
// follow a link.
std::string NonMessageKind(const std::string& path);

// What tells one version of a file from another: a rewrite is a new inode.
// The mode (permission bits) and owner are carried along, not compared.
struct FileIdentity {
  uint64_t device = 0, inode = 0, size = 0;
  int64_t modified_ns = 0;
  uint32_t mode = 0, owner = 0, group = 0;
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified_ns == o.modified_ns;
  }
  bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};

int Identify(const std::string& path, FileIdentity* identity);
bool IsDirectory(const std::string& path);
bool Exists(const std::string& path);

// Message files are read only when they are regular files, opened without
// following a link and without waiting (a FIFO put in their place cannot
// block): kNotRegularFile otherwise.
// The whole file, and the identity of what was read.
int ReadFile(const std::string& path, std::string* contents, FileIdentity* identity = nullptr);
// The file's start, up to and including its first empty line (or the whole
// file when it has none), stopping once it holds limit bytes: enough for its
// header block without reading a large body. Only a regular file is read,
// and opening never waits.
int ReadHead(const std::string& path, std::string* head, FileIdentity* identity = nullptr,
             size_t limit = SIZE_MAX);

// The names in a directory, "." and ".." left out, in no order.
int ListDirectory(const std::string& path, std::vector<std::string>* names);

// Creates a file that must not exist yet, writes data and flushes it to the
// disk before closing.
int WriteNewFile(const std::string& path, std::string_view data);
// Creates a file that must not exist yet from a new head and the rest of
// source after its first skip bytes, with source's mode (and, where allowed,
// its owner), flushed to the disk: a rewritten message, without holding its
// body in memory. ESTALE when source is no longer the file of identity.
int WriteNewFileFrom(const std::string& path, std::string_view head, const std::string& source,
                     uint64_t skip, const FileIdentity& identity);

// Renames from to to, failing with EEXIST rather than replacing a file at to.
int RenameNoReplace(const std::string& from, const std::string& to);
// Swaps two files in one atomic step; both must exist (ENOENT otherwise).
// EINVAL when the file system cannot.
int ExchangeFiles(const std::string& a, const std::string& b);
// Renames from over to, replacing what is there.
int RenameOver(const std::string& from, const std::string& to);
// Flushes a directory, so that the renames in it last.
int SyncDirectory(const std::string& path);
int RemoveFile(const std::string& path);
// Creates the directory unless it exists.
int EnsureDirectory(const std::string& path);

// Makes path a Maildir: its tmp/, new/ and cur/ and, for a folder of a
// Maildir++ tree, an empty "maildirfolder" file. What exists is kept. cur/
// comes last, so that a folder cut short is not yet taken for a Maildir.
int MakeMaildir(const std::string& path, bool subfolder);

}  // namespace tarvex::maildir

#endif  // TARVEX_HOST_MAILDIR_MAILDIR_FILES_H_
