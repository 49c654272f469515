#pragma once

#include <string>

#include "base/failure.h"
#include "platform/user_interface.h"

namespace morvane {

// What the user answered to the news of a newer version.
enum class Confirmation {
    None,  // no box (a silent update), or a box without answer
    Ok,    // the news was shown and acknowledged
    Yes,   // the update was agreed to
    No,    // the update was declined
};

// Every box the update run shows, told by the event it reports. The German
// texts live here and nowhere else; the phases say what happened.
class Messages {
public:
    explicit Messages(UserInterface& ui) : ui_(ui) {}

    // No settings file beside the program (`settingsFileName`, e.g. "Updater.ini").
    void settingsMissing(const std::string& settingsFileName);
    // The settings ask for signed updates but hold no usable key.
    void signatureKeyUnusable(const std::string& programName);
    // The description of a newer version is not signed by the settings' key.
    void notValidlySigned();
    // A newer version: told ("Msg-Typ" 1) or asked ("Msg-Typ" 2) with its
    // notes, cut where a box could not show more.
    Confirmation informOfUpdate(const std::string& title, const std::string& notes);
    Confirmation askForUpdate(const std::string& title, const std::string& notes);
    // Another run holds the folder lock beyond the patience: the installed
    // version starts without the update `title` names.
    void folderBeingUpdated(const std::string& title);
    // A file of the update could not be downloaded.
    void downloadFailed();
    // A file could not be moved into place, or an interrupted installation
    // could not be put back.
    void moveFailed();
    // `target` is held by another program; true when the user chose to retry.
    bool retryFileInUse(const std::string& target);
    // The workbook to start is not there.
    void startFileMissing(const std::string& startFile);
    // The spreadsheet program's automation failed.
    void spreadsheetFailed(const Failure& failure);
    // A failure no step handled, reported by `Main`.
    void unexpectedError(const Failure& failure);

private:
    UserInterface& ui_;
};

}  // namespace morvane
