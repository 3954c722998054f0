#include "bayes/bayes_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/codepage.h"

namespace tarvex {
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// The probability rule: spam occurrences per spam message against clean
// occurrences per clean message, the clean side counting double.
float ProbabilityRule(int32_t spamCount, int32_t cleanCount, int32_t spamMessages,
                      int32_t cleanMessages) {
  const double spam_messages = spamMessages == 0 ? 1 : spamMessages;
  const double clean_messages = cleanMessages == 0 ? 1 : cleanMessages;
  const double a = spamCount / spam_messages;
  const double b = 2.0 * cleanCount / clean_messages;
  if (a + b == 0) return 1.0f;
  double p = a / (a + b);
  if (p > 1.0) p = 1.0;
  if (p < 0.0001) p = 0.0001;
  return static_cast<float>(p);
}

// A count decreases but never below 0.
int32_t Decrease(int32_t count, int32_t by) { return count > by ? count - by : 0; }

}  // namespace

BayesEngine::BayesEngine(const Clock& clock, FileSystem& fs, const BayesOptions& options)
    : options_(options), clock_(clock), fs_(fs) {}

// An owner that did not close the engine has no one to tell of a failed
// save: the file is still written when it can be.
BayesEngine::~BayesEngine() {
  if (!closed_) Close();
}

Status BayesEngine::Close() {
  const Status saved = Save(true);
  SaveIgnoreWords();
  closed_ = true;
  return saved;
}

float BayesEngine::StoredProbability(const WordEntry& entry) const {
  if (entry.pinnedAt == generation_) return entry.record.probability;
  return ProbabilityRule(entry.record.spamCount, entry.record.cleanCount, spamMessageCount_,
                         cleanMessageCount_);
}

std::optional<BayesEngine::Lookup> BayesEngine::LookupWord(std::string_view word) const {
  const WordEntry* entry = WordDatabase_.Find(word);
  if (!entry) return std::nullopt;
  const int32_t s = entry->record.spamCount, c = entry->record.cleanCount;
  float p;
  if (static_cast<int64_t>(s) + c == 0) {
    p = 0.5f;
  } else if (c == 0) {
    p = s > 10 ? 0.9999f : 0.9998f;
  } else if (s == 0) {
    p = c > 10 ? 0.0001f : 0.0002f;
  } else {
    p = StoredProbability(*entry);
  }
  return Lookup{p, s, c};
}

uint32_t BayesEngine::Tokenize(std::string text, TokenTable* table) const {
  return TokenizeInPlace(text, IgnoreWords_, {options_.MinWordLength, options_.MaxWordLength},
                         table);
}

void BayesEngine::VisitWords(std::string text,
                             const std::function<void(std::string_view)>& visit) const {
  VisitWordsInPlace(text, IgnoreWords_, {options_.MinWordLength, options_.MaxWordLength}, visit);
}

// ---------------------------------------------------------------- scoring

void BayesEngine::SelectWords(const TokenTable& tokens, SelectedWords* selected, uint32_t limit) {
  Guard guard(lock_);
  WordSelection selection(selected, limit);
  const int32_t now = clock_.Now();
  constexpr size_t kLookahead = 8;
  for (size_t i = 0; i < tokens.size() && i < kLookahead; ++i) {
    WordDatabase_.Prefetch(tokens[i].word);
  }
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    if (i + kLookahead < tokens.size()) WordDatabase_.Prefetch(tokens[i + kLookahead].word);
    std::optional<Lookup> found = LookupWord(token.word);
    if (!found) {
      // Try the word with its trailing "!" removed one at a time, keeping the
      // most telling variant that was seen often enough.
      std::string_view variant = token.word;
      for (;;) {
        std::optional<Lookup> v = LookupWord(variant);
        if (v && static_cast<int64_t>(v->spamCount) + v->cleanCount >= options_.MinWordCount &&
            (!found || std::fabs(static_cast<double>(v->probability) - 0.5) >
                           std::fabs(static_cast<double>(found->probability) - 0.5))) {
          found = v;
        }
        if (variant.size() < options_.MinWordLength || variant.back() != '!') break;
        variant.remove_suffix(1);
      }
    }
    WordRecord record{0, 0, 0.2f, now};
    if (found) record = {found->spamCount, found->cleanCount, found->probability, now};
    if (static_cast<int64_t>(record.spamCount) + record.cleanCount < options_.MinWordCount) {
      record.probability = 0.5f;
    }
    selection.Offer(token.word, record);
  }
}

