#include "desktop/client_commands.h"

#include "app/addresses.h"
#include "settings/filter_settings.h"
#include "settings/settings_store.h"
#include "ui/about_dialog.h"
#include "ui/folder_dialogs.h"
#include "ui/list_dialogs.h"
#include "ui/settings_dialog.h"

namespace tarvex::desktop {
namespace {

std::vector<MessageRef> Refs(const WindowSelection& at) {
  std::vector<MessageRef> refs;
  for (int32_t id : at.messages) {
    MessageRef ref;
    ref.folder = at.folder;
    ref.message = id;
    refs.push_back(ref);
  }
  return refs;
}

}  // namespace

ClientCommands::ClientCommands(Operations& ops, UserInterface& ui,
                               std::function<WindowSelection()> selection)
    : ops_(ops),
      ui_(ui),
      selection_(std::move(selection)),
      dropDown_(ui, MenuResource, [this](uint32_t command) { Run(command); }) {}

void ClientCommands::Attach(ToolbarControl& toolbar) {
  dropDown_.Attach(&toolbar);
  FillToolbar(toolbar, *this, images_);
  dropDown_.SetDropDownMenu(command::kSettingsMenu, kSettingsMenuResource);
}

int ClientCommands::OnToolbarDropDown(uint32_t command) {
  dropDown_.ShowDropDownMenu(command);
  return 0;
}

bool ClientCommands::Done(const Status& status) {
  if (status.ok()) return true;
  ui_.MessageBox(status.message(), kDialogBoxCaption, mb::kOk | mb::kIconError);
  return false;
}

// The same table as the plug-in's; the settings menu's own button only
// opens its menu.
void ClientCommands::Run(uint32_t command) {
  switch (command) {
    case command::kMarkSpam:
      return MarkSpam(selection_());
    case command::kNotSpam:
      return NotSpam(selection_());
    case command::kBlackList:
      return OpenList(ListId::Blacklist);
    case command::kWhiteList:
      return OpenList(ListId::Whitelist);
    case command::kTrainFilter:
      return Train();
    case command::kMailHeaders:
      return ShowMailHeaders(selection_());
    case command::kSettings:
      return OpenSettingsDialog(ui_, ops_);
    case command::kSupport:
      return ui_.OpenAddress(SupportAddress());
    case command::kHelp:
      return ui_.OpenAddress(HelpAddress());
    case command::kAbout: {
      AboutDialog about;
      ui_.RunModal(about);
      return;
    }
    default:
      return;
  }
}

void ClientCommands::MarkSpam(const WindowSelection& at) {
  if (at.messages.empty()) return;
  std::vector<std::string> now;
  Done(ops_.MarkSpam(Refs(at), &now));
}

void ClientCommands::NotSpam(const WindowSelection& at) {
  if (at.messages.empty()) return;
  // Messages leaving the spam folder go where the settings say; when they
  // name no folder, the user picks one here, and the daemon remembers it
  // when asked to.
  Destination destination;
  SettingValue named;
  if (at.folderName == kSpamFolderName &&
      Done(ops_.GetSetting(setting::kNotSpamFolderName.name, &named)) && named.text.empty()) {
    std::vector<std::string> folders;
    if (!Done(ops_.FolderNames(&folders))) return;
    MemorySettingsStore scratch;
    FilterSettings choice(scratch);
    DestinationFolderDialog dialog(folders, choice);
    if (ui_.RunModal(dialog) == kIdOk) {
      destination.folder = folders[static_cast<size_t>(dialog.selectedIndex)];
      destination.remember = dialog.dontShowAgain;
    }
  }
  NotSpamReport report;
  Done(ops_.NotSpam(Refs(at), destination, &report));
}

void ClientCommands::Train() {
  TrainingDialog dialog(ui_);
  if (!Done(ops_.FolderNames(&dialog.allFolders))) return;
  if (ui_.RunModal(dialog) != kIdOk) return;
  TrainingReport report;
  Done(ops_.Train(dialog.spamFolders, dialog.goodFolders, dialog.emptyFirst, onProgress, &report));
}

void ClientCommands::ShowMailHeaders(const WindowSelection& at) {
  if (at.messages.size() != 1) return;
  MessageRef ref;
  ref.folder = at.folder;
  ref.message = at.messages[0];
  RawHeadersDialog dialog;
  if (!Done(ops_.RawHeaders(ref, &dialog.rawHeaderText))) return;
  ui_.RunModal(dialog);
}

void ClientCommands::OpenList(ListId list) {
  // The daemon keeps the lists: the dialog starts from what it holds (an
  // unreadable file as empty, as the dialog itself reads it).
  std::vector<std::string> addresses, domains;
  ops_.ListEntries(list, EntryKind::Address, &addresses);
  ops_.ListEntries(list, EntryKind::Domain, &domains);
  OpenListDialog(ui_, ops_, list, addresses, domains);
}

}  // namespace tarvex::desktop
