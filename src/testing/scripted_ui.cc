#include "testing/scripted_ui.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace tarvex {
namespace {

bool IsPushButton(ControlKind kind) {
  return kind == ControlKind::kButton || kind == ControlKind::kDefaultButton;
}

constexpr std::initializer_list<ControlKind> kLists = {ControlKind::kListView,
                                                       ControlKind::kComboBox};

}  // namespace

// ScriptedDialogView

ScriptedDialogView::ScriptedDialogView(DialogTemplate dialog, ShowBox showBox)
    : dialog_(std::move(dialog)), showBox_(std::move(showBox)) {
  states_.reserve(dialog_.controls.size());
  for (const ControlTemplate& control : dialog_.controls) {
    State state;
    if (control.kind != ControlKind::kComboBox) state.text = control.text;
    states_.push_back(std::move(state));
    if (focus_ == 0 && TakesFocus(control.kind)) focus_ = control.id;
  }
}

size_t ScriptedDialogView::IndexOf(int control) const {
  for (size_t i = 0; i < dialog_.controls.size(); ++i) {
    if (dialog_.controls[i].id == control) return i;
  }
  throw std::out_of_range("dialog \"" + dialog_.caption + "\" has no control " +
                          std::to_string(control));
}

bool ScriptedDialogView::HasControl(int control) const {
  return std::any_of(dialog_.controls.begin(), dialog_.controls.end(),
                     [control](const ControlTemplate& c) { return c.id == control; });
}

const ControlTemplate& ScriptedDialogView::Control(int control) const {
  return dialog_.controls[IndexOf(control)];
}

std::string ScriptedDialogView::Describe(int control) const {
  const ControlTemplate& c = Control(control);
  return "control " + std::to_string(control) + " (\"" + c.text + "\") of dialog \"" +
         dialog_.caption + "\"";
}

ScriptedDialogView::State& ScriptedDialogView::StateOf(int control,
                                                       std::initializer_list<ControlKind> kinds,
                                                       const char* what) {
  const ScriptedDialogView& self = *this;
  return const_cast<State&>(self.StateOf(control, kinds, what));
}

const ScriptedDialogView::State& ScriptedDialogView::StateOf(
    int control, std::initializer_list<ControlKind> kinds, const char* what) const {
  const size_t index = IndexOf(control);
  const ControlKind kind = dialog_.controls[index].kind;
  if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) {
    throw std::logic_error(Describe(control) + " is not " + what);
  }
  return states_[index];
}

void ScriptedDialogView::SetText(int control, const std::string& text) {
  if (Control(control).kind == ControlKind::kComboBox) {
    throw std::logic_error(Describe(control) + " is a drop-down list: it shows its selection");
  }
  StateOf(control).text = text;
}

std::string ScriptedDialogView::GetText(int control) const {
  const State& state = StateOf(control);
  if (Control(control).kind == ControlKind::kComboBox) {
    return state.selection < 0 ? std::string() : state.rows[state.selection].text;
  }
  return state.text;
}

void ScriptedDialogView::SetCheck(int control, bool checked) {
  StateOf(control, {ControlKind::kCheckBox}, "a check box").checked = checked;
}

bool ScriptedDialogView::GetCheck(int control) const {
  return StateOf(control, {ControlKind::kCheckBox}, "a check box").checked;
}

void ScriptedDialogView::SetFocus(int control) {
  IndexOf(control);
  focus_ = control;
}

void ScriptedDialogView::AddColumn(int control, const std::string& title, int widthPixels) {
  StateOf(control, {ControlKind::kListView}, "a list view").columns.push_back({title, widthPixels});
}

void ScriptedDialogView::EnableCheckBoxes(int control) {
  StateOf(control, {ControlKind::kListView}, "a list view").checkBoxes = true;
}

