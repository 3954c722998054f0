// The Bayesian filter as the rest of the system sees it: start-up, scoring a
// message, learning and correcting, saving and emptying the word database.
#ifndef TARVEX_BAYES_BAYES_FILTER_H_
#define TARVEX_BAYES_BAYES_FILTER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "bayes/bayes_engine.h"
#include "bayes/message_score.h"
#include "settings/filter_settings.h"

namespace tarvex {

class BayesFilter {
 public:
  BayesFilter(const Clock& clock, FileSystem& fs, RecomputeMode mode = RecomputeMode::kLazy)
      : engine_(clock, fs, OptionsFor(mode)) {}
  // Destroying the filter saves the database (forced) and the ignore words,
  // unless Close did.
  virtual ~BayesFilter() = default;

  // Reads the word database and the ignore words from the paths in the
  // settings, creating an empty database file where there is none. A
  // database that exists but cannot be read is left alone and never written:
  // loadStatus() then says why, and the filter works on an empty table.
  bool LoadAtStartup(const FilterSettings& settings);
  const Status& loadStatus() const { return loadStatus_; }

  // Scores header text, a blank line and body. True for spam, also when
  // `nonEnglishTest` is on and the message holds three bytes above 127 in a
  // row; then only `nonEnglish` is filled in.
  bool ScoreMessage(std::string body, MessageScore& score, bool nonEnglishTest = true);
  // Learns the message as spam or clean. Always learnt.
  bool LearnMessage(std::string body, std::string header, bool isSpam);
  // Moves a misjudged message to the other side (wasSpam: it is clean)
  // and trains on it until its verdict flips. Returns the correction passes.
  int32_t RelearnMessage(std::string body, std::string header, bool wasSpam);
  // Calls visit with every word that scoring counts in the message, in the
  // order of its text (header, then body) and once per occurrence: what the
  // filter saw before it counted. A message the non-English test decides is
  // not scored at all.
  void VisitMessageWords(const std::string& header, const std::string& body,
                         const std::function<void(std::string_view)>& visit) const;
  // Saves when the table changed or ageing is due. A failure names the file
  // and the reason; the table stays as it was, for the next save.
  Status SaveDatabase() { return engine_.Save(false); }
  // Removes every word and saves at once.
  Status EmptyDatabase() { return engine_.EmptyDatabase(); }
  // The save that destruction would do, told to the caller; see
  // BayesEngine::Close.
  Status Close() { return engine_.Close(); }
  bool databaseClean() const { return engine_.databaseClean(); }
  const std::string& databasePath() const { return engine_.databasePath(); }
  uint32_t WordCount() const { return static_cast<uint32_t>(engine_.WordDatabase().size()); }

  int32_t SpamMessageCount() const { return engine_.spamMessageCount(); }
  int32_t CleanMessageCount() const { return engine_.cleanMessageCount(); }
  BayesEngine& engine() { return engine_; }
  const BayesEngine& engine() const { return engine_; }

 private:
  static BayesOptions OptionsFor(RecomputeMode mode) {
    BayesOptions options;
    options.recompute = mode;
    return options;
  }

  BayesEngine engine_;
  Status loadStatus_;
};

// The text the filter reads for a message: header text, a blank line, body.
std::string MessageText(const std::string& header, std::string body);

}  // namespace tarvex

#endif  // TARVEX_BAYES_BAYES_FILTER_H_
