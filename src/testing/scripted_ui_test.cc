#include "testing/scripted_ui.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace tarvex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

enum : int { kLabel = 100, kName, kNotes, kOption, kList, kCombo, kSorted, kNested, kWarn };

// A dialog with one control of every kind, which records what it is told.
struct SampleDialog : DialogPresenter {
  SampleDialog(UserInterface& ui, std::string caption) : ui(ui) {
    using K = ControlKind;
    auto c = [](int id, K kind, const char* text = "", uint32_t style = 0) {
      return ControlTemplate{id, kind, text, 1, 1, 40, 14, style};
    };
    layout = {77, std::move(caption), 200, 100, {}};
    layout.controls.assign({c(kLabel, K::kStatic, "Name"), c(kName, K::kEdit),
                            c(kNotes, K::kMultiLineEdit), c(kOption, K::kCheckBox, "Option"),
                            c(kList, K::kListView), c(kCombo, K::kComboBox),
                            c(kSorted, K::kComboBox, "", ctl::kSorted),
                            c(kNested, K::kButton, "More..."), c(kWarn, K::kButton, "Warn"),
                            c(kIdOk, K::kDefaultButton, "OK"), c(kIdCancel, K::kButton, "Cancel")});
  }
  const DialogTemplate& Template() const override { return layout; }
  void OnInitDialog(DialogView& view) override {
    view.SetText(kName, "start");
    view.EnableCheckBoxes(kList);
    for (const char* row : {"alpha", "beta", "gamma"}) view.AddItem(kList, row);
    for (const char* row : {"one", "two"}) view.AddItem(kCombo, row);
    if (endAtInit) view.EndDialog(kIdCancel);
  }
  void OnCommand(DialogView& view, int control) override {
    commands.push_back(control);
    if (control == kNested && nested) {
      nestedResult = ui.RunModal(*nested);
    } else if (control == kWarn) {
      warnAnswer = view.MessageBox("Careful", "Sample", mb::kYesNo);
    } else if (control != kIdCancel || !refuseCancel) {
      DialogPresenter::OnCommand(view, control);
    }
  }

  UserInterface& ui;
  DialogTemplate layout;
  bool endAtInit = false, refuseCancel = false;
  SampleDialog* nested = nullptr;
  int nestedResult = 0, warnAnswer = 0;
  std::vector<int> commands;
};

class ScriptedUiTest : public ::testing::Test {
 protected:
  ScriptedUi ui;
  SampleDialog dialog{ui, "Sample"};
};

TEST_F(ScriptedUiTest, MessageBoxesTakeQueuedAnswersThenOk) {
  for (int answer : {mb::kIdYes, mb::kIdNo}) ui.QueueAnswer(answer);
  EXPECT_EQ(ui.MessageBox("first", "Cap", mb::kYesNo | mb::kIconQuestion), mb::kIdYes);
  EXPECT_EQ(ui.MessageBox("second", "Cap", mb::kYesNo), mb::kIdNo);
  EXPECT_EQ(ui.MessageBox("third", "Other", mb::kOk), mb::kIdOk);
  ui.Beep(mb::kIconExclamation);
  EXPECT_THAT(ui.beeps(), ElementsAre(mb::kIconExclamation));
  EXPECT_THAT(ui.MessageBoxTexts(), ElementsAre("first", "second", "third"));
  const ScriptedUi::Shown& last = ui.log().at(2);
  EXPECT_EQ(std::make_tuple(last.caption, last.style, last.result, last.owner),
            std::make_tuple("Other", mb::kOk, mb::kIdOk, -1));
}