int ScriptedDialogView::AddItem(int control, const std::string& text) {
  State& state = StateOf(control, kLists, "a list");
  auto at = state.rows.end();
  if (Control(control).style & ctl::kSorted) {
    at =
        std::upper_bound(state.rows.begin(), state.rows.end(), text,
                         [](const std::string& t, const Row& r) { return SortsBefore(t, r.text); });
  }
  const int row = static_cast<int>(at - state.rows.begin());
  state.rows.insert(at, Row{text, false});
  if (state.selection >= row) ++state.selection;
  return row;
}

void ScriptedDialogView::SetItemText(int control, int row, const std::string& text) {
  State& state = StateOf(control, kLists, "a list");
  if (row < 0 || row >= static_cast<int>(state.rows.size())) {
    throw std::out_of_range(Describe(control) + " has no row " + std::to_string(row));
  }
  state.rows[static_cast<size_t>(row)].text = text;
}

void ScriptedDialogView::DeleteItem(int control, int row) {
  State& state = StateOf(control, kLists, "a list");
  if (row < 0 || row >= static_cast<int>(state.rows.size())) {
    throw std::out_of_range(Describe(control) + " has no row " + std::to_string(row));
  }
  state.rows.erase(state.rows.begin() + row);
  if (state.selection == row) {
    state.selection = -1;
  } else if (state.selection > row) {
    --state.selection;
  }
}

void ScriptedDialogView::DeleteAllItems(int control) {
  State& state = StateOf(control, kLists, "a list");
  state.rows.clear();
  state.selection = -1;
}

int ScriptedDialogView::ItemCount(int control) const {
  return static_cast<int>(StateOf(control, kLists, "a list").rows.size());
}

std::string ScriptedDialogView::ItemText(int control, int row) const {
  const State& state = StateOf(control, kLists, "a list");
  if (row < 0 || row >= static_cast<int>(state.rows.size())) {
    throw std::out_of_range(Describe(control) + " has no row " + std::to_string(row));
  }
  return state.rows[row].text;
}

bool ScriptedDialogView::ItemChecked(int control, int row) const {
  const State& state = StateOf(control, kLists, "a list");
  if (row < 0 || row >= static_cast<int>(state.rows.size())) {
    throw std::out_of_range(Describe(control) + " has no row " + std::to_string(row));
  }
  return state.checkBoxes && state.rows[row].checked;
}

int ScriptedDialogView::Selection(int control) const {
  return StateOf(control, kLists, "a list").selection;
}

int ScriptedDialogView::MessageBox(const std::string& text, const std::string& caption,
                                   uint32_t style) {
  if (!showBox_) {
    throw std::logic_error("dialog \"" + dialog_.caption + "\" cannot show message box \"" + text +
                           "\": no one to show it");
  }
  return showBox_(text, caption, style);
}

void ScriptedDialogView::EndDialog(int result) {
  ended_ = true;
  result_ = result;
}

const std::vector<ScriptedDialogView::Column>& ScriptedDialogView::Columns(int control) const {
  return StateOf(control, {ControlKind::kListView}, "a list view").columns;
}

bool ScriptedDialogView::HasCheckBoxes(int control) const {
  return StateOf(control, {ControlKind::kListView}, "a list view").checkBoxes;
}

const std::vector<ScriptedDialogView::Row>& ScriptedDialogView::Rows(int control) const {
  return StateOf(control, kLists, "a list").rows;
}

std::vector<std::string> ScriptedDialogView::ItemTexts(int control) const {
  std::vector<std::string> texts;
  for (const Row& row : Rows(control)) texts.push_back(row.text);
  return texts;
}

std::map<int, std::string> ScriptedDialogView::Texts() const {
  std::map<int, std::string> texts;
  for (const ControlTemplate& control : dialog_.controls) {
    texts.emplace(control.id, GetText(control.id));
  }
  return texts;
}

void ScriptedDialogView::UserType(int control, const std::string& text) {
  State& state = StateOf(control, {ControlKind::kEdit, ControlKind::kMultiLineEdit}, "an edit box");
  const ControlTemplate& c = Control(control);
  if (c.kind == ControlKind::kMultiLineEdit || (c.style & ctl::kReadOnly)) {
    throw std::logic_error(Describe(control) + " is read-only");
  }
  state.text = text;
}

