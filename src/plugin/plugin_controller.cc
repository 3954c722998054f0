#include "plugin/plugin_controller.h"

#include "plugin/folder_lookup.h"
#include "plugin/host_error_report.h"
#include "plugin/message_actions.h"
#include "ui/plugin_toolbar.h"

namespace tarvex {
namespace {

// Folders whose new mail is never classified, in the order they are tested.
constexpr const char* kReservedFolders[] = {
    kStoreFolderName, "Inbox", "Outbox", "Drafts", "Deleted Items", "Sent Items", kSpamFolderName};

bool IsReserved(const std::string& name) {
  for (const char* reserved : kReservedFolders) {
    if (name == reserved) return true;
  }
  return false;
}

// Event sets that are received but do nothing, by event number and argument count.
std::vector<EventBinding> Ignored(std::initializer_list<size_t> argumentCounts) {
  std::vector<EventBinding> events;
  int32_t number = 1;
  for (size_t arguments : argumentCounts) events.push_back({number++, arguments, nullptr});
  return events;
}

// The api's twelve events: folder and message selection, the current message,
// downloads, the outbox, message windows, toolbar buttons and menu items.
std::vector<EventBinding> ApiEvents() { return Ignored({1, 0, 1, 0, 0, 1, 1, 2, 1, 3, 2, 3}); }
std::vector<EventBinding> FolderManagerEvents() { return Ignored({1, 1, 1, 1, 1, 2}); }
std::vector<EventBinding> ToolbarEvents() { return Ignored({1, 2}); }

template <typename T>
T* Held(const HostRef<Subscription>& subscription) {
  return static_cast<T*>(subscription->object());
}

}  // namespace

PluginController::PluginController(HostLibrary& library, UserInterface& ui, EventLoop& loop)
    : MessageWindow(loop),
      library_(library),
      ui_(ui),
      dropDown_(ui, MenuResource, [this](uint32_t command) { PostCommand(command); }) {
  startup_ = Subscription::Create(
      library, {{event::kOnInitOEAPI, 0, [this](const auto&) { OnHostInitialized(); }},
                {event::kOnShutdownOEAPI, 0, [this](const auto&) { OnHostShutdown(); }}});
  api_ = Subscription::Create(library, ApiEvents());
  folderManager_ = Subscription::Create(library, FolderManagerEvents());
  toolbar_ = Subscription::Create(library, ToolbarEvents());
  try {
    startup_->Attach(library.CreateInit());
    folderManager_->Attach(library.CreateFolderManager());
  } catch (const HostError&) {
    ReleaseAll();
    throw;
  }
}

PluginController::~PluginController() {
  OnHostShutdown();
  ReleaseAll();
}

void PluginController::ReleaseAll() {
  for (HostRef<Subscription>* s : {&toolbar_, &folderManager_, &api_, &startup_}) {
    (*s)->Link(false);
    try {
      (*s)->Detach();
    } catch (const HostError&) {
      // Going away: what the host cannot take back is dropped with us.
    }
  }
}

void PluginController::Start(PluginClient* client) {
  client_ = client;
  Create("Tarvex");
  images_ = ToolbarImages();
  for (HostRef<Subscription>* s : {&startup_, &api_, &folderManager_, &toolbar_}) {
    (*s)->Link(true);
  }
}

void PluginController::Stop() {
  dropDown_.Detach();
  SendClose();
  try {
    if (HostToolbar* toolbar = this->toolbar()) toolbar->Remove();
    if (startup_->attached()) {
      startup_->Detach();
      startup_->Link(false);
    }
  } catch (const HostError& error) {
    ReportHostError(ui_, error);
  }
}

// ------------------------------------------------------------------ host events

void PluginController::OnHostInitialized() {
  try {
    ConnectHost();
    EnsureSpamFolder();
  } catch (const HostError& error) {
    ReportHostError(ui_, error);
  }
  try {
    WatchFolders();
  } catch (const HostError& error) {
    ReportHostError(ui_, error);
  }
}

void PluginController::ConnectHost() {
  if (api_->attached()) return;
  api_->Attach(library_.CreateApi());
  HostRef<HostToolbar> toolbar = Required(api())->CreateToolbar();
  toolbar_->Attach(toolbar);
  toolbar->SetToolbarFlag(0);
  SetTimer(kToolbarTimerId, kToolbarTimerPeriodMs);
}

void PluginController::EnsureSpamFolder() { spamFolder_.Ensure(*Required(folderManager())); }

void PluginController::WatchFolders() {
  HostFolderManager& manager = *Required(folderManager());
  Watch(manager.GetInboxFolder());
  for (HostRef<HostFolder> folder = manager.GetFirstFolder(); folder;
       folder = manager.GetNextFolder()) {
    if (!IsReserved(folder->GetName())) Watch(folder);
  }
}

void PluginController::Watch(HostRef<HostFolder> folder) {
  watchedFolders_.push_back(std::make_unique<FolderWatcher>(
      library_, std::move(folder),
      [this](int32_t messageId, FolderWatcher& watcher) { HandleNewMessage(messageId, watcher); }));
}

void PluginController::OnHostShutdown() {
  try {
    while (!watchedFolders_.empty()) {
      watchedFolders_.front()->Detach();
      watchedFolders_.erase(watchedFolders_.begin());
    }
    toolbar_->Detach();
    api_->Detach();
  } catch (const HostError& error) {
    ReportHostError(ui_, error);
  }
}

void PluginController::HandleNewMessage(int32_t messageId, FolderWatcher& watcher) {
  try {
    if (client_) client_->ClassifyNewMessage(messageId, watcher);
  } catch (const HostError& error) {
    ReportHostError(ui_, error);
  }
}

void PluginController::OnTimer(uint32_t id) {
  if (id == kToolbarTimerId) BuildToolbarButtons(id);
}

void PluginController::BuildToolbarButtons(uint32_t timerId) {
  HostToolbar* host = toolbar();
  if (!host) return;
  ToolbarControl* window;
  try {
    window = host->GetWindow();
  } catch (const HostError& error) {
    ReportHostError(ui_, error);
    return;
  }
  if (!window) return;
  KillTimer(timerId);
  dropDown_.Attach(window);
  if (window->ButtonCount() > 0) return;
  FillToolbar(*window, *this, images_);
  dropDown_.SetDropDownMenu(command::kSettingsMenu, kSettingsMenuResource);
}

int PluginController::OnToolbarDropDown(uint32_t command) {
  dropDown_.ShowDropDownMenu(command);
  return 0;
}

void PluginController::OnCommand(uint32_t command) {
  if (client_) client_->OnCommand(command);
}

// ------------------------------------------------------------------ host operations

HostApi* PluginController::api() const { return Held<HostApi>(api_); }
HostFolderManager* PluginController::folderManager() const {
  return Held<HostFolderManager>(folderManager_);
}
HostToolbar* PluginController::toolbar() const { return Held<HostToolbar>(toolbar_); }

std::vector<int32_t> PluginController::GetSelectedMessageIds() {
  std::vector<int32_t> ids;
  try {
    HostApi& api = *Required(this->api());
    for (int32_t id = api.GetFirstSelectedMessageId(); id != -1;
         id = api.GetNextSelectedMessageId()) {
      ids.push_back(id);
    }
  } catch (const HostError& error) {
    ReportHostError(ui_, error);
  }
  return ids;
}

int32_t PluginController::GetCurrentFolderId() { return Required(api())->GetCurrentFolderId(); }

HostRef<HostMessage> PluginController::GetMessageInFolder(int32_t messageId, int32_t folderId) {
  try {
    return Required(folderManager())->GetFolder(folderId)->GetMessage(messageId);
  } catch (const HostError& error) {
    ReportHostError(ui_, error);
    return nullptr;
  }
}

HostRef<HostMessage> PluginController::GetCurrentMessage(int32_t messageId) {
  return Required(GetMessageInFolder(messageId, GetCurrentFolderId()));
}

std::string PluginController::GetLearnHeader(int32_t messageId) {
  HostRef<HostMessage> message = GetCurrentMessage(messageId);
  int32_t found = 0;
  std::string value = message->GetHeaderValue(message->GetRootPart(), "X-TVX-LEARN", &found);
  return found ? value : std::string();
}

void PluginController::SetHeaderById(int32_t messageId, const std::string& name,
                                     const std::string& value) {
  HostRef<HostMessage> message = GetCurrentMessage(messageId);
  message->SetHeaderValue(message->GetRootPart(), name, value);
  message->Commit();
}

int32_t PluginController::FindFolderIdByName(const std::string& name) {
  HostRef<HostFolder> folder = FindFolderByName(*Required(folderManager()), name);
  return Required(folder)->GetId();
}

bool PluginController::ListFolderNames(std::vector<std::string>* names) {
  return tarvex::ListFolderNames(folderManager(), names, ui_);
}

}  // namespace tarvex
