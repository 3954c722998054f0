#include "desktop/qt_ui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QValidator>
#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "platform/codepage.h"
#include "ui/plugin_toolbar.h"

namespace tarvex::desktop {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Rounds a * b / c as Windows' MulDiv does, for the non-negative values of
// dialog geometry.
int MulDiv(int a, int b, int c) { return (2 * a * b + c) / (2 * c); }

// An edit without automatic horizontal scrolling takes no more text than
// its box shows.
class FitsBoxValidator : public QValidator {
 public:
  explicit FitsBoxValidator(QLineEdit* edit) : QValidator(edit), edit_(edit) {}
  State validate(QString& input, int&) const override {
    const int room = edit_->contentsRect().width() -
                     2 * edit_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return edit_->fontMetrics().horizontalAdvance(input) <= room ? Acceptable : Invalid;
  }

 private:
  QLineEdit* edit_;
};

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

// An icon control's text names its resource as "#n".
std::string IconPath(const std::string& name) {
  const char* file =
      name.size() > 1 && name[0] == '#' ? IconFile(std::atoi(name.c_str() + 1)) : nullptr;
  return file ? FindResource(file) : std::string();
}

QPixmap Picture(const std::string& file) {
  return file.empty() ? QPixmap() : QPixmap(QString::fromStdString(file));
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

// ---------------------------------------------------------------- dialog units

DialogUnits DialogUnits::Of(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(QString::fromLatin1(kAlphabet));
  return {(width / 26 + 1) / 2, metrics.height()};
}

int DialogUnits::ToPixelsX(int du) const { return MulDiv(du, baseX, 4); }
int DialogUnits::ToPixelsY(int du) const { return MulDiv(du, baseY, 8); }

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const {
  return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(width), ToPixelsY(height));
}

QFont DialogFont(const DialogTemplate& layout) {
  QFont font(QString::fromStdString(layout.font));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(layout.pointSize);
  return font;
}

// ---------------------------------------------------------------- dialog view

QtDialogView::QtDialogView(DialogPresenter& presenter, QtUserInterface& ui, QWidget* parent)
    : QDialog(parent), presenter_(presenter), ui_(ui), layout_(presenter.Template()) {
  setWindowTitle(ToQt(layout_.caption));
  setFont(DialogFont(layout_));
  units_ = DialogUnits::Of(font());
  setFixedSize(units_.ToPixelsX(layout_.width), units_.ToPixelsY(layout_.height));
  Build();
}

void QtDialogView::Build() {
  QWidget* previous = nullptr;
  for (const ControlTemplate& control : layout_.controls) {
    QWidget* widget = Make(control);
    const QRect place = units_.ToPixels(control.x, control.y, control.width, control.height);
    if (control.kind == ControlKind::kComboBox) {
      // The template's height is that of the open list; the box itself is
      // as high as the font makes it.
      auto* box = static_cast<QComboBox*>(widget);
      const int boxHeight = box->sizeHint().height();
      box->setGeometry(place.x(), place.y(), place.width(), boxHeight);
      box->setMaxVisibleItems(
          std::max(1, (place.height() - boxHeight) / box->fontMetrics().height()));
    } else {
      widget->setGeometry(place);
    }
    if (TakesFocus(control.kind)) {
      widget->setFocusPolicy(Qt::StrongFocus);
      if (previous) QWidget::setTabOrder(previous, widget);
      previous = widget;
    } else {
      widget->setFocusPolicy(Qt::NoFocus);
    }
    controls_.push_back({&control, widget});
  }
}

QWidget* QtDialogView::Make(const ControlTemplate& control) {
  const int id = control.id;
  const QString text = ToQt(control.text);
  switch (control.kind) {
    case ControlKind::kStatic: {
      if (control.style & ctl::kEtchedLine) {
        auto* line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        return line;
      }
      auto* label = new QLabel(text, this);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment((control.style & ctl::kCenter ? Qt::AlignHCenter : Qt::AlignLeft) |
                          Qt::AlignTop);
      return label;
    }
    case ControlKind::kGroupBox:
      return new QGroupBox(text, this);
    case ControlKind::kBitmap:
    case ControlKind::kIcon: {
      auto* picture = new QLabel(this);
      picture->setPixmap(Picture(control.kind == ControlKind::kBitmap ? BitmapFile(control.text)
                                                                      : IconPath(control.text)));
      picture->setScaledContents(true);
      return picture;
    }
    case ControlKind::kEdit: {
      auto* edit = new QLineEdit(text, this);
      if (control.style & ctl::kReadOnly) edit->setReadOnly(true);
      if (!(control.style & ctl::kAutoHScroll)) edit->setValidator(new FitsBoxValidator(edit));
      connect(edit, &QLineEdit::textEdited, this, [this, id] { Notify(id); });
      return edit;
    }
    case ControlKind::kMultiLineEdit: {
      auto* edit = new QPlainTextEdit(text, this);
      edit->setReadOnly(control.style & ctl::kReadOnly);
      edit->setVerticalScrollBarPolicy(control.style & ctl::kVScroll ? Qt::ScrollBarAlwaysOn
                                                                     : Qt::ScrollBarAlwaysOff);
      edit->setFrameShape(control.style & ctl::kBorder ? QFrame::StyledPanel : QFrame::NoFrame);
      edit->setTabChangesFocus(true);
      return edit;
    }
    case ControlKind::kButton:
    case ControlKind::kDefaultButton: {
      auto* button = new QPushButton(text, this);
      button->setAutoDefault(true);
      button->setDefault(control.kind == ControlKind::kDefaultButton);
      connect(button, &QPushButton::clicked, this, [this, id] { Notify(id); });
      return button;
    }
    case ControlKind::kCheckBox: {
      auto* box = new QCheckBox(text, this);
      connect(box, &QCheckBox::clicked, this, [this, id] { Notify(id); });
      return box;
    }
    case ControlKind::kComboBox: {
      auto* box = new QComboBox(this);
      connect(box, QOverload<int>::of(&QComboBox::activated), this, [this, id] { Notify(id); });
      return box;
    }
    case ControlKind::kListView: {
      auto* list = new QTreeWidget(this);
      list->setRootIsDecorated(false);
      list->setItemsExpandable(false);
      list->setUniformRowHeights(true);
      list->setColumnCount(0);
      list->setHeaderHidden(!(control.style & ctl::kReportView));
      list->setSelectionMode(control.style & ctl::kSingleSelection
                                 ? QAbstractItemView::SingleSelection
                                 : QAbstractItemView::ExtendedSelection);
      list->setSelectionBehavior(control.style & ctl::kFullRowSelect
                                     ? QAbstractItemView::SelectRows
                                     : QAbstractItemView::SelectItems);
      list->setSortingEnabled(false);
      list->header()->setSectionsClickable(!(control.style & ctl::kNoSortHeader));
      list->header()->setSectionsMovable(false);
      list->header()->setStretchLastSection(false);
      list->setFrameShape(control.style & ctl::kBorder ? QFrame::StyledPanel : QFrame::NoFrame);
      list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
      connect(list, &QTreeWidget::itemChanged, this, [this, id] { Notify(id); });
      connect(list, &QTreeWidget::itemSelectionChanged, this, [this, id] { Notify(id); });
      connect(list, &QTreeWidget::itemDoubleClicked, this, [this, id](QTreeWidgetItem* item) {
        if (quiet_ || ended_) return;
        static_cast<QTreeWidget*>(Widget(id))->setCurrentItem(item);
        presenter_.OnDoubleClick(*this, id);
      });
      return list;
    }
  }
  throw std::logic_error("control " + std::to_string(id) + " is of no kind known");
}

void QtDialogView::Notify(int control) {
  if (quiet_ || ended_) return;
  presenter_.OnCommand(*this, control);
}

const QtDialogView::Control& QtDialogView::Find(int control) const {
  for (const Control& c : controls_) {
    if (c.layout->id == control) return c;
  }
  throw std::out_of_range("dialog \"" + layout_.caption + "\" has no control " +
                          std::to_string(control));
}

QWidget* QtDialogView::Widget(int control) const { return Find(control).widget; }

void QtDialogView::SetText(int control, const std::string& text) {
  const Control& c = Find(control);
  ++quiet_;
  const QString shown = ToQt(text);
  if (auto* label = qobject_cast<QLabel*>(c.widget)) {
    label->setText(shown);
  } else if (auto* group = qobject_cast<QGroupBox*>(c.widget)) {
    group->setTitle(shown);
  } else if (auto* edit = qobject_cast<QLineEdit*>(c.widget)) {
    edit->setText(shown);
  } else if (auto* multi = qobject_cast<QPlainTextEdit*>(c.widget)) {
    QString plain = shown;
    multi->setPlainText(plain.replace(QLatin1String("\r\n"), QLatin1String("\n")));
  } else if (auto* button = qobject_cast<QAbstractButton*>(c.widget)) {
    button->setText(shown);
  }
  --quiet_;
}

std::string QtDialogView::GetText(int control) const {
  const Control& c = Find(control);
  if (auto* label = qobject_cast<QLabel*>(c.widget)) return FromQt(label->text());
  if (auto* group = qobject_cast<QGroupBox*>(c.widget)) return FromQt(group->title());
  if (auto* edit = qobject_cast<QLineEdit*>(c.widget)) return FromQt(edit->text());
  if (auto* multi = qobject_cast<QPlainTextEdit*>(c.widget)) {
    return FromQt(multi->toPlainText().replace(QLatin1String("\n"), QLatin1String("\r\n")));
  }
  if (auto* button = qobject_cast<QAbstractButton*>(c.widget)) return FromQt(button->text());
  if (auto* box = qobject_cast<QComboBox*>(c.widget)) {
    return box->currentIndex() < 0 ? std::string() : FromQt(box->currentText());
  }
  return {};
}

void QtDialogView::SetCheck(int control, bool checked) {
  auto* box = qobject_cast<QCheckBox*>(Widget(control));
  if (!box) throw std::logic_error("control " + std::to_string(control) + " is no check box");
  ++quiet_;
  box->setChecked(checked);
  --quiet_;
}

bool QtDialogView::GetCheck(int control) const {
  auto* box = qobject_cast<QCheckBox*>(Widget(control));
  if (!box) throw std::logic_error("control " + std::to_string(control) + " is no check box");
  return box->isChecked();
}

void QtDialogView::SetFocus(int control) { Widget(control)->setFocus(Qt::OtherFocusReason); }

void QtDialogView::MakeTopmost() { setWindowFlag(Qt::WindowStaysOnTopHint, true); }

namespace {

QTreeWidget* ListOf(QWidget* widget) { return qobject_cast<QTreeWidget*>(widget); }
QComboBox* ComboOf(QWidget* widget) { return qobject_cast<QComboBox*>(widget); }

bool Checkable(QTreeWidget* list) { return list->property("tarvexCheckBoxes").toBool(); }

void CheckRange(int row, int count, int control) {
  if (row < 0 || row >= count) {
    throw std::out_of_range("control " + std::to_string(control) + " has no row " +
                            std::to_string(row));
  }
}

}  // namespace

void QtDialogView::AddColumn(int control, const std::string& title, int widthPixels) {
  QTreeWidget* list = ListOf(Widget(control));
  if (!list) throw std::logic_error("control " + std::to_string(control) + " is no list view");
  ++quiet_;
  const int column = list->columnCount();
  list->setColumnCount(column + 1);
  list->headerItem()->setText(column, ToQt(title));
  list->headerItem()->setTextAlignment(column, Qt::AlignLeft | Qt::AlignVCenter);
  list->setColumnWidth(column, widthPixels);
  --quiet_;
}

void QtDialogView::EnableCheckBoxes(int control) {
  QTreeWidget* list = ListOf(Widget(control));
  if (!list) throw std::logic_error("control " + std::to_string(control) + " is no list view");
  ++quiet_;
  list->setProperty("tarvexCheckBoxes", true);
  for (int row = 0; row < list->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
  }
  --quiet_;
}

int QtDialogView::AddItem(int control, const std::string& text) {
  const Control& c = Find(control);
  const bool sorted = c.layout->style & ctl::kSorted;
  ++quiet_;
  int row = -1;
  if (QComboBox* box = ComboOf(c.widget)) {
    row = box->count();
    if (sorted) {
      row = 0;
      while (row < box->count() && !SortsBefore(text, FromQt(box->itemText(row)))) ++row;
    }
    box->insertItem(row, ToQt(text));
    // A drop-down list shows nothing until the user or the presenter picks.
    if (box->count() == 1) box->setCurrentIndex(-1);
  } else if (QTreeWidget* list = ListOf(c.widget)) {
    row = list->topLevelItemCount();
    if (sorted) {
      row = 0;
      while (row < list->topLevelItemCount() &&
             !SortsBefore(text, FromQt(list->topLevelItem(row)->text(0))))
        ++row;
    }
    auto* item = new QTreeWidgetItem({ToQt(text)});
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (Checkable(list)) {
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, Qt::Unchecked);
    }
    list->insertTopLevelItem(row, item);
  } else {
    --quiet_;
    throw std::logic_error("control " + std::to_string(control) + " is no list");
  }
  --quiet_;
  return row;
}

