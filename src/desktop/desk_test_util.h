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
#include <QTest>
#include <QTreeWidget>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "desktop/qt_ui.h"

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

}  // namespace tarvex::desktop::testing

#endif  // TARVEX_DESKTOP_DESK_TEST_UTIL_H_