bool BayesEngine::ComputeScore(const TokenTable& tokens, SelectedWords* selected, uint32_t* score) {
  SelectWords(tokens, selected, options_.MaxSelectedWords);
  *score = CombineProbabilities(*selected);
  return IsSpamScore(*score);
}

bool BayesEngine::ClassifyText(std::string text, TokenTable* tokens, SelectedWords* selected,
                               uint32_t* score) {
  *score = 0;
  if (Tokenize(std::move(text), tokens) == 0) return false;
  return ComputeScore(*tokens, selected, score);
}

// ---------------------------------------------------------------- learning

void BayesEngine::CountTokens(const TokenTable& tokens, bool spam, int32_t now) {
  for (const Token& token : tokens) {
    WordRecord& record = WordDatabase_.FindOrInsert(token.word).record;
    record.lastSeen = now;
    int32_t& count = spam ? record.spamCount : record.cleanCount;
    count = AddCount(count, token.count);
  }
}

bool BayesEngine::LearnTokens(const TokenTable& tokens, uint32_t score) {
  Guard guard(lock_);
  const bool spam = score >= options_.SureSpamScore;
  if (!spam && score >= options_.SpamThreshold) return false;
  CountTokens(tokens, spam, clock_.Now());
  int32_t& messages = spam ? spamMessageCount_ : cleanMessageCount_;
  messages = AddCount(messages, 1);
  RecomputeProbabilities();
  return true;
}

void BayesEngine::MoveTokens(const TokenTable& tokens, bool wrongSpam) {
  Guard guard(lock_);
  const int32_t now = clock_.Now();
  for (const Token& token : tokens) {
    WordEntry* entry = WordDatabase_.Find(token.word);
    if (!entry) {
      entry = &WordDatabase_.FindOrInsert(token.word);
      entry->record.probability = 0.5f;
    }
    WordRecord& record = entry->record;
    record.lastSeen = now;
    int32_t& target = wrongSpam ? record.cleanCount : record.spamCount;
    int32_t& other = wrongSpam ? record.spamCount : record.cleanCount;
    target = AddCount(target, token.count);
    other = Decrease(other, token.count);
  }
  int32_t& target_messages = wrongSpam ? cleanMessageCount_ : spamMessageCount_;
  int32_t& other_messages = wrongSpam ? spamMessageCount_ : cleanMessageCount_;
  target_messages = AddCount(target_messages, 1);
  if (other_messages > 0) --other_messages;
  RecomputeProbabilities();
}

int32_t BayesEngine::TrainTokens(const TokenTable& tokens, uint32_t wrongScore, int32_t moves) {
  const bool wrongSpam = IsSpamScore(wrongScore);
  for (int32_t i = 0; i < moves; ++i) MoveTokens(tokens, wrongSpam);
  int32_t passes = 0;
  for (int i = 0; i < kMaxCorrectionPasses; ++i) {
    SelectedWords selected;
    uint32_t score;
    ComputeScore(tokens, &selected, &score);
    if (wrongSpam ? score <= options_.SpamThreshold / 2 : score > options_.SpamThreshold) break;
    ++passes;
    if (selected.empty()) break;
    LearnTokens(tokens, wrongSpam ? 0 : 100);
  }
  return passes;
}

void BayesEngine::RecomputeProbabilities() {
  Guard guard(lock_);
  if (options_.recompute == RecomputeMode::kWalk) {
    for (WordTable::Item& item : WordDatabase_.items()) {
      WordEntry& entry = item.entry;
      entry.record.probability = ProbabilityRule(entry.record.spamCount, entry.record.cleanCount,
                                                 spamMessageCount_, cleanMessageCount_);
      entry.pinnedAt = generation_;
    }
  } else if (generation_ == std::numeric_limits<uint32_t>::max()) {
    // Out of generations: unpin everything and start counting again.
    for (WordTable::Item& item : WordDatabase_.items()) item.entry.pinnedAt = 0;
    generation_ = 1;
  } else {
    ++generation_;
  }
  databaseClean_ = false;
  closed_ = false;  // what was learnt after Close is saved at destruction
}

Status BayesEngine::EmptyDatabase() {
  {
    Guard guard(lock_);
    WordDatabase_.Clear();
  }
  return Save(true);
}

// ---------------------------------------------------------------- database file

