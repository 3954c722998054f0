#include "plugin/new_message.h"

#include <utility>

#include "plugin/host_error_report.h"
#include "plugin/message_actions.h"

namespace tarvex {
namespace {

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
    const Judgement j =
        JudgeMessage({c_.filter, c_.lists, c_.settings}, headerText, std::move(body), from);
    result_.outcome = j.outcome;
    // List-decided mail is learnt before anything is written; Bayesian spam
    // sounds as soon as it is scored, blacklisted mail only once it moved.
    const bool listed = j.outcome == Outcome::kBlacklisted;
    if (j.learn) Learn(j.learnAsSpam);
    if (j.spam && !listed) BeepIfAsked();
    if (!j.headers.empty()) Stamp(j.headers);
    if (j.spam) MoveToSpam();
    if (j.spam && listed) BeepIfAsked();
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
    result_.moved = MoveToSpamFolder(c_.folderManager, c_.spamFolder, c_.settings, c_.ui,
                                     std::move(message_), messageId_, source);
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

}  // namespace tarvex
