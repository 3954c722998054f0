#include "bayes/scoring.h"

#include <cmath>
#include <cstdio>

namespace tarvex {
namespace {

double Distance(float probability) { return std::fabs(static_cast<double>(probability) - 0.5); }

}  // namespace

bool IsNonEnglish(std::string_view text) {
  int run = 0;
  for (char c : text) {
    run = static_cast<unsigned char>(c) > 127 ? run + 1 : 0;
    if (run == 3) return true;
  }
  return false;
}

uint32_t CombineProbabilities(const SelectedWords& selected) {
  if (selected.empty()) return 50;
  double spamness = 1, hamness = 1;
  for (const SelectedWord& s : selected) {
    double p = s.record.probability;
    if (p <= 0) p = 0.0001f;
    spamness *= p;
    hamness *= 1 - p;
  }
  if (spamness + hamness == 0) return 100;
  // The product is rounded to single precision before the quotient, as the
  // stored scores of existing messages were computed that way.
  const double rounded = static_cast<float>(spamness);
  return static_cast<uint32_t>(rounded / (spamness + hamness) * 100.0);
}

std::string TopWordsText(const SelectedWords& selected) {
  std::string text;
  for (const SelectedWord& s : selected) {
    double percent = static_cast<double>(s.record.probability) * 100.0;
    percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    char number[16];
    std::snprintf(number, sizeof number, " %d", static_cast<int>(percent));
    text.append(" ").append(s.word).append(number);
  }
  if (!selected.empty()) text.append("\r\n");
  return text;
}

void OfferWord(SelectedWords& selected, std::string_view word, const WordRecord& record,
               uint32_t limit) {
  if (selected.size() < limit) {
    selected.push_back({std::string(word), record});
    return;
  }
  if (selected.empty()) return;
  size_t nearest = 0;
  for (size_t i = 1; i < selected.size(); ++i) {
    if (Distance(selected[i].record.probability) < Distance(selected[nearest].record.probability)) {
      nearest = i;
    }
  }
  if (Distance(record.probability) > Distance(selected[nearest].record.probability)) {
    selected.erase(selected.begin() + static_cast<std::ptrdiff_t>(nearest));
    selected.push_back({std::string(word), record});
  }
}

}  // namespace tarvex
