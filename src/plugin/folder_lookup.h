// Finding folders of the mail client by name.
#ifndef TARVEX_PLUGIN_FOLDER_LOOKUP_H_
#define TARVEX_PLUGIN_FOLDER_LOOKUP_H_

#include <string>
#include <vector>

#include "host/host.h"
#include "ui/user_interface.h"

namespace tarvex {

// The store folder at the top of the tree, which holds no mail of its own.
inline constexpr char kStoreFolderName[] = "Local Folders";

// The first folder of the manager's walk whose name is exactly name (byte for
// byte, case counts); null when there is none. Host errors reach the caller.
HostRef<HostFolder> FindFolderByName(HostFolderManager& manager, const std::string& name);

// Appends the name of every folder of the walk except the store folder
// "Local Folders" to names, keeping what names already holds and any
// duplicates. A failing walk (a null manager or names counts as the
// invalid-pointer error) is shown with ReportHostError and ends the walk; the
// names appended until then stay. Always true.
bool ListFolderNames(HostFolderManager* manager, std::vector<std::string>* names,
                     UserInterface& ui);

}  // namespace tarvex

#endif  // TARVEX_PLUGIN_FOLDER_LOOKUP_H_
