// The user's operations as the dialogs call them, over files, settings and a
// word database that a test holds, with no mail client: what works on
// folders or messages by name fails.
#ifndef TARVEX_TESTING_DIALOG_OPERATIONS_H_
#define TARVEX_TESTING_DIALOG_OPERATIONS_H_

#include <string>

#include "app/local_operations.h"

namespace tarvex::testing {

class DialogOwner : public OperationsOwner {
 public:
  // filter: the word database, or null when the test has none.
  DialogOwner(FileSystem& fs, SettingsStore& settings, UserInterface& ui,
              BayesFilter* filter = nullptr)
      : fs_(fs), settings_(settings), ui_(ui), filter_(filter) {}

  BayesFilter& Filter() override {
    if (!filter_) throw OperationFailure(Status::Failure(0, "no word database in this test"));
    return *filter_;
  }
  const SenderLists& Lists() override { return lists_; }
  SenderLists* HeldLists() override { return nullptr; }
  FileSystem& Files() override { return fs_; }
  SettingsStore& Settings() override { return settings_; }
  UserInterface& Ui() override { return ui_; }
  FilterApp& App() override { throw OperationFailure(Status::Failure(0, "no mail client")); }
  StoreSession& Session() override { throw OperationFailure(Status::Failure(0, "no mail client")); }
  std::string StoreName() override { return "the test"; }

 private:
  FileSystem& fs_;
  SettingsStore& settings_;
  UserInterface& ui_;
  BayesFilter* filter_;
  SenderLists lists_;
};

class DialogOperations : public LocalOperations {
 public:
  // The base only keeps a reference to the owner, made right after it.
  DialogOperations(FileSystem& fs, SettingsStore& settings, UserInterface& ui,
                   BayesFilter* filter = nullptr)
      : LocalOperations(owner_), owner_(fs, settings, ui, filter) {}

 private:
  DialogOwner owner_;
};

}  // namespace tarvex::testing

#endif  // TARVEX_TESTING_DIALOG_OPERATIONS_H_
