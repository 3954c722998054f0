// The commands on the sender lists, through the lists' dialog: blacklist
// and whitelist, each with list, add, rename and remove.
#include <ostream>

#include "cli/commands.h"
#include "platform/codepage.h"
#include "ui/list_dialogs.h"
#include "ui/plugin_toolbar.h"

namespace tarvex {
namespace {

// List entries match ignoring case, as the lists compare them; an exact
// match comes first.
int EntryRowOf(const DialogDriver& d, int control, const std::string& text) {
  const int exact = RowOf(d, control, text);
  if (exact >= 0) return exact;
  const std::vector<std::string> rows = d.Rows(control);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (EqualIgnoringCase(rows[i], text)) return static_cast<int>(i);
  }
  return -1;
}

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
  ListEditor(CommandContext& ctx, const Invocation& v, DialogDriver& d) : ctx_(ctx), v_(v), d_(d) {}

  // What the list command does in the dialog; false when the dialog refused
  // a name or an entry was not found.
  bool Edit() {
    if (v_.action == Action::kList) {
      for (bool domain : {true, false}) {
        ChooseType(domain);
        for (const std::string& entry : d_.Rows(kList)) {
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
    ChooseType(v_.domain);
    if (v_.action == Action::kAdd) {
      bool ok = true;
      for (const std::string& text : v_.files) {
        const int before = d_.RowCount(kList);
        d_.Type(ListDialog::kItemName, cp1252::FromUtf8(text));
        d_.Click(ListDialog::kAddToList);
        ok = Accepted(d_.RowCount(kList) > before) && ok;
      }
      return ok;
    }
    if (v_.action == Action::kRename) {
      const int row = Row(v_.files[0]);
      if (row < 0) return false;
      d_.DoubleClick(kList, row);
      d_.Type(ListDialog::kItemName, cp1252::FromUtf8(v_.files[1]));
      d_.Click(kIdOk);
      // A refused name leaves the dialog editing the row.
      return Accepted(!static_cast<const ListDialog&>(d_.presenter()).updating);
    }
    // remove: all the names, or none.
    bool ok = true;
    for (const std::string& text : v_.files) {
      const int row = Row(text);
      if (row >= 0) d_.TickRow(kList, row, true);
      ok = ok && row >= 0;
    }
    if (ok) d_.Click(ListDialog::kRemove);
    return ok;
  }

 private:
  static constexpr int kList = ListDialog::kEntryList;

  void ChooseType(bool domain) {
    const char* type = domain ? ListDialog::kDomainType : ListDialog::kAddressType;
    d_.Select(ListDialog::kTypeBox, RowOf(d_, ListDialog::kTypeBox, type));
  }

  // The entry's row; -1, said on standard error, when there is none.
  int Row(const std::string& text) {
    const int row = EntryRowOf(d_, kList, cp1252::FromUtf8(text));
    if (row < 0) {
      ctx_.err << "tarvex: " << text << ": no such " << KindName(v_.domain) << " in the "
               << v_.command->name << '\n';
    }
    return row;
  }

  bool Accepted(bool accepted) {
    if (!accepted) ctx_.RefusedByDialog();
    return accepted;
  }

  CommandContext& ctx_;
  const Invocation& v_;
  DialogDriver& d_;
};

Result RunList(CommandContext& ctx, const Invocation& v, ListId list) {
  if (v.action == Action::kAdd) {
    for (const std::string& text : v.files) CheckEntryName(text, v.domain);
  } else if (v.action == Action::kRename) {
    CheckEntryName(v.files[1], v.domain);
  }
  MaildirSession& session = ctx.Session();
  // The list's own operations fail silently; the user at the command line
  // learns why the list looks empty.
  if (Status status = CheckList(ctx.profile.fs(), session.app().settings(), list); !status.ok()) {
    ctx.err << "tarvex: warning: " << status.message() << '\n';
  }
  bool ok = true;
  ctx.ui.QueueScript([&](DialogDriver& d) {
    ok = ListEditor(ctx, v, d).Edit();
    d.Click(ListDialog::kClose);
  });
  session.app().OnCommand(list == ListId::Blacklist ? command::kBlackList : command::kWhiteList);
  return ok ? Result::kOk : Result::kFailed;
}

}  // namespace

Result RunBlacklist(CommandContext& ctx, const Invocation& v) {
  return RunList(ctx, v, ListId::Blacklist);
}

Result RunWhitelist(CommandContext& ctx, const Invocation& v) {
  return RunList(ctx, v, ListId::Whitelist);
}

}  // namespace tarvex
