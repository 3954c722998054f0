#include "app/imap_session.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <stdexcept>

#include "app/message_view.h"
#include "classify/verdict_headers.h"
#include "lists/sender_lists.h"

namespace tarvex {
namespace {

ImapHost::Options StoreOptions(const std::string& announcedState, std::ostream& log) {
  ImapHost::Options options;
  options.judged_marks = JudgedMarks();
  options.announced_state = announcedState;
  options.notice = [&log](const std::string& line) { log << "tarvex: " << line << std::endl; };
  return options;
}

}  // namespace

ImapSession::ImapSession(const SessionServices& services, const imap::Account& account,
                         const std::string& announcedState, std::ostream& log)
    : HostSession(services, account, StoreOptions(announcedState, log)) {}

std::string ImapStateFile(const std::string& stateFolder, const imap::Account& account) {
  std::string name =
      "imap-" + account.user + "@" + account.host + "-" + std::to_string(account.port);
  std::replace(name.begin(), name.end(), '/', '_');
  return stateFolder + "/" + name;
}

std::string ImapSession::StoreName() const {
  const imap::Account& account = host_.account();
  return account.user + "@" + account.host + ":" + std::to_string(account.port);
}

void ImapSession::Watch(GLibEventLoop& loop, std::function<void(const std::string&)> notice) {
  notice_ = std::move(notice);
  auto look = [this](const std::function<void()>& scan) {
    try {
      scan();
    } catch (const std::runtime_error& error) {
      notice_(error.what());
    }
  };
  idle_ = loop.WatchReadable(host_.StartWatching(),
                             [this, look] { look([this] { host_.ProcessEvents(); }); });
  poll_ = loop.Every(pollPeriodMs_, [this, look] { look([this] { host_.ScanForNewMessages(); }); });
}

void ImapSession::Unwatch(GLibEventLoop& loop) {
  loop.RemoveSource(idle_);
  loop.RemoveSource(poll_);
  idle_ = poll_ = 0;
}

std::string ImapSession::ShownFolderName(const std::string& name) {
  return EqualIgnoringCase(name, "INBOX") ? "Inbox" : name;
}

std::optional<MessageRef> ImapSession::FindMessage(const std::string& name) {
  const size_t colon = name.rfind(':');
  PluginController* controller = app_.controller();
  if (colon == std::string::npos || colon == 0 || !controller) return std::nullopt;
  std::string folder = name.substr(0, colon);
  folder = ShownFolderName(folder);
  char* end = nullptr;
  const long uid = std::strtol(name.c_str() + colon + 1, &end, 10);
  if (*end != '\0' || uid <= 0 || uid > INT32_MAX) return std::nullopt;
  MessageRef ref;
  ref.name = folder + ":" + std::to_string(uid);
  try {
    ref.folder = controller->FindFolderIdByName(folder);
    ref.message = host_.MessageIdOfUid(ref.folder, static_cast<uint32_t>(uid));
    // Asked of the store itself: a message not there is no failure to show.
    if (!Required(controller->folderManager())->GetFolder(ref.folder)->GetMessage(ref.message)) {
      return std::nullopt;
    }
  } catch (const std::exception&) {
    return std::nullopt;  // no such folder, or no such message in it
  }
  return ref;
}

std::vector<ListedRef> ImapSession::FolderMessages(int32_t folder) {
  std::vector<ListedRef> messages;
  for (const ImapHost::ListedMessage& message : host_.ListMessages(folder)) {
    messages.push_back({message.id, message.unread});
  }
  return messages;
}

std::vector<MessageSummary> ImapSession::MessageSummaries(int32_t folder,
                                                          const std::vector<int32_t>& ids) {
  std::vector<MessageSummary> summaries;
  for (int32_t id : ids) {
    try {
      summaries.push_back(SummaryOf(host_.Message(folder, id).bytes));
    } catch (const std::exception&) {
      summaries.emplace_back();  // gone meanwhile: an empty row until the next refresh
    }
    summaries.back().message = id;
  }
  return summaries;
}

std::string ImapSession::MessagePreview(int32_t folder, int32_t message) {
  try {
    return PreviewOf(host_.Message(folder, message).bytes);
  } catch (const std::exception&) {
    return {};  // gone meanwhile
  }
}

std::vector<std::string> ImapSession::FilesOfMessage(std::string_view text) {
  std::vector<std::string> names;
  PluginController* controller = app_.controller();
  if (!controller) return names;
  for (const auto& [folder, uid] : host_.FindPipedMessage(text)) {
    try {
      names.push_back(Required(controller->folderManager())->GetFolder(folder)->GetName() + ":" +
                      std::to_string(uid));
    } catch (const HostError&) {
      // The folder went meanwhile.
    }
  }
  return names;
}

}  // namespace tarvex