TEST_F(ScriptedUiTest, DialogIsInitialisedLoggedPlayedByItsScriptOrElseCancelled) {
  ui.QueueScript([&](DialogDriver& d) {
    EXPECT_EQ(d.Text(kName), "start");  // initialised first
    d.Type(kName, "typed");
    d.Click(kIdOk);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  const ScriptedUi::Shown& shown = ui.log().at(0);
  EXPECT_EQ(std::make_tuple(shown.IsDialog(), shown.caption, shown.resourceId, shown.result),
            std::make_tuple(true, "Sample", 77, kIdOk));
  // The texts are taken right after initialisation; the view is left as it ended.
  EXPECT_EQ(shown.controlTexts.at(kName), "start");
  EXPECT_EQ(shown.view->GetText(kName), "typed");

  // No script, or one that leaves the dialog open: cancelled.
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  ui.QueueScript([](DialogDriver& d) { d.Tick(kOption, true); });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_THAT(dialog.commands, ElementsAre(kName, kIdOk, kIdCancel, kOption, kIdCancel));
  // A dialog its initialisation ended is logged but takes no script.
  dialog.endAtInit = true;
  ui.QueueScript([](DialogDriver&) { FAIL() << "the dialog was never shown"; });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_EQ(ui.pendingScripts(), 1u);
  EXPECT_EQ(ui.Dialogs().size(), 4u);
}

TEST_F(ScriptedUiTest, MisuseThrowsAndLeavesNoDialogOpen) {
  ui.QueueScript("Elsewhere", [](DialogDriver& d) { d.Click(kIdOk); });
  EXPECT_THROW(ui.RunModal(dialog), std::logic_error);
  ui.QueueScript([](DialogDriver&) { throw std::runtime_error("host failed"); });
  EXPECT_THROW(ui.RunModal(dialog), std::runtime_error);
  dialog.refuseCancel = true;
  EXPECT_THROW(ui.RunModal(dialog), std::logic_error);
  EXPECT_THAT(ui.openDialogs(), IsEmpty());
}

TEST_F(ScriptedUiTest, NestedDialogTakesTheNextScriptAndOnlyTheTopDialogActs) {
  SampleDialog inner(ui, "Inner");
  dialog.nested = &inner;
  DialogDriver* outer = nullptr;
  ui.QueueScript("Sample", [&](DialogDriver& d) {
    outer = &d;
    d.Click(kNested);
    d.Click(kIdOk);
    EXPECT_THROW(d.Click(kIdCancel), std::logic_error);
    EXPECT_THROW(d.MessageBox("late", "Sample", mb::kOk), std::logic_error);
  });
  ui.QueueScript("Inner", [&](DialogDriver& d) {
    EXPECT_THROW(outer->Click(kIdOk), std::logic_error);
    ui.MessageBox("event", "Host", mb::kOk);  // as a host event would meanwhile
    ui.QueueAnswer(mb::kIdNo);
    d.Click(kWarn);
    d.Click(kIdOk);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(dialog.commands, ElementsAre(kNested, kIdOk));
  EXPECT_EQ(dialog.nestedResult, kIdOk);
  EXPECT_EQ(inner.warnAnswer, mb::kIdNo);
  ASSERT_EQ(ui.log().size(), 4u);
  EXPECT_EQ(ui.log()[1].caption, "Inner");
  EXPECT_EQ(ui.log()[2].owner, -1);
  EXPECT_EQ(ui.log()[3].text, "Careful");
  EXPECT_EQ(ui.log()[3].owner, 1);  // shown by the inner dialog
}

TEST_F(ScriptedUiTest, ActionsChangeTheWindowMoveTheFocusAndTellThePresenter) {
  ui.QueueScript([&](DialogDriver& d) {
    // What the window cannot take throws, and the presenter hears nothing.
    EXPECT_THROW(d.Click(999), std::out_of_range);
    EXPECT_THROW(d.Type(kNotes, "x"), std::logic_error);  // read-only
    EXPECT_THROW(d.TickRow(kList, 3, true), std::out_of_range);
    EXPECT_THROW(d.Click(kLabel), std::logic_error);
    EXPECT_EQ(d.focus(), kName);  // the first control that can take it
    d.Click(kOption);             // a check box toggles
    EXPECT_TRUE(d.Checked(kOption));
    d.TickRow(kList, 1, true);
    EXPECT_TRUE(d.RowChecked(kList, 1));
    EXPECT_EQ(d.focus(), kList);
    d.Select(kCombo, 1);
    EXPECT_EQ(d.Text(kCombo), "two");  // a drop-down list shows its selection
    d.Click(kWarn);
    d.PressEnter();  // the focused button
    d.Type(kName, "x");
    d.PressEnter();  // the default button
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(dialog.commands, ElementsAre(kOption, kList, kCombo, kWarn, kWarn, kName, kIdOk));
}

TEST_F(ScriptedUiTest, SortedBoxesInsertInOrderIgnoringCase) {
  ScriptedDialogView view(dialog.Template());
  std::vector<int> at;
  for (const char* row : {"pear", "apple", "Zoo", "Banana"})
    at.push_back(view.AddItem(kSorted, row));
  EXPECT_THAT(at, ElementsAre(0, 0, 2, 1));
  EXPECT_THAT(view.ItemTexts(kSorted), ElementsAre("apple", "Banana", "pear", "Zoo"));
}

}  // namespace
}  // namespace tarvex
