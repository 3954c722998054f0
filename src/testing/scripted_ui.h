// A user interface for tests: it records every message box, beep and dialog
// in the order they were shown, answers message boxes from a queue, and plays
// each dialog with a script that acts as the user would.
//
//   ScriptedUi ui;
//   ui.QueueScript([](DialogDriver& d) {
//     d.Type(kNameBox, "Inbox");
//     d.Click(kIdOk);
//   });
//   EXPECT_EQ(ui.RunModal(dialog), kIdOk);
//
// A dialog takes the next queued script when it opens, so a dialog opened from
// a button of another (nested) takes the script after its parent's. A script
// that returns while its dialog is still open cancels it, as the close box
// would (Click(kIdCancel)); a dialog with no script queued is cancelled at once.
#ifndef TARVEX_TESTING_SCRIPTED_UI_H_
#define TARVEX_TESTING_SCRIPTED_UI_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/user_interface.h"

namespace tarvex {

class DialogDriver;

// A complete dialog window in memory. Its controls are those of the template,
// each starting with the template's text; presenters reach it through
// DialogView, scripts through DialogDriver, tests read it with the accessors.
//
// It is strict where a real window would quietly do nothing: a control id the
// template lacks, a check on something that is not a check box, a list
// operation on something that is not a list view or combo box, or a row out of
// range throws (std::out_of_range or std::logic_error), so that a wrong id
// shows up in the test that uses it. When two controls share an id the first
// one is meant, as a window would find it.
class ScriptedDialogView : public DialogView {
 public:
  using ShowBox =
      std::function<int(const std::string& text, const std::string& caption, uint32_t style)>;

  struct Column {
    std::string title;
    int widthPixels;
  };
  struct Row {
    std::string text;
    bool checked = false;
  };

  // Message boxes shown over the dialog go to showBox; without one they throw.
  explicit ScriptedDialogView(DialogTemplate dialog, ShowBox showBox = nullptr);

  // DialogView. A drop-down list's text is its selected row's (empty when
  // none); setting it throws.
  void SetText(int control, const std::string& text) override;
  std::string GetText(int control) const override;
  void SetCheck(int control, bool checked) override;
  bool GetCheck(int control) const override;
  void SetFocus(int control) override;
  void MakeTopmost() override { topmost_ = true; }
  void AddColumn(int control, const std::string& title, int widthPixels) override;
  void EnableCheckBoxes(int control) override;
  // Appends the row, or inserts it in order (ignoring case) when the control
  // is sorted (ctl::kSorted).
  int AddItem(int control, const std::string& text) override;
  int ItemCount(int control) const override;
  std::string ItemText(int control, int row) const override;
  // False for every row of a list view without check boxes.
  bool ItemChecked(int control, int row) const override;
  int Selection(int control) const override;
  void SetItemText(int control, int row, const std::string& text) override;
  void DeleteItem(int control, int row) override;
  void DeleteAllItems(int control) override;
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  void EndDialog(int result) override;

  const DialogTemplate& dialog() const { return dialog_; }
  bool HasControl(int control) const;
  const ControlTemplate& Control(int control) const;
  // The control that has the keyboard focus; 0 when none. It starts on the
  // template's first control that can take it (edits, buttons, check boxes,
  // list views, combo boxes), and moves to whatever the user works with.
  int focus() const { return focus_; }
  bool topmost() const { return topmost_; }
  bool ended() const { return ended_; }
  int result() const { return result_; }  // 0 while the dialog is open
  const std::vector<Column>& Columns(int control) const;
  bool HasCheckBoxes(int control) const;
  const std::vector<Row>& Rows(int control) const;
  std::vector<std::string> ItemTexts(int control) const;
  // Every control's text (GetText), by id.
  std::map<int, std::string> Texts() const;

 private:
  friend class DialogDriver;

  struct State {
    std::string text;
    bool checked = false;
    bool checkBoxes = false;
    std::vector<Column> columns;
    std::vector<Row> rows;
    int selection = -1;
  };

  size_t IndexOf(int control) const;
  State& StateOf(int control) { return states_[IndexOf(control)]; }
  const State& StateOf(int control) const { return states_[IndexOf(control)]; }
  // The control's state, after checking its kind is one of those given.
  State& StateOf(int control, std::initializer_list<ControlKind> kinds, const char* what);
  const State& StateOf(int control, std::initializer_list<ControlKind> kinds,
                       const char* what) const;
  std::string Describe(int control) const;

  // What the user does; DialogDriver adds the checks that the dialog is open
  // and tells the presenter.
  void UserType(int control, const std::string& text);
  void UserTick(int control, bool checked);
  void UserTickRow(int control, int row, bool checked);
  void UserSelect(int control, int row);

  DialogTemplate dialog_;
  ShowBox showBox_;
  std::vector<State> states_;  // parallel to dialog_.controls
  int focus_ = 0;
  bool topmost_ = false;
  bool ended_ = false;
  int result_ = 0;
};

class ScriptedUi;

// A script's hands on an open dialog. Each action focuses the control it works
// with, changes it as the user would and then tells the presenter that the
// control was used (OnCommand), so presenters see every action. Acting on a
// dialog that has ended, or on one that lies behind another modal dialog,
// throws std::logic_error.
class DialogDriver {
 public:
  DialogDriver(ScriptedUi& ui, DialogPresenter& presenter, ScriptedDialogView& view);

