#include "desktop/main_window.h"

#include <sys/socket.h>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "app/message_view.h"
#include "app/store_notices.h"
#include "desktop/client_commands.h"

namespace tarvex::desktop {
namespace {

// Changes on the disk come in bursts (a delivery, a move, a rewrite), and
// so do the daemon's notices: the window reads the store again once they
// settle.
constexpr int kReloadDelayMs = 150;
// Rows whose headers are read at once: a screenful and more.
constexpr size_t kReadAhead = 48;

const char* const kColumnTitles[] = {"From", "Subject", "Date", "Verdict", "Score", "Learnt"};

// The store this process hosts.
class SessionSource : public MailSource {
 public:
  explicit SessionSource(StoreSession& session) : session_(session) {}
  Status Folders(std::vector<FolderEntry>* folders) override {
    return Viewed([&] { *folders = session_.FolderTree(); });
  }
  Status Messages(int32_t folder, std::vector<ListedRef>* messages) override {
    return Viewed([&] { *messages = session_.FolderMessages(folder); });
  }
  Status Summaries(int32_t folder, const std::vector<int32_t>& ids,
                   std::vector<MessageSummary>* summaries) override {
    return Viewed([&] { *summaries = session_.MessageSummaries(folder, ids); });
  }
  Status Preview(int32_t folder, int32_t message, std::string* text) override {
    return Viewed([&] { *text = session_.MessagePreview(folder, message); });
  }

 private:
  template <typename Fn>
  static Status Viewed(Fn look) {
    try {
      look();
    } catch (const std::exception& error) {
      return Status::Failure(0, error.what());
    }
    return Status::Ok();
  }
  StoreSession& session_;
};

// A daemon's store, through its operations.
class OperationsSource : public MailSource {
 public:
  explicit OperationsSource(Operations& ops) : ops_(ops) {}
  Status Folders(std::vector<FolderEntry>* folders) override { return ops_.FolderTree(folders); }
  Status Messages(int32_t folder, std::vector<ListedRef>* messages) override {
    return ops_.FolderMessages(folder, messages);
  }
  Status Summaries(int32_t folder, const std::vector<int32_t>& ids,
                   std::vector<MessageSummary>* summaries) override {
    return ops_.MessageSummaries(folder, ids, summaries);
  }
  Status Preview(int32_t folder, int32_t message, std::string* text) override {
    return ops_.MessagePreview(folder, message, text);
  }

 private:
  Operations& ops_;
};

QString Utf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QString SpamNotice(const MessageSummary& spam) {
  return QString("Spam from %1: %2").arg(Utf8(spam.sender), Utf8(spam.subject));
}

void NotifyDesktop(const QString& text) {
  QDBusInterface notifications("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                               "org.freedesktop.Notifications", QDBusConnection::sessionBus());
  if (!notifications.isValid()) return;
  notifications.call(QDBus::NoBlock, "Notify", "Tarvex", 0u, "tarvex-desktop", text, QString(),
                     QStringList(), QVariantMap(), -1);
}

// ---------------------------------------------------------------- the list

void MessageListModel::SetMessages(int32_t folder, std::vector<ListedRef> messages) {
  beginResetModel();
  folder_ = folder;
  rows_.clear();
  rows_.reserve(messages.size());
  for (const ListedRef& ref : messages) {
    Row row;
    row.ref = ref;
    rows_.push_back(std::move(row));
  }
  endResetModel();
}

int MessageListModel::RowOf(int32_t id) const {
  // Rows are in id order, as the store lists them.
  auto it = std::lower_bound(rows_.begin(), rows_.end(), id,
                             [](const Row& row, int32_t value) { return row.ref.message < value; });
  return it != rows_.end() && it->ref.message == id ? static_cast<int>(it - rows_.begin()) : -1;
}

const MessageListModel::Row& MessageListModel::Read(int row) const {
  const Row& r = rows_[row];
  if (r.read) return r;
  std::vector<int32_t> ids;
  for (size_t i = row; i < rows_.size() && ids.size() < kReadAhead; ++i) {
    if (!rows_[i].read) ids.push_back(rows_[i].ref.message);
  }
  std::vector<MessageSummary> summaries;
  std::map<int32_t, MessageSummary*> byId;
  // A store that cannot be read shows empty rows rather than ask again.
  if (source_.Summaries(folder_, ids, &summaries).ok()) {
    for (MessageSummary& summary : summaries) byId[summary.message] = &summary;
  }
  for (size_t i = row; i < rows_.size() && !ids.empty(); ++i) {
    const Row& next = rows_[i];
    if (next.read || next.ref.message != ids.front()) continue;
    ids.erase(ids.begin());
    next.read = true;
    ++reads_;
    if (auto it = byId.find(next.ref.message); it != byId.end()) {
      next.summary = std::move(*it->second);
      next.date = QDateTime::fromString(Utf8(next.summary.date), Qt::RFC2822Date);
    }
  }
  return r;
}

int MessageListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int MessageListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant MessageListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  if (role == Qt::FontRole) {
    QFont font;
    font.setBold(rows_[index.row()].ref.unread);
    return font;
  }
  if (role != Qt::DisplayRole) return {};
  const Row& r = Read(index.row());
  const MessageSummary& s = r.summary;
  switch (index.column()) {
    case kSender:
      return Utf8(s.sender);
    case kSubject:
      return Utf8(s.subject);
    case kDate:
      return r.date;
    case kVerdict:
      return Utf8(s.result);
    case kScore: {
      // "Bayesian Score = 97": the number is what sorts.
      const QString score = Utf8(s.score).section(' ', -1);
      return score.isEmpty() ? QVariant() : QVariant(score.toInt());
    }
    case kLearnt:
      return Utf8(s.learn);
  }
  return {};
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kColumns) {
    return {};
  }
  return QString(kColumnTitles[section]);
}

// ---------------------------------------------------------------- the window

MainWindow::MainWindow(std::unique_ptr<MailSource> source, QtUserInterface& ui)
    : ui_(ui), source_(std::move(source)), model_(*source_) {
  setWindowTitle("Tarvex");
  setWindowIcon(QIcon(QString::fromStdString(FindResource("icons/tarvex.png"))));
  toolbar_ = new QtToolbar(this);
  addToolBar(toolbar_);

  folders_ = new QTreeWidget;
  folders_->setColumnCount(2);
  folders_->setHeaderLabels({"Folder", "Unread"});
  folders_->header()->setStretchLastSection(false);
  folders_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  folders_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);

