#include "app/filter_app.h"

#include "app/addresses.h"
#include "plugin/host_error_report.h"
#include "ui/about_dialog.h"
#include "ui/list_dialogs.h"
#include "ui/save_failure.h"
#include "ui/settings_dialog.h"

namespace tarvex {

void InitializePlugin() {}

FilterApp::FilterApp(const AppServices& services)
    : services_(services),
      settings_(services.settings),
      bayesFilter_(services.clock, services.fs) {}

// The controller goes first: it must not outlive the filter it serves. The
// filter's last save is the user's to hear about, as every other.
FilterApp::~FilterApp() {
  controller_.reset();
  ReportSaveFailure(services_.ui, bayesFilter_.Close(), bayesFilter_.databasePath());
}

bool FilterApp::InitInstance() {
  LoadSenderLists(services_.fs, settings_, &lists_);
  bayesFilter_.LoadAtStartup(settings_);
  try {
    controller_ = std::make_unique<PluginController>(services_.host, services_.ui, services_.loop);
    controller_->Start(this);
  } catch (const HostError& error) {
    controller_.reset();
    ReportHostError(services_.ui, error);
  }
  return true;
}

std::vector<Status> FilterApp::CheckLists() {
  std::vector<Status> problems;
  for (ListId list : {ListId::Blacklist, ListId::Whitelist}) {
    Status status = CheckList(services_.fs, settings_, list);
    if (!status.ok()) problems.push_back(std::move(status));
  }
  return problems;
}

int FilterApp::ExitInstance() {
  if (controller_) {
    controller_->Stop();
    controller_.reset();
  }
  return 0;
}

void FilterApp::ClassifyNewMessage(int32_t messageId, FolderWatcher& watcher) {
  const ClassifyResult result = Classify(messageId, watcher.folder());
  if (observer_) observer_(result, messageId, watcher);
}

ClassifyResult FilterApp::Classify(int32_t messageId, HostFolder& folder) {
  HostFolderManager* manager = controller_ ? controller_->folderManager() : nullptr;
  if (!manager) {
    ReportHostError(services_.ui, HostError(status::kInvalidPointer, ""));
    return {};
  }
  ClassifierContext context{bayesFilter_, lists_,   settings_,
                            services_.ui, *manager, controller_->spamFolder()};
  return ClassifyMessage(context, folder, messageId);
}

StoreSession& FilterApp::Owner::Session() {
  // The dialogs work on folders and lists; messages come from the host's
  // selection, not by name.
  throw OperationFailure(Status::Failure(0, "no store to find messages in"));
}

UserCommandContext FilterApp::Commands() {
  return {*controller_, bayesFilter_, settings_, services_.ui,
          trainingProgress_ ? &trainingProgress_ : nullptr};
}

// The command table of the hidden window. The settings menu's own button
// (kSettingsMenu) only opens its menu and has no command.
void FilterApp::OnCommand(uint32_t id) {
  if (!controller_) return;
  switch (id) {
    case command::kMarkSpam:
      return MarkSpam();
    case command::kNotSpam:
      return NotSpam();
    case command::kBlackList:
      return OpenBlacklistDialog();
    case command::kWhiteList:
      return OpenWhitelistDialog();
    case command::kTrainFilter:
      return OpenTrainingDialog();
    case command::kMailHeaders:
      return ShowMailHeaders();
    case command::kSettings:
      return OpenSettingsDialog();
    case command::kSupport:
      return services_.ui.OpenAddress(SupportAddress());
    case command::kHelp:
      return services_.ui.OpenAddress(HelpAddress());
    case command::kAbout: {
      AboutDialog about;
      services_.ui.RunModal(about);
      return;
    }
    default:
      return;
  }
}

void FilterApp::OpenBlacklistDialog() {
  OpenListDialog(services_.ui, operations_, ListId::Blacklist, lists_.blacklistAddresses,
                 lists_.blacklistDomains);
}

void FilterApp::OpenWhitelistDialog() {
  OpenListDialog(services_.ui, operations_, ListId::Whitelist, lists_.whitelistAddresses,
                 lists_.whitelistDomains);
}

void FilterApp::OpenSettingsDialog() { tarvex::OpenSettingsDialog(services_.ui, operations_); }

void FilterApp::MarkSpam() {
  UserCommandContext c = Commands();
  tarvex::MarkSpam(c);
}

void FilterApp::NotSpam() {
  UserCommandContext c = Commands();
  tarvex::NotSpam(c);
}

void FilterApp::NotSpam(const std::vector<int32_t>& ids, const DestinationPicker& pick) {
  if (!controller_) return;
  UserCommandContext c = Commands();
  tarvex::NotSpam(c, ids, pick);
}

std::optional<std::string> FilterApp::RawHeaders(int32_t folderId, int32_t messageId) {
  if (!controller_) return std::nullopt;
  UserCommandContext c = Commands();
  return tarvex::RawHeaders(c, folderId, messageId);
}

void FilterApp::ShowMailHeaders() {
  UserCommandContext c = Commands();
  tarvex::ShowMailHeaders(c);
}

void FilterApp::OpenTrainingDialog() {
  UserCommandContext c = Commands();
  tarvex::OpenTrainingDialog(c);
}

void FilterApp::TrainFromFolders(const std::vector<std::string>& spamFolders,
                                 const std::vector<std::string>& goodFolders, bool emptyFirst) {
  if (!controller_) return;
  UserCommandContext c = Commands();
  tarvex::TrainFromFolders(c, spamFolders, goodFolders, emptyFirst);
}

}  // namespace tarvex
