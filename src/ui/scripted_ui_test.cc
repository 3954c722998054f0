#include "ui/scripted_ui.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvex {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kLabel = 100;
constexpr int kName = 101;
constexpr int kNotes = 102;
constexpr int kOption = 103;
constexpr int kList = 104;
constexpr int kCombo = 105;
constexpr int kSorted = 106;
constexpr int kNested = 107;
constexpr int kWarn = 108;

// A dialog with one control of every kind, which records what it is told.
class SampleDialog : public DialogPresenter {
 public:
  SampleDialog(UserInterface& ui, std::string caption) : ui_(ui) {
    using K = ControlKind;
    layout_ = {77,
               std::move(caption),
               200,
               100,
               {
                   {kLabel, K::kStatic, "Name", 1, 1, 10, 8},
                   {kName, K::kEdit, "", 1, 10, 50, 14},
                   {kNotes, K::kMultiLineEdit, "", 1, 30, 50, 40},
                   {kOption, K::kCheckBox, "Option", 1, 80, 50, 10},
                   {kList, K::kListView, "", 60, 1, 50, 50},
                   {kCombo, K::kComboBox, "", 60, 60, 50, 50},
                   {kSorted, K::kComboBox, "", 60, 70, 50, 50, ctl::kSorted},
                   {kNested, K::kButton, "More...", 120, 1, 40, 14},
                   {kWarn, K::kButton, "Warn", 120, 20, 40, 14},
                   {kIdOk, K::kDefaultButton, "OK", 120, 80, 40, 14},
                   {kIdCancel, K::kButton, "Cancel", 160, 80, 40, 14},
               }};
  }
  const DialogTemplate& Template() const override { return layout_; }
  void OnInitDialog(DialogView& view) override {
    ++inits;
    view.SetText(kName, initialName);
    view.SetText(kNotes, "notes");
    view.EnableCheckBoxes(kList);
    view.AddColumn(kList, "Item", 120);
    for (const char* row : {"alpha", "beta", "gamma"}) view.AddItem(kList, row);
    view.AddItem(kCombo, "one");
    view.AddItem(kCombo, "two");
    if (endAtInit) view.EndDialog(kIdCancel);
  }
  void OnCommand(DialogView& view, int control) override {
    commands.push_back(control);
    if (control == kNested && nested) {
      nestedResult = ui_.RunModal(*nested);
    } else if (control == kWarn) {
      warnAnswer = view.MessageBox("Careful", "Sample", mb::kYesNo);
    } else if (control == kIdCancel && refuseCancel) {
      return;
    } else {
      DialogPresenter::OnCommand(view, control);
    }
  }

  std::string initialName = "start";
  bool endAtInit = false;
  bool refuseCancel = false;
  SampleDialog* nested = nullptr;
  int inits = 0;
  int nestedResult = 0;
  int warnAnswer = 0;
  std::vector<int> commands;

 private:
  UserInterface& ui_;
  DialogTemplate layout_;
};

// Message boxes and beeps

TEST(ScriptedUiTest, MessageBoxesTakeQueuedAnswersThenOkAndBeepsAreKept) {
  ScriptedUi ui;
  ui.QueueAnswer(mb::kIdYes);
  ui.QueueAnswer(mb::kIdNo);
  EXPECT_EQ(ui.MessageBox("first", "Cap", mb::kYesNo | mb::kIconQuestion), mb::kIdYes);
  EXPECT_EQ(ui.MessageBox("second", "Cap", mb::kYesNo), mb::kIdNo);
  EXPECT_EQ(ui.MessageBox("third", "Other", mb::kOk), mb::kIdOk);
  EXPECT_EQ(ui.pendingAnswers(), 0u);

  ASSERT_EQ(ui.log().size(), 3u);
  const ScriptedUi::Shown& first = ui.log()[0];
  EXPECT_TRUE(first.IsMessageBox());
  EXPECT_EQ(first.text, "first");
  EXPECT_EQ(first.caption, "Cap");
  EXPECT_EQ(first.style, mb::kYesNo | mb::kIconQuestion);
  EXPECT_EQ(first.result, mb::kIdYes);
  EXPECT_EQ(first.owner, -1);
  EXPECT_EQ(ui.log()[2].caption, "Other");
  EXPECT_THAT(ui.MessageBoxTexts(), ElementsAre("first", "second", "third"));
  EXPECT_THAT(ui.Dialogs(), IsEmpty());

  ui.Beep(mb::kIconExclamation);
  ui.Beep(mb::kOk);
  EXPECT_THAT(ui.beeps(), ElementsAre(mb::kIconExclamation, mb::kOk));
  EXPECT_EQ(ui.log().size(), 3u);
}

