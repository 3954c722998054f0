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

}  // namespace tarvex

#endif  // TARVEX_APP_STORE_SESSION_H_