  messages_ = new QTableView;
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(&model_);
  sorted_->setSortRole(Qt::DisplayRole);
  messages_->setModel(sorted_);
  messages_->setSelectionBehavior(QAbstractItemView::SelectRows);
  messages_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  messages_->verticalHeader()->hide();
  // Rows all as high as the font: no row is measured, so no header read.
  messages_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  messages_->verticalHeader()->setDefaultSectionSize(messages_->fontMetrics().height() + 6);
  messages_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  messages_->setSortingEnabled(true);
  messages_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  messages_->horizontalHeader()->setStretchLastSection(true);
  messages_->setColumnWidth(MessageListModel::kSender, 200);
  messages_->setColumnWidth(MessageListModel::kSubject, 300);
  messages_->setColumnWidth(MessageListModel::kDate, 150);
  messages_->setWordWrap(false);

  preview_ = new QPlainTextEdit;
  preview_->setReadOnly(true);

  auto* right = new QSplitter(Qt::Vertical);
  right->addWidget(messages_);
  right->addWidget(preview_);
  right->setStretchFactor(0, 3);
  right->setStretchFactor(1, 2);
  auto* split = new QSplitter(Qt::Horizontal);
  split->addWidget(folders_);
  split->addWidget(right);
  split->setStretchFactor(1, 1);
  split->setSizes({220, 780});
  setCentralWidget(split);
  resize(1000, 680);

  reload_ = new QTimer(this);
  reload_->setSingleShot(true);
  reload_->setInterval(kReloadDelayMs);
  connect(reload_, &QTimer::timeout, this, [this] { Reload(); });

  connect(folders_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item) ShowFolder(item->data(0, Qt::UserRole).toInt());
  });
  connect(messages_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { SelectionChanged(); });
}

MainWindow::MainWindow(MaildirSession& session, QtUserInterface& ui)
    : MainWindow(std::make_unique<SessionSource>(session), ui) {
  session_ = &session;
  session.host().SetToolbarWindow(toolbar_);
  watcher_ = new QFileSystemWatcher(this);
  connect(watcher_, &QFileSystemWatcher::directoryChanged, reload_,
          QOverload<>::of(&QTimer::start));
  // A training run tells how far it got; the window shows it as it goes.
  session.app().SetTrainingProgress(
      [this](const std::string& folder, size_t learnt) { ShowProgress(folder, learnt); });
  ui_.onBeep = [this](uint32_t type) {
    if (type != mb::kIconExclamation) return;
    ++spamBeeps_;
    reload_->start();
  };
  spamLook_ = std::filesystem::file_time_type::clock::now();
  LoadFolders();
  ShowFolder(MaildirHost::kInboxId);
}

