// Modal dialogs as headless presenters. A presenter holds the dialog's state
// and logic and talks to its window only through DialogView; the layout is
// data (DialogTemplate), so any front end can render it and tests can drive it.
#ifndef TARVEX_UI_DIALOG_H_
#define TARVEX_UI_DIALOG_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex {

// Standard control ids of the dialog's own buttons.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

enum class ControlKind {
  kStatic,  // a label
  kGroupBox,
  kEdit,           // single-line text box
  kMultiLineEdit,  // read-only multi-line text
  kButton,
  kDefaultButton,  // pressed by Enter
  kCheckBox,
  kListView,  // rows in columns, optional check boxes
  kComboBox,  // drop-down list
  kBitmap,
  kIcon,
};

// Looks and behaviours of a control beyond what its kind implies
// (ControlTemplate::style); front ends render them, presenters never need them.
namespace ctl {
constexpr uint32_t kBorder = 0x1;
constexpr uint32_t kVScroll = 0x2;
// An edit scrolls sideways as the user types, so its text may be wider than
// the box; without it the text stops at the box's right edge.
constexpr uint32_t kAutoHScroll = 0x4;
constexpr uint32_t kReadOnly = 0x8;
constexpr uint32_t kSorted = 0x10;         // list views and combo boxes keep their rows sorted
constexpr uint32_t kReportView = 0x20;     // a list view shows its rows in columns
constexpr uint32_t kFullRowSelect = 0x40;  // ... and highlights the whole selected row
constexpr uint32_t kCenter = 0x80;         // a label centres its text in its box
constexpr uint32_t kEtchedLine = 0x100;    // a label drawn as an etched horizontal line
// A list view lets the user select one row at a time, never several.
constexpr uint32_t kSingleSelection = 0x200;
// A list view's column headers are not buttons: clicking one sorts nothing,
// so the rows stay in the order of the arrays the presenter indexes by row.
constexpr uint32_t kNoSortHeader = 0x400;
}  // namespace ctl

// Whether a control of the kind takes the keyboard focus, and so stands in
// the dialog's tab order; labels, frames and pictures do not.
bool TakesFocus(ControlKind kind);

// The order of the rows of a sorted list view or combo box (ctl::kSorted):
// ignoring the case of ASCII letters.
bool SortsBefore(const std::string& a, const std::string& b);

// One control: its id, kind, initial text, place in dialog units and style
// (ctl:: flags).
struct ControlTemplate {
  int id;
  ControlKind kind;
  std::string text;
  int x, y, width, height;
  uint32_t style = 0;
};

struct DialogTemplate {
  int resourceId;
  std::string caption;
  int width, height;  // dialog units
  std::vector<ControlTemplate> controls;
  std::string font = "MS Sans Serif";
  int pointSize = 8;
};

// What a presenter may ask of the window that shows it. Rows of list views
// and combo boxes are numbered from 0; -1 means none.
class DialogView {
 public:
  virtual ~DialogView() = default;
  virtual void SetText(int control, const std::string& text) = 0;
  virtual std::string GetText(int control) const = 0;
  virtual void SetCheck(int control, bool checked) = 0;
  virtual bool GetCheck(int control) const = 0;
  virtual void SetFocus(int control) = 0;
  // Keeps the window above all others, without moving or resizing it.
  virtual void MakeTopmost() = 0;

  // List views and combo boxes.
  virtual void AddColumn(int control, const std::string& title, int widthPixels) = 0;
  virtual void EnableCheckBoxes(int control) = 0;
  virtual int AddItem(int control, const std::string& text) = 0;  // returns the row
  virtual int ItemCount(int control) const = 0;
  virtual std::string ItemText(int control, int row) const = 0;
  virtual bool ItemChecked(int control, int row) const = 0;
  virtual int Selection(int control) const = 0;
  virtual void SetItemText(int control, int row, const std::string& text) = 0;
  virtual void DeleteItem(int control, int row) = 0;
  virtual void DeleteAllItems(int control) = 0;

  virtual int MessageBox(const std::string& text, const std::string& caption, uint32_t style) = 0;
  // Closes the dialog; RunModal returns result.
  virtual void EndDialog(int result) = 0;
};

class DialogPresenter {
 public:
  virtual ~DialogPresenter() = default;
  virtual const DialogTemplate& Template() const = 0;
  virtual void OnInitDialog(DialogView& view) = 0;
  // A button was pressed (OK and Cancel included) or another control used
  // (text typed, a box ticked, a row or drop-down entry selected). By default
  // OK and Cancel end the dialog with their id.
  virtual void OnCommand(DialogView& view, int control);
  // A row of a list was double-clicked; it is the list's selection.
  virtual void OnDoubleClick(DialogView&, int) {}
};

}  // namespace tarvex

#endif  // TARVEX_UI_DIALOG_H_
