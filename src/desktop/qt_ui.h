// The desktop's face of the plug-in: every dialog drawn by one renderer from
// its template, message boxes, menus and the toolbar, in Qt Widgets. The
// presenters keep all the dialogs' logic; the windows here only show what
// they are told and tell what the user did, as the test view does.
#ifndef TARVEX_DESKTOP_QT_UI_H_
#define TARVEX_DESKTOP_QT_UI_H_

#include <QDialog>
#include <QFont>
#include <QRect>
#include <QString>
#include <QToolBar>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/toolbar.h"
#include "ui/user_interface.h"

class QMenu;
class QMessageBox;
class QToolButton;

namespace tarvex::desktop {

// System texts (Windows-1252) to what Qt shows, and back.
QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

// The file of a resource (an icon, a bitmap) by its path under the resources
// folder: where TARVEX_RESOURCES points, else the source tree's, else the
// installed one; empty when none holds it.
std::string FindResource(const std::string& relative);
// The file of an icon control's image, its resource named "#n" by its text.
std::string IconPath(const std::string& name);
// The file of a bitmap control's image, named by its text.
std::string BitmapFile(const std::string& name);

// The dialog font's base units, as Windows computes them: the average width
// of the alphabet's 52 letters, rounded, and the font's height.
struct DialogUnits {
  int baseX = 0, baseY = 0;

  static DialogUnits Of(const QFont& font);
  // Dialog units to pixels, rounded as Windows rounds them.
  int ToPixelsX(int du) const;
  int ToPixelsY(int du) const;
  QRect ToPixels(int x, int y, int width, int height) const;
};

// The template's font or, as no system here has it, the nearest installed
// sans font, at the template's size.
QFont DialogFont(const DialogTemplate& layout);

class QtUserInterface;

// A dialog window built from a template: one widget per control, placed in
// dialog units, in the template's tab order. What the user does goes to the
// presenter as it would from a Windows dialog: a button, a ticked box, typed
// text, a chosen row (OnCommand), a double-clicked row (OnDoubleClick);
// Enter presses the focused button, else the default button, else OK;
// Escape and the close box send Cancel. The dialog closes only when the
// presenter ends it.
class QtDialogView : public QDialog, public DialogView {
 public:
  QtDialogView(DialogPresenter& presenter, QtUserInterface& ui, QWidget* parent);

  // DialogView. A drop-down list's text is its selected row's; setting it
  // changes nothing.
  void SetText(int control, const std::string& text) override;
  std::string GetText(int control) const override;
  void SetCheck(int control, bool checked) override;
  bool GetCheck(int control) const override;
  void SetFocus(int control) override;
  void MakeTopmost() override;
  void AddColumn(int control, const std::string& title, int widthPixels) override;
  void EnableCheckBoxes(int control) override;
  int AddItem(int control, const std::string& text) override;
  int ItemCount(int control) const override;
  std::string ItemText(int control, int row) const override;
  bool ItemChecked(int control, int row) const override;
  int Selection(int control) const override;
  void SetItemText(int control, int row, const std::string& text) override;
  void DeleteItem(int control, int row) override;
  void DeleteAllItems(int control) override;
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  void EndDialog(int result) override;

  const DialogTemplate& layout() const { return layout_; }
  const DialogUnits& units() const { return units_; }
  // The control's widget; throws std::out_of_range for an id the template
  // lacks.
  QWidget* Widget(int control) const;
  bool ended() const { return ended_; }
  int dialogResult() const { return result_; }

 protected:
  void accept() override;
  void reject() override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void setVisible(bool visible) override;

 private:
  struct Control {
    const ControlTemplate* layout;
    QWidget* widget;
  };
  const Control& Find(int control) const;
  void Build();
  QWidget* Make(const ControlTemplate& control);
  // Tells the presenter, unless the change is the presenter's own.
  void Notify(int control);

  DialogPresenter& presenter_;
  QtUserInterface& ui_;
  const DialogTemplate& layout_;
  DialogUnits units_;
  std::vector<Control> controls_;
  int quiet_ = 0;  // >0 while the view itself changes its widgets
  bool ended_ = false;
  int result_ = 0;
};

// The user interface on the desktop. Dialogs and boxes are modal to the
// window shown at the time; the event loop goes on inside them.
class QtUserInterface : public UserInterface {
 public:
  explicit QtUserInterface(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParentWindow(QWidget* parent) { parent_ = parent; }

  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  void Beep(uint32_t type) override;
  int RunModal(DialogPresenter& dialog) override;
  uint32_t ShowPopupMenu(const Menu& menu, const ScreenRect& button) override;
  void OpenAddress(const std::string& address) override;

  // A box over owner (none: over the window shown).
  int ShowBox(const std::string& text, const std::string& caption, uint32_t style, QWidget* owner);

  // Called once each window is up, inside its modal loop: for tests and for
  // taking pictures of the windows. What they leave open stays open.
  std::function<void(QtDialogView&)> onDialogShown;
  std::function<void(QMessageBox&)> onMessageBoxShown;
  std::function<void(QMenu&)> onMenuShown;
  // Takes addresses instead of the desktop's "open" action.
  std::function<void(const std::string&)> onOpenAddress;
  // Told of each beep after it sounded, with its type.
  std::function<void(uint32_t type)> onBeep;

 private:
  QWidget* Owner() const;
  QWidget* parent_;
};

// The toolbar of the mail window as the plug-in fills it: buttons with the
// texts of its string list and the icons of its image list; a click sends
// the button's command to the parent; a whole drop-down button tells the
// parent that its arrow was pressed.
class QtToolbar : public QToolBar, public ToolbarControl {
 public:
  explicit QtToolbar(QWidget* parent = nullptr);

  int ButtonCount() const override { return static_cast<int>(buttons_.size()); }
  int CommandToIndex(uint32_t command) const override;
  void SetParent(ToolbarParent* parent) override { parent_ = parent; }
  void AddStrings(const std::string& list) override;
  bool InsertButton(int index, const ToolbarButton& button) override;
  void SetImageList(const ImageList* images) override;
  void SetHotImageList(const ImageList* images) override { hotImages_ = images; }
  ScreenRect ButtonRect(uint32_t command) const override;

  // The button at index; null when none.
  QToolButton* Button(int index) const;

 private:
  struct Entry {
    ToolbarButton button;
    QToolButton* widget;
  };
  void ShowIcons();

  ToolbarParent* parent_ = nullptr;
  std::vector<std::string> strings_;
  std::vector<Entry> buttons_;
  const ImageList* images_ = nullptr;
  const ImageList* hotImages_ = nullptr;
};

}  // namespace tarvex::desktop

#endif  // TARVEX_DESKTOP_QT_UI_H_
