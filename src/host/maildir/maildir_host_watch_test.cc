// The Maildir host watching real temporary Maildirs through inotify: which
// file events are deliveries and which are not.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "host/host_contract_test.h"
#include "host/maildir/maildir_host.h"
#include "platform/glib_event_loop.h"
#include "testing/maildir_files.h"

namespace tarvex {
namespace {

namespace fs = std::filesystem;
using maildir_test::NewMessageSink;
using maildir_test::ReadAll;
using maildir_test::TempMaildir;
using Names = std::vector<std::string>;
constexpr int32_t kInbox = MaildirHost::kInboxId;
const char kPlain[] = "From: alice@example.com\nSubject: Lunch\n\nNoon?\n";

class MaildirWatchTest : public ::testing::Test {
 protected:
  void Open(MaildirHost::Options options = maildir_test::WithJudgedMarks()) {
    host_ = std::make_unique<MaildirHost>(md.root(), options);
    manager_ = host_->CreateFolderManager();
  }
  int32_t Id(const std::string& name) { return FolderNamed(*manager_, name)->GetId(); }
  // Subscribes to the folder's new mail, as the plug-in's folder watchers do.
  uint32_t Subscribe(const std::string& name) {
    auto sink = std::make_shared<NewMessageSink>();
    sink->on_new = [this, name](int32_t id) {
      raised.push_back(name + " " + std::to_string(id));
      if (on_new) on_new(name, id);
    };
    return manager_->GetFolder(Id(name))->Advise(sink);
  }
  // The files ProcessFileEvents and then AnnounceWaiting report, from the root.
  Names Process() {
    Names files;
    for (const auto& m : host_->ProcessFileEvents()) files.push_back(Relative(m.file));
    while (host_->AnnouncementsWaiting()) {
      for (const auto& m : host_->AnnounceWaiting()) files.push_back(Relative(m.file));
    }
    return files;
  }
  std::string Relative(const std::string& path) { return path.substr(md.root().size() + 1); }
  // Delivers as qmail-style agents do: written in tmp/, linked into new/.
  std::string LinkDeliver(const std::string& dir, const std::string& name,
                          const std::string& message = kPlain) {
    md.Write(dir + "tmp/" + name, message);
    fs::create_hard_link(md.Path(dir + "tmp/" + name), md.Path(dir + "new/" + name));
    fs::remove(md.Path(dir + "tmp/" + name));
    return dir + "new/" + name;
  }

