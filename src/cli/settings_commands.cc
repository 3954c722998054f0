// tarvex settings: shows the settings a user changes, sets or clears one,
// or empties the word database as the Settings dialog does.
#include <ostream>

#include "cli/commands.h"
#include "platform/codepage.h"
#include "ui/settings_dialog.h"

namespace tarvex {
namespace {

// The settings are read and written one by one, so that changing one leaves
// every other as it was.
void PrintSetting(Printer& p, FilterSettings& settings, const SettingInfo& s) {
  const std::string label = std::string(s.name) + ": ";
  if (s.kind == SettingKind::kOption) {
    p.Key(s.name, {label.c_str()});
    p.Bool(ReadDwordValue(settings.store(), s.name) != 0);
    return;
  }
  const std::string folder = cp1252::ToUtf8(settings.GetNotSpamFolderName());
  p.Key(s.name, {folder.empty() ? nullptr : label.c_str()});
  p.String(folder);
  if (folder.empty()) {
    p.Text(label + "(none: not-spam asks each time, answered by --to, else the Inbox)\n");
  }
}

}  // namespace

Result RunSettings(CommandContext& ctx, const Invocation& v) {
  if (v.action == Action::kEmptyDb) {
    MaildirSession& session = ctx.Session();
    // As the settings dialog does it, its question answered yes.
    ctx.Say(SettingsDialog::kEmptyQuestion, false);
    FilterWordStore(session.ui(), session.app().bayesFilter()).EmptyDatabase();
    ctx.Say(SettingsDialog::kEmptied, false);
    return Result::kOk;
  }
  ctx.RequireProfile();
  FilterSettings settings = ctx.profile.settings();
  if (v.action == Action::kShow || v.action == Action::kNone) {
    Printer& p = ctx.printer();
    p.BeginMap();
    for (const SettingInfo* s : setting::kAll) {
      if (s->ChangedByUser()) PrintSetting(p, settings, *s);
    }
    p.Key("words", {"Words: "});
    p.Integer(ctx.Filter().WordCount());
    p.End();
    return Result::kOk;
  }
  if (FindSetting(v.settingName)->kind == SettingKind::kOption) {
    WriteDwordValue(settings.store(), v.settingName, v.settingValue == "on" ? 1 : 0);
  } else if (v.action == Action::kClear) {
    settings.SetNotSpamFolderName("");
  } else {
    settings.SetNotSpamFolderName(ShownFolderNames(ctx.Session(), {v.settingValue})[0]);
  }
  Printer& p = ctx.printer();
  p.BeginMap();
  PrintSetting(p, settings, *FindSetting(v.settingName));
  p.End();
  return Result::kOk;
}
}  // namespace tarvex
