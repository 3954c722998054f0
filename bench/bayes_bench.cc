// Throughput of the Bayesian filter's hot paths: tokenizing, scoring, learning
// and saving the word database.
//
// With TARVEX_CORPUS naming a folder that holds easy-ham-1, easy-ham-2,
// hard-ham-1, spam-1 and spam-2 (raw messages as *.txt), up to a few hundred of
// those messages are used. Without it the messages are generated: mail-like
// text with headers, words, amounts, HTML and base64 lines, the same on every
// run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bayes/bayes_engine.h"
#include "bayes/bayes_filter.h"
#include "bayes/message_score.h"
#include "bayes/tokenizer.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "settings/filter_settings.h"
#include "settings/settings_store.h"

namespace tarvex {
namespace {

constexpr int32_t kNow = 1'700'000'000;
constexpr size_t kMessagesPerFolder = 80;
constexpr size_t kSyntheticMessages = 300;

struct Message {
  std::string header;
  std::string body;
  bool spam;
  size_t size() const { return header.size() + body.size(); }
};

// Splits a raw message at its first empty line.
Message SplitMessage(const std::string& raw, bool spam) {
  size_t blank = raw.find("\n\n");
  size_t skip = 2;
  const size_t crlf = raw.find("\r\n\r\n");
  if (crlf != std::string::npos && crlf < blank) blank = crlf, skip = 4;
  if (blank == std::string::npos) return {raw, std::string(), spam};
  return {raw.substr(0, blank), raw.substr(blank + skip), spam};
}

std::vector<Message> LoadCorpus(const std::filesystem::path& root) {
  const struct {
    const char* folder;
    bool spam;
  } folders[] = {{"easy-ham-1", false},
                 {"easy-ham-2", false},
                 {"hard-ham-1", false},
                 {"spam-1", true},
                 {"spam-2", true}};
  std::vector<Message> messages;
  for (const auto& f : folders) {
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(root / f.folder, ec)) {
      if (entry.path().extension() == ".txt") files.push_back(entry.path());
    }
    // Directory order is arbitrary; sorting keeps the chosen messages stable.
    std::sort(files.begin(), files.end());
    if (files.size() > kMessagesPerFolder) files.resize(kMessagesPerFolder);
    for (const auto& path : files) {
      std::ifstream in(path, std::ios::binary);
      std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (!raw.empty()) messages.push_back(SplitMessage(raw, f.spam));
    }
  }
  return messages;
}

// A small linear congruential generator: the synthetic messages must not
// depend on the standard library's distributions, which differ between
// implementations.
class Lcg {
 public:
  explicit Lcg(uint64_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state_ >> 33);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }

 private:
  uint64_t state_;
};

const char* const kCleanWords[] = {
    "meeting", "project", "schedule", "attached", "report",  "thanks",  "regards", "tomorrow",
    "review",  "kernel",  "release",  "patch",    "mailing", "version", "server",  "question",
    "weekend", "family",  "dinner",   "compile",  "library", "update",  "build",   "document"};
const char* const kSpamWords[] = {"FREE",      "money",    "offer",     "click",       "guaranteed",
                                  "credit",    "viagra",   "casino",    "winner",      "Limited",
                                  "insurance", "mortgage", "cash",      "unsubscribe", "remove",
                                  "discount",  "order",    "cheap",     "prize",       "Act",
                                  "bonus!!",   "million",  "investment"};
const char* const kCommonWords[] = {"the",  "and",  "you",   "your", "for",  "with", "this",
                                    "that", "from", "have",  "will", "are",  "not",  "all",
                                    "can",  "more", "about", "here", "just", "now",  "it's"};

template <size_t N>
const char* Pick(Lcg& rng, const char* const (&words)[N]) {
  return words[rng.Below(N)];
}

// A word that leans towards the message's class.
const char* PickTopic(Lcg& rng, bool spam) {
  return spam ? Pick(rng, kSpamWords) : Pick(rng, kCleanWords);
}

std::string Base64Line(Lcg& rng) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string line;
  for (int i = 0; i < 76; ++i) line += kAlphabet[rng.Below(64)];
  return line + "\n";
}

