#include "desktop/main_window.h"

#include <QCloseEvent>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPlainTextEdit>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "classify/verdict_headers.h"
#include "mail/message_text.h"
#include "mail/mime_message.h"

namespace tarvex::desktop {
namespace {

// The most of a file read for the list (its header block) and for the
// preview (the whole message).
constexpr size_t kMaxHeaderRead = 256 * 1024;
constexpr size_t kMaxPreviewRead = 4 * 1024 * 1024;
// Changes on the disk come in bursts (a delivery, a move, a rewrite): the
// window reads the store again once they settle.
constexpr int kReloadDelayMs = 150;

// The start of a file: up to limit bytes, or up to the end of the header
// block when headerOnly.
std::string ReadStart(const std::string& file, size_t limit, bool headerOnly) {
  std::ifstream in(file, std::ios::binary);
  std::string text;
  char buffer[8192];
  while (in && text.size() < limit) {
    in.read(buffer, sizeof buffer);
    text.append(buffer, static_cast<size_t>(in.gcount()));
    if (headerOnly &&
        (text.find("\n\n") != std::string::npos || text.find("\r\n\r\n") != std::string::npos)) {
      break;
    }
  }
  return text;
}

QString Header(const std::string& message, const char* name) {
  return QString::fromStdString(
      mail::PresentedHeaderValue(name, mail::FirstHeaderValue(message, name)));
}

const char* const kColumnTitles[] = {"From", "Subject", "Date", "Verdict", "Score", "Learnt"};

}  // namespace

MessageSummary ReadSummary(const std::string& file) {
  const std::string head = ReadStart(file, kMaxHeaderRead, true);
  MessageSummary summary;
  summary.sender = Header(head, "From");
  summary.subject = Header(head, "Subject");
  summary.date = QDateTime::fromString(Header(head, "Date").trimmed(), Qt::RFC2822Date);
  summary.verdict = Header(head, header::kResult);
  // "Bayesian Score = 97": the number is what sorts.
  summary.score = Header(head, header::kScore).section(' ', -1);
  summary.learnt = Header(head, header::kLearn);
  return summary;
}

QString SpamNotice(const MessageSummary& spam) {
  return QString("Spam from %1: %2").arg(spam.sender, spam.subject);
}

void NotifyDesktop(const QString& text) {
  QDBusInterface notifications("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                               "org.freedesktop.Notifications", QDBusConnection::sessionBus());
  if (!notifications.isValid()) return;
  notifications.call(QDBus::NoBlock, "Notify", "Tarvex", 0u, "tarvex-desktop", text, QString(),
                     QStringList(), QVariantMap(), -1);
}

bool IsUnread(const std::string& file) {
  const size_t info = file.rfind(":2,");
  if (info == std::string::npos) return true;
  return file.find('S', info + 3) == std::string::npos;
}

// ---------------------------------------------------------------- the list

void MessageListModel::SetMessages(std::vector<MaildirHost::ListedMessage> messages) {
  beginResetModel();
  // Rows whose file is unchanged keep what was read of them.
  std::vector<Row> rows;
  rows.reserve(messages.size());
  for (MaildirHost::ListedMessage& message : messages) {
    Row row;
    const int old = RowOf(message.id);
    if (old >= 0 && rows_[old].message.file == message.file && rows_[old].read) {
      std::error_code error;
      if (std::filesystem::last_write_time(message.file, error) == rows_[old].stamp) {
        row = rows_[old];
      }
    }
    row.message = std::move(message);
    rows.push_back(std::move(row));
  }
  rows_ = std::move(rows);
  endResetModel();
}

int MessageListModel::RowOf(int32_t id) const {
  // Rows are in id order, as the store lists them.
  auto it = std::lower_bound(rows_.begin(), rows_.end(), id,
                             [](const Row& row, int32_t value) { return row.message.id < value; });
  return it != rows_.end() && it->message.id == id ? static_cast<int>(it - rows_.begin()) : -1;
}

const MessageSummary& MessageListModel::Summary(int row) const {
  const Row& r = rows_[row];
  if (!r.read) {
    std::error_code error;
    r.stamp = std::filesystem::last_write_time(r.message.file, error);
    r.summary = ReadSummary(r.message.file);
    r.read = true;
    ++reads_;
  }
  return r.summary;
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
    font.setBold(IsUnread(rows_[index.row()].message.file));
    return font;
  }
  if (role != Qt::DisplayRole) return {};
  const MessageSummary& s = Summary(index.row());
  switch (index.column()) {
    case kSender:
      return s.sender;
    case kSubject:
      return s.subject;
    case kDate:
      return s.date;
    case kVerdict:
      return s.verdict;
    case kScore:
      return s.score.isEmpty() ? QVariant() : QVariant(s.score.toInt());
    case kLearnt:
      return s.learnt;
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

MainWindow::MainWindow(MaildirSession& session, QtUserInterface& ui) : session_(session), ui_(ui) {
  setWindowTitle("Tarvex");
  setWindowIcon(QIcon(QString::fromStdString(FindResource("icons/tarvex.png"))));
  toolbar_ = new QtToolbar(this);
  addToolBar(toolbar_);
  session_.host().SetToolbarWindow(toolbar_);

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
  watcher_ = new QFileSystemWatcher(this);
  connect(watcher_, &QFileSystemWatcher::directoryChanged, reload_,
          QOverload<>::of(&QTimer::start));

  connect(folders_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item) ShowFolder(item->data(0, Qt::UserRole).toInt());
  });
  connect(messages_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { SelectionChanged(); });

  // A training run tells how far it got; the window shows it as it goes.
  session_.app().SetTrainingProgress([this](const std::string& folder, size_t learnt) {
    statusBar()->showMessage(QString("Training on %1: %2 messages learnt")
                                 .arg(ToQt(folder))
                                 .arg(static_cast<qulonglong>(learnt)));
    statusBar()->repaint();
  });

  ui_.onBeep = [this](uint32_t type) {
    if (type != mb::kIconExclamation) return;
    ++spamBeeps_;
    reload_->start();
  };

  spamLook_ = std::filesystem::file_time_type::clock::now();
  LoadFolders();
  ShowFolder(MaildirHost::kInboxId);
}

MainWindow::~MainWindow() {
  ui_.onBeep = nullptr;
  session_.app().SetTrainingProgress(nullptr);
  session_.host().SetToolbarWindow(nullptr);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (onClose) onClose();
}

void MainWindow::LoadFolders() {
  MaildirHost& host = session_.host();
  const QSignalBlocker quiet(folders_);
  folders_->clear();
  folderIds_.clear();
  std::vector<QTreeWidgetItem*> parents;  // by depth
  try {
    HostRef<HostFolderManager> manager = host.CreateFolderManager();
    for (HostRef<HostFolder> folder = manager->GetFirstFolder(); folder;
         folder = manager->GetNextFolder()) {
      const int32_t id = folder->GetId();
      // The depth shows in the directory's name: ".A.B" is B under A.
      size_t depth = 0;
      if (id != MaildirHost::kLocalFoldersId) {
        const std::string dir = host.FolderDirectory(id);
        const std::string name =
            dir == host.root() ? ""
                               : QFileInfo(QString::fromStdString(dir)).fileName().toStdString();
        depth = 1 + static_cast<size_t>(std::count(name.begin(), name.end(), '.'));
        if (!name.empty()) --depth;
      }
      int unread = 0;
      for (const auto& message : host.ListMessages(id)) unread += IsUnread(message.file);
      auto* item = new QTreeWidgetItem(
          {ToQt(folder->GetName()), unread ? QString::number(unread) : QString()});
      item->setData(0, Qt::UserRole, id);
      if (unread) {
        QFont bold = item->font(0);
        bold.setBold(true);
        item->setFont(0, bold);
      }
      parents.resize(depth);
      if (depth == 0 || !parents[depth - 1]) {
        folders_->addTopLevelItem(item);
      } else {
        parents[depth - 1]->addChild(item);
      }
      parents.push_back(item);
      folderIds_.push_back(id);
    }
  } catch (const std::exception& error) {
    ui_.MessageBox(error.what(), "Tarvex", mb::kOk | mb::kIconError);
  }
  folders_->expandAll();
  WatchFolders();
}

void MainWindow::WatchFolders() {
  QStringList paths = {QString::fromStdString(session_.host().root())};
  for (int32_t id : folderIds_) {
    const std::string dir = session_.host().FolderDirectory(id);
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
  model_.SetMessages({});
  LoadMessages();
  session_.Select(shownFolder_, {});
  preview_->clear();
}

void MainWindow::LoadMessages() {
  std::vector<int32_t> selected;
  for (const QModelIndex& index : messages_->selectionModel()->selectedRows()) {
    selected.push_back(model_.IdAt(sorted_->mapToSource(index).row()));
  }
  try {
    model_.SetMessages(session_.host().ListMessages(shownFolder_));
  } catch (const std::exception& error) {
    model_.SetMessages({});
  }
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
  PluginController* controller = session_.app().controller();
  if (!controller) return;
  try {
    const int32_t spam = controller->FindFolderIdByName(kSpamFolderName);
    for (const auto& message : session_.host().ListMessages(spam)) {
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

void MainWindow::Reload() {
  LoadFolders();
  NoticeSpam();
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
  std::vector<int32_t> ids;
  const QModelIndexList rows = messages_->selectionModel()->selectedRows();
  for (const QModelIndex& index : rows) {
    ids.push_back(model_.IdAt(sorted_->mapToSource(index).row()));
  }
  std::sort(ids.begin(), ids.end());
  session_.Select(shownFolder_, ids);
  if (rows.size() == 1) {
    ShowPreview(sorted_->mapToSource(rows.front()).row());
  } else {
    preview_->clear();
  }
}

void MainWindow::ShowPreview(int row) {
  const std::string message = ReadStart(model_.FileAt(row), kMaxPreviewRead, false);
  const mail::MessageLayout layout = mail::LayOut(message);
  QString text = QString::fromStdString(mail::ValidUtf8(message.substr(0, layout.body_start)));
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text += QString::fromStdString(mail::BodyText(message));
  preview_->setPlainText(text);
}

}  // namespace tarvex::desktop