// Running dialogs

TEST(ScriptedUiTest, DialogIsInitialisedLoggedAndPlayedByItsScript) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  bool ran = false;
  ui.QueueScript([&](DialogDriver& d) {
    ran = true;
    EXPECT_EQ(dialog.inits, 1);
    EXPECT_TRUE(d.open());
    EXPECT_EQ(d.Text(kName), "start");
    EXPECT_EQ(d.Text(kLabel), "Name");
    EXPECT_THAT(d.Rows(kList), ElementsAre("alpha", "beta", "gamma"));
    EXPECT_EQ(&d.presenter(), &dialog);
    EXPECT_EQ(&d.ui(), &ui);
    EXPECT_EQ(ui.openDialogs().size(), 1u);
    d.Type(kName, "typed");
    d.Click(kIdOk);
    EXPECT_FALSE(d.open());
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_TRUE(ran);
  EXPECT_EQ(ui.pendingScripts(), 0u);
  EXPECT_THAT(ui.openDialogs(), IsEmpty());

  ASSERT_EQ(ui.log().size(), 1u);
  const ScriptedUi::Shown& shown = ui.log()[0];
  EXPECT_TRUE(shown.IsDialog());
  EXPECT_EQ(shown.caption, "Sample");
  EXPECT_EQ(shown.resourceId, 77);
  EXPECT_EQ(shown.result, kIdOk);
  // The snapshot is taken right after initialisation, the view keeps the end.
  EXPECT_EQ(shown.controlTexts.at(kName), "start");
  EXPECT_EQ(shown.controlTexts.at(kNotes), "notes");
  EXPECT_EQ(shown.controlTexts.at(kIdCancel), "Cancel");
  EXPECT_EQ(shown.controlTexts.size(), 11u);
  ASSERT_NE(shown.view, nullptr);
  EXPECT_EQ(shown.view->GetText(kName), "typed");
  EXPECT_TRUE(shown.view->ended());
}

TEST(ScriptedUiTest, DialogWithoutScriptIsCancelledAtOnce) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_EQ(dialog.inits, 1);
  EXPECT_THAT(dialog.commands, ElementsAre(kIdCancel));
  EXPECT_EQ(ui.Dialogs().at(0).result, kIdCancel);
}

TEST(ScriptedUiTest, ScriptThatLeavesTheDialogOpenCancelsIt) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  ui.QueueScript([](DialogDriver& d) { d.Tick(kOption, true); });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_THAT(dialog.commands, ElementsAre(kOption, kIdCancel));
}

TEST(ScriptedUiTest, DialogEndedByItsInitialisationTakesNoScript) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  dialog.endAtInit = true;
  ui.QueueScript([](DialogDriver&) { FAIL() << "the dialog was never shown"; });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_EQ(ui.pendingScripts(), 1u);
  EXPECT_THAT(dialog.commands, IsEmpty());
  EXPECT_EQ(ui.Dialogs().size(), 1u);
}

TEST(ScriptedUiTest, DialogThatRefusesToCloseOnCancelThrows) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  dialog.refuseCancel = true;
  EXPECT_THROW(ui.RunModal(dialog), std::logic_error);
  EXPECT_THAT(ui.openDialogs(), IsEmpty());
}

TEST(ScriptedUiTest, ScriptQueuedForAnotherCaptionThrows) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  ui.QueueScript("Elsewhere", [](DialogDriver& d) { d.Click(kIdOk); });
  EXPECT_THROW(ui.RunModal(dialog), std::logic_error);
  ui.QueueScript("Sample", [](DialogDriver& d) { d.Click(kIdOk); });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
}

