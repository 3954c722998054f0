#include "desktop/qt_ui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "platform/codepage.h"
#include "ui/plugin_toolbar.h"

namespace tarvex::desktop {
namespace {

// A whole drop-down button: pressing it tells the toolbar's parent, which
// shows the menu; the button itself shows none.
class DropDownButton : public QToolButton {
 public:
  using QToolButton::QToolButton;
  std::function<void()> onPressed;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return QToolButton::mousePressEvent(event);
    setDown(true);
    if (onPressed) onPressed();
    setDown(false);
  }
};

// Message box button sets by the low bits of the style, with the Windows
// answer of each button, in the order Windows shows them.
struct ButtonSet {
  uint32_t style;
  std::vector<std::pair<QMessageBox::StandardButton, int>> buttons;
};

const std::vector<ButtonSet>& ButtonSets() {
  using B = QMessageBox;
  static const std::vector<ButtonSet> sets = {
      {mb::kOk, {{B::Ok, mb::kIdOk}}},
      {0x1, {{B::Ok, mb::kIdOk}, {B::Cancel, mb::kIdCancel}}},
      {0x2, {{B::Abort, 3}, {B::Retry, 4}, {B::Ignore, 5}}},
      {0x3, {{B::Yes, mb::kIdYes}, {B::No, mb::kIdNo}, {B::Cancel, mb::kIdCancel}}},
      {mb::kYesNo, {{B::Yes, mb::kIdYes}, {B::No, mb::kIdNo}}},
      {0x5, {{B::Retry, 4}, {B::Cancel, mb::kIdCancel}}},
  };
  return sets;
}

QMessageBox::Icon IconOf(uint32_t style) {
  switch (style & 0xF0) {
    case mb::kIconError:
      return QMessageBox::Critical;
    case mb::kIconQuestion:
      return QMessageBox::Question;
    case mb::kIconExclamation:
      return QMessageBox::Warning;
    case mb::kIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

}  // namespace

QString ToQt(const std::string& text) { return QString::fromStdString(cp1252::ToUtf8(text)); }

std::string FromQt(const QString& text) { return cp1252::FromUtf8(text.toStdString()); }

std::string FindResource(const std::string& relative) {
  std::vector<std::string> folders;
  if (const char* own = std::getenv("TARVEX_RESOURCES")) folders.push_back(own);
  if (const char* source = std::getenv("TARVEX_SOURCE_DIR"))
    folders.push_back(std::string(source) + "/resources");
  folders.push_back(TARVEX_SOURCE_RESOURCES);
  folders.push_back(TARVEX_INSTALLED_RESOURCES);
  for (const std::string& folder : folders) {
    const std::string path = folder + "/" + relative;
    if (QFileInfo::exists(QString::fromStdString(path))) return path;
  }
  return {};
}

std::string BitmapFile(const std::string& name) { return FindResource("bitmaps/" + name + ".png"); }

std::string IconPath(const std::string& name) {
  const char* file =
      name.size() > 1 && name[0] == '#' ? IconFile(std::atoi(name.c_str() + 1)) : nullptr;
  return file ? FindResource(file) : std::string();
}

// ---------------------------------------------------------------- user interface

QWidget* QtUserInterface::Owner() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return parent_;
}

int QtUserInterface::MessageBox(const std::string& text, const std::string& caption,
                                uint32_t style) {
  return ShowBox(text, caption, style, nullptr);
}

int QtUserInterface::ShowBox(const std::string& text, const std::string& caption, uint32_t style,
                             QWidget* owner) {
  QMessageBox box(owner ? owner : Owner());
  box.setWindowTitle(ToQt(caption));
  box.setText(ToQt(text));
  box.setTextFormat(Qt::PlainText);
  box.setIcon(IconOf(style));
  const auto& sets = ButtonSets();
  auto set = std::find_if(sets.begin(), sets.end(),
                          [style](const ButtonSet& s) { return s.style == (style & 0xF); });
  if (set == sets.end()) set = sets.begin();
  std::vector<QAbstractButton*> buttons;
  for (const auto& [button, answer] : set->buttons) buttons.push_back(box.addButton(button));
  // The default button is the first unless bits 8 to 11 name another.
  const size_t defaultIndex = (style >> 8) & 0xF;
  box.setDefaultButton(
      static_cast<QPushButton*>(buttons[defaultIndex < buttons.size() ? defaultIndex : 0]));
  if (style & mb::kTopmost) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  if (onMessageBoxShown) QTimer::singleShot(0, &box, [this, &box] { onMessageBoxShown(box); });
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (buttons[i] == clicked) return set->buttons[i].second;
  }
  // Closed without a button: as Escape on Windows, the box's cancel answer.
  return set->buttons.size() == 1 ? set->buttons.front().second : mb::kIdCancel;
}

