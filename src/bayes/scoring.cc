#include "bayes/scoring.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace tarvex {
namespace {

double Distance(float probability) { return std::fabs(static_cast<double>(probability) - 0.5); }

}  // namespace

bool IsNonEnglish(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  int run = 0;
  while (p < end) {
    // Most mail is ASCII: skip eight bytes at a time while none is above 127.
    if (run == 0 && end - p >= 8) {
      uint64_t chunk;
      std::memcpy(&chunk, p, 8);
      if ((chunk & 0x8080808080808080u) == 0) {
        p += 8;
        continue;
      }
    }
    run = static_cast<unsigned char>(*p++) > 127 ? run + 1 : 0;
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

void WordSelection::Offer(std::string_view word, const WordRecord& record) {
  if (selected_.size() < limit_) {
    selected_.push_back({std::string(word), record});
    if (selected_.size() == limit_) FindNearest();
    return;
  }
  if (selected_.empty()) return;
  if (Distance(record.probability) > Distance(selected_[nearest_].record.probability)) {
    selected_.erase(selected_.begin() + static_cast<std::ptrdiff_t>(nearest_));
    selected_.push_back({std::string(word), record});
    FindNearest();
  }
}

void WordSelection::FindNearest() {
  nearest_ = 0;
  for (size_t i = 1; i < selected_.size(); ++i) {
    if (Distance(selected_[i].record.probability) <
        Distance(selected_[nearest_].record.probability)) {
      nearest_ = i;
    }
  }
}

}  // namespace tarvex