MainWindow::MainWindow(Operations& ops, Subscriber subscribe, QtUserInterface& ui)
    : MainWindow(std::make_unique<OperationsSource>(ops), ui) {
  commands_ = std::make_unique<ClientCommands>(ops, ui, [this] {
    WindowSelection at;
    at.folder = shownFolder_;
    for (const FolderEntry& folder : folderList_) {
      if (folder.id == shownFolder_) at.folderName = folder.name;
    }
    at.messages = SelectedIds();
    return at;
  });
  commands_->onProgress = [this](const std::string& folder, size_t learnt) {
    ShowProgress(folder, learnt);
  };
  commands_->Attach(*toolbar_);
  subscribe_ = std::move(subscribe);
  resubscribe_ = new QTimer(this);
  resubscribe_->setInterval(kResubscribeMs);
  connect(resubscribe_, &QTimer::timeout, this, [this] {
    if (!Listen()) return;
    resubscribe_->stop();
    statusBar()->showMessage("The Tarvex daemon is back", 5000);
    reload_->start();
  });
  if (!Listen()) resubscribe_->start();
  LoadFolders();
  NoticeJudgedSpam();
  // The daemon's Inbox, else its first folder.
  int32_t first = folderList_.empty() ? 0 : folderList_.front().id;
  for (const FolderEntry& folder : folderList_) {
    if (folder.name == "Inbox") first = folder.id;
  }
  ShowFolder(first);
}

MainWindow::~MainWindow() {
  if (!session_) return;
  ui_.onBeep = nullptr;
  session_->app().SetTrainingProgress(nullptr);
  session_->host().SetToolbarWindow(nullptr);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (onClose) onClose();
}

void MainWindow::ShowProgress(const std::string& folder, size_t learnt) {
  statusBar()->showMessage(QString("Training on %1: %2 messages learnt")
                               .arg(ToQt(folder))
                               .arg(static_cast<qulonglong>(learnt)));
  statusBar()->repaint();
}

void MainWindow::LoadFolders() {
  const QSignalBlocker quiet(folders_);
  folders_->clear();
  folderList_.clear();
  if (Status listed = source_->Folders(&folderList_); !listed.ok()) {
    ui_.MessageBox(listed.message(), "Tarvex", mb::kOk | mb::kIconError);
  }
  std::map<int32_t, QTreeWidgetItem*> items;
  for (const FolderEntry& folder : folderList_) {
    auto* item = new QTreeWidgetItem(
        {ToQt(folder.name), folder.unread ? QString::number(folder.unread) : QString()});
    item->setData(0, Qt::UserRole, folder.id);
    if (folder.unread) {
      QFont bold = item->font(0);
      bold.setBold(true);
      item->setFont(0, bold);
    }
    if (auto parent = items.find(folder.parent); parent != items.end()) {
      parent->second->addChild(item);
    } else {
      folders_->addTopLevelItem(item);
    }
    items[folder.id] = item;
  }
  folders_->expandAll();
  if (watcher_) WatchFolders();
}

void MainWindow::WatchFolders() {
  MaildirHost& host = session_->host();
  QStringList paths = {QString::fromStdString(host.root())};
  for (const FolderEntry& folder : folderList_) {
    const std::string dir = host.FolderDirectory(folder.id);
    if (dir.empty()) continue;
    for (const char* sub : {"/new", "/cur"}) paths.push_back(QString::fromStdString(dir + sub));
  }
  const QStringList watched = watcher_->directories();
  if (!watched.isEmpty()) watcher_->removePaths(watched);
  for (const QString& path : paths) {
    if (QFileInfo(path).isDir()) watcher_->addPath(path);
  }
}

void MainWindow::ShowFolder(int32_t folderId) {
  shownFolder_ = folderId;
  {
    const QSignalBlocker quiet(folders_);
    for (QTreeWidgetItemIterator it(folders_); *it; ++it) {
      if ((*it)->data(0, Qt::UserRole).toInt() == folderId) folders_->setCurrentItem(*it);
    }
  }
  model_.SetMessages(shownFolder_, {});
  LoadMessages();
  if (session_) session_->Select(shownFolder_, {});
  preview_->clear();
}

