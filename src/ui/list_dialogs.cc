#include "ui/list_dialogs.h"

#include "ui/folder_dialogs.h"

namespace tarvex {
namespace {

// The layouts differ only in the dialog's height and the place of the two
// lowest controls.
DialogTemplate ListLayout(int resourceId, const char* caption, int height, int listY, int removeY) {
  using K = ControlKind;
  using L = ListDialog;
  return {resourceId,
          caption,
          282,
          height,
          {
              // The text of a bitmap control names its image.
              {L::kBanner, K::kBitmap, "banner", 7, 7, 268, 44},
              {L::kFrame, K::kGroupBox, "", 7, 53, 268, 93},
              {L::kTypeLabel, K::kStatic, "Type", 15, 65, 17, 8},
              {L::kTypeBox, K::kComboBox, "", 37, 62, 100, 84, ctl::kSorted | ctl::kVScroll},
              // An etched horizontal line between the type and the name.
              {L::kSeparator, K::kStatic, "", 17, 81, 248, 1, ctl::kEtchedLine},
              {L::kNameLabel, K::kStatic, "Mail Address / Domain", 18, 95, 72, 8},
              {L::kItemName, K::kEdit, "", 104, 92, 159, 14, ctl::kAutoHScroll},
              {L::kAddToList, K::kDefaultButton, "Add To List", 63, 126, 50, 14},
              {L::kClose, K::kButton, "Close", 167, 126, 50, 14},
              {L::kAddedLabel, K::kStatic, "Added Items", 7, 149, 40, 8},
              {L::kEntryList, K::kListView, "", 7, listY, 268, 121,
               ctl::kReportView | ctl::kSingleSelection | ctl::kNoSortHeader | ctl::kBorder |
                   ctl::kFullRowSelect},
              {L::kRemove, K::kButton, "Remove Selected", 201, removeY, 74, 14},
          }};
}

}  // namespace

const ListDialogKind& ListDialogKind::Of(ListId list) {
  static const ListDialogKind black{
      ListId::Blacklist,
      ListLayout(BlacklistDialog::kResourceId, "Manage Blacklist Items", 305, 159, 284)};
  static const ListDialogKind white{
      ListId::Whitelist,
      ListLayout(WhitelistDialog::kResourceId, "Manage Whitelist Items", 302, 158, 283)};
  return list == ListId::Whitelist ? white : black;
}

void ListDialog::OnInitDialog(DialogView& view) {
  view.MakeTopmost();
  view.AddColumn(kEntryList, "Item Name", kColumnWidthPixels);
  view.EnableCheckBoxes(kEntryList);
  view.AddItem(kTypeBox, kAddressType);
  view.AddItem(kTypeBox, kDomainType);
}

void ListDialog::OnCommand(DialogView& view, int control) {
  switch (control) {
    case kTypeBox:
      ShowType(view);
      break;
    case kAddToList:
      Save(view);
      break;
    case kRemove:
      RemoveTicked(view);
      break;
    default:
      DialogPresenter::OnCommand(view, control);
  }
}

void ListDialog::OnDoubleClick(DialogView& view, int control) {
  if (control != kEntryList) return;
  const int row = view.Selection(kEntryList);
  if (row < 0) return;
  view.SetText(kItemName, view.ItemText(kEntryList, row));
  view.SetText(kAddToList, "Update");
  updating = true;
  updateIndex = row;
}

bool ListDialog::SelectedKind(const DialogView& view, EntryKind* kind) const {
  const int row = view.Selection(kTypeBox);
  if (row < 0) return false;
  // The box sorts its rows, so they are told apart by their text.
  *kind = view.ItemText(kTypeBox, row) == kDomainType ? EntryKind::Domain : EntryKind::Address;
  return true;
}

void ListDialog::LeaveUpdateMode(DialogView& view, const char* buttonText) {
  updating = false;
  updateIndex = -1;
  view.SetText(kAddToList, buttonText);
}

void ListDialog::ShowType(DialogView& view) {
  EntryKind kind;
  if (!SelectedKind(view, &kind)) return;
  LeaveUpdateMode(view, "Add To List");
  view.SetText(kItemName, "");
  view.DeleteAllItems(kEntryList);
  for (const std::string& entry : EntriesOf(kind)) view.AddItem(kEntryList, entry);
}

void ListDialog::Save(DialogView& view) {
  const std::string name = view.GetText(kItemName);
  EntryKind kind;
  if (!SelectedKind(view, &kind)) {
    Tell(view, "Please Select an Item Type");
    view.SetFocus(kTypeBox);
    return;
  }
  if (updating) {
    UpdateName(view, kind, name);
  } else {
    AddName(view, kind, name);
  }
}

void ListDialog::Answer(DialogView& view, const ListEdit& edit) {
  Tell(view, edit.message);
  // A refused name stays in the box, for the user to correct.
  if (!edit.ok()) view.SetFocus(kItemName);
}

void ListDialog::AddName(DialogView& view, EntryKind kind, const std::string& name) {
  ListEdit edit;
  ops_.AddListEntry(list(), kind, name, &edit);
  if (edit.ok()) {
    EntriesOf(kind).push_back(name);
    view.AddItem(kEntryList, name);
    view.SetText(kItemName, "");
    modified = true;
  }
  Answer(view, edit);
}

void ListDialog::UpdateName(DialogView& view, EntryKind kind, const std::string& name) {
  // The row may be gone when ticked rows were removed meanwhile; its text is
  // then empty, as a list view answers for a missing row.
  const bool rowExists = updateIndex >= 0 && updateIndex < view.ItemCount(kEntryList);
  const std::string oldName = rowExists ? view.ItemText(kEntryList, updateIndex) : std::string();
  ListEdit edit;
  ops_.RenameListEntry(list(), kind, oldName, name, &edit);
  if (edit.ok()) {
    std::vector<std::string>& entries = EntriesOf(kind);
    // After a removal the arrays follow the file, which may hold fewer
    // entries than the list shows rows.
    if (updateIndex >= 0 && static_cast<size_t>(updateIndex) < entries.size()) {
      entries[static_cast<size_t>(updateIndex)] = name;
    }
    if (rowExists) view.SetItemText(kEntryList, updateIndex, name);
    view.SetText(kItemName, "");
    LeaveUpdateMode(view, "Add to List");
    modified = true;
  }
  Answer(view, edit);
}

void ListDialog::RemoveTicked(DialogView& view) {
  EntryKind kind;
  if (!SelectedKind(view, &kind)) return;
  const int rows = view.ItemCount(kEntryList);
  for (int row = 0; row < rows; ++row) {
    if (!view.ItemChecked(kEntryList, row)) continue;
    // A row whose entry is gone from the file just goes from the list.
    ListEdit edit;
    ops_.RemoveListEntry(list(), kind, view.ItemText(kEntryList, row), &edit);
    modified = true;
  }
  Reload();
  for (;;) {
    int ticked = -1;
    for (int row = 0; ticked < 0 && row < view.ItemCount(kEntryList); ++row) {
      if (view.ItemChecked(kEntryList, row)) ticked = row;
    }
    if (ticked < 0) break;
    view.DeleteItem(kEntryList, ticked);
  }
  Tell(view, kListEntriesRemoved);
}

void ListDialog::Reload() {
  // An unreadable file leaves both empty.
  addresses.clear();
  domains.clear();
  ops_.ListEntries(list(), EntryKind::Address, &addresses);
  ops_.ListEntries(list(), EntryKind::Domain, &domains);
}

void ListDialog::Tell(DialogView& view, const std::string& text) {
  view.MessageBox(text, kDialogBoxCaption, mb::kOk);
}

void OpenListDialog(UserInterface& ui, Operations& ops, ListId list,
                    std::vector<std::string>& addresses, std::vector<std::string>& domains) {
  ListDialog dialog(list, ops);
  for (const std::string& entry : addresses) dialog.addresses.push_back(entry);
  for (const std::string& entry : domains) dialog.domains.push_back(entry);
  ui.RunModal(dialog);
  if (!dialog.modified) return;
  dialog.Reload();
  addresses = dialog.addresses;
  domains = dialog.domains;
}

}  // namespace tarvex
