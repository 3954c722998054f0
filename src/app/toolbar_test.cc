// The toolbar as the user meets it: it appears once the host's toolbar has a
// window, its buttons and menu items each reach exactly their operation.
#include <gtest/gtest.h>

#include "app/addresses.h"
#include "app/filter_app.h"
#include "host/memory/memory_host.h"
#include "testing/recording_toolbar.h"
#include "testing/scripted_ui.h"

namespace tarvex {
namespace {

class Toolbar : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<FilterApp>(AppServices{clock_, fs_, store_, ui_, host_, loop_});
    app_->InitInstance();
    host_.RaiseInit();
  }
  void TearDown() override {
    app_->ExitInstance();
    app_.reset();
    EXPECT_EQ(host_.LiveObjects(), 0);
  }
  void Tick() {
    loop_.Advance(PluginController::kToolbarTimerPeriodMs);
    loop_.RunPending();
  }
  // Presses a button and lets the hidden window handle what it sent.
  void Press(int index) {
    window_.Press(index);
    loop_.RunPending();
  }
  std::vector<std::string> DialogCaptions() {
    std::vector<std::string> captions;
    for (const auto& shown : ui_.Dialogs()) captions.push_back(shown.caption);
    return captions;
  }

  ManualClock clock_{1'700'000'000};
  MemoryFileSystem fs_;
  MemorySettingsStore store_;
  ScriptedUi ui_;
  MemoryHost host_;
  ManualEventLoop loop_;
  RecordingToolbar window_;
  std::unique_ptr<FilterApp> app_;
};

TEST_F(Toolbar, WaitsForTheWindowThenBuildsTheButtonsOnce) {
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_TRUE(window_.buttons.empty());
  host_.SetToolbarWindow(0, &window_);
  Tick();
  ASSERT_EQ(window_.buttons.size(), 7u);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(window_.buttons[static_cast<size_t>(i)].command, 600u + static_cast<uint32_t>(i));
    EXPECT_EQ(window_.buttons[static_cast<size_t>(i)].image, i);
    EXPECT_EQ(window_.buttons[static_cast<size_t>(i)].state, tb::kStateEnabled);
  }
  EXPECT_EQ(window_.buttons[5].style, 0x10);
  EXPECT_EQ(window_.buttons[6].style, 0x90);
  EXPECT_EQ(window_.strings, (std::vector<std::string>{std::string(
                                 "Mark Spam\0Not Spam\0BlackList\0WhiteList\0Train Filter\0"
                                 "Mail Headers\0Settings\0\0",
                                 75)}));
  ASSERT_NE(window_.imageList, nullptr);
  EXPECT_EQ(window_.imageList, window_.hotImageList);
  EXPECT_EQ(window_.imageList->resourceIds,
            (std::vector<int>{1009, 1008, 1001, 1004, 1007, 1002, 1003}));
  EXPECT_FALSE(loop_.HasTimer(app_->controller(), PluginController::kToolbarTimerId));
  EXPECT_EQ(app_->controller()->dropDownToolBar().menus(),
            (std::map<uint32_t, uint32_t>{{606, 1010}}));
}

TEST_F(Toolbar, LeavesAToolbarThatHasButtonsAlone) {
  window_.buttons.push_back({0, 0, 42, tb::kStateEnabled, 0});
  host_.SetToolbarWindow(0, &window_);
  Tick();
  EXPECT_EQ(window_.buttons.size(), 1u);
  EXPECT_FALSE(loop_.HasTimer(app_->controller(), PluginController::kToolbarTimerId));
  EXPECT_TRUE(app_->controller()->dropDownToolBar().menus().empty());
}

TEST_F(Toolbar, EveryCommandReachesItsOperationOnce) {
  host_.SetToolbarWindow(0, &window_);
  Tick();
  for (int i = 2; i <= 5; ++i) Press(i);  // the dialogs of lists, training, (no) headers
  EXPECT_EQ(DialogCaptions(),
            (std::vector<std::string>{"Manage Blacklist Items", "Manage Whitelist Items",
                                      "Train the Bayesian filter"}));

  // The settings button shows its menu under itself; each item is a command.
  for (uint32_t choice :
       {command::kSettings, command::kSupport, command::kHelp, command::kAbout, 0u}) {
    ui_.QueueMenuChoice(choice);
    Press(6);
  }
  std::vector<ScriptedUi::Shown> menus;
  for (const auto& shown : ui_.log()) {
    if (shown.IsMenu()) menus.push_back(shown);
  }
  ASSERT_EQ(menus.size(), 5u);
  EXPECT_EQ(menus[0].menu.items.size(), 5u);
  EXPECT_TRUE(menus[0].menu.items[3].separator());
  EXPECT_EQ(menus[0].button.left, window_.ButtonRect(606).left);
  EXPECT_EQ(menus[0].button.bottom, window_.ButtonRect(606).bottom);
  EXPECT_EQ(ui_.openedAddresses(), (std::vector<std::string>{SupportAddress(), HelpAddress()}));
  EXPECT_EQ(DialogCaptions().size(), 5u);  // Settings and About opened once each
  EXPECT_EQ(DialogCaptions()[4], "About");
  EXPECT_EQ(HelpAddress().rfind("file:///", 0), 0u);

  // Mark Spam runs once per click.
  const int32_t id = host_.AddMessage(MemoryHost::kInboxId, {{"From", "<a@b.example>"}}, "hi");
  host_.SetSelection({id});
  Press(0);
  EXPECT_EQ(host_.Moves().size(), 1u);
  EXPECT_EQ(app_->bayesFilter().SpamMessageCount(), 0);  // learning off in a bare profile
}

TEST(DropDownToolBar, IgnoresMenusForButtonsItDoesNotHave) {
  ScriptedUi ui;
  RecordingToolbar window;
  window.buttons.push_back({0, 0, 42, tb::kStateEnabled, tb::kStyleWholeDropDown});
  std::vector<uint32_t> chosen;
  DropDownToolBar toolbar(ui, MenuResource, [&](uint32_t id) { chosen.push_back(id); });
  toolbar.Attach(&window);
  toolbar.SetDropDownMenu(command::kSettingsMenu, kSettingsMenuResource);
  EXPECT_TRUE(toolbar.menus().empty());
  toolbar.ShowDropDownMenu(command::kSettingsMenu);
  toolbar.SetDropDownMenu(42, 999);  // a menu resource that does not exist
  ui.QueueMenuChoice(command::kAbout);
  toolbar.ShowDropDownMenu(42);
  EXPECT_TRUE(ui.log().empty());
  toolbar.SetDropDownMenu(42, 0x10000 | kSettingsMenuResource);  // only the low 16 bits name it
  toolbar.ShowDropDownMenu(42);
  EXPECT_EQ(chosen, (std::vector<uint32_t>{command::kAbout}));
}

}  // namespace
}  // namespace tarvex
