#include "bayes/bayes_filter.h"

namespace tarvex {
namespace {

constexpr size_t kPathBufferSize = 260;

}  // namespace

std::string MessageText(const std::string& header, std::string body) {
  std::string text;
  text.reserve(header.size() + 2 + body.size());
  text.append(header).append("\n\n").append(body);
  // The body goes now rather than with the caller's expression: a large
  // message is held twice only for this copy.
  std::string().swap(body);
  return text;
}

bool BayesFilter::LoadAtStartup(const FilterSettings& settings) {
  engine_.StartAgeingClock();
  char path[kPathBufferSize];
  if (settings.GetWordFilePath(path, sizeof path)) {
    engine_.SetDatabasePath(path);
    Status why;
    if (!engine_.Load(&why) && why.IsNotFound()) {
      if (engine_.CreateEmptyDatabase()) engine_.Load();
    } else if (!why.ok()) {
      // A database that is there but cannot be read is never replaced: the
      // filter goes on without a file, and whoever started it says why.
      loadStatus_ =
          why.WithNote("the word database is left as it is, not replaced by an empty one");
      engine_.SetDatabasePath(std::string());
    }
  }
  if (settings.GetIgnoreFilePath(path, sizeof path)) {
    engine_.LoadIgnoreWords(path);
  }
  return true;
}

bool BayesFilter::ScoreMessage(std::string body, MessageScore& score, bool nonEnglishTest) {
  if (nonEnglishTest && (IsNonEnglish(score.headerText) || IsNonEnglish(body))) {
    score.nonEnglish = 1;
    return true;
  }
  score.nonEnglish = 0;
  TokenTable tokens;
  SelectedWords selected;
  uint32_t value = 0;
  const bool spam = engine_.ClassifyText(MessageText(score.headerText, std::move(body)), &tokens,
                                         &selected, &value);
  score.score = static_cast<int32_t>(value);
  score.isSpam = spam;
  score.scored = 1;
  score.topWords = TopWordsText(selected);
  score.selectedWords = std::move(selected);
  score.verdictText = spam ? "Spam" : "Clean";
  return spam;
}

void BayesFilter::VisitMessageWords(const std::string& header, const std::string& body,
                                    const std::function<void(std::string_view)>& visit) const {
  engine_.VisitWords(MessageText(header, body), visit);
}

bool BayesFilter::LearnMessage(std::string body, std::string header, bool isSpam) {
  TokenTable tokens;
  engine_.Tokenize(MessageText(header, std::move(body)), &tokens);
  return engine_.LearnTokens(tokens, isSpam ? 100 : 0);
}

int32_t BayesFilter::RelearnMessage(std::string body, std::string header, bool wasSpam) {
  TokenTable tokens;
  if (engine_.Tokenize(MessageText(header, std::move(body)), &tokens) == 0) return 0;
  return engine_.TrainTokens(tokens, wasSpam ? 100 : 0, 1);
}

}  // namespace tarvex