  ScriptedUi& ui() const { return ui_; }
  DialogPresenter& presenter() const { return presenter_; }
  const ScriptedDialogView& view() const { return view_; }
  bool open() const { return !view_.ended(); }

  // Reading the window.
  std::string Text(int control) const { return view_.GetText(control); }
  bool Checked(int control) const { return view_.GetCheck(control); }
  int RowCount(int control) const { return view_.ItemCount(control); }
  std::string RowText(int control, int row) const { return view_.ItemText(control, row); }
  bool RowChecked(int control, int row) const { return view_.ItemChecked(control, row); }
  std::vector<std::string> Rows(int control) const { return view_.ItemTexts(control); }
  int Selection(int control) const { return view_.Selection(control); }
  int focus() const { return view_.focus(); }
  bool topmost() const { return view_.topmost(); }

  // Acting as the user.
  // Replaces the text of an edit; read-only edits refuse it.
  void Type(int control, const std::string& text);
  // Sets a check box.
  void Tick(int control, bool checked);
  // Sets the check box of a list view's row; the list must show check boxes.
  void TickRow(int control, int row, bool checked);
  // Selects a row of a list view or combo box; -1 clears the selection.
  void Select(int control, int row);
  // Selects a row of a list view and double-clicks it.
  void DoubleClick(int control, int row);
  // Presses a button (a check box toggles). kIdOk and kIdCancel may be
  // clicked without a button of that id: they are what Enter and Escape or
  // the close box send.
  void Click(int control);
  // Enter presses the focused button, else the default button, else kIdOk.
  void PressEnter();
  // Escape, like the close box, sends kIdCancel.
  void PressEscape() { Click(kIdCancel); }
  // Shows a message box over the dialog, as the dialog itself would.
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style);

 private:
  void CheckCanAct(const char* action) const;
  void Notify(int control);

  ScriptedUi& ui_;
  DialogPresenter& presenter_;
  ScriptedDialogView& view_;
};

using DialogScript = std::function<void(DialogDriver&)>;

class ScriptedUi : public UserInterface {
 public:
  // One thing shown to the user.
  struct Shown {
    enum class Kind { kMessageBox, kDialog, kMenu };
    Kind kind = Kind::kMessageBox;
    std::string text;     // a message box's text
    std::string caption;  // a message box's or a dialog's caption
    uint32_t style = 0;   // a message box's style
    // A message box's answer; what a dialog's RunModal returned (0 while it
    // is open).
    int result = 0;
    // A message box shown by a dialog (DialogView::MessageBox): the log index
    // of that dialog; -1 for boxes shown through the user interface.
    int owner = -1;
    std::string details;                      // a host error's own account of it (ShowHostError)
    int resourceId = 0;                       // a dialog's template resource id
    std::map<int, std::string> controlTexts;  // a dialog's texts right after its initialisation
    std::shared_ptr<const ScriptedDialogView> view;  // a dialog's window, as it was left
    Menu menu;                                       // a menu's items
    ScreenRect button{};                             // what a menu keeps clear of

    bool IsMessageBox() const { return kind == Kind::kMessageBox; }
    bool IsDialog() const { return kind == Kind::kDialog; }
    bool IsMenu() const { return kind == Kind::kMenu; }
  };

  // UserInterface. Message boxes take the next queued answer, mb::kIdOk when
  // none is left.
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;
  void ShowHostError(const std::string& text, const std::string& caption,
                     const std::string& details) override;
  void Beep(uint32_t type) override { beeps_.push_back(type); }
  // Initialises the dialog, logs it, then plays the next queued script. A
  // dialog its initialisation already ended is logged but takes no script.
  // Throws std::logic_error when the dialog refuses to close on the final
  // cancel, or when a script queued for another caption comes up.
  int RunModal(DialogPresenter& dialog) override;
  // Menus take the next queued choice (0, dismissed, when none is left); its
  // id is the menu entry's result.
  uint32_t ShowPopupMenu(const Menu& menu, const ScreenRect& button) override;
  void OpenAddress(const std::string& address) override { addresses_.push_back(address); }
  void QueueMenuChoice(uint32_t id) { menuChoices_.push_back(id); }
  const std::vector<std::string>& openedAddresses() const { return addresses_; }

  void QueueAnswer(int answer) { answers_.push_back(answer); }
  void QueueScript(DialogScript script);
  // The script must come up for a dialog with this caption.
  void QueueScript(const std::string& caption, DialogScript script);
  size_t pendingAnswers() const { return answers_.size(); }
  size_t pendingScripts() const { return scripts_.size(); }

  const std::vector<Shown>& log() const { return log_; }
  const std::vector<uint32_t>& beeps() const { return beeps_; }
  std::vector<Shown> MessageBoxes() const;
  std::vector<std::string> MessageBoxTexts() const;
  std::vector<Shown> Dialogs() const;
  // The dialogs open now, the innermost last.
  const std::vector<const ScriptedDialogView*>& openDialogs() const { return open_; }

 private:
  struct Queued {
    bool checkCaption = false;
    std::string caption;
    DialogScript script;
  };

  int ShowBox(const std::string& text, const std::string& caption, uint32_t style, int owner);

  std::deque<int> answers_;
  std::deque<uint32_t> menuChoices_;
  std::vector<std::string> addresses_;
  std::deque<Queued> scripts_;
  std::vector<Shown> log_;
  std::vector<uint32_t> beeps_;
  std::vector<const ScriptedDialogView*> open_;
};

}  // namespace tarvex

#endif  // TARVEX_TESTING_SCRIPTED_UI_H_
