// The commands on the sender lists, with the checks and words of the lists'
// dialogs: blacklist and whitelist, each with list, add, rename and remove.
#include <ostream>

#include "cli/commands.h"
#include "lists/list_operations.h"
#include "platform/codepage.h"

namespace tarvex {
namespace {

const char* KindName(bool domain) { return domain ? "domain" : "address"; }

// A name for the list as the command line takes it: refused when the list
// could never match it, or could not store it as given.
void CheckEntryName(const std::string& text, bool domain) {
  if (cp1252::ToUtf8(cp1252::FromUtf8(text)) != text) {
    throw CommandFailure(text, "the name has characters outside Windows-1252");
  }
  const bool at = text.find('@') != std::string::npos;
  if (domain && at) {
    throw CommandFailure(text, "not a domain name (for an address, leave out --domain)");
  }
  if (!domain && !text.empty() && !at) {
    throw CommandFailure(text, "not an e-mail address (for a domain name, give --domain)");
  }
}

class ListEditor {
 public:
  ListEditor(CommandContext& ctx, const Invocation& v, ListId list)
      : ctx_(ctx), v_(v), ops_(ctx.Ops()), list_(list) {}

  // Does what the list command asks; false when a name was refused or an
  // entry was not found.
  bool Edit() {
    if (v_.action == Action::kList) {
      for (bool domain : {true, false}) {
        for (const std::string& entry : Entries(Kind(domain))) {
          Printer& p = ctx_.printer();
          p.BeginMap();
          p.Key("kind", {"", " "});
          p.String(KindName(domain));
          p.Key("name", {""});
          p.String(cp1252::ToUtf8(entry));
          p.End();
        }
      }
      return true;
    }
    const EntryKind kind = Kind(v_.domain);
    ListEdit edit;
    if (v_.action == Action::kAdd) {
      bool ok = true;
      for (const std::string& text : v_.files) {
        Check(ops_.AddListEntry(list_, kind, cp1252::FromUtf8(text), &edit));
        ok = Answer(edit) && ok;
      }
      return ok;
    }
    if (v_.action == Action::kRename) {
      if (!Found(v_.files[0])) return false;
      Check(ops_.RenameListEntry(list_, kind, cp1252::FromUtf8(v_.files[0]),
                                 cp1252::FromUtf8(v_.files[1]), &edit));
      return Answer(edit);
    }
    // remove: all the names, or none.
    bool ok = true;
    for (const std::string& text : v_.files) ok = Found(text) && ok;
    if (!ok) return false;
    // A name given twice finds nothing the second time.
    for (const std::string& text : v_.files) {
      Check(ops_.RemoveListEntry(list_, kind, cp1252::FromUtf8(text), &edit));
    }
    ctx_.Say(kListEntriesRemoved, false);
    return true;
  }

 private:
  static EntryKind Kind(bool domain) { return domain ? EntryKind::Domain : EntryKind::Address; }

  std::vector<std::string> Entries(EntryKind kind) {
    std::vector<std::string> entries;
    Check(ops_.ListEntries(list_, kind, &entries));
    return entries;
  }

  // Whether the list has the entry, in any letter case; when not, says so on
  // standard error.
  bool Found(const std::string& text) {
    const std::string name = cp1252::FromUtf8(text);
    for (const std::string& entry : Entries(Kind(v_.domain))) {
      if (EqualIgnoringCase(entry, name)) return true;
    }
    ctx_.err << "tarvex: " << text << ": no such " << KindName(v_.domain) << " in the "
             << v_.command->name << '\n';
    return false;
  }

  // Says what the list's dialog would have said; a refusal is an error.
  bool Answer(const ListEdit& edit) {
    ctx_.Say(edit.message, !edit.ok());
    return edit.ok();
  }

  CommandContext& ctx_;
  const Invocation& v_;
  Operations& ops_;
  const ListId list_;
};

Result RunList(CommandContext& ctx, const Invocation& v, ListId list) {
  if (v.action == Action::kAdd) {
    for (const std::string& text : v.files) CheckEntryName(text, v.domain);
  } else if (v.action == Action::kRename) {
    CheckEntryName(v.files[1], v.domain);
  }
  ctx.RequireProfile();
  // The list's own operations fail silently; the user at the command line
  // learns why the list looks empty.
  if (Status status = ctx.Ops().CheckList(list); !status.ok()) {
    ctx.err << "tarvex: warning: " << status.message() << '\n';
  }
  return ListEditor(ctx, v, list).Edit() ? Result::kOk : Result::kFailed;
}

}  // namespace

Result RunBlacklist(CommandContext& ctx, const Invocation& v) {
  return RunList(ctx, v, ListId::Blacklist);
}

Result RunWhitelist(CommandContext& ctx, const Invocation& v) {
  return RunList(ctx, v, ListId::Whitelist);
}

}  // namespace tarvex
