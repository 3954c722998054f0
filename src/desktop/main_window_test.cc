// The mail window over a real Maildir, with the plug-in hosted in it on
// GLib's default loop, which Qt runs: its toolbar, its commands and the mail
// it judges while the window is up.
#include <glib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "desktop/desk_test_util.h"
#include "desktop/desktop_session.h"
#include "desktop/main_window.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/glib_event_loop.h"
#include "settings/settings_store.h"
#include "testing/temp_folder.h"
#include "ui/folder_dialogs.h"
#include "ui/plugin_toolbar.h"

namespace tarvex::desktop {
namespace {

namespace fs = std::filesystem;
using testing::Click;
using ::testing::ElementsAre;

// The plug-in's window with a timer and a command, on the loop under test.
class TickingWindow : public MessageWindow {
 public:
  using MessageWindow::MessageWindow;
  int ticks = 0;
  std::vector<uint32_t> commands;

 protected:
  void OnTimer(uint32_t) override { ++ticks; }
  void OnCommand(uint32_t command) override { commands.push_back(command); }
};

TEST(DesktopEventLoopTest, PluginTimersWatchesAndCommandsRunInsideQtsLoop) {
  GLibEventLoop loop(g_main_context_default());
  TickingWindow window(loop);
  window.Create("hidden");
  window.SetTimer(1999, 20);
  window.PostCommand(600);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  int readable = 0;
  const unsigned watch = loop.WatchReadable(fds[0], [&] {
    char byte;
    if (::read(fds[0], &byte, 1) == 1) ++readable;
  });
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  // Only Qt's loop runs here, never the plug-in loop's own Run.
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.ticks >= 2 && readable == 1; }, 2000));
  EXPECT_THAT(window.commands, ElementsAre(600u));
  loop.RemoveSource(watch);
  ::close(fds[0]);
  ::close(fds[1]);
}

// A profile in memory over a real Maildir, as the daemon's own tests hold it.
class DesktopWindowTest : public testing::WindowTest {
 protected:
  DesktopWindowTest() : WindowTest("") {}
  void SetUp() override {
    for (const char* sub : {"/tmp", "/new", "/cur"}) fs::create_directory(root_ + sub);
    WriteStringValue(store_, "WordFilePath", "/p/words.db");
    WriteStringValue(store_, "BlackListPath", "/p/black.xml");
    WriteStringValue(store_, "WhiteListPath", "/p/white.xml");
    files_.files()["/p/black.xml"] =
        "<BlackList>\n    <Domain Name=\"spam.example\" />\n</BlackList>\n";
    files_.files()["/p/white.xml"] = "<WhiteList>\n</WhiteList>\n";
  }

  void Open() {
    session_ = std::make_unique<MaildirSession>(
        SessionServices{clock_, files_, store_, played_.ui, loop_}, root_);
    window_ = std::make_unique<MainWindow>(*session_, played_.ui);
    played_.ui.SetParentWindow(window_.get());
    window_->show();
  }
  void SelectRow(int row) {
    QTableView& view = window_->messageView();
    view.selectRow(row);
  }
  void TearDown() override {
    if (session_) session_->Stop();
    window_.reset();
    session_.reset();
  }

