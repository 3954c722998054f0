#include "host/maildir/announced_state.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>

#include "host/maildir/maildir_files.h"

namespace tarvex::maildir {
namespace {

constexpr char kEnd = '\0';

// Makes every missing folder on the way to the file, private to the user as
// the state folder should be.
int EnsureFoldersOf(const std::string& file) {
  const std::filesystem::path parent = std::filesystem::path(file).parent_path();
  std::filesystem::path made;
  for (const std::filesystem::path& level : parent) {
    made /= level;
    if (const int error = EnsureDirectory(made.string())) return error;
  }
  return 0;
}

}  // namespace

AnnouncedState::AnnouncedState(std::string path) : path_(std::move(path)) {}

int AnnouncedState::Load() {
  names_.clear();
  changed_ = false;
  if (path_.empty()) return 0;
  std::ifstream in(path_, std::ios::binary);
  if (!in) return errno == ENOENT ? 0 : (errno ? errno : EIO);
  std::string data(kMaxFileSize, '\0');
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<size_t>(in.gcount()));
  // A record cut short by the cap (or by anything else) is left out.
  for (size_t at = 0, end; (end = data.find(kEnd, at)) != std::string::npos; at = end + 1) {
    const std::string record = data.substr(at, end - at);
    const size_t slash = record.find('/');
    if (slash == std::string::npos || slash + 1 == record.size()) continue;
    names_.emplace(record.substr(0, slash), record.substr(slash + 1));
  }
  return 0;
}

bool AnnouncedState::Contains(const std::string& folder, const std::string& unique) const {
  return names_.count({folder, unique}) != 0;
}

void AnnouncedState::Add(const std::string& folder, const std::string& unique) {
  changed_ |= names_.emplace(folder, unique).second;
}

void AnnouncedState::Remove(const std::string& folder, const std::string& unique) {
  changed_ |= names_.erase({folder, unique}) != 0;
}

void AnnouncedState::Retain(
    const std::function<bool(const std::string& folder, const std::string& unique)>& keep) {
  for (auto it = names_.begin(); it != names_.end();) {
    if (keep(it->first, it->second)) {
      ++it;
    } else {
      it = names_.erase(it);
      changed_ = true;
    }
  }
}

int AnnouncedState::Save() {
  if (path_.empty() || !changed_) return 0;
  std::string data;
  for (const auto& [folder, unique] : names_) {
    data += folder + "/" + unique;
    data += kEnd;
  }
  const std::string temp = path_ + ".new";
  if (const int error = EnsureFoldersOf(path_)) return error;
  RemoveFile(temp);  // left by a crash
  int error = WriteNewFile(temp, data);
  if (!error) error = RenameOver(temp, path_);
  if (error) {
    RemoveFile(temp);
    return error;
  }
  changed_ = false;
  return SyncDirectory(std::filesystem::path(path_).parent_path().string());
}

std::string AnnouncedStateFile(const std::string& folder, const std::string& root) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::weakly_canonical(root, error);
  if (error) absolute = std::filesystem::absolute(root, error).lexically_normal();
  if (!absolute.has_filename()) absolute = absolute.parent_path();  // a trailing "/"
  // FNV-1a: short, stable from one build to the next, spread well enough for
  // the few Maildirs of one user.
  uint64_t hash = 0xcbf29ce484222325;
  for (unsigned char c : absolute.string()) hash = (hash ^ c) * 0x100000001b3;
  char name[40];
  std::snprintf(name, sizeof name, "announced-%016llx", static_cast<unsigned long long>(hash));
  return folder + "/" + name;
}

}  // namespace tarvex::maildir
