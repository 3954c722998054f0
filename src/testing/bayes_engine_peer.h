// Test access to the Bayesian engine's private state.
#ifndef TARVEX_TESTING_BAYES_ENGINE_PEER_H_
#define TARVEX_TESTING_BAYES_ENGINE_PEER_H_

#include <cstdint>

#include "bayes/bayes_engine.h"
#include "bayes/word_table.h"

namespace tarvex {

// Reaches the engine's state where a test needs a table or a state that no
// file or message gives.
class BayesEnginePeer {
 public:
  explicit BayesEnginePeer(BayesEngine& engine) : engine_(engine) {}
  WordTable& WordDatabase() { return engine_.WordDatabase_; }
  void SetMessageCounts(int32_t spam, int32_t clean) {
    engine_.spamMessageCount_ = spam;
    engine_.cleanMessageCount_ = clean;
  }
  void SetLastAgeingTime(int32_t time) { engine_.lastAgeingTime_ = time; }

 private:
  BayesEngine& engine_;
};

}  // namespace tarvex

#endif  // TARVEX_TESTING_BAYES_ENGINE_PEER_H_