int QtDialogView::ItemCount(int control) const {
  QWidget* widget = Widget(control);
  if (QComboBox* box = ComboOf(widget)) return box->count();
  if (QTreeWidget* list = ListOf(widget)) return list->topLevelItemCount();
  throw std::logic_error("control " + std::to_string(control) + " is no list");
}

std::string QtDialogView::ItemText(int control, int row) const {
  CheckRange(row, ItemCount(control), control);
  QWidget* widget = Widget(control);
  if (QComboBox* box = ComboOf(widget)) return FromQt(box->itemText(row));
  return FromQt(ListOf(widget)->topLevelItem(row)->text(0));
}

bool QtDialogView::ItemChecked(int control, int row) const {
  CheckRange(row, ItemCount(control), control);
  QTreeWidget* list = ListOf(Widget(control));
  return list && Checkable(list) && list->topLevelItem(row)->checkState(0) == Qt::Checked;
}

int QtDialogView::Selection(int control) const {
  QWidget* widget = Widget(control);
  if (QComboBox* box = ComboOf(widget)) return box->currentIndex();
  if (QTreeWidget* list = ListOf(widget)) {
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.front());
  }
  throw std::logic_error("control " + std::to_string(control) + " is no list");
}

void QtDialogView::SetItemText(int control, int row, const std::string& text) {
  CheckRange(row, ItemCount(control), control);
  ++quiet_;
  QWidget* widget = Widget(control);
  if (QComboBox* box = ComboOf(widget)) {
    box->setItemText(row, ToQt(text));
  } else {
    ListOf(widget)->topLevelItem(row)->setText(0, ToQt(text));
  }
  --quiet_;
}

