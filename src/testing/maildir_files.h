// Real Maildir trees in temporary folders, for the tests of the Maildir host.
#ifndef TARVEX_TESTING_MAILDIR_FILES_H_
#define TARVEX_TESTING_MAILDIR_FILES_H_

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/maildir/maildir_host.h"
#include "testing/temp_folder.h"

namespace tarvex::maildir_test {

namespace fs = std::filesystem;

// A fresh Maildir (tmp/, new/, cur/) removed with everything in it at the end.
class TempMaildir {
 public:
  TempMaildir() { MakeFolder(""); }
  TempMaildir(const TempMaildir&) = delete;
  TempMaildir& operator=(const TempMaildir&) = delete;

  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const {
    return relative.empty() ? root_ : root_ + "/" + relative;
  }

  // Makes the folder directory dir ("" the root, ".Name" a folder) a Maildir.
  void MakeFolder(const std::string& dir) const {
    for (const char* sub : {"tmp", "new", "cur"}) fs::create_directories(Path(dir) + "/" + sub);
  }

  // Writes a file as another program would: straight to its place.
  void Write(const std::string& relative, const std::string& contents) const {
    std::ofstream out(Path(relative), std::ios::binary);
    out << contents;
    if (!out) throw std::runtime_error("cannot write " + relative);
  }

  // Delivers a message into dir's new/ as a delivery agent does (tmp/, then
  // renamed); returns the file name.
  std::string Deliver(const std::string& dir, const std::string& contents) const {
    // Numbered so that the names sort in the order of delivery.
    static int count = 0;
    char name_buffer[64];
    std::snprintf(name_buffer, sizeof name_buffer, "1700000000.M%06dP1.test", ++count);
    const std::string name = name_buffer;
    MakeFolder(dir);
    const std::string folder = dir.empty() ? "" : dir + "/";
    Write(folder + "tmp/" + name, contents);
    fs::rename(Path(folder + "tmp/" + name), Path(folder + "new/" + name));
    return name;
  }

  // The file names in a directory, sorted.
  std::vector<std::string> Files(const std::string& relative) const {
    return FilesIn(Path(relative));
  }
  static std::vector<std::string> FilesIn(const std::string& directory) {
    std::vector<std::string> names;
    if (!fs::exists(directory)) return names;
    for (const auto& entry : fs::directory_iterator(directory)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  testing::TempFolder temp_{"tarvex-maildir"};
  const std::string root_ = temp_.path();
};

// Calls back for every "OnNewMessage" of the folder it is advised to.
struct NewMessageSink : HostEventSink {
  HostStatus Invoke(const HostEvent& event, std::string*) override {
    if (event.number == event::kOnNewMessage)
      on_new(static_cast<int32_t>(event.arguments[0].integer));
    return status::kOk;
  }
  std::function<void(int32_t)> on_new;
};

// The host's options with two marks of judged mail, as the application gives
// it the plug-in's verdict headers; the store knows no names of its own.
inline MaildirHost::Options WithJudgedMarks() {
  MaildirHost::Options options;
  options.judged_marks = {"X-Verdict", "X-User-Verdict"};
  return options;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tarvex::maildir_test

#endif  // TARVEX_TESTING_MAILDIR_FILES_H_
