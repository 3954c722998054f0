#include "plugin/folder_lookup.h"

#include "plugin/host_error_report.h"

namespace tarvex {

HostRef<HostFolder> FindFolderByName(HostFolderManager& manager, const std::string& name) {
  for (HostRef<HostFolder> folder = manager.GetFirstFolder(); folder;
       folder = manager.GetNextFolder()) {
    if (folder->GetName() == name) return folder;
  }
  return nullptr;
}

bool ListFolderNames(HostFolderManager* manager, std::vector<std::string>* names,
                     UserInterface& ui) {
  try {
    if (!manager || !names) throw HostError(status::kInvalidPointer, "");
    for (HostRef<HostFolder> folder = manager->GetFirstFolder(); folder;
         folder = manager->GetNextFolder()) {
      std::string name = folder->GetName();
      if (name != kStoreFolderName) names->push_back(std::move(name));
    }
  } catch (const HostError& error) {
    ReportHostError(ui, error);
  }
  return true;
}

}  // namespace tarvex
