// tarvex settings: shows the settings a user changes, sets or clears one,
// or empties the word database as the Settings dialog does.
#include <algorithm>
#include <ostream>

#include "cli/commands.h"
#include "platform/codepage.h"
#include "ui/settings_dialog.h"

namespace tarvex {
namespace {

// The settings are read and written one by one, so that changing one leaves
// every other as it was.
void PrintSetting(CommandContext& ctx, const SettingInfo& s) {
  SettingValue value;
  Check(ctx.Ops().GetSetting(s.name, &value));
  Printer& p = ctx.printer();
  const std::string label = std::string(s.name) + ": ";
  if (s.kind == SettingKind::kOption) {
    p.Key(s.name, {label.c_str()});
    p.Bool(value.on);
    return;
  }
  const std::string folder = cp1252::ToUtf8(value.text);
  p.Key(s.name, {folder.empty() ? nullptr : label.c_str()});
  p.String(folder);
  if (folder.empty()) {
    p.Text(label + "(none: not-spam asks each time, answered by --to, else the Inbox)\n");
  }
}

}  // namespace

Result RunSettings(CommandContext& ctx, const Invocation& v) {
  ctx.RequireProfile();
  if (v.action == Action::kEmptyDb) {
    // As the settings dialog does it, its question answered yes.
    ctx.Say(SettingsDialog::kEmptyQuestion, false);
    uint32_t removed = 0;
    ctx.Ops().EmptyDatabase(&removed);
    ctx.Say(SettingsDialog::kEmptied, false);
    return Result::kOk;
  }
  if (v.action == Action::kShow || v.action == Action::kNone) {
    DatabaseStats stats;
    Check(ctx.Ops().Stats(&stats));
    Printer& p = ctx.printer();
    p.BeginMap();
    for (const SettingInfo* s : setting::kAll) {
      if (s->ChangedByUser()) PrintSetting(ctx, *s);
    }
    p.Key("words", {"Words: "});
    p.Integer(stats.words);
    p.End();
    return Result::kOk;
  }
  const SettingInfo& s = *FindSetting(v.settingName);
  SettingValue value;
  if (s.kind == SettingKind::kOption) {
    value.on = v.settingValue == "on";
  } else if (v.action != Action::kClear) {
    value.text = cp1252::FromUtf8(v.settingValue);
    std::vector<std::string> folders;
    Check(ctx.Ops().FolderNames(&folders));
    if (std::find(folders.begin(), folders.end(), value.text) == folders.end()) {
      std::string store;
      Check(ctx.Ops().StoreName(&store));
      throw CommandFailure(v.settingValue, "no such folder in " + store);
    }
  }
  Check(ctx.Ops().SetSetting(s.name, value));
  ctx.printer().BeginMap();
  PrintSetting(ctx, s);
  ctx.printer().End();
  return Result::kOk;
}
}  // namespace tarvex