  TempMaildir md;
  std::unique_ptr<MaildirHost> host_;
  HostRef<HostFolderManager> manager_;
  Names raised;  // "<folder> <id>" per "OnNewMessage" raised
  std::function<void(const std::string& folder, int32_t id)> on_new;
};

TEST_F(MaildirWatchTest, DeliveriesAreAnnouncedOnceInOrderOfArrival) {
  md.Write("new/there-before", kPlain);
  Open();
  host_->StartWatching();
  Subscribe("Inbox");
  EXPECT_TRUE(Process().empty());

  const std::string renamed = "new/" + md.Deliver("", kPlain);
  const std::string linked = LinkDeliver("", "linked");
  md.Write("new/in-place", kPlain);  // created, written and closed there
  // Created there and still open, empty or written to: not complete yet.
  const std::string text = kPlain;
  int open_fds[2];
  for (int i = 0; i < 2; ++i) {
    const std::string name = i ? "new/written" : "new/empty";
    open_fds[i] = ::open(md.Path(name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(open_fds[i], 0);
  }
  ASSERT_EQ(::write(open_fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  EXPECT_EQ(Process(), (Names{renamed, linked, "new/in-place"}));
  EXPECT_EQ(raised, (Names{"Inbox 2", "Inbox 3", "Inbox 4"}));  // 1 is the one there before

  ASSERT_EQ(::write(open_fds[0], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  EXPECT_TRUE(Process().empty());
  for (int fd : {open_fds[1], open_fds[0]}) ::close(fd);
  EXPECT_EQ(Process(), (Names{"new/written", "new/empty"}));
  EXPECT_TRUE(Process().empty());
  EXPECT_TRUE(host_->ScanForNewMessages().empty());
}

TEST_F(MaildirWatchTest, RenamesWithinAFolderAndTheHostsOwnChangesAreNotNew) {
  md.MakeFolder(".Junk");
  md.MakeFolder(".Archive");
  md.Write("new/a", kPlain);
  md.Write("cur/b:2,", kPlain);
  Open();
  host_->StartWatching();
  for (const char* folder : {"Inbox", "Junk", "Archive"}) Subscribe(folder);

  fs::rename(md.Path("new/a"), md.Path("cur/a:2,S"));  // read in a mail client
  fs::rename(md.Path("cur/b:2,"), md.Path("cur/b:2,FS"));
  auto b = manager_->GetInboxFolder()->GetMessage(2);
  b->SetHeaderValue(1, "X-Verdict", "Clean");
  b->Commit();
  b->MarkRead();
  EXPECT_TRUE(manager_->MoveMessage(kInbox, Id("Junk"), 1));
  EXPECT_TRUE(manager_->MoveMessage(kInbox, Id("Drafts"), 2));  // makes .Drafts
  host_->AddMessage(kInbox, kPlain);
  host_->AddMessage(Id("Archive"), kPlain);
  EXPECT_TRUE(Process().empty());
  EXPECT_TRUE(raised.empty());
}

TEST_F(MaildirWatchTest, ASinkThatJudgesAndMovesEachArrivalCausesNoArrivalsOfItsOwn) {
  md.MakeFolder(".Spam");
  Open();
  host_->StartWatching();
  Subscribe("Inbox");
  Subscribe("Spam");
  const int32_t spam = Id("Spam");
  on_new = [&](const std::string& folder, int32_t id) {
    ASSERT_EQ(folder, "Inbox");
    auto message = manager_->GetInboxFolder()->GetMessage(id);
    message->SetHeaderValue(1, "X-Verdict", "Spam");
    message->Commit();
    if (id % 2) manager_->MoveMessage(kInbox, spam, id);
  };
  constexpr int kMessages = 40;
  size_t announced = 0;
  for (int i = 0; i < kMessages; ++i) {
    if (i % 2) {
      md.Deliver("", kPlain);
    } else {
      LinkDeliver("", "link" + std::to_string(i));
    }
    if (i % 7 == 0) announced += Process().size();  // some batches of several
  }
  for (size_t before = ~size_t{0}; announced != before;) {
    before = announced;
    announced += Process().size();
  }
  EXPECT_EQ(announced, size_t{kMessages});
  EXPECT_EQ(raised.size(), size_t{kMessages});
  EXPECT_EQ(md.Files(".Spam/new").size() + md.Files("new").size(), size_t{kMessages});
  for (const std::string& name : md.Files(".Spam/new")) {
    EXPECT_NE(ReadAll(md.Path(".Spam/new/" + name)).find("X-Verdict: Spam"), std::string::npos);
  }
}

TEST_F(MaildirWatchTest, MovesByAnotherProgramAreNewToTheTargetUnlessItKnewTheMessage) {
  md.MakeFolder(".Archive");
  md.MakeFolder(".Lists");
  md.Write("cur/m:2,S", kPlain);
  md.Write(".Lists/new/from-lists", kPlain);
  Open();
  host_->StartWatching();
  Subscribe("Inbox");
  Subscribe("Archive");

  fs::rename(md.Path("cur/m:2,S"), md.Path(".Archive/cur/m:2,S"));          // watched to watched
  fs::rename(md.Path(".Lists/new/from-lists"), md.Path("new/from-lists"));  // unwatched to watched
  EXPECT_EQ(Process(), (Names{".Archive/cur/m:2,S", "new/from-lists"}));
  EXPECT_EQ(raised, (Names{"Archive 1", "Inbox 2"}));

  fs::rename(md.Path(".Archive/cur/m:2,S"), md.Path("cur/m:2,FS"));  // back where it was known
  fs::rename(md.Path("new/from-lists"), md.Path(".Lists/new/from-lists"));  // to unwatched
  EXPECT_TRUE(Process().empty());
}

TEST_F(MaildirWatchTest, AMoveFindsTheUniqueNameInTheTargetWatchedOrNot) {
  md.MakeFolder(".Spam");
  md.MakeFolder(".Archive");
  for (const char* name : {"new/a", "new/b", "new/c"}) md.Write(name, kPlain);
  Open();
  host_->StartWatching();
  Subscribe("Spam");
  const int32_t spam = Id("Spam"), archive = Id("Archive");
  EXPECT_TRUE(manager_->MoveMessage(kInbox, spam, 1));  // "a"; Spam is followed from here
  // Another program copies "b" into the watched Spam and "c" into the
  // unwatched Archive; the host then moves the originals there.
  md.Write(".Spam/cur/b:2,S", kPlain);
  md.Write(".Archive/cur/c:2,S", kPlain);
  EXPECT_EQ(Process(), Names{".Spam/cur/b:2,S"});
  EXPECT_TRUE(manager_->MoveMessage(kInbox, spam, 2));
  EXPECT_TRUE(manager_->MoveMessage(kInbox, archive, 3));
  for (const char* dir : {".Spam", ".Archive"}) {
    std::set<std::string> uniques;
    size_t files = 0;
    for (const char* sub : {"/new", "/cur"}) {
      for (const std::string& name : md.Files(dir + std::string(sub))) {
        uniques.insert(name.substr(0, name.find(':')));
        ++files;
      }
    }
    EXPECT_EQ(uniques.size(), files) << dir << " holds a unique name twice";
  }
  EXPECT_EQ(md.Files(".Spam/new").size() + md.Files(".Spam/cur").size(), 3u);
}

TEST_F(MaildirWatchTest, OnlyFoldersWithASubscriptionAreWatched) {
  md.MakeFolder(".Lists");
  Open();
  Subscribe("Inbox");  // before the watch starts
  host_->StartWatching();
  const std::string early = md.Deliver(".Lists", kPlain);  // not subscribed
  const uint32_t cookie = Subscribe("Lists");
  // Read now, but it came while nothing watched: not an arrival.
  fs::rename(md.Path(".Lists/new/" + early), md.Path(".Lists/cur/" + early + ":2,S"));
  const std::string watched = md.Deliver(".Lists", kPlain);
  EXPECT_EQ(Process(), Names{".Lists/new/" + watched});
  manager_->GetFolder(Id("Lists"))->Unadvise(cookie);
  md.Deliver(".Lists", kPlain);
  const std::string inbox = md.Deliver("", kPlain);
  EXPECT_EQ(Process(), Names{"new/" + inbox});
  EXPECT_EQ(host_->ScanForNewMessages().size(), 2u);  // the two unwatched ones

  // A folder without a Maildir yet is watched from when one is made there,
  // with the directory there already or not.
  Subscribe("Drafts");
  Subscribe("Outbox");
  fs::create_directory(md.Path(".Outbox"));
  EXPECT_TRUE(Process().empty());
  const std::string draft = md.Deliver(".Drafts", kPlain);  // makes the Maildir too
  const std::string outgoing = md.Deliver(".Outbox", kPlain);
  EXPECT_EQ(Process(), (Names{".Drafts/new/" + draft, ".Outbox/new/" + outgoing}));
  const std::string second = md.Deliver(".Drafts", kPlain);
  EXPECT_EQ(Process(), Names{".Drafts/new/" + second});
}

TEST_F(MaildirWatchTest, AnOverflowingEventQueueFallsBackToAScan) {
  std::ifstream limit_file("/proc/sys/fs/inotify/max_queued_events");
  int limit = 0;
  if (!(limit_file >> limit) || limit > 200000) GTEST_SKIP() << "event queue too long to fill";
  md.Write("cur/flipped:2,", kPlain);
  Open();
  host_->StartWatching();
  Subscribe("Inbox");
  const std::string first = md.Deliver("", kPlain);
  // Two events per rename: the queue fills, and the delivery after is lost.
  for (int i = 0; i <= limit / 2; ++i) {
    fs::rename(md.Path(i % 2 ? "cur/flipped:2,S" : "cur/flipped:2,"),
               md.Path(i % 2 ? "cur/flipped:2," : "cur/flipped:2,S"));
  }
  const std::string lost = md.Deliver("", kPlain);
  EXPECT_EQ(Process(), (Names{"new/" + first, "new/" + lost}));
  EXPECT_TRUE(Process().empty());
}

TEST_F(MaildirWatchTest, UnjudgedMailIsAnnouncedOnceAndJudgedMailNot) {
  md.MakeFolder(".Archive");
  md.MakeFolder(".Lists");
  md.Write("new/1-judged", "X-Verdict: Clean\n\nbody");
  md.Write("new/2-learned", "x-user-verdict: Spam\r\n\r\nbody");
  md.Write("new/3-waiting", kPlain);
  md.Write("cur/4-read:2,S", kPlain);
  md.Write(".Archive/new/5-waiting", kPlain);
  md.Write(".Lists/new/6-unwatched", kPlain);
  Open();
  host_->StartWatching();
  for (const char* folder : {"Inbox", "Archive"}) Subscribe(folder);
  const std::string delivered = md.Deliver("", kPlain);
  EXPECT_EQ(Process(), Names{"new/" + delivered});  // announced already

  Names unjudged;
  for (const auto& m : host_->AnnounceUnjudgedMail()) unjudged.push_back(Relative(m.file));
  EXPECT_EQ(unjudged, (Names{".Archive/new/5-waiting", "new/3-waiting"}));
  EXPECT_TRUE(host_->AnnounceUnjudgedMail().empty());
  EXPECT_EQ(raised, (Names{"Inbox 5", "Archive 1", "Inbox 3"}));
}

TEST_F(MaildirWatchTest, MailJudgedOnItsWayInIsNotAnnouncedButMailMovedInIs) {
  const char kJudged[] = "X-Verdict: Clean\nFrom: a@example.com\n\nhi\n";
  md.MakeFolder(".Archive");
  md.MakeFolder(".Lists");
  md.Write(".Archive/cur/archived:2,S", kJudged);
  md.Write(".Lists/new/listed", kJudged);
  Open();
  host_->StartWatching();
  for (const char* folder : {"Inbox", "Archive"}) Subscribe(folder);

  const std::string unjudged = "new/" + md.Deliver("", kPlain);
  md.Deliver("", kJudged);  // renamed from tmp/ into new/
  // A mark further in than the check reads counts for nothing.
  std::string filler;
  while (filler.size() <= MaildirHost::kMaxHeadCheck)
    filler += "X-Filler: " + std::string(70, 'f') + "\n";
  const std::string deep = "new/" + md.Deliver("", filler + kJudged);
  const std::string linked = LinkDeliver("", "linked");
  LinkDeliver("", "linked-judged", kJudged);
  md.Write("new/in-place-judged", kJudged);  // written in place
  md.Write("tmp/to-cur", kJudged);           // delivered straight to cur/
  fs::rename(md.Path("tmp/to-cur"), md.Path("cur/to-cur:2,"));
  // Moved in, from a watched folder and from one that is not: announced
  // whatever they carry, so that the plug-in judges them in their new folder.
  fs::rename(md.Path(".Archive/cur/archived:2,S"), md.Path("cur/archived:2,S"));
  fs::rename(md.Path(".Lists/new/listed"), md.Path("new/listed"));
  EXPECT_EQ(Process(), (Names{unjudged, deep, linked, "cur/archived:2,S", "new/listed"}));

  // Without marks to look for, every delivery is announced.
  Open(MaildirHost::Options());
  host_->StartWatching();
  Subscribe("Inbox");
  const std::string judged = "new/" + md.Deliver("", kJudged);
  EXPECT_EQ(Process(), Names{judged});
}

// A flood is raised a slice at a time, in order of arrival, so that the
// owner's loop can serve others between slices; nothing is dropped.
TEST_F(MaildirWatchTest, AFloodIsRaisedASliceAtATimeInOrder) {
  Open();
  host_->StartWatching();
  Subscribe("Inbox");
  const size_t flood = 2 * MaildirHost::kAnnounceSlice + 5;
  Names delivered;
  for (size_t i = 0; i < flood; ++i) delivered.push_back("new/" + md.Deliver("", kPlain));
  Names files;
  for (const auto& m : host_->ProcessFileEvents()) files.push_back(Relative(m.file));
  EXPECT_EQ(files.size(), MaildirHost::kAnnounceSlice);
  EXPECT_EQ(raised.size(), MaildirHost::kAnnounceSlice);
  while (host_->AnnouncementsWaiting()) {
    const auto slice = host_->AnnounceWaiting();
    EXPECT_LE(slice.size(), MaildirHost::kAnnounceSlice);
    for (const auto& m : slice) files.push_back(Relative(m.file));
  }
  EXPECT_EQ(files, delivered);
  EXPECT_EQ(raised.size(), flood);
  EXPECT_TRUE(host_->AnnounceWaiting().empty());
}

TEST_F(MaildirWatchTest, MovingMailIntoAFolderListsItOnceAndAnnouncesNothingThere) {
  md.MakeFolder(".Junk");
  for (int i = 0; i < 30; ++i) md.Write(".Junk/cur/old" + std::to_string(i) + ":2,S", kPlain);
  Open();
  host_->StartWatching();
  Subscribe("Inbox");
  for (int i = 0; i < 20; ++i) md.Deliver("", kPlain);
  ASSERT_EQ(Process().size(), 20u);
  int listings = 0;
  host_->SetStepHook([&](const std::string& step) { listings += step == maildir_step::kListed; });
  // As the daemon does: each batch of events read between the moves.
  const int32_t junk = Id("Junk");
  for (int32_t id = 1; id <= 19; ++id) {
    EXPECT_EQ(manager_->MoveMessage(kInbox, junk, id), 1);
    EXPECT_TRUE(Process().empty());
  }
  EXPECT_EQ(listings, 1);  // the first move only: the folder is followed since

  // Its records follow the disk: a message of the same unique name put
  // there by another program is not overwritten by the next move.
  const std::string last = fs::path(host_->MessageFile(kInbox, 20)).filename().string();
  md.Write(".Junk/cur/" + last + ":2,S", "From: someone@else.example\n\nmine\n");
  md.Deliver(".Junk", kPlain);  // mail delivered there is not announced
  EXPECT_TRUE(Process().empty());
  EXPECT_EQ(manager_->MoveMessage(kInbox, junk, 20), 1);
  EXPECT_EQ(listings, 1);
  EXPECT_EQ(md.Files(".Junk/new").size(), 21u);
  EXPECT_EQ(ReadAll(md.Path(".Junk/cur/" + last + ":2,S")), "From: someone@else.example\n\nmine\n");
  EXPECT_TRUE(raised.size() == 20u);
}

TEST_F(MaildirWatchTest, TheDescriptorWakesAnEventLoop) {
  Open();
  GLibEventLoop loop;
  const int fd = host_->StartWatching();
  EXPECT_EQ(host_->StartWatching(), fd);
  Subscribe("Inbox");
  on_new = [&](const std::string&, int32_t) { loop.Quit(); };
  const unsigned watch = loop.WatchReadable(fd, [&] { host_->ProcessFileEvents(); });
  const unsigned deliver = loop.Every(5, [&] { md.Deliver("", kPlain); });
  const unsigned guard = loop.Every(10000, [&] {
    ADD_FAILURE() << "no delivery was seen";
    loop.Quit();
  });
  loop.Run();
  for (unsigned id : {watch, deliver, guard}) loop.RemoveSource(id);
  EXPECT_FALSE(raised.empty());
}

}  // namespace
}  // namespace tarvex