void QtUserInterface::Beep(uint32_t type) {
  QApplication::beep();
  if (onBeep) onBeep(type);
}

int QtUserInterface::RunModal(DialogPresenter& dialog) {
  QtDialogView view(dialog, *this, Owner());
  dialog.OnInitDialog(view);
  if (view.ended()) return view.dialogResult();
  if (onDialogShown) QTimer::singleShot(0, &view, [this, &view] { onDialogShown(view); });
  view.exec();
  return view.dialogResult();
}

uint32_t QtUserInterface::ShowPopupMenu(const Menu& menu, const ScreenRect& button) {
  QMenu popup(Owner());
  for (const MenuItem& item : menu.items) {
    if (item.separator()) {
      popup.addSeparator();
    } else {
      popup.addAction(ToQt(item.text))->setData(item.id);
    }
  }
  if (onMenuShown) QTimer::singleShot(0, &popup, [this, &popup] { onMenuShown(popup); });
  QAction* chosen = popup.exec(QPoint(button.left, button.bottom));
  return chosen ? chosen->data().toUInt() : 0;
}

void QtUserInterface::OpenAddress(const std::string& address) {
  if (onOpenAddress) return onOpenAddress(address);
  QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(address)));
}

// ---------------------------------------------------------------- toolbar

QtToolbar::QtToolbar(QWidget* parent) : QToolBar(parent) {
  setObjectName("tarvexToolbar");
  setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  setIconSize(QSize(16, 16));
  setMovable(false);
}

int QtToolbar::CommandToIndex(uint32_t command) const {
  for (size_t i = 0; i < buttons_.size(); ++i) {
    if (buttons_[i].button.command == command) return static_cast<int>(i);
  }
  return -1;
}

void QtToolbar::AddStrings(const std::string& list) {
  size_t start = 0;
  while (start < list.size() && list[start] != '\0') {
    const size_t end = list.find('\0', start);
    strings_.push_back(list.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

bool QtToolbar::InsertButton(int index, const ToolbarButton& button) {
  if (index < 0 || index > ButtonCount()) return false;
  const bool dropDown = button.style & tb::kStyleWholeDropDown;
  QToolButton* widget = nullptr;
  const uint32_t command = button.command;
  if (dropDown) {
    auto* arrow = new DropDownButton(this);
    // The menu only draws the arrow; the parent shows the real one.
    arrow->setMenu(new QMenu(arrow));
    arrow->setPopupMode(QToolButton::InstantPopup);
    arrow->onPressed = [this, command] {
      if (parent_) parent_->OnToolbarDropDown(command);
    };
    widget = arrow;
  } else {
    widget = new QToolButton(this);
    connect(widget, &QToolButton::clicked, this, [this, command] {
      if (parent_) parent_->OnToolbarCommand(command);
    });
  }
  widget->setToolButtonStyle(toolButtonStyle());
  if (button.string >= 0 && button.string < static_cast<int>(strings_.size())) {
    widget->setText(ToQt(strings_[button.string]));
  }
  widget->setEnabled(button.state & tb::kStateEnabled);
  QAction* before = index < ButtonCount() ? actions().at(index) : nullptr;
  insertWidget(before, widget);
  buttons_.insert(buttons_.begin() + index, {button, widget});
  ShowIcons();
  return true;
}

void QtToolbar::SetImageList(const ImageList* images) {
  images_ = images;
  ShowIcons();
}

void QtToolbar::ShowIcons() {
  if (!images_) return;
  for (const Entry& entry : buttons_) {
    const int image = entry.button.image;
    if (image < 0 || image >= static_cast<int>(images_->resourceIds.size())) continue;
    const std::string file = IconPath("#" + std::to_string(images_->resourceIds[image]));
    if (!file.empty()) entry.widget->setIcon(QIcon(QString::fromStdString(file)));
  }
}

ScreenRect QtToolbar::ButtonRect(uint32_t command) const {
  const int index = CommandToIndex(command);
  if (index < 0) return {0, 0, 0, 0};
  const QWidget* button = buttons_[index].widget;
  const QPoint topLeft = button->mapToGlobal(QPoint(0, 0));
  return {topLeft.x(), topLeft.y(), topLeft.x() + button->width(), topLeft.y() + button->height()};
}

QToolButton* QtToolbar::Button(int index) const {
  return index >= 0 && index < ButtonCount() ? buttons_[index].widget : nullptr;
}

}  // namespace tarvex::desktop
