// The mail window that plays the mail client's part: the plug-in's toolbar,
// the store's folders with their unread counts, the shown folder's messages
// and a preview of the one selected. Where the plug-in runs in this process,
// the folder shown and the messages selected are the host's current folder
// and selection, so the plug-in's commands act on what the user picked;
// where a daemon runs it, the window is its client and runs the toolbar's
// commands itself, against the daemon's operations.
#ifndef TARVEX_DESKTOP_MAIN_WINDOW_H_
#define TARVEX_DESKTOP_MAIN_WINDOW_H_

#include <QAbstractTableModel>
#include <QDateTime>
#include <QMainWindow>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/maildir_session.h"
#include "desktop/qt_ui.h"
#include "ops/operations.h"
#include "platform/command_socket.h"

class QFileSystemWatcher;
class QPlainTextEdit;
class QSocketNotifier;
class QSortFilterProxyModel;
class QTableView;
class QTimer;
class QTreeWidget;

namespace tarvex::desktop {

class ClientCommands;

// The desktop notification of a spam message judged: "Spam from ...: subject".
QString SpamNotice(const MessageSummary& spam);
// Shows text through the freedesktop notification service, when one runs.
void NotifyDesktop(const QString& text);

// Where the window's folders and messages come from: the store this process
// hosts, or a daemon's over its socket.
class MailSource {
 public:
  virtual ~MailSource() = default;
  virtual Status Folders(std::vector<FolderEntry>* folders) = 0;
  virtual Status Messages(int32_t folder, std::vector<ListedRef>* messages) = 0;
  virtual Status Summaries(int32_t folder, const std::vector<int32_t>& ids,
                           std::vector<MessageSummary>* summaries) = 0;
  virtual Status Preview(int32_t folder, int32_t message, std::string* text) = 0;
};

// The messages of one folder. Rows are known from the folder's listing; a
// row's headers are read when the row is first shown (or sorted on), a few
// rows at a time, never all at once.
class MessageListModel : public QAbstractTableModel {
 public:
  enum Column { kSender, kSubject, kDate, kVerdict, kScore, kLearnt, kColumns };

  explicit MessageListModel(MailSource& source) : source_(source) {}
  // The folder's rows; what was read of the rows before is forgotten.
  void SetMessages(int32_t folder, std::vector<ListedRef> messages);
  int32_t IdAt(int row) const { return rows_[row].ref.message; }
  int RowOf(int32_t id) const;
  // How many rows had their headers read so far.
  int ReadCount() const { return reads_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Row {
    ListedRef ref;
    mutable bool read = false;
    mutable MessageSummary summary;
    mutable QDateTime date;
  };
  // Reads the row's headers, with those of the unread rows after it.
  const Row& Read(int row) const;

  MailSource& source_;
  int32_t folder_ = 0;
  std::vector<Row> rows_;
  mutable int reads_ = 0;
};

class MainWindow : public QMainWindow {
 public:
  // The window of the process that hosts the plug-in over session. The
  // window's toolbar becomes the window the host gives the plug-in's
  // toolbar, so the plug-in fills it when its timer next ticks.
  MainWindow(MaildirSession& session, QtUserInterface& ui);
  // The window of a daemon's client: the folders, the messages and every
  // command are the daemon's, through ops; the daemon tells of what it
  // judged on a subscription that subscribe opens (see
  // app/store_notices.h). A daemon that stops is waited for, and subscribed
  // to again once it answers.
  using Subscriber = std::function<UniqueFd()>;
  MainWindow(Operations& ops, Subscriber subscribe, QtUserInterface& ui);
  ~MainWindow() override;

  QtToolbar& toolbar() { return *toolbar_; }
  QTreeWidget& folderTree() { return *folders_; }
  QTableView& messageView() { return *messages_; }
  MessageListModel& messageModel() { return model_; }
  QPlainTextEdit& preview() { return *preview_; }
  int32_t shownFolder() const { return shownFolder_; }
  // How often a client window asks for a daemon that stopped.
  static constexpr int kResubscribeMs = 2000;
  // Whether the daemon's notices still come (client windows only).
  bool hearing() const { return subscription_.valid(); }

  // Shows the folder (and selects it in the tree).
  void ShowFolder(int32_t folderId);
  // Reads the folders and the shown folder's messages again, keeping the
  // selection of the messages still there.
  void Reload();
  // Called when the window closes; by default nothing.
  std::function<void()> onClose;
  // Where the notices of spam judged go (the spam beep, BeepAtSpam, is on):
  // by default to the desktop's notifications.
  std::function<void(const QString&)> onSpamNotice = NotifyDesktop;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  explicit MainWindow(std::unique_ptr<MailSource> source, QtUserInterface& ui);
  void LoadFolders();
  void LoadMessages();
  void SelectionChanged();
  void ShowPreview(int32_t message);
  void ShowProgress(const std::string& folder, size_t learnt);
  void WatchFolders();
  // Tells of the messages written into the spam folder since it was last
  // looked at, when a spam beep sounded meanwhile.
  void NoticeSpam();
  // Tells of the messages that came into the daemon's spam folder since it
  // was last looked at, when the daemon beeped at spam meanwhile.
  void NoticeJudgedSpam();
  // Reads what the daemon told, reloading when it is news.
  void HearNotices();
  std::vector<int32_t> SelectedIds() const;

  MaildirSession* session_ = nullptr;  // when the plug-in runs here
  QtUserInterface& ui_;
  std::unique_ptr<MailSource> source_;
  QtToolbar* toolbar_;
  QTreeWidget* folders_;
  QTableView* messages_;
  QPlainTextEdit* preview_;
  MessageListModel model_;
  QSortFilterProxyModel* sorted_;
  QFileSystemWatcher* watcher_ = nullptr;
  QTimer* reload_;
  int32_t shownFolder_ = MaildirHost::kInboxId;
  std::vector<FolderEntry> folderList_;  // the tree's rows in walk order
  // When the spam folder was last looked at, and the spam beeps since:
  // what the classifier wrote there after that is news.
  std::filesystem::file_time_type spamLook_;
  int spamBeeps_ = 0;
  // The daemon's spam folder's highest message id seen: ids grow with
  // arrivals.
  int32_t spamSeen_ = 0;
  // A daemon's client: its commands and what it tells.
  std::unique_ptr<ClientCommands> commands_;
  // Subscribes to the daemon's notices; false when it does not answer.
  bool Listen();
  Subscriber subscribe_;
  UniqueFd subscription_;
  QSocketNotifier* notices_ = nullptr;
  QTimer* resubscribe_ = nullptr;  // while the daemon is away
  FrameDecoder decoder_{4096, SIZE_MAX};
};

}  // namespace tarvex::desktop

#endif  // TARVEX_DESKTOP_MAIN_WINDOW_H_
