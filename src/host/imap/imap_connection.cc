#include "host/imap/imap_connection.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <libetpan/libetpan.h>

#include <algorithm>
#include <cstring>

namespace tarvex::imap {
namespace {

// libetpan's lists and values, freed with their own functions.
template <typename T, void (*Free)(T*)>
struct Freer {
  void operator()(T* p) const {
    if (p) Free(p);
  }
};
using ListResult = std::unique_ptr<clist, Freer<clist, mailimap_list_result_free>>;
using FetchResult = std::unique_ptr<clist, Freer<clist, mailimap_fetch_list_free>>;
using SearchResult = std::unique_ptr<clist, Freer<clist, mailimap_search_result_free>>;
using Set = std::unique_ptr<mailimap_set, Freer<mailimap_set, mailimap_set_free>>;
using FetchType =
    std::unique_ptr<mailimap_fetch_type, Freer<mailimap_fetch_type, mailimap_fetch_type_free>>;
using FlagList =
    std::unique_ptr<mailimap_flag_list, Freer<mailimap_flag_list, mailimap_flag_list_free>>;

template <typename T, typename Visit>
void ForEach(clist* list, Visit visit) {
  if (!list) return;
  for (clistiter* it = clist_begin(list); it; it = clist_next(it)) {
    visit(static_cast<T*>(clist_content(it)));
  }
}

// Results after which the stream cannot be trusted.
bool Breaks(int result) {
  return result == MAILIMAP_ERROR_STREAM || result == MAILIMAP_ERROR_PARSE ||
         result == MAILIMAP_ERROR_FATAL || result == MAILIMAP_ERROR_CONNECTION_REFUSED ||
         result == MAILIMAP_ERROR_MEMORY || result == MAILIMAP_ERROR_SSL;
}

std::string FlagName(const mailimap_flag* flag) {
  switch (flag->fl_type) {
    case MAILIMAP_FLAG_ANSWERED:
      return "\\Answered";
    case MAILIMAP_FLAG_FLAGGED:
      return "\\Flagged";
    case MAILIMAP_FLAG_DELETED:
      return "\\Deleted";
    case MAILIMAP_FLAG_SEEN:
      return "\\Seen";
    case MAILIMAP_FLAG_DRAFT:
      return "\\Draft";
    case MAILIMAP_FLAG_KEYWORD:
      return flag->fl_data.fl_keyword;
    case MAILIMAP_FLAG_EXTENSION:
      return std::string("\\") + flag->fl_data.fl_extension;
    default:
      return {};
  }
}

mailimap_flag* NewFlag(const std::string& name) {
  static const struct {
    const char* name;
    mailimap_flag* (*make)();
  } kSystem[] = {{"\\Answered", mailimap_flag_new_answered},
                 {"\\Flagged", mailimap_flag_new_flagged},
                 {"\\Deleted", mailimap_flag_new_deleted},
                 {"\\Seen", mailimap_flag_new_seen},
                 {"\\Draft", mailimap_flag_new_draft}};
  for (const auto& system : kSystem) {
    if (strcasecmp(system.name, name.c_str()) == 0) return system.make();
  }
  if (!name.empty() && name[0] == '\\') {
    return mailimap_flag_new_flag_extension(strdup(name.c_str() + 1));
  }
  return mailimap_flag_new_flag_keyword(strdup(name.c_str()));
}

FlagList NewFlagList(const std::vector<std::string>& flags) {
  FlagList list(mailimap_flag_list_new_empty());
  for (const std::string& flag : flags) mailimap_flag_list_add(list.get(), NewFlag(flag));
  return list;
}

FetchedMessage Read(mailimap_msg_att* att) {
  FetchedMessage message;
  ForEach<mailimap_msg_att_item>(att->att_list, [&](mailimap_msg_att_item* item) {
    if (item->att_type == MAILIMAP_MSG_ATT_ITEM_DYNAMIC) {
      ForEach<mailimap_flag_fetch>(item->att_data.att_dyn->att_list, [&](mailimap_flag_fetch* f) {
        if (f->fl_type == MAILIMAP_FLAG_FETCH_OTHER) message.flags.push_back(FlagName(f->fl_flag));
      });
      return;
    }
    mailimap_msg_att_static* s = item->att_data.att_static;
    if (s->att_type == MAILIMAP_MSG_ATT_UID) {
      message.uid = s->att_data.att_uid;
    } else if (s->att_type == MAILIMAP_MSG_ATT_INTERNALDATE) {
      const mailimap_date_time* d = s->att_data.att_internal_date;
      message.date = {d->dt_day, d->dt_month, d->dt_year, d->dt_hour,
                      d->dt_min, d->dt_sec,   d->dt_zone};
    } else if (s->att_type == MAILIMAP_MSG_ATT_BODY_SECTION) {
      const mailimap_msg_att_body_section* body = s->att_data.att_body_section;
      if (body->sec_body_part) message.bytes.assign(body->sec_body_part, body->sec_length);
    }
  });
  return message;
}

void ServerName(struct mailstream_ssl_context* context, void* host) {
  mailstream_ssl_set_server_name(context, static_cast<char*>(host));
}

}  // namespace

Connection::Connection(const Account& account) : imap_(mailimap_new(0, nullptr)) {
  if (!imap_) throw ImapError("out of memory", true);
  mailimap_set_timeout(imap_, account.timeout_seconds);
  const std::string where = account.host + ":" + std::to_string(account.port);
  try {
    char* host = const_cast<char*>(account.host.c_str());
    int result;
    if (account.security == Account::Security::kTls) {
      result = mailimap_ssl_connect_with_callback(imap_, host, account.port, ServerName, host);
      Check(result, "cannot reach " + where);
    } else {
      result = mailimap_socket_connect(imap_, host, account.port);
      Check(result, "cannot reach " + where);
      Check(mailimap_socket_starttls_with_callback(imap_, ServerName, host),
            where + " offers no STARTTLS");
    }
    Verify(account);
    if (account.oauth) {
      Check(mailimap_oauth2_authenticate(imap_, account.user.c_str(), account.secret.c_str()),
            "the server refused the token of " + account.user);
    } else {
      Check(mailimap_login(imap_, account.user.c_str(), account.secret.c_str()),
            "the server refused the password of " + account.user);
    }
    mailimap_capability_data* capabilities = nullptr;
    if (mailimap_capability(imap_, &capabilities) == MAILIMAP_NO_ERROR) {
      mailimap_capability_data_free(capabilities);
    }
  } catch (...) {
    mailimap_free(imap_);
    throw;
  }
}

Connection::~Connection() {
  if (imap_->imap_stream) mailimap_logout(imap_);
  mailimap_free(imap_);
}

void Connection::Check(int result, const std::string& what) {
  if (result == MAILIMAP_NO_ERROR || result == MAILIMAP_NO_ERROR_AUTHENTICATED ||
      result == MAILIMAP_NO_ERROR_NON_AUTHENTICATED) {
    return;
  }
  std::string text = what;
  if (imap_->imap_response && *imap_->imap_response)
    text += ": " + std::string(imap_->imap_response);
  const bool lost = Breaks(result) || !imap_->imap_stream;
  if (lost) {
    text += " (the connection was lost)";
    selected_.clear();
  }
  throw ImapError(text, lost);
}

void Connection::Verify(const Account& account) {
  carray* chain = mailstream_get_certificate_chain(imap_->imap_stream);
  if (!chain || carray_count(chain) == 0) {
    if (chain) mailstream_certificate_chain_free(chain);
    throw ImapError(account.host + " showed no certificate", true);
  }
  std::vector<gnutls_x509_crt_t> certificates;
  for (unsigned i = 0; i < carray_count(chain); ++i) {
    auto* der = static_cast<MMAPString*>(carray_get(chain, i));
    gnutls_datum_t datum{reinterpret_cast<unsigned char*>(der->str),
                         static_cast<unsigned>(der->len)};
    gnutls_x509_crt_t certificate;
    gnutls_x509_crt_init(&certificate);
    if (gnutls_x509_crt_import(certificate, &datum, GNUTLS_X509_FMT_DER) < 0) {
      gnutls_x509_crt_deinit(certificate);
      break;
    }
    certificates.push_back(certificate);
  }
  mailstream_certificate_chain_free(chain);

  gnutls_x509_trust_list_t trust;
  gnutls_x509_trust_list_init(&trust, 0);
  int added = account.certificate_file.empty()
                  ? gnutls_x509_trust_list_add_system_trust(trust, 0, 0)
                  : gnutls_x509_trust_list_add_trust_file(trust, account.certificate_file.c_str(),
                                                          nullptr, GNUTLS_X509_FMT_PEM, 0, 0);
  unsigned verdict = GNUTLS_CERT_INVALID;
  if (added > 0 && !certificates.empty()) {
    gnutls_typed_vdata_st host{
        GNUTLS_DT_DNS_HOSTNAME,
        reinterpret_cast<unsigned char*>(const_cast<char*>(account.host.c_str())), 0};
    if (gnutls_x509_trust_list_verify_crt2(trust, certificates.data(), certificates.size(), &host,
                                           1, 0, &verdict, nullptr) < 0) {
      verdict = GNUTLS_CERT_INVALID;
    }
  }
  gnutls_x509_trust_list_deinit(trust, 1);
  for (gnutls_x509_crt_t certificate : certificates) gnutls_x509_crt_deinit(certificate);
  if (added <= 0 && !account.certificate_file.empty()) {
    throw ImapError("cannot read the certificate " + account.certificate_file, true);
  }
  if (verdict != 0) {
    gnutls_datum_t reason{};
    std::string why = "not trusted";
    if (gnutls_certificate_verification_status_print(verdict, GNUTLS_CRT_X509, &reason, 0) == 0) {
      why = reinterpret_cast<char*>(reason.data);
      gnutls_free(reason.data);
    }
    throw ImapError("the certificate of " + account.host + " is refused: " + why, true);
  }
}

bool Connection::Has(const char* capability) {
  return mailimap_has_extension(imap_, const_cast<char*>(capability)) != 0;
}

void Connection::Noop() { Check(mailimap_noop(imap_), "the server does not answer"); }

std::vector<Mailbox> Connection::List() {
  clist* raw = nullptr;
  Check(mailimap_list(imap_, "", "*", &raw), "cannot list the folders");
  ListResult list(raw);
  std::vector<Mailbox> mailboxes;
  ForEach<mailimap_mailbox_list>(list.get(), [&](mailimap_mailbox_list* entry) {
    Mailbox mailbox;
    mailbox.name = entry->mb_name;
    mailbox.delimiter = entry->mb_delimiter;
    if (const mailimap_mbx_list_flags* flags = entry->mb_flag) {
      if (flags->mbf_type == MAILIMAP_MBX_LIST_FLAGS_SFLAG &&
          flags->mbf_sflag == MAILIMAP_MBX_LIST_SFLAG_NOSELECT) {
        mailbox.selectable = false;
      }
      ForEach<mailimap_mbx_list_oflag>(flags->mbf_oflags, [&](mailimap_mbx_list_oflag* flag) {
        if (flag->of_type != MAILIMAP_MBX_LIST_OFLAG_FLAG_EXT || !flag->of_flag_ext) return;
        const std::string name = std::string("\\") + flag->of_flag_ext;
        if (strcasecmp(flag->of_flag_ext, "NonExistent") == 0) mailbox.selectable = false;
        for (const char* use : {"\\Sent", "\\Trash", "\\Drafts", "\\Junk"}) {
          if (strcasecmp(use, name.c_str()) == 0) mailbox.special_use = use;
        }
      });
    }
    mailboxes.push_back(std::move(mailbox));
  });
  return mailboxes;
}

void Connection::Create(const std::string& mailbox) {
  Check(mailimap_create(imap_, mailbox.c_str()), "cannot create the folder " + mailbox);
}

void Connection::Subscribe(const std::string& mailbox) {
  Check(mailimap_subscribe(imap_, mailbox.c_str()), "cannot subscribe to " + mailbox);
}

void Connection::Delete(const std::string& mailbox) {
  if (selected_ == mailbox) selected_.clear();
  Check(mailimap_delete(imap_, mailbox.c_str()), "cannot delete the folder " + mailbox);
}

Selection Connection::Select(const std::string& mailbox) {
  if (selected_ == mailbox) return selection_;
  selected_.clear();
  Check(mailimap_select(imap_, mailbox.c_str()), "cannot open the folder " + mailbox);
  selected_ = mailbox;
  const mailimap_selection_info* info = imap_->imap_selection_info;
  selection_ = {info->sel_uidvalidity, info->sel_uidnext, info->sel_exists};
  return selection_;
}

Selection Connection::Status(const std::string& mailbox) {
  mailimap_status_att_list* atts = mailimap_status_att_list_new_empty();
  mailimap_status_att_list_add(atts, MAILIMAP_STATUS_ATT_UIDNEXT);
  mailimap_status_att_list_add(atts, MAILIMAP_STATUS_ATT_UIDVALIDITY);
  mailimap_status_att_list_add(atts, MAILIMAP_STATUS_ATT_MESSAGES);
  mailimap_mailbox_data_status* status = nullptr;
  const int result = mailimap_status(imap_, mailbox.c_str(), atts, &status);
  mailimap_status_att_list_free(atts);
  Check(result, "cannot look at the folder " + mailbox);
  Selection selection;
  ForEach<mailimap_status_info>(status->st_info_list, [&](mailimap_status_info* info) {
    if (info->st_att == MAILIMAP_STATUS_ATT_UIDNEXT) selection.uid_next = info->st_value;
    if (info->st_att == MAILIMAP_STATUS_ATT_UIDVALIDITY) selection.uid_validity = info->st_value;
    if (info->st_att == MAILIMAP_STATUS_ATT_MESSAGES) selection.exists = info->st_value;
  });
  mailimap_mailbox_data_status_free(status);
  return selection;
}

std::vector<uint32_t> Connection::Uids(uint32_t first) {
  FetchType type(mailimap_fetch_type_new_fetch_att_list_empty());
  mailimap_fetch_type_new_fetch_att_list_add(type.get(), mailimap_fetch_att_new_uid());
  Set set(mailimap_set_new_interval(first, 0));
  clist* raw = nullptr;
  Check(mailimap_uid_fetch(imap_, set.get(), type.get(), &raw), "cannot list " + selected_);
  FetchResult result(raw);
  std::vector<uint32_t> uids;
  ForEach<mailimap_msg_att>(result.get(), [&](mailimap_msg_att* att) {
    const uint32_t uid = Read(att).uid;
    // "first:*" names the last message even below first.
    if (uid >= first) uids.push_back(uid);
  });
  std::sort(uids.begin(), uids.end());
  return uids;
}

std::vector<uint32_t> Connection::SearchHeader(const std::string& name, const std::string& value) {
  mailimap_search_key* key =
      mailimap_search_key_new_header(strdup(name.c_str()), strdup(value.c_str()));
  clist* raw = nullptr;
  const int result = mailimap_uid_search(imap_, nullptr, key, &raw);
  mailimap_search_key_free(key);
  Check(result, "cannot search " + selected_);
  SearchResult found(raw);
  std::vector<uint32_t> uids;
  ForEach<uint32_t>(found.get(), [&](uint32_t* uid) { uids.push_back(*uid); });
  std::sort(uids.begin(), uids.end());
  return uids;
}

namespace {

FetchType MessageFetch(bool whole) {
  FetchType type(mailimap_fetch_type_new_fetch_att_list_empty());
  mailimap_fetch_type_new_fetch_att_list_add(type.get(), mailimap_fetch_att_new_uid());
  mailimap_fetch_type_new_fetch_att_list_add(type.get(), mailimap_fetch_att_new_flags());
  mailimap_fetch_type_new_fetch_att_list_add(type.get(), mailimap_fetch_att_new_internaldate());
  mailimap_section* section = whole ? mailimap_section_new(nullptr) : mailimap_section_new_header();
  mailimap_fetch_type_new_fetch_att_list_add(type.get(),
                                             mailimap_fetch_att_new_body_peek_section(section));
  return type;
}

}  // namespace

std::optional<FetchedMessage> Connection::Fetch(uint32_t uid, bool whole) {
  FetchType type = MessageFetch(whole);
  Set set(mailimap_set_new_single(uid));
  clist* raw = nullptr;
  Check(mailimap_uid_fetch(imap_, set.get(), type.get(), &raw), "cannot read from " + selected_);
  FetchResult result(raw);
  std::optional<FetchedMessage> found;
  ForEach<mailimap_msg_att>(result.get(), [&](mailimap_msg_att* att) {
    FetchedMessage message = Read(att);
    if (message.uid == uid) found = std::move(message);
  });
  return found;
}

std::vector<FetchedMessage> Connection::FetchHeaders(uint32_t first) {
  return FetchFrom(first, MessageFetch(false).get());
}

std::vector<FetchedMessage> Connection::FetchFlags(uint32_t first) {
  FetchType type(mailimap_fetch_type_new_fetch_att_list_empty());
  mailimap_fetch_type_new_fetch_att_list_add(type.get(), mailimap_fetch_att_new_uid());
  mailimap_fetch_type_new_fetch_att_list_add(type.get(), mailimap_fetch_att_new_flags());
  return FetchFrom(first, type.get());
}

std::vector<FetchedMessage> Connection::FetchFrom(uint32_t first, mailimap_fetch_type* type) {
  Set set(mailimap_set_new_interval(first, 0));
  clist* raw = nullptr;
  Check(mailimap_uid_fetch(imap_, set.get(), type, &raw), "cannot read from " + selected_);
  FetchResult result(raw);
  std::vector<FetchedMessage> messages;
  ForEach<mailimap_msg_att>(result.get(), [&](mailimap_msg_att* att) {
    FetchedMessage message = Read(att);
    if (message.uid >= first) messages.push_back(std::move(message));
  });
  return messages;
}

uint32_t Connection::Append(const std::string& mailbox, const std::string& bytes,
                            const std::vector<std::string>& flags,
                            const std::optional<InternalDate>& date) {
  FlagList list = NewFlagList(flags);
  mailimap_date_time* when = nullptr;
  if (date) {
    when = mailimap_date_time_new(date->day, date->month, date->year, date->hour, date->minute,
                                  date->second, date->zone);
  }
  uint32_t validity = 0, uid = 0;
  int result;
  if (Has("UIDPLUS")) {
    result = mailimap_uidplus_append(imap_, mailbox.c_str(), list.get(), when, bytes.data(),
                                     bytes.size(), &validity, &uid);
  } else {
    result = mailimap_append(imap_, mailbox.c_str(), list.get(), when, bytes.data(), bytes.size());
  }
  if (when) mailimap_date_time_free(when);
  Check(result, "cannot store a message in " + mailbox);
  return uid;
}

void Connection::AddFlags(uint32_t uid, const std::vector<std::string>& flags) {
  StoreFlags(uid, mailimap_store_att_flags_new_add_flags_silent(NewFlagList(flags).release()));
}

void Connection::RemoveFlags(uint32_t uid, const std::vector<std::string>& flags) {
  StoreFlags(uid, mailimap_store_att_flags_new_remove_flags_silent(NewFlagList(flags).release()));
}

void Connection::StoreFlags(uint32_t uid, mailimap_store_att_flags* store) {
  Set set(mailimap_set_new_single(uid));
  const int result = mailimap_uid_store(imap_, set.get(), store);
  mailimap_store_att_flags_free(store);
  Check(result, "cannot flag a message in " + selected_);
}

bool Connection::Expunge(uint32_t uid, const std::set<uint32_t>& alsoOurs) {
  if (Has("UIDPLUS")) {
    Set set(mailimap_set_new_single(uid));
    Check(mailimap_uid_expunge(imap_, set.get()), "cannot remove a message from " + selected_);
    return true;
  }
  mailimap_search_key* key = mailimap_search_key_new(
      MAILIMAP_SEARCH_KEY_DELETED, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr,
      nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr);
  clist* raw = nullptr;
  const int result = mailimap_uid_search(imap_, nullptr, key, &raw);
  mailimap_search_key_free(key);
  Check(result, "cannot search " + selected_);
  SearchResult found(raw);
  bool others = false;
  ForEach<uint32_t>(found.get(), [&](uint32_t* deleted) {
    others |= *deleted != uid && alsoOurs.count(*deleted) == 0;
  });
  if (others) return false;
  Check(mailimap_expunge(imap_), "cannot remove a message from " + selected_);
  return true;
}

uint32_t Connection::Move(uint32_t uid, const std::string& target) {
  Set set(mailimap_set_new_single(uid));
  const bool moves = Has("MOVE"), numbers = Has("UIDPLUS");
  uint32_t validity = 0;
  mailimap_set *source = nullptr, *destination = nullptr;
  int result;
  if (numbers) {
    result = moves ? mailimap_uidplus_uid_move(imap_, set.get(), target.c_str(), &validity, &source,
                                               &destination)
                   : mailimap_uidplus_uid_copy(imap_, set.get(), target.c_str(), &validity, &source,
                                               &destination);
  } else {
    result = moves ? mailimap_uid_move(imap_, set.get(), target.c_str())
                   : mailimap_uid_copy(imap_, set.get(), target.c_str());
  }
  Set owned_source(source), owned_destination(destination);
  Check(result, "cannot move a message to " + target);
  uint32_t moved = 0;
  if (destination && destination->set_list && !clist_isempty(destination->set_list)) {
    moved = static_cast<mailimap_set_item*>(clist_content(clist_begin(destination->set_list)))
                ->set_first;
  }
  if (!moves) {
    AddFlags(uid, {"\\Deleted"});
    Expunge(uid);
  }
  return moved;
}

int Connection::Idle() {
  Check(mailimap_idle(imap_), "cannot wait for mail in " + selected_);
  return mailimap_idle_get_fd(imap_);
}

void Connection::IdleDone() { Check(mailimap_idle_done(imap_), "cannot end waiting for mail"); }

}  // namespace tarvex::imap