TEST(ScriptedUiTest, ExceptionFromScriptLeavesNoDialogOpen) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  ui.QueueScript([](DialogDriver&) { throw std::runtime_error("host failed"); });
  EXPECT_THROW(ui.RunModal(dialog), std::runtime_error);
  EXPECT_THAT(ui.openDialogs(), IsEmpty());
}

// Nesting

TEST(ScriptedUiTest, NestedDialogTakesTheNextScriptAndLogsInOrder) {
  ScriptedUi ui;
  SampleDialog outer(ui, "Outer");
  SampleDialog inner(ui, "Inner");
  outer.nested = &inner;
  std::vector<std::string> steps;
  ui.QueueScript("Outer", [&](DialogDriver& d) {
    steps.push_back("outer starts");
    d.Click(kNested);
    steps.push_back("outer resumes");
    EXPECT_EQ(outer.nestedResult, kIdOk);
    d.Click(kIdOk);
  });
  ui.QueueScript("Inner", [&](DialogDriver& d) {
    steps.push_back("inner");
    EXPECT_EQ(ui.openDialogs().size(), 2u);
    ui.QueueAnswer(mb::kIdNo);
    d.Click(kWarn);
    d.Click(kIdOk);
  });
  ui.MessageBox("before", "Cap", mb::kOk);
  EXPECT_EQ(ui.RunModal(outer), kIdOk);
  EXPECT_THAT(steps, ElementsAre("outer starts", "inner", "outer resumes"));
  EXPECT_EQ(inner.warnAnswer, mb::kIdNo);

  ASSERT_EQ(ui.log().size(), 4u);
  EXPECT_EQ(ui.log()[0].text, "before");
  EXPECT_EQ(ui.log()[1].caption, "Outer");
  EXPECT_EQ(ui.log()[2].caption, "Inner");
  EXPECT_EQ(ui.log()[2].result, kIdOk);
  const ScriptedUi::Shown& warning = ui.log()[3];
  EXPECT_TRUE(warning.IsMessageBox());
  EXPECT_EQ(warning.text, "Careful");
  EXPECT_EQ(warning.style, mb::kYesNo);
  EXPECT_EQ(warning.owner, 2);  // shown by the inner dialog
}

TEST(ScriptedUiTest, ScriptsMayRunOtherCodeAndShowBoxesWhileTheDialogIsOpen) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  ui.QueueScript([&](DialogDriver& d) {
    // As a host event would while the dialog waits for the user.
    ui.MessageBox("event", "Host", mb::kOk);
    EXPECT_EQ(d.MessageBox("over the dialog", "Sample", mb::kOk), mb::kIdOk);
    d.Click(kIdOk);
  });
  ui.RunModal(dialog);
  ASSERT_EQ(ui.MessageBoxes().size(), 2u);
  EXPECT_EQ(ui.MessageBoxes()[0].owner, -1);
  EXPECT_EQ(ui.MessageBoxes()[1].owner, 0);
  EXPECT_EQ(ui.log()[0].caption, "Sample");  // the dialog comes first
}

TEST(ScriptedUiTest, ActingBehindANestedDialogOrAfterTheEndThrows) {
  ScriptedUi ui;
  SampleDialog outer(ui, "Outer");
  SampleDialog inner(ui, "Inner");
  outer.nested = &inner;
  DialogDriver* outerDriver = nullptr;
  ui.QueueScript([&](DialogDriver& d) {
    outerDriver = &d;
    d.Click(kNested);
    d.Click(kIdOk);
    EXPECT_THROW(d.Click(kIdCancel), std::logic_error);
    EXPECT_THROW(d.Type(kName, "late"), std::logic_error);
    EXPECT_THROW(d.Tick(kOption, true), std::logic_error);
    EXPECT_THROW(d.TickRow(kList, 0, true), std::logic_error);
    EXPECT_THROW(d.Select(kCombo, 0), std::logic_error);
    EXPECT_THROW(d.PressEnter(), std::logic_error);
    EXPECT_THROW(d.MessageBox("late", "Outer", mb::kOk), std::logic_error);
  });
  ui.QueueScript([&](DialogDriver& d) {
    EXPECT_THROW(outerDriver->Click(kIdOk), std::logic_error);
    EXPECT_THROW(outerDriver->Type(kName, "x"), std::logic_error);
    d.Click(kIdCancel);
  });
  EXPECT_EQ(ui.RunModal(outer), kIdOk);
  EXPECT_THAT(outer.commands, ElementsAre(kNested, kIdOk));
  EXPECT_EQ(outer.nestedResult, kIdCancel);
  EXPECT_THAT(ui.MessageBoxes(), IsEmpty());
}

