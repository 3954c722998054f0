// The engine of the Bayesian filter: the word table, the message counters, the
// ignore words, the database file and the operations that score and learn.
//
// Thread safety: one recursive lock guards the table, the counters, the flags
// and the database file. Tokenize and IsIgnored read the ignore words without
// it: they change only while the filter starts up.
#ifndef TARVEX_BAYES_BAYES_ENGINE_H_
#define TARVEX_BAYES_BAYES_ENGINE_H_

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "bayes/database_file.h"
#include "bayes/ignore_words.h"
#include "bayes/scoring.h"
#include "bayes/tokenizer.h"
#include "bayes/word_table.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "ui/user_interface.h"

namespace tarvex {

// How the probabilities of the whole table are brought up to date after a
// learning step. Both give the same results; kWalk visits every word and is the
// reference that kLazy is tested against.
enum class RecomputeMode { kLazy, kWalk };

class BayesEngine {
 public:
  // What LookupWord finds: the probability that scoring uses, and the counts.
  struct Lookup {
    float probability;
    int32_t spamCount;
    int32_t cleanCount;
  };

  BayesEngine(const Clock& clock, FileSystem& fs, UserInterface& ui,
              RecomputeMode mode = RecomputeMode::kLazy);
  // Saves the database (forced), then writes the ignore-word file.
  virtual ~BayesEngine();
  BayesEngine(const BayesEngine&) = delete;
  BayesEngine& operator=(const BayesEngine&) = delete;

  // Database file. Load: false when the path is empty or the file cannot be
  // read, with the reason in *why when given. Save: writes when forced,
  // changed or due for ageing, keeping the old file as "<path>.bak"; returns
  // databaseClean afterwards; a failed write shows "Cannot save database
  // (path)" and leaves the table, the counters and the flags as they were.
  bool Load(Status* why = nullptr);
  bool Save(int force);
  // Why the last save failed to write; ok when it wrote or had nothing to write.
  const Status& lastSaveStatus() const { return lastSaveStatus_; }
  bool CreateEmptyDatabase();

  // text is the tokenizer's working copy.
  uint32_t Tokenize(std::string text, TokenTable* table) const;
  std::optional<Lookup> LookupWord(std::string_view word) const;

  // Scoring.
  void SelectWords(const TokenTable& tokens, SelectedWords* selected, uint32_t limit);
  bool ComputeScore(const TokenTable& tokens, SelectedWords* selected, uint32_t* score);
  bool IsSpamScore(uint32_t score) const { return SpamThreshold < score; }
  bool ClassifyText(std::string text, TokenTable* tokens, SelectedWords* selected, uint32_t* score);

  // Learning. LearnTokens: false when the score lies in the band where nothing
  // is learnt. TrainTokens: the number of correction passes.
  bool LearnTokens(const TokenTable& tokens, uint32_t score);
  void MoveTokens(const TokenTable& tokens, bool wrongSpam);
  int32_t TrainTokens(const TokenTable& tokens, uint32_t wrongScore, int32_t moves);
  void RecomputeProbabilities();
  // Removes every word and writes the file (forced); counters stay.
  bool EmptyDatabase();

  // Ignore words.
  void LoadIgnoreWords(const std::string& path);
  void AddIgnoreWord(std::string_view word) { IgnoreWords.AddIgnoreWord(word); }
  bool IsIgnored(std::string_view word) const { return IgnoreWords.IsIgnored(word); }
  void SaveIgnoreWords();

  // The stored probability of an entry, as a walk over the table after the
  // last learning step would have left it.
  float StoredProbability(const WordEntry& entry) const;

  // Fields.
  tarvex::IgnoreWords IgnoreWords;
  std::string ignorePath;
  mutable std::recursive_mutex lock;
  WordTable WordDatabase;
  int32_t spamMessageCount = 0;
  int32_t cleanMessageCount = 0;
  const uint32_t SpamThreshold = 90;
  const uint32_t SureSpamScore = 98;
  const uint32_t MaxSelectedWords = 15;
  const uint32_t MinWordLength = 3;
  const uint32_t MaxWordLength = 15;
  const uint32_t AgeingAge = 864000;  // ten days
  const uint32_t MinWordCount = 5;
  int32_t databaseClean = 0;
  std::string databasePath;
  int32_t lastAgeingTime = 0;
  int32_t purgeOnNextSave = 1;
  float databaseVersion = 1.01f;

  static constexpr int32_t kAgeingInterval = 172800;  // two days
  static constexpr int kMaxCorrectionPasses = 25;

 private:
  // Adds the tokens' occurrences to the class's count of each word.
  void CountTokens(const TokenTable& tokens, bool spam, int32_t now);
  Status WriteDatabase(bool ageing_due, int32_t now);
  void ReportSaveError() const;

  const Clock& clock_;
  FileSystem& fs_;
  UserInterface& ui_;
  const RecomputeMode mode_;
  // Bumped by every recompute: entries pinned in an older generation take the
  // probability rule's value for their current counts.
  uint32_t generation_ = 1;
  Status lastSaveStatus_;
};

}  // namespace tarvex

#endif  // TARVEX_BAYES_BAYES_ENGINE_H_