  ManualClock clock_{1'700'000'000};
  MemoryFileSystem files_;
  MemorySettingsStore store_;
  GLibEventLoop loop_{g_main_context_default()};
  std::unique_ptr<MaildirSession> session_;
};

TEST_F(DesktopWindowTest, ListsTheFolderWithItsVerdictsAndTheSelectionIsTheHosts) {
  Deliver("1.a",
          "From: Ann <ann@a.example>\nSubject: Lunch\nX-TVX-RESULT: Clean\n"
          "X-TVX-SCORE: Bayesian Score = 12\nDate: Mon, 6 Nov 2023 10:00:00 +0000\n\nhi\n");
  Deliver("2.b", "From: bob@b.example\nSubject: =?UTF-8?Q?Caf=C3=A9?=\n\nbody text\n");
  fs::create_directories(root_ + "/.Work/cur");
  fs::create_directories(root_ + "/.Work/new");
  fs::create_directories(root_ + "/.Work/tmp");
  Open();
  EXPECT_THAT(Column(MessageListModel::kSender),
              ElementsAre("Ann <ann@a.example>", "<bob@b.example>"));
  EXPECT_THAT(Column(MessageListModel::kSubject), ElementsAre("Lunch", "Caf\xc3\xa9"));
  EXPECT_THAT(Column(MessageListModel::kVerdict), ElementsAre("Clean", ""));
  EXPECT_THAT(Column(MessageListModel::kScore), ElementsAre("12", ""));
  // The tree: the store, the Inbox with its two unread, the other folders.
  QTreeWidget& tree = window_->folderTree();
  ASSERT_EQ(tree.topLevelItemCount(), 1);
  QTreeWidgetItem* store = tree.topLevelItem(0);
  EXPECT_EQ(store->text(0).toStdString(), "Local Folders");
  std::vector<std::string> children;
  for (int i = 0; i < store->childCount(); ++i) {
    children.push_back(store->child(i)->text(0).toStdString() + ":" +
                       store->child(i)->text(1).toStdString());
  }
  EXPECT_THAT(children, ::testing::Contains("Inbox:2"));
  EXPECT_THAT(children, ::testing::Contains("Work:"));

  SelectRow(1);
  EXPECT_NE(window_->preview().toPlainText().toStdString().find("body text"), std::string::npos);
  // The host sees what the user selected.
  HostRef<HostApi> api = session_->host().CreateApi();
  EXPECT_EQ(api->GetCurrentFolderId(), MaildirHost::kInboxId);
  EXPECT_EQ(api->GetFirstSelectedMessageId(), window_->messageModel().IdAt(1));
  EXPECT_EQ(api->GetNextSelectedMessageId(), -1);
  // Sorting by subject puts "Café" first.
  window_->messageView().sortByColumn(MessageListModel::kSubject, Qt::AscendingOrder);
  EXPECT_THAT(Column(MessageListModel::kSubject), ElementsAre("Caf\xc3\xa9", "Lunch"));
}

// The verdict headers are written into the file under the same name: the
// list reads the row again when the disk says it changed.
TEST_F(DesktopWindowTest, AMessageRewrittenInPlaceIsReadAgain) {
  Deliver("1.a", "From: Ann <ann@a.example>\nSubject: Lunch\n\nhi\n");
  Open();
  EXPECT_THAT(Column(MessageListModel::kVerdict), ElementsAre(""));
  std::ofstream(root_ + "/tmp/1.a") << "From: Ann <ann@a.example>\nSubject: Lunch\n"
                                       "X-TVX-RESULT: Clean\n\nhi\n";
  fs::rename(root_ + "/tmp/1.a", root_ + "/new/1.a");
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return Column(MessageListModel::kVerdict) == std::vector<std::string>{"Clean"}; },
      3000));
}

TEST_F(DesktopWindowTest, HeadersAreReadOnlyForTheRowsShown) {
  for (int i = 0; i < 2000; ++i) {
    Deliver(std::to_string(100000 + i) + ".m",
            "From: x@y.example\nSubject: number " + std::to_string(i) + "\n\nbody\n");
  }
  Open();
  window_->messageView().viewport()->repaint();
  QApplication::processEvents();
  EXPECT_EQ(window_->messageModel().rowCount(), 2000);
  EXPECT_GT(window_->messageModel().ReadCount(), 0);
  EXPECT_LT(window_->messageModel().ReadCount(), 200);
}

TEST_F(DesktopWindowTest, ThePluginFillsTheToolbarAndEachItemReachesItsCommand) {
  Deliver("1.a", "From: Ann <ann@a.example>\nSubject: Lunch\n\nhi\n");
  Open();
  session_->Start();
  // The plug-in's own timer fills the toolbar, in Qt's loop.
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_->toolbar().ButtonCount() == 7; }, 3000));
  std::vector<std::string> texts;
  for (int i = 0; i < 7; ++i) {
    QToolButton* button = window_->toolbar().Button(i);
    texts.push_back(button->text().toStdString());
    EXPECT_FALSE(button->icon().isNull()) << i;
  }
  EXPECT_THAT(texts, ElementsAre("Mark Spam", "Not Spam", "BlackList", "WhiteList", "Train Filter",
                                 "Mail Headers", "Settings"));

  // Buttons that open a dialog; Mail Headers needs one selected message.
  SelectRow(0);
  const std::vector<std::pair<uint32_t, std::string>> buttons = {
      {command::kBlackList, "Manage Blacklist Items"},
      {command::kWhiteList, "Manage Whitelist Items"},
      {command::kTrainFilter, "Train the Bayesian filter"},
      {command::kMailHeaders, "Raw Mail Headers"}};
  for (const auto& [command, caption] : buttons) {
    SCOPED_TRACE(caption);
    played_.dialogs.clear();
    QTest::mouseClick(Button(command), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !played_.dialogs.empty(); }, 2000));
    EXPECT_THAT(played_.dialogs, ElementsAre(caption));
  }

  // The drop-down button opens menu 1010 under itself; each item reaches
  // its command.
  const std::vector<std::pair<std::string, std::string>> items = {
      {"Settings", "Settings"}, {"About", "About"}, {"Help", ""}, {"Support", ""}};
  std::vector<std::string> addresses;
  played_.ui.onOpenAddress = [&](const std::string& address) { addresses.push_back(address); };
  for (const auto& [item, caption] : items) {
    SCOPED_TRACE(item);
    played_.dialogs.clear();
    std::vector<std::string> shown;
    QPoint at;
    played_.ui.onMenuShown = [&, item = item](QMenu& menu) {
      at = menu.geometry().topLeft();
      for (QAction* action : menu.actions()) {
        shown.push_back(action->isSeparator() ? "-" : action->text().toStdString());
        if (action->text().toStdString() == item) menu.setActiveAction(action);
      }
      QTest::keyClick(&menu, Qt::Key_Return);
    };
    QToolButton* arrow = Button(command::kSettingsMenu);
    QTest::mouseClick(arrow, Qt::LeftButton);
    EXPECT_THAT(shown, ElementsAre("Settings", "Support", "Help", "-", "About"));
    EXPECT_EQ(at, arrow->mapToGlobal(QPoint(0, arrow->height())));
    if (!caption.empty()) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return !played_.dialogs.empty(); }, 2000));
      EXPECT_THAT(played_.dialogs, ElementsAre(caption));
    }
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return addresses.size() == 2; }, 2000));
  played_.ui.onMenuShown = nullptr;
}

