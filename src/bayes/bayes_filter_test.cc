#include "bayes/bayes_filter.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <sstream>

#include "testing/bayes_fixture.h"
#include "testing/status_matchers.h"

namespace tarvex {
namespace {

using Filter = BayesFixture;

TEST_F(Filter, CreatesAnEmptyDatabaseWhenNoneCanBeRead) {
  Start();
  EXPECT_EQ(DatabaseText(), "Version = 1.01\nSpam = 0\nClean = 0\n");
  EXPECT_TRUE(engine().databaseClean());
  EXPECT_EQ(engine().lastAgeingTime(), kStart);
  EXPECT_OK(filter->SaveDatabase());  // nothing changed: nothing written
  EXPECT_TRUE(filter->databaseClean());
  EXPECT_EQ(fs.commits(), 1);
}

TEST_F(Filter, WorksWithoutFilesWhenThePathsAreNotSet) {
  store.values().clear();
  Start().LearnMessage("some words here", "", 1);
  EXPECT_OK(filter->SaveDatabase());  // nothing to write to, so nothing failed
  EXPECT_FALSE(filter->databaseClean());
  EXPECT_OK(filter->Close());
  EXPECT_TRUE(fs.files().empty());
}

// Close is the shutdown's save, told to the caller: destruction then writes
// nothing more, unless something was learnt after it.
TEST_F(Filter, ClosingSavesOnceAndWhatIsLearntAfterIsStillSaved) {
  Start().LearnMessage("money offer", "", true);
  EXPECT_OK(filter->Close());
  EXPECT_NE(DatabaseText().find("money = 1,0,"), std::string::npos);
  const int closed = fs.commits();
  filter->LearnMessage("later words", "", false);
  Stop();
  EXPECT_NE(DatabaseText().find("later = 0,1,"), std::string::npos);
  EXPECT_GT(fs.commits(), closed);

  Start();
  EXPECT_OK(filter->Close());
  const int again = fs.commits();
  Stop();
  EXPECT_EQ(fs.commits(), again);
}

TEST_F(Filter, LoadsTheFileAndSavesOnlyWhatChanged) {
  PutDatabase("Version = 1.01\nSpam = 3\nClean = 4\nmoney = 3,1,0.6,1699990000\n");
  Start();
  EXPECT_TRUE(engine().databaseClean());
  EXPECT_EQ(filter->WordCount(), 1u);
  EXPECT_EQ(filter->SpamMessageCount(), 3);
  clock.Advance(kDay);
  EXPECT_OK(filter->SaveDatabase());
  EXPECT_EQ(fs.commits(), 0);  // clean load, less than two days: nothing written
  filter->LearnMessage("money", "", 0);
  EXPECT_FALSE(filter->databaseClean());
  EXPECT_OK(filter->SaveDatabase());
  EXPECT_TRUE(filter->databaseClean());
  EXPECT_EQ(DatabaseText(),
            "Version = 1.01\nSpam = 3\nClean = 5\nmoney = 3,2,0.55555558,1700086400\n");
}

TEST_F(Filter, RepairedLoadIsWrittenBackAndEmptyFileIsClean) {
  PutDatabase("");
  Start();
  EXPECT_TRUE(engine().databaseClean());
  EXPECT_EQ(filter->WordCount(), 0u);
  PutDatabase("Spam = 1\n!offer = 2,0,0.9,0\n");
  engine().Load();
  EXPECT_FALSE(engine().databaseClean());
  filter->SaveDatabase();
  EXPECT_EQ(DatabaseText(), "Version = 1.01\nSpam = 1\nClean = 0\noffer = 2,0,0.89999998," +
                                std::to_string(kStart) + "\n");
}

TEST_F(Filter, AgesWordsNotSeenForTenDaysWhenAgeingIsDue) {
  const auto days_ago = [&](int days) { return std::to_string(kStart - days * kDay); };
  // The save comes three days after start-up: "stale" and "gone" were then
  // last seen eleven days before, "fresh" nine.
  PutDatabase("Spam = 5\nClean = 5\nolder = 1,0,0.9,0\nstale = 3,2,0.4," + days_ago(8) +
              "\nfresh = 1,0,0.9," + days_ago(6) + "\ngone = 1,0,0.9," + days_ago(8) + "\n");
  Start();
  clock.Advance(3 * kDay);
  filter->SaveDatabase();
  EXPECT_EQ(DatabaseText(),
            "Version = 1.01\nSpam = 5\nClean = 5\n"
            "fresh = 1,0,0.89999998," +
                days_ago(6) +
                "\n"
                "older = 1,0,0.89999998," +
                std::to_string(kStart) +
                "\n"
                "stale = 2,1,0.40000001," +
                days_ago(8) + "\n");
  EXPECT_EQ(engine().lastAgeingTime(), kStart + 3 * kDay);
  // The next save within two days ages nothing more.
  clock.Advance(kDay);
  filter->LearnMessage("", "", 1);
  filter->SaveDatabase();
  EXPECT_NE(DatabaseText().find("stale = 2,1,"), std::string::npos);
}

TEST_F(Filter, SaysWhyASaveFailedAndKeepsEverything) {
  Start().LearnMessage("money money", "", 1);
  fs.FailWrites(kDatabase);
  EXPECT_EQ(filter->SaveDatabase().message(), kDatabase + ": cannot write: Permission denied");
  EXPECT_FALSE(filter->databaseClean());
  EXPECT_TRUE(engine().purgeOnNextSave());
  fs.Heal();
  fs.FailCommits(kDatabase);  // a write that fails late keeps the old file too
  EXPECT_EQ(filter->SaveDatabase().message(),
            kDatabase + ": cannot replace the file: Input/output error");
  EXPECT_EQ(DatabaseText(), "Version = 1.01\nSpam = 0\nClean = 0\n");
  fs.Heal();
  EXPECT_OK(filter->SaveDatabase());
  EXPECT_FALSE(engine().purgeOnNextSave());
}

// Everything a save may change, as text: each word's counts, stored
// probability and time, the counters and the flags.
std::string EngineState(BayesEngine& engine) {
  std::ostringstream state;
  state << std::hexfloat;
  for (WordTable::Item* item : BayesEnginePeer(engine).WordDatabase().Sorted()) {
    const WordRecord& r = item->entry.record;
    state << item->word << '=' << r.spamCount << ',' << r.cleanCount << ','
          << engine.StoredProbability(item->entry) << ',' << r.lastSeen << '\n';
  }
  state << engine.spamMessageCount() << ' ' << engine.cleanMessageCount() << ' '
        << engine.databaseClean() << ' ' << engine.purgeOnNextSave();
  return state.str();
}

// A save that fails at any step (opening, writing, replacing the file) must
// not have aged, purged or re-pinned anything: the next save starts over from
// the same table.
TEST_F(Filter, FailedSaveAtAnyStepLeavesTableCountersAndFlagsAsTheyWere) {
  const std::string old_file = "Spam = 4\nClean = 2\nstale = 3,2,0.4," +
                               std::to_string(kStart - 8 * kDay) + "\ngone = 1,0,0.9," +
                               std::to_string(kStart - 8 * kDay) + "\nfresh = 1,1,0.5," +
                               std::to_string(kStart) + "\n";
  PutDatabase(old_file);
  Start();
  inside().WordDatabase().FindOrInsert("-bad").record = {1, 0, 0.5f, kStart};
  filter->LearnMessage("fresh words", "", 1);  // unpins every stored probability
  clock.Advance(3 * kDay);
  const std::string before = EngineState(engine());
  ASSERT_NE(before.find("gone="), std::string::npos);

  const std::function<void()> failures[] = {
      [&] { fs.FailWrites(kDatabase); },
      [&] { fs.FailAppends(kDatabase); },
      [&] { fs.FailCommits(kDatabase); },
  };
  for (size_t step = 0; step < std::size(failures); ++step) {
    SCOPED_TRACE(step);
    inside().SetLastAgeingTime(kStart);  // ageing due at every attempt
    failures[step]();
    EXPECT_FALSE(filter->SaveDatabase().ok());
    fs.Heal();
    EXPECT_EQ(EngineState(engine()), before);
  }
  EXPECT_EQ(fs.commits(), 0);

  inside().SetLastAgeingTime(kStart);
  EXPECT_OK(filter->SaveDatabase());
  const std::string after = EngineState(engine());
  EXPECT_EQ(after.find("gone="), std::string::npos);
  EXPECT_EQ(after.find("-bad="), std::string::npos);
  EXPECT_NE(after.find("stale=2,1,"), std::string::npos);
  // The file replaced is kept beside the new one.
  std::string backup = fs.files()[kDatabase + ".bak"];
  Scramble(backup.data(), backup.size());
  EXPECT_EQ(backup, old_file);
}

// A database that is there but cannot be read is never emptied: not at
// start-up, not by a save, not at shutdown. The ignore file likewise.
TEST_F(Filter, NeverReplacesFilesItCouldNotRead) {
  PutDatabase("Spam = 9\nClean = 9\nlearnt = 5,5,0.5,1700000000\n");
  const std::string database = fs.files()[kDatabase];
  fs.files()[kIgnore] = "kept\n";
  fs.FailReads(kDatabase);
  fs.FailReads(kIgnore);
  Start();
  EXPECT_EQ(filter->loadStatus().message(),
            kDatabase +
                ": cannot read: Permission denied; the word database is left as it is, not "
                "replaced by an empty one");
  filter->LearnMessage("some words here", "", 1);
  filter->SaveDatabase();
  Stop();
  EXPECT_EQ(fs.files()[kDatabase], database);
  EXPECT_EQ(fs.files()[kIgnore], "kept\n");
  EXPECT_EQ(fs.commits(), 0);
}

TEST_F(Filter, PurgesMalformedWordsOnTheFirstSaveOnly) {
  Start();
  inside().WordDatabase().FindOrInsert("-bad").record = {1, 0, 0.5f, kStart};
  inside().WordDatabase().FindOrInsert("$ok").record = {1, 0, 0.5f, kStart};
  filter->EmptyDatabase();
  inside().WordDatabase().FindOrInsert("-bad").record = {1, 0, 0.5f, kStart};
  filter->EmptyDatabase();  // purge already done, but emptied anyway
  inside().WordDatabase().FindOrInsert("-bad").record = {1, 0, 0.5f, kStart};
  engine().Save(true);
  EXPECT_NE(DatabaseText().find("-bad = 1,0"), std::string::npos);
}

TEST_F(Filter, SavesDatabaseThenIgnoreWordsWhenDestroyed) {
  fs.files()[kIgnore] = "zebra\n;note apple\nzebra\n";
  Start().LearnMessage("Zebra apple mango", "", 1);
  Stop();
  EXPECT_EQ(fs.files()[kIgnore], "apple\nzebra\n");
  EXPECT_EQ(DatabaseText(), "Version = 1.01\nSpam = 1\nClean = 0\nmango = 1,0,1.00000000," +
                                std::to_string(kStart) + "\n");
}

TEST_F(Filter, ScoresMessages) {
  Start();
  MessageScore none;
  EXPECT_FALSE(filter->ScoreMessage("!! ..", none));
  EXPECT_EQ(none.score, 0);
  EXPECT_EQ(none.verdictText, "Clean");
  EXPECT_EQ(none.topWords, "");
  EXPECT_EQ(none.scored, 1);

  MessageScore unknown;
  unknown.headerText = "Subject: hello there";
  EXPECT_FALSE(filter->ScoreMessage("nobody knows these", unknown));
  EXPECT_EQ(unknown.score, 50);
  EXPECT_EQ(unknown.topWords, " hello 50 knows 50 nobody 50 subject 50 there 50 these 50\r\n");

  MessageScore foreign;
  foreign.headerText = "Subject: \xC0\xC1\xC2";
  EXPECT_TRUE(filter->ScoreMessage("words", foreign));
  EXPECT_EQ(foreign.nonEnglish, 1);
  EXPECT_EQ(foreign.scored, 0);
  MessageScore allowed;
  allowed.headerText = foreign.headerText;
  EXPECT_FALSE(filter->ScoreMessage("words", allowed, /*nonEnglishTest=*/false));
  EXPECT_EQ(allowed.nonEnglish, 0);
  EXPECT_EQ(allowed.scored, 1);
}

TEST_F(Filter, FallsBackToWordsWithoutTrailingExclamationMarks) {
  Start();
  inside().WordDatabase().FindOrInsert("cash!!").record = {7, 0, 0.9f, kStart};
  inside().WordDatabase().FindOrInsert("rare").record = {3, 0, 0.9f, kStart};
  engine().RecomputeProbabilities();
  MessageScore score;
  filter->ScoreMessage("cash!!! rare!", score);
  ASSERT_EQ(score.selectedWords.size(), 2u);
  EXPECT_EQ(score.selectedWords[0].word, "cash!!!");
  EXPECT_EQ(score.selectedWords[0].record.probability, 0.9998f);
  EXPECT_EQ(score.selectedWords[0].record.spamCount, 7);
  EXPECT_EQ(score.selectedWords[1].record.probability, 0.5f);  // too few occurrences
}

TEST_F(Filter, SelectsTheFifteenMostTellingWords) {
  Start();
  std::string text;
  for (int i = 0; i < 16; ++i) {
    const std::string word = "word" + std::string(1, static_cast<char>('a' + i));
    // wordp is the one nearest to neutral: 11 spam against 8 clean.
    inside().WordDatabase().FindOrInsert(word).record = {i == 15 ? 11 : 0, i == 15 ? 8 : 20, 0, 0};
    text += word + " ";
  }
  engine().RecomputeProbabilities();
  MessageScore score;
  filter->ScoreMessage(text, score);
  ASSERT_EQ(score.selectedWords.size(), 15u);
  EXPECT_EQ(score.selectedWords.back().word, "wordo");
}

}  // namespace
}  // namespace tarvex