bool BayesEngine::Load(Status* why) {
  if (databasePath_.empty()) return false;
  Guard guard(lock_);
  std::string text;
  const Status read = fs_.Read(databasePath_, &text);
  if (why != nullptr) *why = read;
  if (!read.ok()) return false;
  Scramble(text.data(), text.size());
  WordDatabase_.Clear();
  WordDatabase_.Reserve(text.size() / 32);  // a typical line is longer
  DatabaseHeader header{0, 0, databaseVersion_};
  const bool repaired = ParseDatabaseText(text, clock_.Now(), generation_, &WordDatabase_, &header);
  spamMessageCount_ = header.spamMessageCount;
  cleanMessageCount_ = header.cleanMessageCount;
  databaseVersion_ = header.databaseVersion;
  databaseClean_ = !repaired;
  return true;
}

Status BayesEngine::Save(bool force) {
  const int32_t now = clock_.Now();
  const bool ageing_due =
      static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(lastAgeingTime_)) >
      kAgeingInterval;
  Status status;
  if (!databasePath_.empty() && (force || !databaseClean_ || ageing_due)) {
    status = WriteDatabase(ageing_due, now);
  }
  if (ageing_due) lastAgeingTime_ = now;
  return status;
}

// Writes the file, purging malformed words on the first save and ageing words
// not seen for options_.AgeingAge when ageing is due. The table learns of the purge,
// the ageing and the stored probabilities only once the file is in place: a
// save that fails at any step leaves everything as it was.
Status BayesEngine::WriteDatabase(bool ageing_due, int32_t now) {
  Guard guard(lock_);
  std::unique_ptr<WritableFile> file;
  Status status = fs_.NewWritableFile(databasePath_, Backup::kKeepPrevious, &file);
  if (!status.ok()) return status;
  std::string text;
  text.reserve(WordDatabase_.size() * 40 + 64);
  AppendHeaderLines({spamMessageCount_, cleanMessageCount_, databaseVersion_}, &text);
  struct Written {
    WordEntry* entry;
    WordRecord record;
  };
  std::vector<Written> written;
  std::vector<std::string> removed;
  written.reserve(WordDatabase_.size());
  for (WordTable::Item* item : WordDatabase_.Sorted()) {
    const std::string& word = item->word;
    WordRecord record = item->entry.record;
    float probability = StoredProbability(item->entry);
    if (purgeOnNextSave_) {
      if (word.empty() ||
          (!cp1252::IsLetterOrDigit(static_cast<unsigned char>(word[0])) && word[0] != '$')) {
        removed.push_back(word);
        continue;
      }
      record.spamCount = Decrease(record.spamCount, 0);
      record.cleanCount = Decrease(record.cleanCount, 0);
    }
    if (ageing_due &&
        static_cast<uint32_t>(now) - static_cast<uint32_t>(record.lastSeen) > options_.AgeingAge) {
      record.spamCount = Decrease(record.spamCount, 1);
      record.cleanCount = Decrease(record.cleanCount, 1);
      if (record.spamCount == 0 && record.cleanCount == 0) {
        removed.push_back(word);
        continue;
      }
    }
    if (probability < 0.0001f) probability = 0.0001f;
    if (probability > 1.0f) probability = 1.0f;
    record.probability = probability;
    AppendWordLine(word, record, &text);
    written.push_back({&item->entry, record});
  }
  Scramble(text.data(), text.size());
  status = file->Append(text);
  if (status.ok()) status = file->Commit();
  if (!status.ok()) return status;
  for (const Written& w : written) {
    w.entry->record = w.record;
    w.entry->pinnedAt = generation_;
  }
  for (const std::string& word : removed) WordDatabase_.Erase(word);
  databaseClean_ = true;
  purgeOnNextSave_ = false;
  return status;
}

bool BayesEngine::CreateEmptyDatabase() {
  if (databasePath_.empty()) return false;
  Guard guard(lock_);
  std::string text;
  AppendHeaderLines({spamMessageCount_, cleanMessageCount_, databaseVersion_}, &text);
  Scramble(text.data(), text.size());
  return WriteWholeFile(fs_, databasePath_, text).ok();
}

// ---------------------------------------------------------------- ignore words

void BayesEngine::LoadIgnoreWords(const std::string& path) {
  std::string text;
  const Status read = fs_.Read(path, &text);
  if (read.ok()) IgnoreWords_.AddWordsOf(text);
  // The file is written back at shutdown from what was read: one that is
  // there but could not be read would be emptied.
  ignorePath_ = read.ok() || read.IsNotFound() ? path : std::string();
}

void BayesEngine::SaveIgnoreWords() {
  if (!ignorePath_.empty()) WriteWholeFile(fs_, ignorePath_, IgnoreWords_.FileText());
}

}  // namespace tarvex
