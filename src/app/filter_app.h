// The application object: owns the Bayesian filter and the sender lists for
// the module's whole life, and the controller that binds it to the mail
// client from instance initialisation to instance exit.
#ifndef TARVEX_APP_FILTER_APP_H_
#define TARVEX_APP_FILTER_APP_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/local_operations.h"
#include "bayes/bayes_filter.h"
#include "lists/sender_lists.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "plugin/new_message.h"
#include "plugin/plugin_controller.h"
#include "plugin/user_commands.h"
#include "settings/filter_settings.h"
#include "ui/plugin_toolbar.h"
#include "ui/user_interface.h"

namespace tarvex {

// Everything the application reaches outside itself.
struct AppServices {
  const Clock& clock;
  FileSystem& fs;
  SettingsStore& settings;
  UserInterface& ui;
  HostLibrary& host;
  EventLoop& loop;
};

// The module's one export; it does nothing: start-up happens in InitInstance.
void InitializePlugin();

class FilterApp : public PluginClient {
 public:
  explicit FilterApp(const AppServices& services);
  ~FilterApp() override;
  FilterApp(const FilterApp&) = delete;
  FilterApp& operator=(const FilterApp&) = delete;

  // Loads the blacklist, the whitelist, the word database and the ignore
  // words, then creates and starts the controller. A host that cannot be
  // reached is reported; the filter then runs without a controller.
  bool InitInstance();
  // Stops and destroys the controller.
  int ExitInstance();

  // PluginClient.
  void ClassifyNewMessage(int32_t messageId, FolderWatcher& watcher) override;
  void OnCommand(uint32_t command) override;

  // Called with what became of each new message the controller handed over.
  using ClassifiedObserver =
      std::function<void(const ClassifyResult&, int32_t messageId, FolderWatcher&)>;
  void SetClassifiedObserver(ClassifiedObserver observer) { observer_ = std::move(observer); }

  // Told how a training run gets on; empty for nothing.
  void SetTrainingProgress(TrainingProgress progress) { trainingProgress_ = std::move(progress); }

  // Classifies a message of folder, telling what happened.
  ClassifyResult Classify(int32_t messageId, HostFolder& folder);

  void MarkSpam();
  void NotSpam();
  void OpenBlacklistDialog();
  void OpenWhitelistDialog();
  void OpenSettingsDialog();
  void ShowMailHeaders();
  void OpenTrainingDialog();
  // The commands with their answers given, whatever is selected; without a
  // controller they do nothing. NotSpam's messages are of the current folder.
  void TrainFromFolders(const std::vector<std::string>& spamFolders,
                        const std::vector<std::string>& goodFolders, bool emptyFirst);
  void NotSpam(const std::vector<int32_t>& ids, const DestinationPicker& pick);
  std::optional<std::string> RawHeaders(int32_t folderId, int32_t messageId);

  // The user's operations, as the dialogs the toolbar opens call them.
  Operations& operations() { return operations_; }

  PluginController* controller() { return controller_.get(); }
  BayesFilter& bayesFilter() { return bayesFilter_; }
  SenderLists& lists() { return lists_; }
  FilterSettings& settings() { return settings_; }
  // Why a sender list would load as empty, for each list whose file is
  // missing or broken. Loading stays silent; this is for whoever can warn.
  std::vector<Status> CheckLists();

 private:
  UserCommandContext Commands();

  // The application as the owner of its dialogs' operations; they work on
  // folders and lists, never on messages by name.
  class Owner : public OperationsOwner {
   public:
    explicit Owner(FilterApp& app) : app_(app) {}
    BayesFilter& Filter() override { return app_.bayesFilter_; }
    const SenderLists& Lists() override { return app_.lists_; }
    SenderLists* HeldLists() override { return &app_.lists_; }
    FileSystem& Files() override { return app_.services_.fs; }
    SettingsStore& Settings() override { return app_.services_.settings; }
    UserInterface& Ui() override { return app_.services_.ui; }
    FilterApp& App() override { return app_; }
    StoreSession& Session() override;
    std::string StoreName() override { return "the mail client"; }

   private:
    FilterApp& app_;
  };

  AppServices services_;
  FilterSettings settings_;
  std::unique_ptr<PluginController> controller_;
  BayesFilter bayesFilter_;
  SenderLists lists_;
  ClassifiedObserver observer_;
  TrainingProgress trainingProgress_;
  Owner owner_{*this};
  LocalOperations operations_{owner_};
};

}  // namespace tarvex

#endif  // TARVEX_APP_FILTER_APP_H_
