#include "app/remote_operations.h"

#include <tuple>
#include <type_traits>
#include <utility>

#include "ops/wire.h"

namespace tarvex {
namespace {

// Every operation, once: the requests' numbers and the owner's dispatch are
// made of this list.
// clang-format off
#define TARVEX_OPERATIONS(X) \
  X(Stats) \
  X(Learn) \
  X(Relearn) \
  X(Score) \
  X(Tokens) \
  X(Filter) \
  X(SaveDatabase) \
  X(EmptyDatabase) \
  X(FolderNames) \
  X(FindMessages) \
  X(FindMessageText) \
  X(MarkSpam) \
  X(NotSpam) \
  X(RawHeaders) \
  X(FolderTree) \
  X(FolderMessages) \
  X(MessageSummaries) \
  X(MessagePreview) \
  X(Train) \
  X(CheckList) \
  X(ListEntries) \
  X(AddListEntry) \
  X(RenameListEntry) \
  X(RemoveListEntry) \
  X(GetSetting) \
  X(SetSetting) \
  X(About) \
  X(StoreName)
// clang-format on

enum OperationNumber : int {
#define TARVEX_NUMBER(name) k##name,
  TARVEX_OPERATIONS(TARVEX_NUMBER)
#undef TARVEX_NUMBER
};

// Frame types of the exchange.
constexpr char kRequest = 'O';
constexpr char kProgressFrame = 'p';
constexpr char kResult = 'r';

template <typename T>
constexpr bool kIsProgress = std::is_same_v<std::decay_t<T>, Progress>;

// ------------------------------------------------------------------ the owner's side

// Keeps the message boxes an operation showed, for its caller. Nothing is
// asked of the user here: an operation gets its answers as arguments.
class CollectingUi : public UserInterface {
 public:
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override {
    boxes.push_back({false, text, caption, "", style});
    return mb::kIdOk;
  }
  void ShowHostError(const std::string& text, const std::string& caption,
                     const std::string& details) override {
    boxes.push_back({true, text, caption, details, mb::kOk});
  }
  void Beep(uint32_t) override {}
  int RunModal(DialogPresenter&) override { return mb::kIdCancel; }
  uint32_t ShowPopupMenu(const Menu&, const ScreenRect&) override { return 0; }
  void OpenAddress(const std::string&) override {}

