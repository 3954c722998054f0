// Words the tokenizer must never count, kept in a hand-edited text file: words
// separated by white space, a word starting with ";" skipped. Read once at
// start-up and written back, sorted and without duplicates, at shutdown.
#ifndef TARVEX_BAYES_IGNORE_WORDS_H_
#define TARVEX_BAYES_IGNORE_WORDS_H_

#include <set>
#include <string>
#include <string_view>

namespace tarvex {

class IgnoreWords {
 public:
  // Exact byte comparison: no case folding, so only lower-case entries can
  // match the tokenizer's lower-cased words.
  bool IsIgnored(std::string_view word) const {
    return !words_.empty() && words_.find(word) != words_.end();
  }
  // An empty word is not added; a present one is not added twice.
  void AddIgnoreWord(std::string_view word);
  // Adds every word of the file's text.
  void AddWordsOf(std::string_view file_text);
  // The file's text as written: the words in byte order, one per line.
  std::string FileText() const;

  const std::set<std::string, std::less<>>& words() const { return words_; }

 private:
  std::set<std::string, std::less<>> words_;
};

}  // namespace tarvex

#endif  // TARVEX_BAYES_IGNORE_WORDS_H_