std::vector<int32_t> MainWindow::SelectedIds() const {
  std::vector<int32_t> ids;
  for (const QModelIndex& index : messages_->selectionModel()->selectedRows()) {
    ids.push_back(model_.IdAt(sorted_->mapToSource(index).row()));
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

void MainWindow::LoadMessages() {
  const std::vector<int32_t> selected = SelectedIds();
  std::vector<ListedRef> messages;
  if (!source_->Messages(shownFolder_, &messages).ok()) messages.clear();
  model_.SetMessages(shownFolder_, std::move(messages));
  QItemSelection keep;
  for (int32_t id : selected) {
    const int row = model_.RowOf(id);
    if (row < 0) continue;
    const QModelIndex index = sorted_->mapFromSource(model_.index(row, 0));
    keep.select(index, index.siblingAtColumn(MessageListModel::kColumns - 1));
  }
  messages_->selectionModel()->select(keep, QItemSelectionModel::ClearAndSelect);
}

void MainWindow::NoticeSpam() {
  const auto now = std::filesystem::file_time_type::clock::now();
  if (spamBeeps_ == 0) {
    spamLook_ = now;
    return;
  }
  PluginController* controller = session_->app().controller();
  if (!controller) return;
  try {
    const int32_t spam = controller->FindFolderIdByName(kSpamFolderName);
    for (const auto& message : session_->host().ListMessages(spam)) {
      std::error_code error;
      const auto written = std::filesystem::last_write_time(message.file, error);
      if (!error && written >= spamLook_ && onSpamNotice) {
        onSpamNotice(SpamNotice(ReadSummary(message.file)));
      }
    }
  } catch (const std::exception&) {
    // No spam folder: nothing came into it.
  }
  spamLook_ = now;
  spamBeeps_ = 0;
}

void MainWindow::NoticeJudgedSpam() {
  const auto spam = std::find_if(folderList_.begin(), folderList_.end(),
                                 [](const FolderEntry& f) { return f.name == kSpamFolderName; });
  std::vector<ListedRef> listed;
  if (spam == folderList_.end() || !source_->Messages(spam->id, &listed).ok()) return;
  std::vector<int32_t> fresh;
  for (const ListedRef& message : listed) {
    if (message.message > spamSeen_) fresh.push_back(message.message);
  }
  if (!listed.empty()) spamSeen_ = std::max(spamSeen_, listed.back().message);
  std::vector<MessageSummary> summaries;
  if (spamBeeps_ > 0 && !fresh.empty() && onSpamNotice &&
      source_->Summaries(spam->id, fresh, &summaries).ok()) {
    for (const MessageSummary& summary : summaries) onSpamNotice(SpamNotice(summary));
  }
  spamBeeps_ = 0;
}

void MainWindow::HearNotices() {
  char buffer[4096];
  std::vector<Frame> frames;
  ssize_t got;
  while ((got = ::recv(subscription_.get(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
    decoder_.Feed({buffer, static_cast<size_t>(got)}, &frames);
  }
  const bool ended = got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
  StoreNotice notice;
  for (const Frame& frame : frames) {
    if (!ReadNotice(frame, &notice)) continue;
    spamBeeps_ += notice.beeped;
    reload_->start();
  }
  if (ended || decoder_.failed()) {
    // The daemon is gone: the window shows what it last knew, and asks
    // again from time to time.
    delete notices_;
    notices_ = nullptr;
    subscription_.reset();
    statusBar()->showMessage(
        "The Tarvex daemon has stopped: the window shows no new mail until it is back");
    resubscribe_->start();
  }
}

bool MainWindow::Listen() {
  subscription_ = subscribe_();
  if (!subscription_.valid()) return false;
  decoder_ = FrameDecoder(4096, SIZE_MAX);
  notices_ = new QSocketNotifier(subscription_.get(), QSocketNotifier::Read, this);
  connect(notices_, &QSocketNotifier::activated, this, [this] { HearNotices(); });
  return true;
}

void MainWindow::Reload() {
  LoadFolders();
  if (session_) {
    NoticeSpam();
  } else {
    NoticeJudgedSpam();
  }
  {
    const QSignalBlocker quiet(folders_);
    for (QTreeWidgetItemIterator it(folders_); *it; ++it) {
      if ((*it)->data(0, Qt::UserRole).toInt() == shownFolder_) folders_->setCurrentItem(*it);
    }
  }
  LoadMessages();
  SelectionChanged();
}

void MainWindow::SelectionChanged() {
  const std::vector<int32_t> ids = SelectedIds();
  if (session_) session_->Select(shownFolder_, ids);
  if (ids.size() == 1) {
    ShowPreview(ids.front());
  } else {
    preview_->clear();
  }
}

void MainWindow::ShowPreview(int32_t message) {
  std::string text;
  if (!source_->Preview(shownFolder_, message, &text).ok()) text.clear();
  preview_->setPlainText(Utf8(text));
}

}  // namespace tarvex::desktop
