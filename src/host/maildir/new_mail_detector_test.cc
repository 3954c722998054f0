#include "host/maildir/new_mail_detector.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tarvex::maildir_host_internal {

void PrintTo(NewMail verdict, std::ostream* out) {
  static const char* const kNames[] = {"nothing", "delivered", "moved in", "rescan"};
  *out << kNames[static_cast<int>(verdict)];
}

namespace {

using Kind = FileEvent::Kind;

constexpr int32_t kInbox = 2, kWork = 3;

// One event of a sequence: what happened, where, to which name, and (for a
// created file) what the caller found when it looked.
struct Step {
  Kind kind;
  int32_t folder;
  std::string unique;
  uint32_t cookie = 0;
  bool written_later = false;
  bool has_content = false;
  bool new_batch = false;  // a new batch of events begins with this one
};

struct Sequence {
  const char* name;
  std::set<std::pair<int32_t, std::string>> known;  // what the folders know at the start
  std::vector<Step> steps;
  std::vector<NewMail> verdicts;  // one per step
};

// The sequences are run as the store runs them: a name that brought new mail
// is known to its folder from then on.
std::vector<NewMail> Verdicts(const Sequence& sequence) {
  NewMailDetector detector;
  std::set<std::pair<int32_t, std::string>> known = sequence.known;
  std::vector<NewMail> verdicts;
  for (const Step& step : sequence.steps) {
    if (step.new_batch) detector.StartBatch();
    FileEvent event;
    event.kind = step.kind;
    event.folder = step.folder;
    event.unique = step.unique;
    event.cookie = step.cookie;
    event.known = known.count({step.folder, step.unique}) != 0;
    event.written_later = step.written_later;
    event.has_content = step.has_content;
    const NewMail verdict = detector.Judge(event);
    if (verdict == NewMail::kDelivered || verdict == NewMail::kMovedIn) {
      known.insert({step.folder, step.unique});
    }
    verdicts.push_back(verdict);
  }
  return verdicts;
}

constexpr NewMail kNothing = NewMail::kNothing, kDelivered = NewMail::kDelivered,
                  kMovedIn = NewMail::kMovedIn, kRescan = NewMail::kRescan;

TEST(NewMailDetector, TellsNewMailFromTheEventsAlone) {
  const Sequence sequences[] = {
      {"delivery agent's rename out of tmp/",
       {},
       {{Kind::kLeftTmp, kInbox, "", 7}, {Kind::kRenamedIn, kInbox, "m1", 7}},
       {kNothing, kDelivered}},
      {"rename out of another folder's tmp/ (a delivery there, then a move)",
       {},
       {{Kind::kLeftTmp, kWork, "", 7}, {Kind::kRenamedIn, kInbox, "m1", 7}},
       {kNothing, kDelivered}},
      {"move from another watched folder",
       {{kWork, "m1"}},
       {{Kind::kRenamedOut, kWork, "m1", 8}, {Kind::kRenamedIn, kInbox, "m1", 8}},
       {kNothing, kMovedIn}},
      {"move from a folder nobody watches", {}, {{Kind::kRenamedIn, kInbox, "m1", 8}}, {kMovedIn}},
      {"flag change of a message that came while nothing watched",
       {},
       {{Kind::kRenamedOut, kInbox, "m1", 9}, {Kind::kRenamedIn, kInbox, "m1", 9}},
       {kNothing, kNothing}},
      {"new/ to cur/ of a known message",
       {{kInbox, "m1"}},
       {{Kind::kRenamedOut, kInbox, "m1", 9}, {Kind::kRenamedIn, kInbox, "m1", 9}},
       {kNothing, kNothing}},
      {"written in place: created, then closed after writing",
       {},
       {{Kind::kCreated, kInbox, "m1", 0, true}, {Kind::kWritten, kInbox, "m1"}},
       {kNothing, kDelivered}},
      {"written in place, closed in the next batch",
       {},
       {{Kind::kCreated, kInbox, "m1", 0, false, false},
        {Kind::kWritten, kInbox, "m1", 0, false, false, true}},
       {kNothing, kDelivered}},
      {"closed again after it was announced",
       {},
       {{Kind::kCreated, kInbox, "m1", 0, true},
        {Kind::kWritten, kInbox, "m1"},
        {Kind::kWritten, kInbox, "m1"}},
       {kNothing, kDelivered, kNothing}},
      {"hard link of a message written elsewhere",
       {},
       {{Kind::kCreated, kInbox, "m1", 0, false, true}},
       {kDelivered}},
      {"an empty file waits for its close",
       {},
       {{Kind::kCreated, kInbox, "m1", 0, false, false}, {Kind::kWritten, kInbox, "m1"}},
       {kNothing, kDelivered}},
      {"a file written in place and renamed before it was closed",
       {},
       {{Kind::kCreated, kInbox, "m1", 0, true},
        {Kind::kRenamedOut, kInbox, "m1", 4},
        {Kind::kRenamedIn, kInbox, "m2", 4}},
       {kNothing, kNothing, kDelivered}},
      {"a file written in place and deleted unclosed",
       {},
       {{Kind::kCreated, kInbox, "m1", 0, true},
        {Kind::kDeleted, kInbox, "m1"},
        {Kind::kWritten, kInbox, "m1"}},
       {kNothing, kNothing, kNothing}},
      {"the host's own rewrite: its swap with a file in tmp/",
       {{kInbox, "m1"}},
       {{Kind::kRenamedOut, kInbox, "m1", 5},
        {Kind::kRenamedIn, kInbox, "m1", 6},
        {Kind::kLeftTmp, kInbox, "", 6}},
       {kNothing, kNothing, kNothing}},
      {"the host's own add: out of tmp/ under a name the folder knows",
       {{kInbox, "m1"}},
       {{Kind::kLeftTmp, kInbox, "", 3}, {Kind::kRenamedIn, kInbox, "m1", 3}},
       {kNothing, kNothing}},
      {"the host's own move into another folder",
       {{kInbox, "m1"}, {kWork, "m1"}},
       {{Kind::kRenamedOut, kInbox, "m1", 2}, {Kind::kRenamedIn, kWork, "m1", 2}},
       {kNothing, kNothing}},
      {"a rename whose halves straddle two batches",
       {},
       {{Kind::kLeftTmp, kInbox, "", 7}, {Kind::kRenamedIn, kInbox, "m1", 7, false, false, true}},
       {kNothing, kDelivered}},
      {"a first half two batches back is forgotten: taken for a move",
       {},
       {{Kind::kRenamedOut, kInbox, "m1", 7},
        {Kind::kCreated, kInbox, "x", 0, false, false, true},
        {Kind::kRenamedIn, kInbox, "m1", 7, false, false, true}},
       {kNothing, kNothing, kMovedIn}},
      {"lost events", {}, {{Kind::kOverflow, 0, ""}}, {kRescan}},
  };
  for (const Sequence& sequence : sequences) {
    EXPECT_EQ(Verdicts(sequence), sequence.verdicts) << sequence.name;
  }
}

TEST(NewMailDetector, ForgetsHalfDoneRenamesAndWritesWhenToldTo) {
  NewMailDetector detector;
  FileEvent event;
  event.kind = Kind::kLeftTmp;
  event.folder = kInbox;
  event.cookie = 7;
  detector.Judge(event);
  event.kind = Kind::kCreated;
  event.unique = "m2";
  event.written_later = true;
  detector.Judge(event);
  detector.Forget();
  event.kind = Kind::kRenamedIn;
  event.unique = "m1";
  EXPECT_EQ(detector.Judge(event), NewMail::kMovedIn);
  event.kind = Kind::kWritten;
  event.unique = "m2";
  EXPECT_EQ(detector.Judge(event), NewMail::kNothing);
}

TEST(NewMailDetector, KindsFromInotifyMasks) {
  const struct {
    uint32_t mask;
    bool in_tmp;
    std::optional<Kind> kind;
  } cases[] = {
      {IN_CREATE, false, Kind::kCreated},     {IN_CLOSE_WRITE, false, Kind::kWritten},
      {IN_MOVED_TO, false, Kind::kRenamedIn}, {IN_MOVED_FROM, false, Kind::kRenamedOut},
      {IN_DELETE, false, Kind::kDeleted},     {IN_Q_OVERFLOW, false, Kind::kOverflow},
      {IN_MODIFY, false, std::nullopt},       {IN_MOVED_FROM, true, Kind::kLeftTmp},
      {IN_MOVED_TO, true, std::nullopt},      {IN_CREATE, true, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileEventKind(c.mask, c.in_tmp), c.kind) << std::hex << c.mask << " " << c.in_tmp;
  }
}

}  // namespace
}  // namespace tarvex::maildir_host_internal