void QtDialogView::DeleteItem(int control, int row) {
  CheckRange(row, ItemCount(control), control);
  ++quiet_;
  QWidget* widget = Widget(control);
  if (QComboBox* box = ComboOf(widget)) {
    box->removeItem(row);
  } else {
    delete ListOf(widget)->takeTopLevelItem(row);
  }
  --quiet_;
}

void QtDialogView::DeleteAllItems(int control) {
  ++quiet_;
  QWidget* widget = Widget(control);
  if (QComboBox* box = ComboOf(widget)) {
    box->clear();
  } else if (QTreeWidget* list = ListOf(widget)) {
    list->clear();
  }
  --quiet_;
}

int QtDialogView::MessageBox(const std::string& text, const std::string& caption, uint32_t style) {
  return ui_.ShowBox(text, caption, style, this);
}

void QtDialogView::EndDialog(int result) {
  ended_ = true;
  result_ = result;
  done(result);
}

void QtDialogView::accept() { Notify(kIdOk); }

void QtDialogView::reject() { Notify(kIdCancel); }

void QtDialogView::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && event->modifiers() == Qt::NoModifier) {
    // Windows sends OK when no button takes the key.
    const auto buttons = findChildren<QPushButton*>();
    const bool taken = std::any_of(buttons.begin(), buttons.end(), [](QPushButton* button) {
      return button->isDefault() && button->isVisible() && button->isEnabled();
    });
    if (!taken) {
      Notify(kIdOk);
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

void QtDialogView::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (focusWidget()) return;
  for (const Control& c : controls_) {
    if (TakesFocus(c.layout->kind)) {
      c.widget->setFocus(Qt::TabFocusReason);
      return;
    }
  }
}

void QtDialogView::setVisible(bool visible) {
  QDialog::setVisible(visible);
  if (!visible) return;
  // Qt makes the first button the default of a dialog that declares none;
  // Windows leaves it none, and Enter then sends OK.
  for (const Control& c : controls_) {
    if (c.layout->kind == ControlKind::kButton && !c.widget->hasFocus()) {
      static_cast<QPushButton*>(c.widget)->setDefault(false);
    }
  }
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