TEST_F(DesktopWindowTest, MarkSpamAndNotSpamWithItsDestinationDialogMoveTheSelection) {
  Deliver("1.a", "From: Ann <ann@a.example>\nSubject: Lunch\n\nhi\n");
  Open();
  session_->Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_->toolbar().ButtonCount() == 7; }, 3000));
  SelectRow(0);
  QTest::mouseClick(Button(command::kMarkSpam), Qt::LeftButton);
  // The message leaves the Inbox's list once the disk says so.
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_->messageModel().rowCount() == 0; }, 3000));

  const int32_t spam = session_->app().controller()->FindFolderIdByName(kSpamFolderName);
  window_->ShowFolder(spam);
  ASSERT_EQ(window_->messageModel().rowCount(), 1);
  EXPECT_THAT(Column(MessageListModel::kLearnt), ElementsAre("Spam"));
  SelectRow(0);
  testing::ChooseDestination(played_, "Inbox");
  QTest::mouseClick(Button(command::kNotSpam), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_->messageModel().rowCount() == 0; }, 3000));
  window_->ShowFolder(MaildirHost::kInboxId);
  EXPECT_THAT(Column(MessageListModel::kLearnt), ElementsAre("Not Spam"));
}

TEST_F(DesktopWindowTest, TrainingOnThePickedFoldersShowsHowFarItGot) {
  testing::MakeJunkFolder(root_);
  Open();
  session_->Start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_->toolbar().ButtonCount() == 7; }, 3000));
  testing::TrainOnJunk(played_);
  QTest::mouseClick(Button(command::kTrainFilter), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return played_.scripts.empty(); }, 3000));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return window_->statusBar()->currentMessage().toStdString() ==
               "Training on Junk: 3 messages learnt";
      },
      3000))
      << window_->statusBar()->currentMessage().toStdString();
  EXPECT_EQ(session_->app().bayesFilter().WordCount() > 0, true);
}

TEST_F(DesktopWindowTest, MailDeliveredWhileTheWindowRunsIsJudgedAndSpamLeavesTheInbox) {
  WriteDwordValue(store_, "BeepAtSpam", 1);
  Open();
  std::vector<std::string> notices;
  window_->onSpamNotice = [&](const QString& text) { notices.push_back(text.toStdString()); };
  std::ostringstream log;
  DaemonOptions options;
  bool seen = false;
  const bool ran = RunWindow(*session_, *window_, loop_, options, log, [&] {
    Deliver("1.ham", "From: Ann <ann@a.example>\nSubject: Lunch\n\nsee you at noon\n");
    Deliver("2.spam", "From: Bulk <offers@spam.example>\nSubject: Offer\n\ncheap pills\n");
    seen = QTest::qWaitFor(
        [&] {
          return window_->messageModel().rowCount() == 1 &&
                 !window_->messageModel().index(0, MessageListModel::kVerdict).data().isNull() &&
                 !window_->messageModel()
                      .index(0, MessageListModel::kVerdict)
                      .data()
                      .toString()
                      .isEmpty();
        },
        5000);
    window_->close();
  });
  EXPECT_TRUE(ran) << log.str();
  EXPECT_TRUE(seen) << log.str();
  EXPECT_THAT(Column(MessageListModel::kSubject), ElementsAre("Lunch"));
  EXPECT_TRUE(fs::exists(root_ + "/.DedoZarozo/new/2.spam")) << log.str();
  EXPECT_NE(log.str().find("blacklisted, moved to DedoZarozo, beep"), std::string::npos)
      << log.str();
  EXPECT_THAT(notices, ElementsAre("Spam from Bulk <offers@spam.example>: Offer"));
}

}  // namespace
}  // namespace tarvex::desktop
