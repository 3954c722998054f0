#include "classify/classifier.h"

#include "plugin/host_error_report.h"
#include "plugin/message_actions.h"

namespace tarvex {
namespace {

// The sender as the lists see it: the bracketed address of the From text,
// without its brackets. False when the From text has none, so a bare address
// is never tested against the lists.
bool SenderAddress(const std::string& from, std::string* address) {
  if (!ExtractAddress(from, address)) return false;
  const size_t start = address->find_first_not_of('<');
  if (start == std::string::npos) {
    address->clear();
    return true;
  }
  const size_t end = address->find_last_not_of('>');
  *address = address->substr(start, end - start + 1);
  return true;
}

class Pipeline {
 public:
  Pipeline(ClassifierContext& context, HostFolder& folder, int32_t messageId)
      : c_(context), folder_(folder), messageId_(messageId) {}

  ClassifyResult Run() {
    try {
      Classify();
    } catch (const HostError& error) {
      result_.failed = true;
      ReportHostError(c_.ui, error);
    }
    return result_;
  }

 private:
  void Classify() {
    message_ = folder_.GetMessage(messageId_);
    part_ = message_->GetRootPart();
    int32_t judged = 0;
    message_->GetHeaderValue(part_, header::kLearn, &judged);
    if (judged) return;
    const std::string headerText = message_->GetHeaderText();
    std::string body = message_->GetPartText(message_->GetBodyPart());
    const std::string from = message_->GetHeaderValue(part_, "From", nullptr);
    if (!DecidedBySender(from)) Score(headerText, std::move(body));
  }

  // Whitelist before blacklist, and within each list the address before the
  // domain. True when a list decided.
  bool DecidedBySender(const std::string& from) {
    std::string address, domain;
    if (!SenderAddress(from, &address)) return false;
    const bool hasDomain = ExtractDomain(address, &domain);
    if (c_.lists.IsWhitelistedAddress(address) ||
        (hasDomain && c_.lists.IsWhitelistedDomain(domain))) {
      Whitelisted();
    } else if (c_.lists.IsBlacklistedAddress(address)) {
      Blacklisted(BlacklistedAddressHeaders(address));
    } else if (hasDomain && c_.lists.IsBlacklistedDomain(domain)) {
      Blacklisted(BlacklistedDomainHeaders(domain));
    } else {
      return false;
    }
    return true;
  }

  void Whitelisted() {
    result_.outcome = Outcome::kWhitelisted;
    if (c_.settings.GetLearnFromWhiteListed()) Learn(false);
  }

  void Blacklisted(const VerdictHeaders& headers) {
    result_.outcome = Outcome::kBlacklisted;
    if (c_.settings.GetLearnFromBlackListed()) Learn(true);
    Stamp(headers);
    MoveToSpam();
    BeepIfAsked();
  }

  // The body is handed on, not copied: a large message is held once.
  void Score(const std::string& headerText, std::string body) {
    MessageScore score;
    score.headerText = headerText;
    const bool spam = c_.filter.ScoreMessage(std::move(body), score,
                                             c_.settings.GetConsiderNonEnglishSpam() != 0);
    result_.outcome = score.nonEnglish ? Outcome::kNonEnglish
                      : spam           ? Outcome::kSpam
                                       : Outcome::kClean;
    if (spam) BeepIfAsked();
    Stamp(BayesianHeaders(score));
    if (spam) MoveToSpam();
  }

  void Learn(bool spam) {
    LearnFromMessage(c_.filter, c_.ui, message_, spam);
    result_.learnt = true;
  }

  void Stamp(const VerdictHeaders& headers) {
    for (const HeaderValue& h : headers) {
      message_->SetHeaderValue(part_, h.name, h.value);
      result_.headers.push_back(h);
    }
    message_->Commit();
  }

  void MoveToSpam() {
    const int32_t source = folder_.GetId();
    result_.moved = MoveToSpamFolder(c_.folderManager, c_.settings, c_.ui, std::move(message_),
                                     messageId_, source);
  }

  void BeepIfAsked() {
    if (!c_.settings.GetBeepAtSpam()) return;
    c_.ui.Beep(mb::kIconExclamation);
    result_.beeped = true;
  }

  ClassifierContext& c_;
  HostFolder& folder_;
  const int32_t messageId_;
  HostRef<HostMessage> message_;
  int32_t part_ = 0;
  ClassifyResult result_;
};

}  // namespace

ClassifyResult ClassifyMessage(ClassifierContext& context, HostFolder& folder, int32_t messageId) {
  return Pipeline(context, folder, messageId).Run();
}

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kUntouched:
      return "untouched";
    case Outcome::kWhitelisted:
      return "whitelisted";
    case Outcome::kBlacklisted:
      return "blacklisted";
    case Outcome::kNonEnglish:
      return "nonenglish";
    case Outcome::kSpam:
      return "spam";
    case Outcome::kClean:
      return "clean";
  }
  return "untouched";
}

}  // namespace tarvex
