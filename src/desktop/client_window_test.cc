// The mail window as a running daemon's client: a real daemon over a real
// Maildir, in its own thread with its own loop and socket, and the window
// over its operations and its subscription, driven through the real widgets.
#include <glib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/daemon.h"
#include "app/maildir_session.h"
#include "app/remote_operations.h"
#include "app/store_notices.h"
#include "desktop/desk_test_util.h"
#include "desktop/main_window.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "settings/settings_store.h"
#include "testing/temp_folder.h"
#include "ui/folder_dialogs.h"
#include "ui/list_dialogs.h"
#include "ui/plugin_toolbar.h"
#include "ui/settings_dialog.h"

namespace tarvex::desktop {
namespace {

namespace fs = std::filesystem;
using testing::Click;
using ::testing::ElementsAre;

class ClientWindowTest : public testing::WindowTest {
 protected:
  ClientWindowTest() : WindowTest("Maildir") {}

  void SetUp() override {
    ASSERT_TRUE(CreateMaildir(root_));
    WriteStringValue(store_, "WordFilePath", "/p/words.db");
    WriteStringValue(store_, "BlackListPath", "/p/black.xml");
    WriteStringValue(store_, "WhiteListPath", "/p/white.xml");
    files_.files()["/p/black.xml"] = "<BlackList>\n</BlackList>\n";
    files_.files()["/p/white.xml"] = "<WhiteList>\n</WhiteList>\n";
  }
  void TearDown() override {
    window_.reset();
    stop_ = true;
    if (daemon_.joinable()) daemon_.join();
  }

  // The daemon, as "tarvex run" runs it, until the test ends.
  void StartDaemon() {
    daemon_ = std::thread([this] {
      GLibEventLoop loop;
      MaildirSession session({clock_, files_, store_, daemonUi_, loop}, root_);
      SessionOwner owner(session, files_, store_);
      LocalOperations operations(owner);
      CommandServer server(socket_);
      Subscribers subscribers;
      DaemonOptions options;
      options.commands = &server;
      AnswerClients(&options, operations, session.ui(), subscribers);
      loop.Every(20, [&] {
        if (stop_) loop.Quit();
      });
      RunDaemon(session, loop, options, log_);
    });
  }
  // The window, once the daemon answers.
  void Open() {
    StartDaemon();
    ASSERT_TRUE(QTest::qWaitFor([&] { return connect_().valid(); }, 5000));
    window_ = std::make_unique<MainWindow>(
        ops_, [this] { return Subscribe(connect_); }, played_.ui);
    played_.ui.SetParentWindow(window_.get());
    window_->show();
  }

  // Waits until the list's column reads so.
  bool Shows(int column, const std::vector<std::string>& texts) {
    return QTest::qWaitFor([&] { return Column(column) == texts; }, 5000);
  }
  int32_t FolderId(const std::string& name) {
    const QList<QTreeWidgetItem*> found =
        window_->folderTree().findItems(ToQt(name), Qt::MatchExactly | Qt::MatchRecursive);
    return found.size() == 1 ? found[0]->data(0, Qt::UserRole).toInt() : -1;
  }
  bool InSpamFolder(const std::string& name) {
    return fs::exists(root_ + "/.DedoZarozo/new/" + name) ||
           fs::exists(root_ + "/.DedoZarozo/cur/" + name);
  }

  const std::string socket_ = temp_.path() + "/run/socket";
  // The daemon's: touched only by its thread while it runs.
  ManualClock clock_{1'700'000'000};
  MemoryFileSystem files_;
  MemorySettingsStore store_;
  RecordingUi daemonUi_;
  std::ostringstream log_;
  std::atomic<bool> stop_{false};
  std::thread daemon_;
  // The window's.
  std::function<UniqueFd()> connect_ = [this] {
    std::string problem;
    return ConnectToServer(socket_, &problem);
  };
  RemoteOperations ops_{connect_, played_.ui};
};

// The daemon's folders and messages, its toolbar, and the mail it judges
// while the window is up, heard on the subscription.
TEST_F(ClientWindowTest, ShowsTheDaemonsStoreAndTheMailItJudges) {
  Deliver("1.a", "From: Ann <ann@a.example>\nSubject: Lunch\n\nsee you at noon\n");
  Open();
  EXPECT_TRUE(window_->hearing());
  EXPECT_GE(FolderId("Inbox"), 0);
  EXPECT_GE(FolderId(kSpamFolderName), 0);
  EXPECT_EQ(window_->shownFolder(), FolderId("Inbox"));
  EXPECT_THAT(Column(MessageListModel::kSubject), ElementsAre("Lunch"));
  EXPECT_THAT(Column(MessageListModel::kVerdict), ElementsAre("Clean"));
  EXPECT_EQ(window_->toolbar().ButtonCount(), 7);

  window_->messageView().selectRow(0);
  EXPECT_NE(window_->preview().toPlainText().toStdString().find("see you at noon"),
            std::string::npos);

  Deliver("2.b", "From: Bob <bob@b.example>\nSubject: Tea\n\nat four\n");
  EXPECT_TRUE(Shows(MessageListModel::kVerdict, {"Clean", "Clean"})) << log_.str();
  EXPECT_THAT(Column(MessageListModel::kSubject), ElementsAre("Lunch", "Tea"));
}

// Mark Spam and Not Spam on the window's selection move the messages in the
// daemon's store; Not Spam asks for the destination in the window.
TEST_F(ClientWindowTest, MarkSpamAndNotSpamFromTheToolbarMoveTheDaemonsMessages) {
  Deliver("1.a", "From: Ann <ann@a.example>\nSubject: Lunch\n\nsee you at noon\n");
  Open();
  ASSERT_TRUE(Shows(MessageListModel::kVerdict, {"Clean"}));
  window_->messageView().selectRow(0);
  QTest::mouseClick(Button(command::kMarkSpam), Qt::LeftButton);
  EXPECT_TRUE(InSpamFolder("1.a"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_->messageModel().rowCount() == 0; }, 3000));

  window_->ShowFolder(FolderId(kSpamFolderName));
  EXPECT_THAT(Column(MessageListModel::kLearnt), ElementsAre("Spam"));
  window_->messageView().selectRow(0);
  testing::ChooseDestination(played_, "Inbox");
  QTest::mouseClick(Button(command::kNotSpam), Qt::LeftButton);
  EXPECT_TRUE(played_.scripts.empty());
  EXPECT_FALSE(InSpamFolder("1.a"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_->messageModel().rowCount() == 0; }, 3000));
  window_->ShowFolder(FolderId("Inbox"));
  EXPECT_THAT(Column(MessageListModel::kLearnt), ElementsAre("Not Spam"));
  EXPECT_TRUE(played_.boxes.empty()) << played_.BoxTexts()[0];
}

// A domain added in the window's BlackList dialog is in the daemon's running
// filter at once: the next message from it is judged blacklisted, and as
// the daemon beeps at spam, the desktop tells of it.
TEST_F(ClientWindowTest, AListEditInTheWindowsDialogReachesTheDaemonsFilter) {
  WriteDwordValue(store_, "BeepAtSpam", 1);
  Open();
  played_.scripts.push_back([](QtDialogView& view) {
    EXPECT_EQ(view.windowTitle().toStdString(), "Manage Blacklist Items");
    testing::Choose(view, ListDialog::kTypeBox, 0);  // "Domain Name"
    testing::Type(view, ListDialog::kItemName, "spam.example");
    testing::Click(view, ListDialog::kAddToList);
    testing::Click(view, ListDialog::kClose);
  });
  QTest::mouseClick(Button(command::kBlackList), Qt::LeftButton);
  EXPECT_TRUE(played_.scripts.empty());
  std::vector<std::string> domains;
  ASSERT_TRUE(ops_.ListEntries(ListId::Blacklist, EntryKind::Domain, &domains).ok());
  EXPECT_THAT(domains, ElementsAre("spam.example"));

  std::vector<std::string> notices;
  window_->onSpamNotice = [&](const QString& text) { notices.push_back(text.toStdString()); };
  Deliver("3.c", "From: Bulk <offers@spam.example>\nSubject: Offer\n\ncheap pills\n");
  EXPECT_TRUE(QTest::qWaitFor([&] { return InSpamFolder("3.c"); }, 5000)) << log_.str();
  window_->ShowFolder(FolderId(kSpamFolderName));
  EXPECT_THAT(Column(MessageListModel::kVerdict), ElementsAre("Spam"));
  // The daemon beeped at it (BeepAtSpam is on): the desktop tells of it.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !notices.empty(); }, 3000));
  EXPECT_THAT(notices, ElementsAre("Spam from Bulk <offers@spam.example>: Offer"));
}

// Training runs in the daemon, its folders picked in the window, with its
// progress in the window's status bar; Mail Headers shows the daemon's copy.
TEST_F(ClientWindowTest, TrainingShowsTheDaemonsProgressAndMailHeadersItsHeaders) {
  testing::MakeJunkFolder(root_);
  Deliver("1.a", "From: Ann <ann@a.example>\nSubject: Lunch\n\nsee you at noon\n");
  Open();
  testing::TrainOnJunk(played_);
  QTest::mouseClick(Button(command::kTrainFilter), Qt::LeftButton);
  EXPECT_TRUE(played_.scripts.empty());
  EXPECT_EQ(window_->statusBar()->currentMessage().toStdString(),
            "Training on Junk: 3 messages learnt");
  DatabaseStats stats;
  ASSERT_TRUE(ops_.Stats(&stats).ok());
  EXPECT_EQ(stats.spamMessages, 3);

  ASSERT_TRUE(Shows(MessageListModel::kSubject, {"Lunch"}));
  window_->messageView().selectRow(0);
  std::string headers;
  played_.scripts.push_back(
      [&](QtDialogView& view) { headers = view.GetText(RawHeadersDialog::kHeaders); });
  QTest::mouseClick(Button(command::kMailHeaders), Qt::LeftButton);
  EXPECT_THAT(played_.dialogs,
              ElementsAre("Train the Bayesian filter", "Select Folders", "Raw Mail Headers"));
  EXPECT_NE(headers.find("X-TVX-RESULT: Clean"), std::string::npos) << headers;
}

// What the daemon shows while it works on the window's command (here a save
// that fails) is shown by the window, over it.
TEST_F(ClientWindowTest, TheDaemonsMessageBoxesShowInTheWindow) {
  files_.FailWrites("/p/words.db");
  files_.FailAppends("/p/words.db");
  Deliver("1.a", "From: Ann <ann@a.example>\nSubject: Lunch\n\nsee you at noon\n");
  Open();
  ASSERT_TRUE(Shows(MessageListModel::kSubject, {"Lunch"}));
  window_->messageView().selectRow(0);
  QTest::mouseClick(Button(command::kMarkSpam), Qt::LeftButton);
  ASSERT_EQ(played_.boxes.size(), 1u);
  EXPECT_EQ(played_.boxes[0].text, "Cannot save database (/p/words.db)");
  EXPECT_EQ(played_.boxes[0].owner, window_.get());
}

// The Settings menu's items run in the window: the Settings dialog writes
// the daemon's settings, About shows, Help and Support open their pages.
TEST_F(ClientWindowTest, TheSettingsMenuRunsEachItemAgainstTheDaemon) {
  Open();
  std::vector<std::string> addresses;
  played_.ui.onOpenAddress = [&](const std::string& address) { addresses.push_back(address); };
  played_.scripts.push_back([](QtDialogView& view) {
    Click(view, SettingsDialog::kBeep);
    Click(view, kIdOk);
  });
  for (const char* item : {"Settings", "About", "Help", "Support"}) {
    played_.ui.onMenuShown = [item](QMenu& menu) {
      for (QAction* action : menu.actions()) {
        if (action->text().toStdString() == item) menu.setActiveAction(action);
      }
      QTest::keyClick(&menu, Qt::Key_Return);
    };
    QTest::mouseClick(Button(command::kSettingsMenu), Qt::LeftButton);
  }
  played_.ui.onMenuShown = nullptr;
  EXPECT_THAT(played_.dialogs, ElementsAre("Settings", "About"));
  EXPECT_EQ(addresses.size(), 2u);
  SettingValue beep;
  ASSERT_TRUE(ops_.GetSetting("BeepAtSpam", &beep).ok());
  EXPECT_TRUE(beep.on);
}

// Closing the window leaves the daemon running, and a window whose daemon
// stopped says so instead of waiting for news.
TEST_F(ClientWindowTest, TheWindowClosesWithoutTheDaemonAndWaitsForItWhenItStops) {
  Open();
  window_->close();
  window_.reset();
  DatabaseStats stats;
  EXPECT_TRUE(ops_.Stats(&stats).ok());

  window_ = std::make_unique<MainWindow>(
      ops_, [this] { return Subscribe(connect_); }, played_.ui);
  window_->show();
  ASSERT_TRUE(window_->hearing());
  stop_ = true;
  daemon_.join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window_->hearing(); }, 3000));
  EXPECT_EQ(window_->statusBar()->currentMessage().toStdString(),
            "The Tarvex daemon has stopped: the window shows no new mail until it is back");

  // A daemon started again is heard from, and its mail shows.
  stop_ = false;
  StartDaemon();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_->hearing(); }, 3 * MainWindow::kResubscribeMs));
  Deliver("after", "From: a@b.example\nSubject: after the restart\n\nbody\n");
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        const std::vector<std::string> subjects = Column(MessageListModel::kSubject);
        return std::find(subjects.begin(), subjects.end(), "after the restart") != subjects.end();
      },
      5000));
}

}  // namespace
}  // namespace tarvex::desktop
