// The dialog renderer: a window built from any dialog template, placed in
// dialog units of the template's font.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QValidator>
#include <algorithm>
#include <stdexcept>

#include "desktop/qt_ui.h"

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

QPixmap Picture(const std::string& file) {
  return file.empty() ? QPixmap() : QPixmap(QString::fromStdString(file));
}

}  // namespace

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

}  // namespace tarvex::desktop