Message SyntheticMessage(Lcg& rng, size_t index) {
  const bool spam = index % 2 == 1;
  std::ostringstream header;
  header << "Return-Path: <sender" << rng.Below(1000) << "@example" << rng.Below(50) << ".com>\n"
         << "Received: from mail" << rng.Below(100) << ".example.net ([" << rng.Below(256) << '.'
         << rng.Below(256) << '.' << rng.Below(256) << '.' << rng.Below(256)
         << "])\n\tby mx.example.org with ESMTP id " << rng.Next() << "\n"
         << "From: " << (spam ? "Deals" : "Colleague") << " <user" << rng.Below(500)
         << "@example.com>\n"
         << "To: me@example.org\n"
         << "Subject: " << PickTopic(rng, spam) << ' ' << Pick(rng, kCommonWords) << ' '
         << PickTopic(rng, spam) << "\n"
         << "Date: Thu, " << 1 + rng.Below(28) << " Aug 2002 1" << rng.Below(10) << ":0"
         << rng.Below(10) << ":00 +0100\n"
         << "Message-ID: <" << rng.Next() << '.' << index << "@example.com>\n"
         << "Content-Type: " << (spam ? "text/html" : "text/plain") << "; charset=iso-8859-1";

  std::ostringstream body;
  const int lines = 20 + static_cast<int>(rng.Below(40));
  for (int l = 0; l < lines; ++l) {
    const uint32_t kind = rng.Below(10);
    if (kind == 0) {
      body << Base64Line(rng);
      continue;
    }
    if (spam && kind == 1) body << "<font color=\"#FF0000\"><b>";
    const int words = 6 + static_cast<int>(rng.Below(10));
    for (int w = 0; w < words; ++w) {
      const uint32_t pick = rng.Below(10);
      if (pick < 5) {
        body << Pick(rng, kCommonWords);
      } else if (pick < 8) {
        body << PickTopic(rng, spam);
      } else if (pick == 8) {
        body << '$' << rng.Below(10) << ',' << 100 + rng.Below(900) << '.' << rng.Below(100);
      } else {
        body << "http://www.example" << rng.Below(20) << ".com/page" << rng.Below(100);
      }
      body << (w % 7 == 6 ? ". " : " ");
    }
    if (spam && kind == 1) body << "</b></font><br>";
    body << "\n";
  }
  return {header.str(), body.str(), spam};
}

std::vector<Message> SyntheticCorpus() {
  Lcg rng(20021201);
  std::vector<Message> messages;
  for (size_t i = 0; i < kSyntheticMessages; ++i) messages.push_back(SyntheticMessage(rng, i));
  return messages;
}

const std::vector<Message>& Corpus() {
  static const std::vector<Message> messages = [] {
    std::vector<Message> loaded;
    if (const char* root = std::getenv("TARVEX_CORPUS"); root != nullptr && *root != '\0') {
      loaded = LoadCorpus(root);
    }
    return loaded.empty() ? SyntheticCorpus() : loaded;
  }();
  return messages;
}

// A filter over in-memory files and settings with a clock that stands still,
// trained once on the whole corpus.
class TrainedFilter {
 public:
  explicit TrainedFilter(const std::string& databasePath = std::string()) {
    if (!databasePath.empty()) WriteStringValue(store_, "WordFilePath", databasePath);
    filter_.LoadAtStartup(settings_);
    for (const Message& m : Corpus()) filter_.LearnMessage(m.body, m.header, m.spam ? 1 : 0);
  }
  BayesFilter& filter() { return filter_; }
  MemoryFileSystem& fs() { return fs_; }

 private:
  ManualClock clock_{kNow};
  MemoryFileSystem fs_;
  MemorySettingsStore store_;
  FilterSettings settings_{store_};
  BayesFilter filter_{clock_, fs_};
};

void BM_Tokenize(benchmark::State& state) {
  const std::vector<Message>& messages = Corpus();
  std::vector<std::string> texts;
  for (const Message& m : messages) texts.push_back(MessageText(m.header, m.body));
  const IgnoreWords ignore;
  size_t i = 0;
  int64_t bytes = 0;
  for (auto _ : state) {
    const std::string& text = texts[i];
    i = (i + 1) % texts.size();
    TokenTable table;
    benchmark::DoNotOptimize(Tokenize(text, ignore, TokenizerLimits{}, &table));
    bytes += static_cast<int64_t>(text.size());
  }
  state.SetBytesProcessed(bytes);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Tokenize);

void BM_ScoreMessage(benchmark::State& state) {
  const std::vector<Message>& messages = Corpus();
  TrainedFilter trained;
  size_t i = 0;
  int64_t bytes = 0;
  for (auto _ : state) {
    const Message& m = messages[i];
    i = (i + 1) % messages.size();
    MessageScore score;
    score.headerText = m.header;
    // The non-English test would answer some messages without scoring them;
    // here every message goes through tokenizing and word selection.
    benchmark::DoNotOptimize(trained.filter().ScoreMessage(m.body, score, false));
    bytes += static_cast<int64_t>(m.size());
  }
  state.SetBytesProcessed(bytes);
  state.SetItemsProcessed(state.iterations());
  state.counters["words"] = static_cast<double>(trained.filter().WordCount());
}
BENCHMARK(BM_ScoreMessage);

void BM_LearnMessage(benchmark::State& state) {
  const std::vector<Message>& messages = Corpus();
  TrainedFilter trained;
  size_t i = 0;
  int64_t bytes = 0;
  for (auto _ : state) {
    const Message& m = messages[i];
    i = (i + 1) % messages.size();
    benchmark::DoNotOptimize(trained.filter().LearnMessage(m.body, m.header, m.spam ? 1 : 0));
    bytes += static_cast<int64_t>(m.size());
  }
  state.SetBytesProcessed(bytes);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LearnMessage);

void BM_SaveDatabase(benchmark::State& state) {
  const std::string path = "/profile/words.db";
  TrainedFilter trained(path);
  BayesEngine& engine = trained.filter().engine();
  for (auto _ : state) benchmark::DoNotOptimize(engine.Save(true));
  const size_t words = engine.WordDatabase().size();
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(words));
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(trained.fs().files()[path].size()));
  state.counters["words"] = static_cast<double>(words);
}
BENCHMARK(BM_SaveDatabase)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvex
