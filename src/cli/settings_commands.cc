// tarvex settings: shows the settings a user changes, sets or clears one,
// or empties the word database through the Settings dialog.
#include <ostream>

#include "cli/commands.h"
#include "platform/codepage.h"
#include "ui/plugin_toolbar.h"
#include "ui/settings_dialog.h"

namespace tarvex {
namespace {

// The settings are read and written one by one, so that changing one leaves
// every other as it was.
void PrintSetting(CommandContext& ctx, const std::string& name) {
  FilterSettings settings = ctx.profile.settings();
  ctx.out << name << ": ";
  if (FindSetting(name)->kind == SettingKind::kOption) {
    ctx.out << (ReadDwordValue(settings.store(), name) ? "on" : "off") << '\n';
    return;
  }
  const std::string folder = settings.GetNotSpamFolderName();
  if (folder.empty()) {
    ctx.out << "(none: not-spam asks each time, answered by --to, else the Inbox)\n";
  } else {
    ctx.out << cp1252::ToUtf8(folder) << '\n';
  }
}

}  // namespace

Result RunSettings(CommandContext& ctx, const Invocation& v) {
  if (v.action == Action::kEmptyDb) {
    MaildirSession& session = ctx.Session();
    ctx.ui.QueueScript([&](DialogDriver& d) {
      ctx.ui.QueueAnswer(mb::kIdYes);
      d.Click(SettingsDialog::kEmptyDatabase);
    });
    session.app().OnCommand(command::kSettings);
    return Result::kOk;
  }
  ctx.RequireProfile();
  FilterSettings settings = ctx.profile.settings();
  if (v.action == Action::kShow || v.action == Action::kNone) {
    for (const SettingInfo* s : setting::kAll) {
      if (s->ChangedByUser()) PrintSetting(ctx, s->name);
    }
    ctx.out << "Words: " << ctx.Filter().WordCount() << '\n';
    return Result::kOk;
  }
  if (FindSetting(v.settingName)->kind == SettingKind::kOption) {
    WriteDwordValue(settings.store(), v.settingName, v.settingValue == "on" ? 1 : 0);
  } else if (v.action == Action::kClear) {
    settings.SetNotSpamFolderName("");
  } else {
    settings.SetNotSpamFolderName(ShownFolderNames(ctx.Session(), {v.settingValue})[0]);
  }
  PrintSetting(ctx, v.settingName);
  return Result::kOk;
}
}  // namespace tarvex