  std::vector<ShownBox> boxes;
};

// Where an argument of an operation lives while the owner serves it: an
// input by value, an output as the value it points to.
template <typename T>
struct Slot {
  using type = std::decay_t<T>;
};
template <typename T>
struct Slot<T*> {
  using type = T;
};

template <typename Arg, typename S>
Arg Pass(S& slot) {
  if constexpr (std::is_pointer_v<Arg>) {
    return &slot;
  } else {
    return slot;
  }
}

template <typename T>
struct Tag {
  using type = T;
};

// Reads the inputs, calls the operation, writes its status and outputs.
template <typename... Args, size_t... I>
bool ServeCall(Operations& ops, Status (Operations::*fn)(Args...), WireReader& in,
               const Progress& progress, Status* status, WireWriter& outs,
               std::index_sequence<I...>) {
  std::tuple<typename Slot<Args>::type...> slots;
  auto take = [&](auto& slot, auto tag) {
    using Arg = typename decltype(tag)::type;
    if constexpr (kIsProgress<Arg>) {
      slot = progress;
    } else if constexpr (!std::is_pointer_v<Arg>) {
      in.Read(slot);
    }
  };
  (void)take;  // an operation may take no arguments
  (take(std::get<I>(slots), Tag<Args>{}), ...);
  if (!in.done()) return false;
  *status = (ops.*fn)(Pass<Args>(std::get<I>(slots))...);
  auto give = [&](auto& slot, auto tag) {
    if constexpr (std::is_pointer_v<typename decltype(tag)::type>) outs.Write(slot);
  };
  (void)give;
  (give(std::get<I>(slots), Tag<Args>{}), ...);
  return true;
}

template <typename... Args>
bool Serve(Operations& ops, Status (Operations::*fn)(Args...), WireReader& in,
           const Progress& progress, Status* status, WireWriter& outs) {
  return ServeCall(ops, fn, in, progress, status, outs, std::index_sequence_for<Args...>{});
}

bool Dispatch(uint32_t number, Operations& ops, WireReader& in, const Progress& progress,
              Status* status, WireWriter& outs) {
  switch (number) {
#define TARVEX_SERVE(name) \
  case k##name:            \
    return Serve(ops, &Operations::name, in, progress, status, outs);
    TARVEX_OPERATIONS(TARVEX_SERVE)
#undef TARVEX_SERVE
  }
  return false;
}

}  // namespace

bool IsOperationRequest(const Frame& frame) { return frame.type == kRequest; }

bool MovesMessages(const Frame& request) {
  WireReader in(request.data);
  uint32_t number = 0;
  in.Read(number);
  return IsOperationRequest(request) && in.ok() && (number == kMarkSpam || number == kNotSpam);
}

void ServeOperation(UniqueFd client, const Frame& request, Operations& ops, RoutedUi& ui) {
  CollectingUi shown;
  Status status;
  WireWriter outs;
  bool served = false;
  {
    RoutedUi::Route route(ui, shown);
    WireReader in(request.data);
    uint32_t number = 0;
    in.Read(number);
    // A client that stopped reading loses its progress, not its result.
    const Progress progress = [&client](const std::string& what, size_t done) {
      WireWriter frame;
      frame.Write(what);
      frame.Write(static_cast<uint32_t>(done));
      WriteFrame(client.get(), kProgressFrame, frame.bytes());
    };
    if (IsOperationRequest(request) && in.ok()) {
      served = Dispatch(number, ops, in, progress, &status, outs);
    }
  }
  if (!served) {
    status = Status::Failure(0,
                             "the daemon could not read the request (is it another version of "
                             "tarvex? restart it)");
  }
  WireWriter result;
  result.Write(status);
  result.Write(shown.boxes);
  WriteFrame(client.get(), kResult, result.bytes() + outs.bytes());
}

// ------------------------------------------------------------------ the caller's side

Status RemoteOperations::Exchange(const std::string& request, const Progress* progress,
                                  const std::function<bool(WireReader&)>& read) {
  const Status gone = Status::Failure(0, "the daemon went away before answering");
  UniqueFd owner = connect_();
  if (!owner.valid()) return Status::Failure(0, "the daemon is not reachable");
  if (!WriteFrame(owner.get(), kRequest, request)) return gone;
  // Marking a thousand messages on a server may take longer than a client
  // waits for a request; a daemon that dies closes the connection.
  WaitForAnswers(owner.get());
  Frame frame;
  while (ReadFrame(owner.get(), &frame)) {
    WireReader in(frame.data);
    if (frame.type == kProgressFrame) {
      std::string what;
      uint32_t done = 0;
      in.Read(what);
      in.Read(done);
      if (in.done() && progress && *progress) (*progress)(what, done);
      continue;
    }
    if (frame.type != kResult) break;
    Status status;
    std::vector<ShownBox> boxes;
    in.Read(status);
    in.Read(boxes);
    if (!in.ok()) break;
    for (const ShownBox& box : boxes) {
      if (box.hostError) {
        ui_.ShowHostError(box.text, box.caption, box.details);
      } else {
        ui_.MessageBox(box.text, box.caption, box.style);
      }
    }
    if (!read(in) && status.ok()) {
      return Status::Failure(0,
                             "the daemon's answer could not be read (is it another version "
                             "of tarvex? restart it)");
    }
    return status;
  }
  return gone;
}

template <typename... Args>
Status RemoteOperations::Call(int operation, const Args&... args) {
  WireWriter request;
  request.Write(static_cast<uint32_t>(operation));
  const Progress* progress = nullptr;
  auto put = [&](const auto& arg) {
    using T = std::decay_t<decltype(arg)>;
    if constexpr (kIsProgress<T>) {
      progress = &arg;
    } else if constexpr (!std::is_pointer_v<T>) {
      request.Write(arg);
    }
  };
  (void)put;
  (put(args), ...);
  return Exchange(request.bytes(), progress, [&](WireReader& in) {
    auto get = [&](const auto& arg) {
      if constexpr (std::is_pointer_v<std::decay_t<decltype(arg)>>) in.Read(*arg);
    };
    (void)get;
    (get(args), ...);
    return in.done();
  });
}

Status RemoteOperations::Stats(DatabaseStats* stats) { return Call(kStats, stats); }
Status RemoteOperations::Learn(const std::vector<mail::RawMessage>& messages, bool spam,
                               int32_t* learnt) {
  return Call(kLearn, messages, spam, learnt);
}
Status RemoteOperations::Relearn(const mail::RawMessage& message, bool wasSpam, int32_t* passes) {
  return Call(kRelearn, message, wasSpam, passes);
}
Status RemoteOperations::Score(const mail::RawMessage& message, ScoreReport* report) {
  return Call(kScore, message, report);
}
Status RemoteOperations::Tokens(const mail::RawMessage& message, std::vector<std::string>* words) {
  return Call(kTokens, message, words);
}
Status RemoteOperations::Filter(const std::string& message, FilterReport* report) {
  return Call(kFilter, message, report);
}
Status RemoteOperations::SaveDatabase() { return Call(kSaveDatabase); }
Status RemoteOperations::EmptyDatabase(uint32_t* removed) { return Call(kEmptyDatabase, removed); }
Status RemoteOperations::FolderNames(std::vector<std::string>* names) {
  return Call(kFolderNames, names);
}
Status RemoteOperations::FindMessages(const std::vector<std::string>& names,
                                      std::vector<MessageRef>* found) {
  return Call(kFindMessages, names, found);
}
Status RemoteOperations::FindMessageText(const std::string& text, std::vector<std::string>* names) {
  return Call(kFindMessageText, text, names);
}
Status RemoteOperations::MarkSpam(const std::vector<MessageRef>& messages,
                                  std::vector<std::string>* now) {
  return Call(kMarkSpam, messages, now);
}
Status RemoteOperations::NotSpam(const std::vector<MessageRef>& messages,
                                 const Destination& destination, NotSpamReport* report) {
  return Call(kNotSpam, messages, destination, report);
}
Status RemoteOperations::RawHeaders(const MessageRef& message, std::string* headers) {
  return Call(kRawHeaders, message, headers);
}
Status RemoteOperations::FolderTree(std::vector<FolderEntry>* folders) {
  return Call(kFolderTree, folders);
}
Status RemoteOperations::FolderMessages(int32_t folder, std::vector<ListedRef>* messages) {
  return Call(kFolderMessages, folder, messages);
}
Status RemoteOperations::MessageSummaries(int32_t folder, const std::vector<int32_t>& ids,
                                          std::vector<MessageSummary>* summaries) {
  return Call(kMessageSummaries, folder, ids, summaries);
}
Status RemoteOperations::MessagePreview(int32_t folder, int32_t message, std::string* text) {
  return Call(kMessagePreview, folder, message, text);
}
Status RemoteOperations::Train(const std::vector<std::string>& spamFolders,
                               const std::vector<std::string>& goodFolders, bool emptyFirst,
                               const Progress& progress, TrainingReport* report) {
  return Call(kTrain, spamFolders, goodFolders, emptyFirst, progress, report);
}
Status RemoteOperations::CheckList(ListId list) { return Call(kCheckList, list); }
Status RemoteOperations::ListEntries(ListId list, EntryKind kind,
                                     std::vector<std::string>* entries) {
  return Call(kListEntries, list, kind, entries);
}
Status RemoteOperations::AddListEntry(ListId list, EntryKind kind, const std::string& name,
                                      ListEdit* edit) {
  return Call(kAddListEntry, list, kind, name, edit);
}
Status RemoteOperations::RenameListEntry(ListId list, EntryKind kind, const std::string& oldName,
                                         const std::string& newName, ListEdit* edit) {
  return Call(kRenameListEntry, list, kind, oldName, newName, edit);
}
Status RemoteOperations::RemoveListEntry(ListId list, EntryKind kind, const std::string& name,
                                         ListEdit* edit) {
  return Call(kRemoveListEntry, list, kind, name, edit);
}
Status RemoteOperations::GetSetting(const std::string& name, SettingValue* value) {
  return Call(kGetSetting, name, value);
}
Status RemoteOperations::SetSetting(const std::string& name, const SettingValue& value) {
  return Call(kSetSetting, name, value);
}
Status RemoteOperations::About(std::string* productLine) { return Call(kAbout, productLine); }
Status RemoteOperations::StoreName(std::string* name) { return Call(kStoreName, name); }

}  // namespace tarvex
