// One logged-in connection to an IMAP server, over libetpan: the commands
// the IMAP store needs, each taking and giving plain C++ values. Every
// failure throws ImapError; one that leaves the connection unusable (the
// stream broke, the server said BYE, a reply could not be read) says so, and
// the connection must then be dropped.
//
// TLS is always on (imaps:// or STARTTLS), and the server's certificate chain
// is verified against the system's authorities, or against the one
// certificate the account names, and must be for the host connected to.
//
// Not thread-safe: one thread at a time.
#ifndef TARVEX_HOST_IMAP_IMAP_CONNECTION_H_
#define TARVEX_HOST_IMAP_IMAP_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

struct mailimap;
struct mailimap_store_att_flags;
struct mailimap_fetch_type;

namespace tarvex::imap {

// Where the account is and how to reach it.
struct Account {
  enum class Security { kTls, kStartTls };
  std::string host;
  uint16_t port = 993;
  Security security = Security::kTls;
  std::string user;
  // The password, or the OAuth 2 access token with oauth.
  std::string secret;
  bool oauth = false;
  // A PEM file of the certificate (or authority) to trust instead of the
  // system's authorities; empty for those.
  std::string certificate_file;
  // Seconds a command may take before the connection counts as lost.
  int timeout_seconds = 30;
};

class ImapError : public std::runtime_error {
 public:
  ImapError(const std::string& what, bool lost) : std::runtime_error(what), lost_(lost) {}
  // The connection is unusable.
  bool lost() const { return lost_; }

 private:
  bool lost_;
};

// One mailbox as LIST gives it; name as the server spells it (modified UTF-7).
struct Mailbox {
  std::string name;
  char delimiter = 0;  // 0: a flat server
  bool selectable = true;
  // The RFC 6154 use ("\Sent", "\Trash", "\Drafts", ...), empty for none.
  std::string special_use;
};

struct Selection {
  uint32_t uid_validity = 0;
  uint32_t uid_next = 0;
  uint32_t exists = 0;
};

// When the server received a message; zone as "+hhmm" read as a number.
struct InternalDate {
  int day = 1, month = 1, year = 1970, hour = 0, minute = 0, second = 0, zone = 0;
  bool operator==(const InternalDate& o) const {
    return day == o.day && month == o.month && year == o.year && hour == o.hour &&
           minute == o.minute && second == o.second && zone == o.zone;
  }
};

struct FetchedMessage {
  uint32_t uid = 0;
  std::string bytes;               // the whole message, or its header block alone
  std::vector<std::string> flags;  // as spelled ("\Seen", "$Label1"), \Recent left out
  InternalDate date;
};

class Connection {
 public:
  // Connects, verifies the server and logs in.
  explicit Connection(const Account& account);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Has(const char* capability);
  // Has the server tell what changed in the selected mailbox.
  void Noop();

  std::vector<Mailbox> List();
  void Create(const std::string& mailbox);
  void Subscribe(const std::string& mailbox);
  void Delete(const std::string& mailbox);
  // Selects the mailbox unless it is selected already.
  Selection Select(const std::string& mailbox);
  // The UIDNEXT and UIDVALIDITY of a mailbox, without selecting it.
  Selection Status(const std::string& mailbox);

  // The UIDs of the selected mailbox from first on, ascending.
  std::vector<uint32_t> Uids(uint32_t first);
  // The UIDs of the selected mailbox's messages with a header field name
  // whose value holds value (the server's SEARCH HEADER), ascending.
  std::vector<uint32_t> SearchHeader(const std::string& name, const std::string& value);
  // One message of the selected mailbox: with whole, all of it, else its
  // header block only; its flags and date too. None when the mailbox holds
  // no such UID.
  std::optional<FetchedMessage> Fetch(uint32_t uid, bool whole);
  // The header blocks of the UIDs from first on, with their flags.
  std::vector<FetchedMessage> FetchHeaders(uint32_t first);
  // The UIDs from first on with their flags alone (no bytes).
  std::vector<FetchedMessage> FetchFlags(uint32_t first);

  // Appends a message; its UID in the mailbox (0 when the server does not
  // say, lacking UIDPLUS).
  uint32_t Append(const std::string& mailbox, const std::string& bytes,
                  const std::vector<std::string>& flags, const std::optional<InternalDate>& date);
  // Adds flags to a message of the selected mailbox, or removes them.
  void AddFlags(uint32_t uid, const std::vector<std::string>& flags);
  void RemoveFlags(uint32_t uid, const std::vector<std::string>& flags);
  // Removes one \Deleted message of the selected mailbox: UID EXPUNGE, or
  // without UIDPLUS a plain EXPUNGE, but only when no message marked
  // \Deleted but ours (uid and those of alsoOurs) is in the mailbox: another
  // program's, which it may still undelete. False when the message was left,
  // marked, for later.
  bool Expunge(uint32_t uid, const std::set<uint32_t>& alsoOurs = {});
  // Moves a message of the selected mailbox: UID MOVE, else UID COPY,
  // \Deleted and expunge. Its UID in target, 0 when the server does not say.
  uint32_t Move(uint32_t uid, const std::string& target);

  // IDLE on the selected mailbox: Idle starts it and gives the descriptor
  // that becomes readable when the server speaks; IdleDone ends it.
  int Idle();
  void IdleDone();

  bool selected(const std::string& mailbox) const { return selected_ == mailbox; }
  // The selected mailbox; empty for none.
  const std::string& selected_mailbox() const { return selected_; }

 private:
  void StoreFlags(uint32_t uid, mailimap_store_att_flags* store);
  // The messages from UID first on, with what type asks of each.
  std::vector<FetchedMessage> FetchFrom(uint32_t first, mailimap_fetch_type* type);
  // Throws for a libetpan result other than success.
  void Check(int result, const std::string& what);
  void Verify(const Account& account);

  mailimap* imap_;
  std::string selected_;
  Selection selection_;
};

}  // namespace tarvex::imap

#endif  // TARVEX_HOST_IMAP_IMAP_CONNECTION_H_
