// Every dialog drawn from its template and played through its real widgets.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "desktop/desk_test_util.h"
#include "lists/sender_lists.h"
#include "platform/file_system.h"
#include "settings/settings_store.h"
#include "testing/dialog_operations.h"
#include "ui/about_dialog.h"
#include "ui/folder_dialogs.h"
#include "ui/list_dialogs.h"
#include "ui/settings_dialog.h"

namespace tarvex::desktop {
namespace {

using testing::Click;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::PlayedUi;
using testing::PressEnter;
using testing::Type;

// The widget class that shows each kind of control.
const char* WidgetClass(const ControlTemplate& control) {
  switch (control.kind) {
    case ControlKind::kStatic:
      return control.style & ctl::kEtchedLine ? "QFrame" : "QLabel";
    case ControlKind::kGroupBox:
      return "QGroupBox";
    case ControlKind::kEdit:
      return "QLineEdit";
    case ControlKind::kMultiLineEdit:
      return "QPlainTextEdit";
    case ControlKind::kButton:
    case ControlKind::kDefaultButton:
      return "QPushButton";
    case ControlKind::kCheckBox:
      return "QCheckBox";
    case ControlKind::kListView:
      return "QTreeWidget";
    case ControlKind::kComboBox:
      return "QComboBox";
    case ControlKind::kBitmap:
    case ControlKind::kIcon:
      return "QLabel";
  }
  return "";
}

// What each style asks of the widget, checked for each control that has it
// and for each that lacks it.
void ExpectStyles(const ControlTemplate& c, QWidget* w) {
  const std::string what = "control " + std::to_string(c.id) + " \"" + c.text + "\"";
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    EXPECT_EQ(edit->validator() == nullptr, bool(c.style & ctl::kAutoHScroll)) << what;
    EXPECT_EQ(edit->isReadOnly(), bool(c.style & ctl::kReadOnly)) << what;
  }
  if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) {
    EXPECT_EQ(multi->isReadOnly(), bool(c.style & ctl::kReadOnly)) << what;
    EXPECT_EQ(multi->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn,
              bool(c.style & ctl::kVScroll))
        << what;
    EXPECT_EQ(multi->frameShape() != QFrame::NoFrame, bool(c.style & ctl::kBorder)) << what;
  }
  if (auto* list = qobject_cast<QTreeWidget*>(w)) {
    EXPECT_EQ(list->isHeaderHidden(), !(c.style & ctl::kReportView)) << what;
    EXPECT_EQ(list->selectionMode() == QAbstractItemView::SingleSelection,
              bool(c.style & ctl::kSingleSelection))
        << what;
    EXPECT_EQ(list->selectionBehavior() == QAbstractItemView::SelectRows,
              bool(c.style & ctl::kFullRowSelect))
        << what;
    EXPECT_EQ(list->header()->sectionsClickable(), !(c.style & ctl::kNoSortHeader)) << what;
    EXPECT_FALSE(list->isSortingEnabled()) << what;
    EXPECT_EQ(list->frameShape() != QFrame::NoFrame, bool(c.style & ctl::kBorder)) << what;
  }
  if (auto* button = qobject_cast<QPushButton*>(w)) {
    // Any button is the default while it has the focus, as on Windows.
    if (c.kind == ControlKind::kDefaultButton) {
      EXPECT_TRUE(button->isDefault()) << what;
    } else if (!button->hasFocus()) {
      EXPECT_FALSE(button->isDefault()) << what;
    }
    EXPECT_TRUE(button->autoDefault()) << what;
  }
  if (auto* label = qobject_cast<QLabel*>(w); label && c.kind == ControlKind::kStatic) {
    EXPECT_EQ(bool(label->alignment() & Qt::AlignHCenter), bool(c.style & ctl::kCenter)) << what;
  }
  if (c.kind == ControlKind::kStatic && (c.style & ctl::kEtchedLine)) {
    EXPECT_EQ(static_cast<QFrame*>(w)->frameShape(), QFrame::HLine) << what;
  }
  if (c.kind == ControlKind::kBitmap || c.kind == ControlKind::kIcon) {
    EXPECT_FALSE(static_cast<QLabel*>(w)->pixmap().isNull()) << what << ": no picture";
  }
}

// The text a control shows right after it was built, before the presenter
// had its say.
std::string ShownText(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return FromQt(label->text());
  if (auto* group = qobject_cast<QGroupBox*>(w)) return FromQt(group->title());
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return FromQt(edit->text());
  if (auto* multi = qobject_cast<QPlainTextEdit*>(w)) return FromQt(multi->toPlainText());
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return FromQt(button->text());
  return {};
}

// A presenter that does nothing, so that a template is drawn as it is.
class Bare : public DialogPresenter {
 public:
  explicit Bare(const DialogTemplate& layout) : layout_(layout) {}
  const DialogTemplate& Template() const override { return layout_; }
  void OnInitDialog(DialogView&) override {}

 private:
  const DialogTemplate& layout_;
};

const std::vector<const DialogTemplate*>& AllTemplates() {
  static const std::vector<const DialogTemplate*> all = {
      &BlacklistDialog::Layout(),  &WhitelistDialog::Layout(),  &SettingsDialog::Layout(),
      &TrainingDialog::Layout(),   &FolderPickDialog::Layout(), &DestinationFolderDialog::Layout(),
      &RawHeadersDialog::Layout(), &AboutDialog::Layout()};
  return all;
}

TEST(DesktopDialogUnitsTest, BaseUnitsAreTheAlphabetsAverageWidthAndTheHeightOfASansFont) {
  const QFont font = DialogFont(AboutDialog::Layout());
  const QFontInfo info(font);
  EXPECT_FALSE(info.fixedPitch()) << info.family().toStdString();
  EXPECT_EQ(info.pointSize(), 8);
  const QFontMetrics metrics(font);
  const DialogUnits units = DialogUnits::Of(font);
  const double average = metrics.horizontalAdvance(QStringLiteral(
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                         52.0;
  EXPECT_EQ(units.baseX, static_cast<int>(std::lround(average)));
  EXPECT_EQ(units.baseY, metrics.height());
  // Four horizontal units are one average character, eight vertical ones
  // the font's height; halves round up, as Windows rounds them.
  const DialogUnits fixed{6, 13};
  EXPECT_EQ(fixed.ToPixels(7, 7, 268, 44), QRect(11, 11, 402, 72));
  EXPECT_EQ(fixed.ToPixels(1, 1, 2, 3), QRect(2, 2, 3, 5));
}

TEST(DesktopDialogTest, EveryTemplateIsDrawnControlByControlInDialogUnitsInTabOrder) {
  for (const DialogTemplate* layout : AllTemplates()) {
    SCOPED_TRACE(layout->caption);
    PlayedUi played;
    Bare bare(*layout);
    played.scripts.push_back([layout](QtDialogView& view) {
      const DialogUnits& u = view.units();
      EXPECT_EQ(view.windowTitle().toStdString(), layout->caption);
      EXPECT_EQ(view.size(), QSize(u.ToPixelsX(layout->width), u.ToPixelsY(layout->height)));
      std::vector<QWidget*> tabbable;
      for (const ControlTemplate& c : layout->controls) {
        SCOPED_TRACE("control " + std::to_string(c.id) + " \"" + c.text + "\"");
        QWidget* w = view.Widget(c.id);
        EXPECT_STREQ(w->metaObject()->className(), WidgetClass(c));
        const QRect place = u.ToPixels(c.x, c.y, c.width, c.height);
        if (c.kind == ControlKind::kComboBox) {
          // A drop-down list's template height is its open list's.
          EXPECT_EQ(w->geometry().topLeft(), place.topLeft());
          EXPECT_EQ(w->width(), place.width());
          EXPECT_LT(w->height(), place.height());
        } else {
          EXPECT_EQ(w->geometry(), place);
        }
        if (c.kind != ControlKind::kBitmap && c.kind != ControlKind::kIcon &&
            c.kind != ControlKind::kComboBox && c.kind != ControlKind::kListView) {
          EXPECT_EQ(ShownText(w), c.text);
        }
        ExpectStyles(c, w);
        if (w->focusPolicy() & Qt::TabFocus) tabbable.push_back(w);
      }
      // Tab walks the controls in the template's order, round to the first.
      ASSERT_FALSE(tabbable.empty());
      for (size_t i = 0; i <= tabbable.size(); ++i) {
        EXPECT_EQ(QApplication::focusWidget(), tabbable[i % tabbable.size()]) << "tab " << i;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      }
    });
    EXPECT_EQ(played.ui.RunModal(bare), kIdCancel);
    EXPECT_THAT(played.dialogs, ElementsAre(layout->caption));
  }
}

TEST(DesktopDialogTest, AnEditWithoutAutomaticScrollingTakesOnlyWhatItsBoxShows) {
  constexpr int kScrolling = 10, kFixed = 11;
  const DialogTemplate layout{
      900,
      "Edits",
      120,
      60,
      {{kScrolling, ControlKind::kEdit, "", 7, 7, 40, 14, ctl::kAutoHScroll},
       {kFixed, ControlKind::kEdit, "", 7, 27, 40, 14}}};
  Bare bare(layout);
  PlayedUi played;
  const std::string longText(60, 'W');
  played.scripts.push_back([&](QtDialogView& view) {
    Type(view, kScrolling, longText);
    Type(view, kFixed, longText);
    EXPECT_EQ(view.GetText(kScrolling), longText);
    const std::string kept = view.GetText(kFixed);
    EXPECT_FALSE(kept.empty());
    EXPECT_LT(kept.size(), longText.size());
    auto* edit = qobject_cast<QLineEdit*>(view.Widget(kFixed));
    EXPECT_LE(edit->fontMetrics().horizontalAdvance(ToQt(kept)), edit->width());
  });
  played.ui.RunModal(bare);
}

// ---------------------------------------------------------------- the list dialogs

constexpr char kBlackPath[] = "/lists/BlackList.xml";
constexpr int kDomainRow = 0, kAddressRow = 1;
using L = ListDialog;

class DesktopListDialogTest : public ::testing::Test {
 protected:
  DesktopListDialogTest() {
    WriteStringValue(store, "BlackListPath", kBlackPath);
    fs.files()[kBlackPath] =
        "<BlackList><MailID Name=\"spam@x.example\" /><Domain Name=\"junk.example\" />"
        "<MailID Name=\"bulk@y.example\" /></BlackList>";
    EXPECT_TRUE(LoadBlacklist(fs, settings, &addresses, &domains));
  }
  std::vector<std::string> StoredAddresses() {
    std::vector<std::string> a, d;
    LoadBlacklist(fs, settings, &a, &d);
    return a;
  }
  static std::vector<std::string> Rows(QtDialogView& view) {
    std::vector<std::string> rows;
    for (int row = 0; row < view.ItemCount(L::kEntryList); ++row)
      rows.push_back(view.ItemText(L::kEntryList, row));
    return rows;
  }

  MemoryFileSystem fs;
  MemorySettingsStore store;
  FilterSettings settings{store};
  std::vector<std::string> addresses, domains;
  PlayedUi played;
};

TEST_F(DesktopListDialogTest, AddRenameAndRemoveThroughTheWidgetsWithEveryRefusal) {
  played.scripts.push_back([&](QtDialogView& view) {
    EXPECT_TRUE(view.windowFlags() & Qt::WindowStaysOnTopHint);
    auto* type = qobject_cast<QComboBox*>(view.Widget(L::kTypeBox));
    EXPECT_EQ(type->currentIndex(), -1);
    EXPECT_EQ(type->itemText(kDomainRow).toStdString(), "Domain Name");
    PressEnter(view);  // no type
    EXPECT_EQ(view.focusWidget(), type);
    testing::Choose(view, L::kTypeBox, kAddressRow);
    EXPECT_THAT(Rows(view), ElementsAre("spam@x.example", "bulk@y.example"));
    PressEnter(view);  // no name
    EXPECT_EQ(view.focusWidget(), view.Widget(L::kItemName));
    Type(view, L::kItemName, "SPAM@X.example");
    PressEnter(view);  // a duplicate in another case
    Type(view, L::kItemName, "new@z.example");
    Click(view, L::kAddToList);
    EXPECT_THAT(Rows(view), ElementsAre("spam@x.example", "bulk@y.example", "new@z.example"));
    EXPECT_EQ(view.GetText(L::kItemName), "");

    testing::DoubleClickRow(view, L::kEntryList, 1);
    EXPECT_EQ(view.GetText(L::kAddToList), "Update");
    EXPECT_EQ(view.GetText(L::kItemName), "bulk@y.example");
    PressEnter(view);  // unchanged: refused as a duplicate
    EXPECT_EQ(view.GetText(L::kAddToList), "Update");
    Type(view, L::kItemName, "mass@y.example");
    PressEnter(view);
    EXPECT_EQ(view.GetText(L::kAddToList), "Add to List");
    EXPECT_THAT(Rows(view), ElementsAre("spam@x.example", "mass@y.example", "new@z.example"));

    testing::TickRow(view, L::kEntryList, 0);
    EXPECT_TRUE(view.ItemChecked(L::kEntryList, 0));
    Click(view, L::kRemove);
    EXPECT_THAT(Rows(view), ElementsAre("mass@y.example", "new@z.example"));
    testing::Choose(view, L::kTypeBox, kDomainRow);
    EXPECT_THAT(Rows(view), ElementsAre("junk.example"));
    Click(view, L::kClose);
    EXPECT_TRUE(view.ended());
  });
  tarvex::testing::DialogOperations ops(fs, store, played.ui);
  OpenListDialog(played.ui, ops, ListId::Blacklist, addresses, domains);

  EXPECT_THAT(played.BoxTexts(),
              ElementsAre("Please Select an Item Type", "Please Enter an Item Name",
                          "This MailId Already Exists in BlackList", "Item Added To Blacklist",
                          "This MailId Already Exists in BlackList", "Item Updated in Blacklist",
                          "Item(s) Removed Successfully"));
  for (const testing::ShownBox& box : played.boxes) {
    SCOPED_TRACE(box.text);
    EXPECT_EQ(box.caption, "Tarvex");
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_THAT(box.buttons, ElementsAre("OK"));
    EXPECT_NE(box.owner, nullptr);  // over the dialog
  }
  EXPECT_THAT(StoredAddresses(), ElementsAre("mass@y.example", "new@z.example"));
  EXPECT_THAT(addresses, ElementsAre("mass@y.example", "new@z.example"));
}

// ---------------------------------------------------------------- settings

// The settings and a word database of three words, in memory.
class DesktopSettingsDialogTest : public ::testing::Test {
 protected:
  DesktopSettingsDialogTest() {
    WriteStringValue(store, "WordFilePath", "/p/words.db");
    filter.LoadAtStartup(settings);
    filter.LearnMessage("money offer hello", "", true);
  }

  MemoryFileSystem fs;
  MemorySettingsStore store;
  FilterSettings settings{store};
  ManualClock clock{1'700'000'000};
  BayesFilter filter{clock, fs};
  PlayedUi played;
  tarvex::testing::DialogOperations ops{fs, store, played.ui, &filter};
};

TEST_F(DesktopSettingsDialogTest, EmptyingAsksYesOrNoAndOkWritesTheTickedBoxes) {
  settings.SetNotSpamFolderName("Work");
  SettingsDialog dialog(ops);
  played.scripts.push_back([&](QtDialogView& view) {
    using S = SettingsDialog;
    EXPECT_EQ(view.GetText(S::kWordCount), "Total Words in Bayesian Database : 3");
    EXPECT_FALSE(view.GetCheck(S::kAskDestination));
    played.answers = {QMessageBox::No, QMessageBox::Yes};
    Click(view, S::kEmptyDatabase);
    EXPECT_EQ(filter.WordCount(), 3u);
    Click(view, S::kEmptyDatabase);
    EXPECT_EQ(filter.WordCount(), 0u);
    EXPECT_EQ(view.GetText(S::kWordCount), "Total Words in Bayesian Database : 3");
    Click(view, S::kBeep);
    Click(view, S::kLearnSpam);
    PressEnter(view);  // the focus is on the last box ticked: Enter is OK's
  });
  EXPECT_EQ(played.ui.RunModal(dialog), kIdOk);

  ASSERT_EQ(played.boxes.size(), 3u);
  for (int i : {0, 1}) {
    EXPECT_EQ(played.boxes[i].text, "Are you sure you want to empty the Database?");
    EXPECT_EQ(played.boxes[i].caption, "Tarvex");
    EXPECT_EQ(played.boxes[i].icon, QMessageBox::NoIcon);
    EXPECT_THAT(played.boxes[i].buttons, ElementsAre("Yes", "No"));
    EXPECT_EQ(played.boxes[i].defaultButton, "Yes");
  }
  EXPECT_EQ(played.boxes[2].text, "Database Empty");
  EXPECT_THAT(played.boxes[2].buttons, ElementsAre("OK"));
  EXPECT_TRUE(settings.GetBeepAtSpam());
  EXPECT_TRUE(settings.GetLearnFromMarkSpam());
  EXPECT_FALSE(settings.GetLearnFromNotSpam());
  EXPECT_EQ(settings.GetNotSpamFolderName(), "Inbox");
}

TEST_F(DesktopSettingsDialogTest, EscapeWritesNothing) {
  SettingsDialog dialog(ops);
  played.scripts.push_back([&](QtDialogView& view) {
    Click(view, SettingsDialog::kBeep);
    QTest::keyClick(&view, Qt::Key_Escape);
  });
  EXPECT_EQ(played.ui.RunModal(dialog), kIdCancel);
  EXPECT_FALSE(settings.GetBeepAtSpam());
}

// ---------------------------------------------------------------- folder dialogs

TEST(DesktopTrainingDialogTest, PickersFillTheSetsAndAnEmptyPickIsRefused) {
  PlayedUi played;
  TrainingDialog dialog(played.ui);
  dialog.allFolders = {"Inbox", "Junk", "Work"};
  using T = TrainingDialog;
  played.scripts.push_back([&](QtDialogView& view) {
    Click(view, T::kSpamPick);
    EXPECT_EQ(view.GetText(T::kSpamText), "Inbox;Work;");
    Click(view, T::kGoodPick);  // cancelled: nothing changes
    EXPECT_EQ(view.GetText(T::kGoodText), "");
    Click(view, T::kStartTraining);
  });
  played.scripts.push_back([&](QtDialogView& pick) {
    auto* list = qobject_cast<QTreeWidget*>(pick.Widget(FolderPickDialog::kFolderList));
    EXPECT_EQ(list->headerItem()->text(0).toStdString(), "Folder Name");
    EXPECT_EQ(list->columnWidth(0), 200);
    PressEnter(pick);  // nothing ticked
    EXPECT_FALSE(pick.ended());
    testing::TickRow(pick, FolderPickDialog::kFolderList, 0);
    testing::TickRow(pick, FolderPickDialog::kFolderList, 2);
    Click(pick, kIdOk);
  });
  played.scripts.push_back([](QtDialogView& pick) { Click(pick, kIdCancel); });
  EXPECT_EQ(played.ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(played.dialogs,
              ElementsAre("Train the Bayesian filter", "Select Folders", "Select Folders"));
  EXPECT_THAT(played.BoxTexts(), ElementsAre("Please Select atleast one folder"));
  EXPECT_THAT(dialog.spamFolders, ElementsAre("Inbox", "Work"));
  EXPECT_THAT(dialog.goodFolders, IsEmpty());
}

TEST(DesktopDestinationDialogTest, OkNeedsAFolderAndTheBoxMakesTheChoicePermanent) {
  MemorySettingsStore store;
  FilterSettings settings(store);
  std::vector<std::string> names = {"Inbox", "Work", "Family"};
  DestinationFolderDialog dialog(names, settings);
  PlayedUi played;
  using D = DestinationFolderDialog;
  played.scripts.push_back([&](QtDialogView& view) {
    PressEnter(view);
    EXPECT_EQ(view.focusWidget(), view.Widget(D::kFolderBox));
    testing::Choose(view, D::kFolderBox, 2);
    Click(view, D::kPermanent);
    PressEnter(view);
  });
  EXPECT_EQ(played.ui.RunModal(dialog), kIdOk);
  EXPECT_THAT(played.BoxTexts(), ElementsAre("Please Select a folder"));
  EXPECT_EQ(dialog.selectedIndex, 2);
  EXPECT_EQ(settings.GetNotSpamFolderName(), "Family");
}

TEST(DesktopRawHeadersDialogTest, ShowsTheHeadersReadOnlyAndEnterCloses) {
  RawHeadersDialog dialog;
  dialog.rawHeaderText = "From: a@b.example\r\nSubject: caf\xe9\r\n";
  PlayedUi played;
  played.scripts.push_back([](QtDialogView& view) {
    auto* text = qobject_cast<QPlainTextEdit*>(view.Widget(RawHeadersDialog::kHeaders));
    EXPECT_EQ(text->toPlainText().toStdString(), "From: a@b.example\nSubject: caf\xc3\xa9\n");
    EXPECT_TRUE(text->isReadOnly());
    text->setFocus();
    QTest::keyClick(text, Qt::Key_Return);
  });
  EXPECT_EQ(played.ui.RunModal(dialog), kIdOk);  // no default button: Enter is OK
  EXPECT_EQ(played.dialogs.size(), 1u);
}

TEST(DesktopAboutDialogTest, ShowsTheProductLineTwiceAndCloseEndsIt) {
  AboutDialog dialog;
  PlayedUi played;
  played.scripts.push_back([](QtDialogView& view) {
    EXPECT_EQ(view.GetText(AboutDialog::kName), "Tarvex v1.2");
    EXPECT_EQ(view.GetText(AboutDialog::kFramedName), "Tarvex v1.2");
    PressEnter(view);  // the focus is on Close
  });
  EXPECT_EQ(played.ui.RunModal(dialog), kIdCancel);
}

TEST(DesktopMessageBoxTest, StyleBitsGiveIconButtonsDefaultAndAnswer) {
  struct Case {
    uint32_t style;
    QMessageBox::Icon icon;
    std::vector<std::string> buttons;
    std::string defaultButton;
    int answer;  // to Enter
  };
  const std::vector<Case> cases = {
      {mb::kOk, QMessageBox::NoIcon, {"OK"}, "OK", mb::kIdOk},
      {mb::kYesNo | mb::kIconQuestion, QMessageBox::Question, {"Yes", "No"}, "Yes", mb::kIdYes},
      {mb::kYesNo | 0x100, QMessageBox::NoIcon, {"Yes", "No"}, "No", mb::kIdNo},
      {mb::kOk | mb::kIconExclamation | mb::kTopmost,
       QMessageBox::Warning,
       {"OK"},
       "OK",
       mb::kIdOk},
      {mb::kOk | mb::kIconError, QMessageBox::Critical, {"OK"}, "OK", mb::kIdOk},
      {mb::kOk | mb::kIconInformation, QMessageBox::Information, {"OK"}, "OK", mb::kIdOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    PlayedUi played;
    EXPECT_EQ(played.ui.MessageBox("text", "caption", c.style), c.answer);
    ASSERT_EQ(played.boxes.size(), 1u);
    EXPECT_EQ(played.boxes[0].icon, c.icon);
    EXPECT_EQ(played.boxes[0].buttons, c.buttons);
    EXPECT_EQ(played.boxes[0].defaultButton, c.defaultButton);
    EXPECT_EQ(played.boxes[0].caption, "caption");
  }
}

}  // namespace
}  // namespace tarvex::desktop
