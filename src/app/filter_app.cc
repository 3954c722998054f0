#include "app/filter_app.h"

#include "host/host_error_report.h"

namespace tarvex {

FilterApp::FilterApp(const AppServices& services)
    : services_(services),
      settings_(services.settings),
      bayesFilter_(services.clock, services.fs, services.ui) {}

FilterApp::~FilterApp() = default;

bool FilterApp::InitInstance() {
  LoadBlacklist(services_.fs, settings_, &lists_.blacklistAddresses, &lists_.blacklistDomains);
  LoadWhitelist(services_.fs, settings_, &lists_.whitelistAddresses, &lists_.whitelistDomains);
  bayesFilter_.LoadAtStartup(settings_);
  folderManager_ = services_.host.CreateFolderManager();
  return true;
}

int FilterApp::ExitInstance() {
  folderManager_.reset();
  return 0;
}

void FilterApp::ClassifyNewMessage(int32_t messageId, FolderWatcher& watcher) {
  Classify(messageId, watcher.folder());
}

ClassifyResult FilterApp::Classify(int32_t messageId, HostFolder& folder) {
  if (!folderManager_) {
    ReportHostError(services_.ui, HostError(status::kInvalidPointer, ""));
    return {};
  }
  ClassifierContext context{bayesFilter_, lists_, settings_, services_.ui, *folderManager_};
  return ClassifyMessage(context, folder, messageId);
}

}  // namespace tarvex