// The driver's actions

TEST(ScriptedUiTest, ActionsChangeTheWindowMoveTheFocusAndTellThePresenter) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  ui.QueueScript([&](DialogDriver& d) {
    EXPECT_EQ(d.focus(), kName);  // the first control that can take it
    d.Tick(kOption, true);
    EXPECT_TRUE(d.Checked(kOption));
    EXPECT_EQ(d.focus(), kOption);
    d.Click(kOption);  // a check box toggles
    EXPECT_FALSE(d.Checked(kOption));
    d.TickRow(kList, 1, true);
    EXPECT_FALSE(d.RowChecked(kList, 0));
    EXPECT_TRUE(d.RowChecked(kList, 1));
    EXPECT_EQ(d.focus(), kList);
    d.Select(kList, 2);
    EXPECT_EQ(d.Selection(kList), 2);
    d.Select(kCombo, 1);
    EXPECT_EQ(d.Text(kCombo), "two");  // a drop-down list shows its selection
    d.Select(kCombo, -1);
    EXPECT_EQ(d.Text(kCombo), "");
    d.Type(kName, "Bob");
    EXPECT_EQ(d.Text(kName), "Bob");
    EXPECT_EQ(d.focus(), kName);
    d.Click(kIdCancel);
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdCancel);
  EXPECT_THAT(dialog.commands,
              ElementsAre(kOption, kOption, kList, kList, kCombo, kCombo, kName, kIdCancel));
}

TEST(ScriptedUiTest, ActionsTheWindowCannotTakeThrow) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  ui.QueueScript([&](DialogDriver& d) {
    EXPECT_THROW(d.Type(999, "x"), std::out_of_range);
    EXPECT_THROW(d.Click(999), std::out_of_range);
    EXPECT_THROW(d.Type(kNotes, "x"), std::logic_error);  // read-only
    EXPECT_THROW(d.Type(kOption, "x"), std::logic_error);
    EXPECT_THROW(d.Tick(kName, true), std::logic_error);
    EXPECT_THROW(d.TickRow(kList, 3, true), std::out_of_range);
    EXPECT_THROW(d.TickRow(kCombo, 0, true), std::logic_error);
    EXPECT_THROW(d.Select(kCombo, 2), std::out_of_range);
    EXPECT_THROW(d.Select(kName, 0), std::logic_error);
    EXPECT_THROW(d.Click(kLabel), std::logic_error);
    EXPECT_THROW(d.Click(kList), std::logic_error);
    EXPECT_TRUE(d.open());
  });
  ui.RunModal(dialog);
  EXPECT_THAT(dialog.commands, ElementsAre(kIdCancel));
}