void ScriptedDialogView::UserTick(int control, bool checked) {
  StateOf(control, {ControlKind::kCheckBox}, "a check box").checked = checked;
}

void ScriptedDialogView::UserTickRow(int control, int row, bool checked) {
  State& state = StateOf(control, {ControlKind::kListView}, "a list view");
  if (!state.checkBoxes) throw std::logic_error(Describe(control) + " shows no check boxes");
  if (row < 0 || row >= static_cast<int>(state.rows.size())) {
    throw std::out_of_range(Describe(control) + " has no row " + std::to_string(row));
  }
  state.rows[row].checked = checked;
}

void ScriptedDialogView::UserSelect(int control, int row) {
  State& state = StateOf(control, kLists, "a list");
  if (row < -1 || row >= static_cast<int>(state.rows.size())) {
    throw std::out_of_range(Describe(control) + " has no row " + std::to_string(row));
  }
  state.selection = row;
}

// DialogDriver

DialogDriver::DialogDriver(ScriptedUi& ui, DialogPresenter& presenter, ScriptedDialogView& view)
    : ui_(ui), presenter_(presenter), view_(view) {}

void DialogDriver::CheckCanAct(const char* action) const {
  const std::string where =
      std::string("cannot ") + action + " in dialog \"" + view_.dialog().caption + "\": ";
  if (view_.ended()) throw std::logic_error(where + "it has ended");
  const auto& open = ui_.openDialogs();
  if (open.empty() || open.back() != &view_) {
    throw std::logic_error(where + "another dialog is open over it");
  }
}

void DialogDriver::Notify(int control) { presenter_.OnCommand(view_, control); }

void DialogDriver::Type(int control, const std::string& text) {
  CheckCanAct("type");
  view_.UserType(control, text);
  view_.focus_ = control;
  Notify(control);
}

void DialogDriver::Tick(int control, bool checked) {
  CheckCanAct("tick");
  view_.UserTick(control, checked);
  view_.focus_ = control;
  Notify(control);
}

void DialogDriver::TickRow(int control, int row, bool checked) {
  CheckCanAct("tick a row");
  view_.UserTickRow(control, row, checked);
  view_.focus_ = control;
  Notify(control);
}

void DialogDriver::Select(int control, int row) {
  CheckCanAct("select");
  view_.UserSelect(control, row);
  view_.focus_ = control;
  Notify(control);
}

void DialogDriver::DoubleClick(int control, int row) {
  CheckCanAct("double-click");
  view_.UserSelect(control, row);
  view_.focus_ = control;
  presenter_.OnDoubleClick(view_, control);
}

void DialogDriver::Click(int control) {
  CheckCanAct("click");
  if (view_.HasControl(control)) {
    const ControlKind kind = view_.Control(control).kind;
    if (kind == ControlKind::kCheckBox) {
      view_.UserTick(control, !view_.GetCheck(control));
    } else if (!IsPushButton(kind)) {
      throw std::logic_error(view_.Describe(control) + " is not a button");
    }
    view_.focus_ = control;
  } else if (control != kIdOk && control != kIdCancel) {
    throw std::out_of_range("dialog \"" + view_.dialog().caption + "\" has no control " +
                            std::to_string(control));
  }
  Notify(control);
}

void DialogDriver::PressEnter() {
  if (view_.focus() != 0 && IsPushButton(view_.Control(view_.focus()).kind)) {
    Click(view_.focus());
    return;
  }
  for (const ControlTemplate& control : view_.dialog().controls) {
    if (control.kind == ControlKind::kDefaultButton) {
      Click(control.id);
      return;
    }
  }
  Click(kIdOk);
}

int DialogDriver::MessageBox(const std::string& text, const std::string& caption, uint32_t style) {
  CheckCanAct("show a message box");
  return view_.MessageBox(text, caption, style);
}

// ScriptedUi

