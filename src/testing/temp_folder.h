// A fresh folder under the system's temporary folder for a test's real
// files, removed with everything in it when the object goes.
#ifndef TARVEX_TESTING_TEMP_FOLDER_H_
#define TARVEX_TESTING_TEMP_FOLDER_H_

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace tarvex::testing {

class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "tarvex") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace tarvex::testing

#endif  // TARVEX_TESTING_TEMP_FOLDER_H_