TEST(ScriptedUiTest, EnterPressesTheFocusedButtonElseTheDefault) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  ui.QueueScript([&](DialogDriver& d) {
    d.Click(kWarn);  // focuses the button
    d.PressEnter();  // ... and Enter presses it again
    d.Type(kName, "x");
    d.PressEnter();
  });
  EXPECT_EQ(ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(dialog.commands, ElementsAre(kWarn, kWarn, kName, kIdOk));
  EXPECT_THAT(ui.MessageBoxTexts(), ElementsAre("Careful", "Careful"));

  // Without a default button Enter sends kIdOk, and Escape kIdCancel, even
  // when the dialog has no such buttons.
  DialogTemplate bare{5, "Bare", 10, 10, {{1000, ControlKind::kEdit, "", 0, 0, 5, 5}}};
  struct Bare : DialogPresenter {
    explicit Bare(DialogTemplate t) : t(std::move(t)) {}
    const DialogTemplate& Template() const override { return t; }
    void OnInitDialog(DialogView&) override {}
    DialogTemplate t;
  } plain(bare);
  ui.QueueScript([](DialogDriver& d) { d.PressEnter(); });
  EXPECT_EQ(ui.RunModal(plain), kIdOk);
  ui.QueueScript([](DialogDriver& d) { d.PressEscape(); });
  EXPECT_EQ(ui.RunModal(plain), kIdCancel);
}

// The window on its own

TEST(ScriptedDialogViewTest, ControlsStartFromTheTemplateAndRefuseWrongKinds) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  ScriptedDialogView view(dialog.Template());
  EXPECT_EQ(view.GetText(kLabel), "Name");
  EXPECT_EQ(view.focus(), kName);
  EXPECT_FALSE(view.topmost());
  EXPECT_FALSE(view.ended());
  EXPECT_TRUE(view.HasControl(kCombo));
  EXPECT_FALSE(view.HasControl(999));

  EXPECT_THROW(view.GetText(999), std::out_of_range);
  EXPECT_THROW(view.SetFocus(999), std::out_of_range);
  EXPECT_THROW(view.SetCheck(kName, true), std::logic_error);
  EXPECT_THROW(view.GetCheck(kList), std::logic_error);
  EXPECT_THROW(view.AddItem(kName, "x"), std::logic_error);
  EXPECT_THROW(view.AddColumn(kCombo, "x", 10), std::logic_error);
  EXPECT_THROW(view.EnableCheckBoxes(kCombo), std::logic_error);
  EXPECT_THROW(view.SetText(kCombo, "x"), std::logic_error);
  EXPECT_THROW(view.ItemText(kList, 0), std::out_of_range);
  EXPECT_THROW(view.MessageBox("x", "y", mb::kOk), std::logic_error);  // no one to show it

  view.MakeTopmost();
  view.SetFocus(kCombo);
  view.EndDialog(42);
  EXPECT_TRUE(view.topmost());
  EXPECT_EQ(view.focus(), kCombo);
  EXPECT_TRUE(view.ended());
  EXPECT_EQ(view.result(), 42);
}

TEST(ScriptedDialogViewTest, ListsKeepRowsColumnsAndChecks) {
  ScriptedUi ui;
  SampleDialog dialog(ui, "Sample");
  ScriptedDialogView view(dialog.Template());
  EXPECT_EQ(view.AddItem(kList, "b"), 0);
  EXPECT_EQ(view.AddItem(kList, "a"), 1);  // appended: the list is not sorted
  view.AddColumn(kList, "Name", 150);
  ASSERT_EQ(view.Columns(kList).size(), 1u);
  EXPECT_EQ(view.Columns(kList)[0].title, "Name");
  EXPECT_EQ(view.Columns(kList)[0].widthPixels, 150);
  EXPECT_FALSE(view.HasCheckBoxes(kList));
  EXPECT_FALSE(view.ItemChecked(kList, 0));
  view.EnableCheckBoxes(kList);
  EXPECT_TRUE(view.HasCheckBoxes(kList));
  EXPECT_EQ(view.ItemCount(kList), 2);
  EXPECT_EQ(view.Selection(kList), -1);

  // A sorted box inserts in order, ignoring case, and returns the position.
  EXPECT_EQ(view.AddItem(kSorted, "pear"), 0);
  EXPECT_EQ(view.AddItem(kSorted, "Apple"), 0);
  EXPECT_EQ(view.AddItem(kSorted, "zoo"), 2);
  EXPECT_EQ(view.AddItem(kSorted, "banana"), 1);
  EXPECT_THAT(view.ItemTexts(kSorted), ElementsAre("Apple", "banana", "pear", "zoo"));
}

}  // namespace
}  // namespace tarvex
