// Delivers arbitrary bytes as a message file into a real Maildir and runs the
// new-message pipeline on it over the Maildir store: the store reads the header
// text, the body through GMime and the sender, the lists and a trained
// in-memory filter judge it, the verdict headers are written into the file and
// spam is moved. The Maildir lives in a folder of its own per process, under
// $TMPDIR (a tmpfs there spares the store's flushes a disk).
//
// Checks, whatever the bytes: the pipeline ends without a host failure or a
// message box; the message is judged unless it carries the learn marker; it
// is then the only file in the two folders (nothing left in tmp/); the bytes after its header block
// are the ones delivered; the verdict reads back as written; and the texts the filter was given are
// the same when the message is read again.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bayes/bayes_filter.h"
#include "classify/verdict_headers.h"
#include "host/maildir/maildir_host.h"
#include "lists/sender_lists.h"
#include "mail/message_text.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "plugin/new_message.h"
#include "settings/filter_settings.h"
#include "testing/temp_folder.h"
#include "ui/user_interface.h"

#include "check.h"

namespace {

namespace fs = std::filesystem;
using tarvex::MaildirHost;

const char kSpamDir[] = ".DedoZarozo";
const char kFileName[] = "1700000000.M1P1.fuzz";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The tmp/, new/ and cur/ of the Inbox and the spam folder.
std::vector<fs::path> Subfolders(const fs::path& root) {
  std::vector<fs::path> subfolders;
  for (const fs::path& dir : {root, root / kSpamDir}) {
    for (const char* sub : {"tmp", "new", "cur"}) subfolders.push_back(dir / sub);
  }
  return subfolders;
}

// Every file of those folders: the message, wherever it went, and anything
// left behind.
std::vector<fs::path> Files(const fs::path& root) {
  std::vector<fs::path> files;
  for (const fs::path& dir : Subfolders(root)) {
    for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path());
  }
  return files;
}

std::string AfterHeaderBlock(std::string_view message) {
  return std::string(message.substr(tarvex::mail::LayOut(message).header_end));
}

// A header value as a reader sees it: white space at both ends is not part of it.
std::string Trimmed(const std::string& value) {
  const size_t begin = value.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  return value.substr(begin, value.find_last_not_of(" \t") - begin + 1);
}

// What stays from one input to the next: the Maildir and a filter that has
// learnt a little of each side, so that scoring has words to weigh.
struct World {
  World() {
    for (const fs::path& dir : Subfolders(root)) fs::create_directories(dir);
    tarvex::WriteStringValue(store, "WordFilePath", "/profile/words.db");
    tarvex::WriteStringValue(store, "IgnoreFilePath", "/profile/ignore.txt");
    tarvex::WriteDwordValue(store, "ConsiderNonEnglishSpam", 1);
    filter.LoadAtStartup(settings);
    for (int i = 0; i < 5; ++i) {
      filter.LearnMessage("cheap pills viagra casino winner", "Subject: offer", 1);
      filter.LearnMessage("meeting agenda minutes project", "Subject: notes", 0);
    }
    lists.blacklistAddresses = {"spammer@evil.example"};
    lists.blacklistDomains = {"spam.example"};
    lists.whitelistAddresses = {"friend@good.example"};
    lists.whitelistDomains = {"trusted.example"};
  }

  void Clear() {
    for (const fs::path& file : Files(root)) fs::remove_all(file);
  }

  tarvex::testing::TempFolder temp{"tarvex-fuzz-message"};
  const fs::path root = temp.path();
  tarvex::ManualClock clock{1'700'000'000};
  tarvex::MemoryFileSystem files;
  tarvex::RecordingUi ui;
  tarvex::MemorySettingsStore store;
  tarvex::FilterSettings settings{store};
  tarvex::BayesFilter filter{clock, files};
  tarvex::SenderLists lists;
};

// The texts the pipeline reads from a message.
struct Texts {
  std::string header, body, from;
};

Texts ReadTexts(tarvex::HostMessage& message) {
  return {message.GetHeaderText(), message.GetPartText(message.GetBodyPart()),
          message.GetHeaderValue(MaildirHost::kMessagePart, "From", nullptr)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  world.Clear();
  world.ui.boxes.clear();
  // The store is made first, so that the message is new mail to it.
  MaildirHost host(world.root.string());
  tarvex::HostRef<tarvex::HostFolderManager> manager = host.CreateFolderManager();
  tarvex::HostRef<tarvex::HostFolder> inbox = manager->GetInboxFolder();
  const std::string delivered(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(world.root / "tmp" / kFileName, std::ios::binary);
    out << delivered;
  }
  fs::rename(world.root / "tmp" / kFileName, world.root / "new" / kFileName);
  const std::vector<MaildirHost::NewMessage> arrived = host.ScanForNewMessages();
  CHECK(arrived.size() == 1 && arrived[0].folder == MaildirHost::kInboxId);
  tarvex::HostRef<tarvex::HostMessage> before = inbox->GetMessage(arrived[0].message);
  const Texts read = ReadTexts(*before);
  int32_t judged = 0;
  before->GetHeaderValue(MaildirHost::kMessagePart, tarvex::header::kLearn, &judged);

  tarvex::SpamFolder spamFolder;
  tarvex::ClassifierContext context{world.filter, world.lists, world.settings,
                                    world.ui,     *manager,    spamFolder};
  const tarvex::ClassifyResult result =
      tarvex::ClassifyMessage(context, *inbox, arrived[0].message);
  CHECK(!result.failed && world.ui.boxes.empty());
  CHECK((result.outcome == tarvex::Outcome::kUntouched) == (judged != 0));

  const std::vector<fs::path> files = Files(world.root);
  CHECK(files.size() == 1);
  const std::string stored = ReadAll(files[0]);
  CHECK(AfterHeaderBlock(stored) == AfterHeaderBlock(delivered));
  if (judged) {
    CHECK(stored == delivered);
    return 0;
  }

  // A fresh store reads the judged message as the pipeline read it, plus the
  // verdict it wrote.
  MaildirHost again(world.root.string());
  const std::optional<MaildirHost::NewMessage> found = again.FindMessage(files[0].string());
  CHECK(found.has_value());
  tarvex::HostRef<tarvex::HostMessage> after =
      again.CreateFolderManager()->GetFolder(found->folder)->GetMessage(found->message);
  const Texts reread = ReadTexts(*after);
  CHECK(reread.body == read.body && reread.from == read.from);
  for (const tarvex::HeaderValue& h : result.headers) {
    int32_t present = 0;
    CHECK(after->GetHeaderValue(MaildirHost::kMessagePart, h.name, &present) ==
          Trimmed(h.LineValue()));
    CHECK(present != 0);
  }
  return 0;
}
