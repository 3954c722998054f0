// The engine of the Bayesian filter: the word table, the message counters, the
// ignore words, the database file and the operations that score and learn.
//
// Thread safety: one recursive lock guards the table, the counters, the flags
// and the database file. Tokenize and IsIgnored read the ignore words without
// it: they change only while the filter starts up.
#ifndef TARVEX_BAYES_BAYES_ENGINE_H_
#define TARVEX_BAYES_BAYES_ENGINE_H_

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "bayes/database_file.h"
#include "bayes/ignore_words.h"
#include "bayes/scoring.h"
#include "bayes/tokenizer.h"
#include "bayes/word_table.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/status.h"

namespace tarvex {

// How the probabilities of the whole table are brought up to date after a
// learning step. Both give the same results; kWalk visits every word and is the
// reference that kLazy is tested against.
enum class RecomputeMode { kLazy, kWalk };

// The filter's tuning constants, and how it keeps probabilities up to date.
// They never change once the engine is made; they sit in one place so that
// scoring, learning and the file read one value.
struct BayesOptions {
  uint32_t SpamThreshold = 90;     // a score above it is spam
  uint32_t SureSpamScore = 98;     // LearnTokens learns spam only at or above it
  uint32_t MaxSelectedWords = 15;  // most words that take part in one score
  uint32_t MinWordLength = 3;      // shortest token kept
  uint32_t MaxWordLength = 15;     // longest token kept
  uint32_t AgeingAge = 864000;     // ten days: words not seen for longer are aged
  uint32_t MinWordCount = 5;       // fewer occurrences make a word neutral
  RecomputeMode recompute = RecomputeMode::kLazy;
};

class BayesEngine {
 public:
  // What LookupWord finds: the probability that scoring uses, and the counts.
  struct Lookup {
    float probability;
    int32_t spamCount;
    int32_t cleanCount;
  };

  BayesEngine(const Clock& clock, FileSystem& fs, const BayesOptions& options = {});
  // Closes the engine unless Close ran already.
  virtual ~BayesEngine();
  BayesEngine(const BayesEngine&) = delete;
  BayesEngine& operator=(const BayesEngine&) = delete;

  const BayesOptions& options() const { return options_; }

  // Where the database lives; empty for none: then nothing is read or written.
  const std::string& databasePath() const { return databasePath_; }
  void SetDatabasePath(std::string path) { databasePath_ = std::move(path); }
  // Database file. Load: false when the path is empty or the file cannot be
  // read, with the reason in *why when given. Save: writes when forced,
  // changed or due for ageing, keeping the old file as "<path>.bak"; a failed
  // write leaves the table, the counters and the flags as they were and says
  // why, naming the file. Showing it to the user is the caller's business.
  bool Load(Status* why = nullptr);
  Status Save(bool force);
  bool CreateEmptyDatabase();
  // The forced save and the ignore-word file that destruction would write,
  // for an owner that wants to hear how the save went; destruction then
  // writes nothing, unless something is learnt in between.
  Status Close();

  // True when the table has not changed since the last load or save.
  bool databaseClean() const { return databaseClean_; }
  bool purgeOnNextSave() const { return purgeOnNextSave_; }
  int32_t lastAgeingTime() const { return lastAgeingTime_; }
  // Ageing is measured from now on, as at start-up.
  void StartAgeingClock() { lastAgeingTime_ = clock_.Now(); }
  int32_t spamMessageCount() const { return spamMessageCount_; }
  int32_t cleanMessageCount() const { return cleanMessageCount_; }
  const WordTable& WordDatabase() const { return WordDatabase_; }

  // text is the tokenizer's working copy.
  uint32_t Tokenize(std::string text, TokenTable* table) const;
  // Calls visit with every word Tokenize would count, in the order of the
  // text, repeats included.
  void VisitWords(std::string text, const std::function<void(std::string_view)>& visit) const;
  std::optional<Lookup> LookupWord(std::string_view word) const;

  // Scoring.
  void SelectWords(const TokenTable& tokens, SelectedWords* selected, uint32_t limit);
  bool ComputeScore(const TokenTable& tokens, SelectedWords* selected, uint32_t* score);
  bool IsSpamScore(uint32_t score) const { return options_.SpamThreshold < score; }
  bool ClassifyText(std::string text, TokenTable* tokens, SelectedWords* selected, uint32_t* score);

  // Learning. LearnTokens: false when the score lies in the band where nothing
  // is learnt. TrainTokens: the number of correction passes.
  bool LearnTokens(const TokenTable& tokens, uint32_t score);
  void MoveTokens(const TokenTable& tokens, bool wrongSpam);
  int32_t TrainTokens(const TokenTable& tokens, uint32_t wrongScore, int32_t moves);
  void RecomputeProbabilities();
  // Removes every word and writes the file (forced); counters stay.
  Status EmptyDatabase();

  // Ignore words.
  void LoadIgnoreWords(const std::string& path);
  void AddIgnoreWord(std::string_view word) { IgnoreWords_.AddIgnoreWord(word); }
  bool IsIgnored(std::string_view word) const { return IgnoreWords_.IsIgnored(word); }
  void SaveIgnoreWords();
  // Where the ignore words are written back; empty for nowhere.
  const std::string& ignorePath() const { return ignorePath_; }

  // The stored probability of an entry, as a walk over the table after the
  // last learning step would have left it.
  float StoredProbability(const WordEntry& entry) const;

  static constexpr int32_t kAgeingInterval = 172800;  // two days
  static constexpr int kMaxCorrectionPasses = 25;

 private:
  // Tests set up tables and states that no file or message gives.
  friend class BayesEnginePeer;

  // Adds the tokens' occurrences to the class's count of each word.
  void CountTokens(const TokenTable& tokens, bool spam, int32_t now);
  Status WriteDatabase(bool ageing_due, int32_t now);

  const BayesOptions options_;
  const Clock& clock_;
  FileSystem& fs_;
  tarvex::IgnoreWords IgnoreWords_;
  std::string ignorePath_;
  mutable std::recursive_mutex lock_;
  WordTable WordDatabase_;
  int32_t spamMessageCount_ = 0;
  int32_t cleanMessageCount_ = 0;
  bool databaseClean_ = false;
  std::string databasePath_;
  int32_t lastAgeingTime_ = 0;
  bool purgeOnNextSave_ = true;
  float databaseVersion_ = 1.01f;
  bool closed_ = false;
  // Bumped by every recompute: entries pinned in an older generation take the
  // probability rule's value for their current counts.
  uint32_t generation_ = 1;
};

}  // namespace tarvex

#endif  // TARVEX_BAYES_BAYES_ENGINE_H_
