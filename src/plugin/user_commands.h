// The user's commands on the selected messages and folders: "Mark Spam",
// "Not Spam", "Mail Headers" and the training run. Each records the user's
// verdict in the message as "X-TVX-LEARN", so the classifier never judges the
// message again.
#ifndef TARVEX_PLUGIN_USER_COMMANDS_H_
#define TARVEX_PLUGIN_USER_COMMANDS_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bayes/bayes_filter.h"
#include "plugin/plugin_controller.h"
#include "settings/filter_settings.h"
#include "ui/user_interface.h"

namespace tarvex {

// Told, during a training run, the folder at work and how many of its
// messages were learnt so far.
using TrainingProgress = std::function<void(const std::string& folder, size_t learnt)>;

struct UserCommandContext {
  PluginController& controller;
  BayesFilter& filter;
  FilterSettings& settings;
  UserInterface& ui;
  const TrainingProgress* progress = nullptr;
};

// Learns, marks and moves the selected messages into "DedoZarozo", then saves
// the word database. Messages the user already judged are skipped.
void MarkSpam(UserCommandContext& c);
// Learns (or corrects) and marks the selected messages; in "DedoZarozo" it
// also moves them to the folder the settings name, or that the user picks.
void NotSpam(UserCommandContext& c);
// Picks the folder that messages leaving the spam folder go to, when the
// settings name none, out of folderNames; nothing leaves them where they are.
// Remembering the choice in the settings is the picker's part.
using DestinationPicker =
    std::function<std::optional<std::string>(std::vector<std::string>& folderNames)>;
// NotSpam on the messages ids of the current folder, whatever is selected;
// pick is asked at most once, and only when messages leave the spam folder.
void NotSpam(UserCommandContext& c, const std::vector<int32_t>& ids, const DestinationPicker& pick);
// Shows the raw headers when exactly one message is selected.
void ShowMailHeaders(UserCommandContext& c);
// The raw header block of the message of the folder, as the host keeps it;
// nothing when there is no such message, or when the host failed (reported).
std::optional<std::string> RawHeaders(UserCommandContext& c, int32_t folderId, int32_t messageId);
// Asks for training folders and trains on them.
void OpenTrainingDialog(UserCommandContext& c);
// Learns every message of the spam folders as spam, then of the good ones as
// clean; with emptyFirst, the word database is emptied (and saved, a failure
// reported) before, as the training dialog's check box asks.
void TrainFromFolders(UserCommandContext& c, const std::vector<std::string>& spamFolders,
                      const std::vector<std::string>& goodFolders, bool emptyFirst = false);

// The controller operations that learn; LearnMessageById and TrainFromFolder
// report host failures, RelearnMessageById passes them on.
void LearnMessageById(UserCommandContext& c, int32_t messageId, bool spam);
void RelearnMessageById(UserCommandContext& c, int32_t messageId, bool wasSpam);
void TrainFromFolder(UserCommandContext& c, const std::string& folderName, bool spam);

}  // namespace tarvex

#endif  // TARVEX_PLUGIN_USER_COMMANDS_H_
