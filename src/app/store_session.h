// The application at work on one mail store (a Maildir, an IMAP account):
// the store as the mail client host, the filter application bound to it, and
// a user interface that each request can take over for its length. The
// daemon keeps one for its whole run; a command run without a daemon makes
// one for itself.
#ifndef TARVEX_APP_STORE_SESSION_H_
#define TARVEX_APP_STORE_SESSION_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/filter_app.h"
#include "ops/operations.h"
#include "platform/glib_event_loop.h"
#include "ui/routed_ui.h"

namespace tarvex {

class StoreSession {
 public:
  virtual ~StoreSession() = default;

  // Loads the module (InitInstance) and has the host announce that it is up
  // ("OnInitOEAPI"), so the plug-in connects and watches its folders.
  virtual void Start() = 0;
  // "OnShutdownOEAPI", then ExitInstance. Safe to call twice.
  virtual void Stop() = 0;

  virtual FilterApp& app() = 0;
  virtual RoutedUi& ui() = 0;
  // The store as the log and errors name it.
  virtual std::string StoreName() const = 0;

  // Makes folderId the current folder and messageIds its selection, as the
  // user would before choosing a command.
  virtual void Select(int32_t folderId, const std::vector<int32_t>& messageIds) = 0;
  // Back to the Inbox with nothing selected, as at start.
  virtual void ClearSelection() = 0;

  // ---- the daemon's watch
  // From now on the store tells the plug-in of new mail as the loop runs;
  // what it cannot do, or passes over, goes to notice as one line.
  virtual void Watch(GLibEventLoop& loop, std::function<void(const std::string&)> notice) = 0;
  virtual void Unwatch(GLibEventLoop& loop) = 0;
  // Announces the mail that arrived while nothing watched; how many.
  virtual size_t AnnounceUnjudgedMail() = 0;

  // ---- messages by the names users give them
  // By path or by the store's own name; the message's learn marker is the
  // caller's to read.
  virtual std::optional<MessageRef> FindMessage(const std::string& name) = 0;
  // The store's names of the messages that are the message of text (its
  // Message-ID, and of several its body too).
  virtual std::vector<std::string> FilesOfMessage(std::string_view text) = 0;
  // Where the message the store once named so is now; empty when it is gone.
  virtual std::string WhereIs(const std::string& name) = 0;
  // The folder a user named as the plug-in shows it.
  virtual std::string ShownFolderName(const std::string& name) { return name; }

  // ---- what a mail window shows of the store; a store that offers no
  // window says so
  virtual std::vector<FolderEntry> FolderTree() { throw NoWindow(); }
  virtual std::vector<ListedRef> FolderMessages(int32_t) { throw NoWindow(); }
  virtual std::vector<MessageSummary> MessageSummaries(int32_t, const std::vector<int32_t>&) {
    throw NoWindow();
  }
  virtual std::string MessagePreview(int32_t, int32_t) { throw NoWindow(); }

 private:
  OperationFailure NoWindow() const {
    return OperationFailure(Status::Failure(0, StoreName() + ": no mail window shows this store"));
  }
};

struct SessionServices {
  const Clock& clock;
  FileSystem& fs;
  SettingsStore& settings;
  // What the user sees when no command has taken the interface over.
  UserInterface& idleUi;
  EventLoop& loop;
};

// What every store's session does alike over its host (MaildirHost,
// ImapHost): the application bound to it, its start and stop, the
// selection.
template <typename Host>
class HostSession : public StoreSession {
 public:
  // Stops, then lets the application go, which saves the word database.
  ~HostSession() override { Stop(); }
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  void Start() override {
    if (started_) return;
    started_ = true;
    app_.InitInstance();
    host_.RaiseInit();
  }
  void Stop() override {
    if (!started_) return;
    started_ = false;
    host_.RaiseShutdown();
    app_.ExitInstance();
  }
  FilterApp& app() override { return app_; }
  RoutedUi& ui() override { return ui_; }
  void Select(int32_t folderId, const std::vector<int32_t>& messageIds) override {
    host_.SetCurrentFolder(folderId);
    host_.SetSelection(messageIds);
  }
  void ClearSelection() override { Select(Host::kInboxId, {}); }
  size_t AnnounceUnjudgedMail() override { return host_.AnnounceUnjudgedMail().size(); }

  // The host's folders in the walk order, each under the one before it that
  // is one level up, with its messages counted.
  std::vector<FolderEntry> FolderTree() override {
    std::vector<FolderEntry> folders;
    std::vector<int32_t> parents;  // by depth
    HostRef<HostFolderManager> manager = host_.CreateFolderManager();
    for (HostRef<HostFolder> folder = manager->GetFirstFolder(); folder;
         folder = manager->GetNextFolder()) {
      FolderEntry entry;
      entry.id = folder->GetId();
      entry.name = folder->GetName();
      const size_t depth = FolderDepth(entry.id);
      parents.resize(depth);
      entry.parent = depth == 0 ? -1 : parents[depth - 1];
      parents.push_back(entry.id);
      for (const ListedRef& message : FolderMessages(entry.id)) {
        ++entry.total;
        entry.unread += message.unread;
      }
      folders.push_back(std::move(entry));
    }
    return folders;
  }

  Host& host() { return host_; }

 protected:
  template <typename... HostArgs>
  explicit HostSession(const SessionServices& services, HostArgs&&... hostArgs)
      : host_(std::forward<HostArgs>(hostArgs)...),
        ui_(services.idleUi),
        app_({services.clock, services.fs, services.settings, ui_, host_, services.loop}) {}

  Host host_;
  RoutedUi ui_;
  FilterApp app_;

  // How deep the folder is in the tree: 0 for "Local Folders".
  virtual size_t FolderDepth(int32_t folderId) = 0;

 private:
  bool started_ = false;
};

}  // namespace tarvex

#endif  // TARVEX_APP_STORE_SESSION_H_
