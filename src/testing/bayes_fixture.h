// A Bayesian filter over in-memory files, settings and a fixed clock.
#ifndef TARVEX_TESTING_BAYES_FIXTURE_H_
#define TARVEX_TESTING_BAYES_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bayes/bayes_filter.h"
#include "bayes/database_file.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "settings/filter_settings.h"
#include "testing/bayes_engine_peer.h"

namespace tarvex {

class BayesFixture : public ::testing::Test {
 protected:
  static constexpr int32_t kStart = 1'700'000'000;
  static constexpr int32_t kDay = 86400;
  const std::string kDatabase = "/profile/words.db";
  const std::string kIgnore = "/profile/ignore.txt";

  BayesFixture() {
    WriteStringValue(store, "WordFilePath", kDatabase);
    WriteStringValue(store, "IgnoreFilePath", kIgnore);
  }

  // Constructs the filter and loads it as start-up does.
  BayesFilter& Start(RecomputeMode mode = RecomputeMode::kLazy) {
    filter = std::make_unique<BayesFilter>(clock, fs, mode);
    filter->LoadAtStartup(settings);
    return *filter;
  }
  // Destroys the filter, which saves.
  void Stop() { filter.reset(); }
  BayesEngine& engine() { return filter->engine(); }
  BayesEnginePeer inside() { return BayesEnginePeer(engine()); }

  void PutDatabase(std::string text) {
    Scramble(text.data(), text.size());
    fs.files()[kDatabase] = text;
  }
  std::string DatabaseText() {
    std::string text = fs.files()[kDatabase];
    Scramble(text.data(), text.size());
    return text;
  }

  ManualClock clock{kStart};
  MemoryFileSystem fs;
  MemorySettingsStore store;
  FilterSettings settings{store};
  std::unique_ptr<BayesFilter> filter;
};

}  // namespace tarvex

#endif  // TARVEX_TESTING_BAYES_FIXTURE_H_
