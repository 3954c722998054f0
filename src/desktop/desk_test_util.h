// Tests at the desktop's windows: a user interface whose dialogs and boxes
// are played by scripts of real clicks and keys on their widgets, and which
// keeps what it showed.
#ifndef TARVEX_DESKTOP_DESK_TEST_UTIL_H_
#define TARVEX_DESKTOP_DESK_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "desktop/main_window.h"
#include "desktop/qt_ui.h"
#include "testing/temp_folder.h"
#include "ui/folder_dialogs.h"

namespace tarvex::desktop::testing {

struct ShownBox {
  std::string text, caption;
  QMessageBox::Icon icon;
  std::vector<std::string> buttons;  // in the order shown
  std::string defaultButton;
  QWidget* owner;
};

using Script = std::function<void(QtDialogView&)>;

// Plays each dialog with the next queued script, then closes it with Escape
// should the script leave it open; answers each box with the next queued
// button, or with Enter (its default button) when none is queued.
class PlayedUi {
 public:
  PlayedUi() {
    ui.onDialogShown = [this](QtDialogView& view) {
      dialogs.push_back(FromQt(view.windowTitle()));
      view.activateWindow();
      if (!QTest::qWaitForWindowActive(&view)) ADD_FAILURE() << "the dialog never came up";
      if (!scripts.empty()) {
        Script script = std::move(scripts.front());
        scripts.pop_front();
        script(view);
      }
      if (!view.ended()) QTest::keyClick(&view, Qt::Key_Escape);
    };
    ui.onMessageBoxShown = [this](QMessageBox& box) {
      ShownBox shown{FromQt(box.text()), FromQt(box.windowTitle()), box.icon(), {}, {},
                     box.parentWidget()};
      // Without the marks of their keyboard shortcuts.
      const auto name = [](QAbstractButton* button) { return FromQt(button->text().remove('&')); };
      for (QAbstractButton* button : box.buttons()) shown.buttons.push_back(name(button));
      if (box.defaultButton()) shown.defaultButton = name(box.defaultButton());
      boxes.push_back(shown);
      box.activateWindow();
      if (!QTest::qWaitForWindowActive(&box)) ADD_FAILURE() << "the box never came up";
      if (answers.empty()) {
        QTest::keyClick(&box, Qt::Key_Return);
      } else {
        QTest::mouseClick(box.button(answers.front()), Qt::LeftButton);
        answers.pop_front();
      }
    };
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const ShownBox& box : boxes) texts.push_back(box.text);
    return texts;
  }

  QtUserInterface ui;
  std::deque<Script> scripts;
  std::deque<QMessageBox::StandardButton> answers;
  std::vector<std::string> dialogs;
  std::vector<ShownBox> boxes;
};

// The user's hands on a dialog's widgets.
inline void Click(QtDialogView& view, int control) {
  QTest::mouseClick(view.Widget(control), Qt::LeftButton);
}

// Replaces an edit's text by typing it.
inline void Type(QtDialogView& view, int control, const std::string& text) {
  auto* edit = qobject_cast<QLineEdit*>(view.Widget(control));
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, ToQt(text));
}

// Picks a drop-down list's row with the keyboard.
inline void Choose(QtDialogView& view, int control, int row) {
  auto* box = qobject_cast<QComboBox*>(view.Widget(control));
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Home);
  for (int i = 0; i < row; ++i) QTest::keyClick(box, Qt::Key_Down);
}

inline QPoint RowPoint(QTreeWidget* list, int row) {
  return list->visualItemRect(list->topLevelItem(row)).center();
}

// Clicks a row of a list view, then ticks or clears its box with Space.
inline void TickRow(QtDialogView& view, int control, int row) {
  auto* list = qobject_cast<QTreeWidget*>(view.Widget(control));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowPoint(list, row));
  QTest::keyClick(list, Qt::Key_Space);
}

inline void DoubleClickRow(QtDialogView& view, int control, int row) {
  auto* list = qobject_cast<QTreeWidget*>(view.Widget(control));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, RowPoint(list, row));
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, RowPoint(list, row));
}

inline void PressEnter(QtDialogView& view) {
  QWidget* focus = view.focusWidget() ? view.focusWidget() : &view;
  QTest::keyClick(focus, Qt::Key_Return);
}

// A folder "Junk" in the Maildir at root with three spam messages, read.
inline void MakeJunkFolder(const std::string& root) {
  for (const char* sub : {"/.Junk/tmp", "/.Junk/new", "/.Junk/cur"}) {
    std::filesystem::create_directories(root + sub);
  }
  for (int i = 0; i < 3; ++i) {
    std::ofstream(root + "/.Junk/cur/" + std::to_string(i) + ".j:2,S")
        << "From: a@b.example\nSubject: cheap pills " << i << "\n\nbuy now\n";
  }
}

// Plays the training dialog and its picker: "Junk" is the spam to learn.
inline void TrainOnJunk(PlayedUi& played) {
  played.scripts.push_back([](QtDialogView& view) {
    Click(view, TrainingDialog::kSpamPick);
    Click(view, TrainingDialog::kStartTraining);
  });
  played.scripts.push_back([](QtDialogView& pick) {
    auto* list = qobject_cast<QTreeWidget*>(pick.Widget(FolderPickDialog::kFolderList));
    const QList<QTreeWidgetItem*> junk = list->findItems("Junk", Qt::MatchExactly);
    ASSERT_EQ(junk.size(), 1);
    TickRow(pick, FolderPickDialog::kFolderList, list->indexOfTopLevelItem(junk[0]));
    Click(pick, kIdOk);
  });
}

// Plays the destination dialog of Not Spam: folder is where the messages go.
inline void ChooseDestination(PlayedUi& played, const std::string& folder) {
  played.scripts.push_back([folder](QtDialogView& view) {
    EXPECT_EQ(view.windowTitle().toStdString(), "Select Destination Folder");
    auto* box = qobject_cast<QComboBox*>(view.Widget(DestinationFolderDialog::kFolderBox));
    const int row = box->findText(ToQt(folder));
    ASSERT_GE(row, 0);
    Choose(view, DestinationFolderDialog::kFolderBox, row);
    PressEnter(view);
  });
}

// What the tests of the mail window share: a Maildir in a folder of their
// own, the window with its played interface, its list and its toolbar.
class WindowTest : public ::testing::Test {
 protected:
  // The Maildir is at below in the test's folder (there itself when empty).
  explicit WindowTest(const std::string& below)
      : root_(below.empty() ? temp_.path() : temp_.path() + "/" + below) {}

  // Writes the message into tmp/ and renames it into new/, as an MDA does.
  void Deliver(const std::string& name, const std::string& text) {
    std::ofstream(root_ + "/tmp/" + name) << text;
    std::filesystem::rename(root_ + "/tmp/" + name, root_ + "/new/" + name);
  }
  // The list's column as shown, row by row.
  std::vector<std::string> Column(int column) {
    std::vector<std::string> texts;
    QAbstractItemModel* model = window_->messageView().model();
    for (int row = 0; row < model->rowCount(); ++row) {
      texts.push_back(model->index(row, column).data().toString().toStdString());
    }
    return texts;
  }
  QToolButton* Button(uint32_t command) {
    return window_->toolbar().Button(window_->toolbar().CommandToIndex(command));
  }

  ::tarvex::testing::TempFolder temp_{"tarvex-desktop"};
  const std::string root_;
  PlayedUi played_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace tarvex::desktop::testing

#endif  // TARVEX_DESKTOP_DESK_TEST_UTIL_H_
