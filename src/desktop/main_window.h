// The mail window that plays the mail client's part: the plug-in's toolbar,
// the store's folders with their unread counts, the shown folder's messages
// and a preview of the one selected. The folder shown and the messages
// selected are the host's current folder and selection, so the plug-in's
// commands act on what the user picked.
#ifndef TARVEX_DESKTOP_MAIN_WINDOW_H_
#define TARVEX_DESKTOP_MAIN_WINDOW_H_

#include <QAbstractTableModel>
#include <QDateTime>
#include <QMainWindow>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/maildir_session.h"
#include "desktop/qt_ui.h"

class QFileSystemWatcher;
class QPlainTextEdit;
class QSortFilterProxyModel;
class QTableView;
class QTimer;
class QTreeWidget;

namespace tarvex::desktop {

// What the list shows of one message, read from its header block.
struct MessageSummary {
  QString sender, subject;
  QDateTime date;
  QString verdict, score, learnt;  // the "X-TVX-" headers
};

// The desktop notification of a spam message judged: "Spam from ...: subject".
QString SpamNotice(const MessageSummary& spam);
// Shows text through the freedesktop notification service, when one runs.
void NotifyDesktop(const QString& text);

// Reads the summary from the message's file: its header block only.
MessageSummary ReadSummary(const std::string& file);
// Whether a message file's name says it has not been read (no "S" flag).
bool IsUnread(const std::string& file);

// The messages of one folder. Rows are known from the folder's listing; a
// row's headers are read when the row is first shown (or sorted on), never
// all at once.
class MessageListModel : public QAbstractTableModel {
 public:
  enum Column { kSender, kSubject, kDate, kVerdict, kScore, kLearnt, kColumns };

  void SetMessages(std::vector<MaildirHost::ListedMessage> messages);
  int32_t IdAt(int row) const { return rows_[row].message.id; }
  const std::string& FileAt(int row) const { return rows_[row].message.file; }
  int RowOf(int32_t id) const;
  // How many rows had their headers read so far.
  int ReadCount() const { return reads_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Row {
    MaildirHost::ListedMessage message;
    mutable bool read = false;
    mutable MessageSummary summary;
    // The file's change time when it was read: a rewrite (the verdict
    // headers) keeps the name but not the time.
    mutable std::filesystem::file_time_type stamp;
  };
  const MessageSummary& Summary(int row) const;

  std::vector<Row> rows_;
  mutable int reads_ = 0;
};

class MainWindow : public QMainWindow {
 public:
  // The window's toolbar becomes the window the host gives the plug-in's
  // toolbar, so the plug-in fills it when its timer next ticks.
  MainWindow(MaildirSession& session, QtUserInterface& ui);
  ~MainWindow() override;

  QtToolbar& toolbar() { return *toolbar_; }
  QTreeWidget& folderTree() { return *folders_; }
  QTableView& messageView() { return *messages_; }
  MessageListModel& messageModel() { return model_; }
  QPlainTextEdit& preview() { return *preview_; }
  int32_t shownFolder() const { return shownFolder_; }

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
  void LoadFolders();
  void LoadMessages();
  void SelectionChanged();
  void ShowPreview(int row);
  void WatchFolders();
  // Tells of the messages written into the spam folder since it was last
  // looked at, when a spam beep sounded meanwhile.
  void NoticeSpam();

  MaildirSession& session_;
  QtUserInterface& ui_;
  QtToolbar* toolbar_;
  QTreeWidget* folders_;
  QTableView* messages_;
  QPlainTextEdit* preview_;
  MessageListModel model_;
  QSortFilterProxyModel* sorted_;
  QFileSystemWatcher* watcher_;
  QTimer* reload_;
  int32_t shownFolder_ = MaildirHost::kInboxId;
  std::vector<int32_t> folderIds_;  // the tree's rows in walk order
  // When the spam folder was last looked at, and the spam beeps since:
  // what the classifier wrote there after that is news.
  std::filesystem::file_time_type spamLook_;
  int spamBeeps_ = 0;
};

}  // namespace tarvex::desktop

#endif  // TARVEX_DESKTOP_MAIN_WINDOW_H_
