// The dialogs that manage the entries of the black and white lists of senders,
// "Manage Blacklist Items" and "Manage Whitelist Items". Both work alike on
// their own list: the user picks a kind of entry (addresses or domains), sees
// that kind's entries, and adds, renames (double-click a row, then "Update")
// or removes (tick rows, then "Remove Selected") them. Every change goes to
// the list file at once; the dialog's arrays only mirror what it did, and the
// opener reloads its own arrays from the file when the dialog changed it.
#ifndef TARVEX_UI_LIST_DIALOGS_H_
#define TARVEX_UI_LIST_DIALOGS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "lists/list_operations.h"
#include "lists/sender_lists.h"
#include "ops/operations.h"
#include "ui/dialog.h"
#include "ui/user_interface.h"

namespace tarvex {

// What tells the two dialogs apart: their list and layout. Their words come
// with the list's edits (list_operations.h).
struct ListDialogKind {
  ListId list;
  DialogTemplate layout;

  static const ListDialogKind& Of(ListId list);
};

// One run of either dialog. OK ("Add To List", or "Update" while a row is
// being edited) checks, in this order, that a type is chosen, that the name is
// not empty (blanks count as a name) and that the file holds no entry of the
// kind with that name in any letter case; a refused name leaves the dialog as
// it was, update mode included. Close and Escape just close it.
class ListDialog : public DialogPresenter {
 public:
  static constexpr int kBanner = 1400;
  static constexpr int kFrame = 1401;
  static constexpr int kTypeLabel = 1402;
  static constexpr int kTypeBox = 1403;
  static constexpr int kSeparator = 1404;
  static constexpr int kNameLabel = 1405;
  static constexpr int kItemName = 1406;
  static constexpr int kAddedLabel = 1407;
  static constexpr int kEntryList = 1408;
  static constexpr int kRemove = 1409;
  static constexpr int kAddToList = kIdOk;
  static constexpr int kClose = kIdCancel;
  static constexpr int kColumnWidthPixels = 200;
  // The rows of the type box. It is sorted, so "Domain Name" comes first.
  static constexpr char kAddressType[] = "EMail Address";
  static constexpr char kDomainType[] = "Domain Name";

  // The edits go through the user's operations.
  ListDialog(ListId list, Operations& ops) : kind_(ListDialogKind::Of(list)), ops_(ops) {}

  static const DialogTemplate& Layout(ListId list) { return ListDialogKind::Of(list).layout; }
  const DialogTemplate& Template() const override { return kind_.layout; }
  ListId list() const { return kind_.list; }
  void OnInitDialog(DialogView& view) override;
  void OnCommand(DialogView& view, int control) override;
  void OnDoubleClick(DialogView& view, int control) override;

  std::vector<std::string> addresses;  // filled by the opener
  std::vector<std::string> domains;
  bool modified = false;     // the list file was changed
  bool updating = false;     // OK means "Update"
  int32_t updateIndex = -1;  // the row (and array element) being edited

  // Empties the arrays and loads them again from the list's file.
  void Reload();

 private:
  // The kind of the type box's selection; false when nothing is selected.
  bool SelectedKind(const DialogView& view, EntryKind* kind) const;
  std::vector<std::string>& EntriesOf(EntryKind kind) {
    return kind == EntryKind::Domain ? domains : addresses;
  }
  void LeaveUpdateMode(DialogView& view, const char* buttonText);
  void ShowType(DialogView& view);
  void Save(DialogView& view);
  void AddName(DialogView& view, EntryKind kind, const std::string& name);
  void UpdateName(DialogView& view, EntryKind kind, const std::string& name);
  void RemoveTicked(DialogView& view);
  // Shows what the edit came to.
  void Answer(DialogView& view, const ListEdit& edit);
  void Tell(DialogView& view, const std::string& text);

  const ListDialogKind& kind_;
  Operations& ops_;
};

class BlacklistDialog : public ListDialog {
 public:
  static constexpr int kResourceId = 220;
  explicit BlacklistDialog(Operations& ops) : ListDialog(ListId::Blacklist, ops) {}
  static const DialogTemplate& Layout() { return ListDialog::Layout(ListId::Blacklist); }
};

class WhitelistDialog : public ListDialog {
 public:
  static constexpr int kResourceId = 221;
  explicit WhitelistDialog(Operations& ops) : ListDialog(ListId::Whitelist, ops) {}
  static const DialogTemplate& Layout() { return ListDialog::Layout(ListId::Whitelist); }
};

// Runs the dialog of the list over copies of addresses and domains. When it
// changed the list file, both arrays are emptied and loaded again from the
// file (so an unreadable file leaves them empty); otherwise they stay as they
// were.
void OpenListDialog(UserInterface& ui, Operations& ops, ListId list,
                    std::vector<std::string>& addresses, std::vector<std::string>& domains);

}  // namespace tarvex

#endif  // TARVEX_UI_LIST_DIALOGS_H_