int ScriptedUi::MessageBox(const std::string& text, const std::string& caption, uint32_t style) {
  return ShowBox(text, caption, style, -1);
}

void ScriptedUi::ShowHostError(const std::string& text, const std::string& caption,
                               const std::string& details) {
  ShowBox(text, caption, mb::kOk, -1);
  log_.back().details = details;
}

int ScriptedUi::ShowBox(const std::string& text, const std::string& caption, uint32_t style,
                        int owner) {
  Shown box;
  box.kind = Shown::Kind::kMessageBox;
  box.text = text;
  box.caption = caption;
  box.style = style;
  box.owner = owner;
  box.result = mb::kIdOk;
  if (!answers_.empty()) {
    box.result = answers_.front();
    answers_.pop_front();
  }
  log_.push_back(std::move(box));
  return log_.back().result;
}

void ScriptedUi::QueueScript(DialogScript script) {
  scripts_.push_back({false, std::string(), std::move(script)});
}

void ScriptedUi::QueueScript(const std::string& caption, DialogScript script) {
  scripts_.push_back({true, caption, std::move(script)});
}

int ScriptedUi::RunModal(DialogPresenter& dialog) {
  const DialogTemplate& layout = dialog.Template();
  const int index = static_cast<int>(log_.size());
  auto view = std::make_shared<ScriptedDialogView>(
      layout, [this, index](const std::string& text, const std::string& caption, uint32_t style) {
        return ShowBox(text, caption, style, index);
      });
  Shown shown;
  shown.kind = Shown::Kind::kDialog;
  shown.caption = layout.caption;
  shown.resourceId = layout.resourceId;
  shown.view = view;
  log_.push_back(std::move(shown));

  // The dialog counts as open until RunModal leaves, however it leaves.
  open_.push_back(view.get());
  struct Close {
    std::vector<const ScriptedDialogView*>& open;
    ~Close() { open.pop_back(); }
  } close{open_};

  dialog.OnInitDialog(*view);
  log_[index].controlTexts = view->Texts();
  if (!view->ended()) {
    DialogScript script;
    if (!scripts_.empty()) {
      Queued next = std::move(scripts_.front());
      scripts_.pop_front();
      if (next.checkCaption && next.caption != layout.caption) {
        throw std::logic_error("the script for dialog \"" + next.caption + "\" came up for \"" +
                               layout.caption + "\"");
      }
      script = std::move(next.script);
    }
    DialogDriver driver(*this, dialog, *view);
    if (script) script(driver);
    if (!view->ended()) driver.Click(kIdCancel);
    if (!view->ended()) {
      throw std::logic_error("dialog \"" + layout.caption + "\" stayed open when cancelled");
    }
  }
  log_[index].result = view->result();
  return view->result();
}

std::vector<ScriptedUi::Shown> ScriptedUi::MessageBoxes() const {
  std::vector<Shown> boxes;
  for (const Shown& shown : log_) {
    if (shown.IsMessageBox()) boxes.push_back(shown);
  }
  return boxes;
}

std::vector<std::string> ScriptedUi::MessageBoxTexts() const {
  std::vector<std::string> texts;
  for (const Shown& shown : log_) {
    if (shown.IsMessageBox()) texts.push_back(shown.text);
  }
  return texts;
}

std::vector<ScriptedUi::Shown> ScriptedUi::Dialogs() const {
  std::vector<Shown> dialogs;
  for (const Shown& shown : log_) {
    if (shown.IsDialog()) dialogs.push_back(shown);
  }
  return dialogs;
}

uint32_t ScriptedUi::ShowPopupMenu(const Menu& menu, const ScreenRect& button) {
  Shown shown;
  shown.kind = Shown::Kind::kMenu;
  shown.menu = menu;
  shown.button = button;
  if (!menuChoices_.empty()) {
    shown.result = static_cast<int>(menuChoices_.front());
    menuChoices_.pop_front();
  }
  log_.push_back(shown);
  return static_cast<uint32_t>(shown.result);
}

}  // namespace tarvex
