#include "messages/messages.h"

#include "base/text.h"

namespace morvane {
namespace {

const char* const kCrLf = "\r\n";

// Notes longer than this many characters are cut: no box shows more, and a
// description must not make one that takes ages to draw.
constexpr std::size_t kLongestNotes = std::size_t{64} * 1024;

// The notes as the box shows them: cut after kLongestNotes characters,
// with "…" where they were cut.
std::string shownNotes(std::string notes) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const bool startsCharacter = (static_cast<unsigned char>(notes[i]) & 0xC0) != 0x80;
        if (startsCharacter && ++characters > kLongestNotes) {
            // A line end is never cut in two.
            notes.resize(notes[i - 1] == '\r' ? i - 1 : i);
            return notes + "…" + kCrLf;
        }
    }
    return notes;
}

// The box's reply as a confirmation; a reply that is none of Ok, Yes and No
// confirms without the progress window.
Confirmation confirmationOf(box::Answer reply) {
    switch (reply) {
        case box::Ok:
            return Confirmation::Ok;
        case box::Yes:
            return Confirmation::Yes;
        case box::No:
            return Confirmation::No;
        case box::Cancel:
        case box::Retry:
            break;
    }
    return Confirmation::None;
}

}  // namespace

void Messages::settingsMissing(const std::string& settingsFileName) {
    ui_.messageBox(
        std::string("Für die Aktualisierung muss eine Server-Adresse angegeben werden.") + kCrLf +
            "Dies geschieht über eine Datei " + settingsFileName + " im selben Verzeichnis.",
        box::Exclamation, "Fehler");
}

void Messages::signatureKeyUnusable(const std::string& programName) {
    ui_.messageBox("Der Signaturschlüssel in " + programName + ".ini ist ungültig.", box::Critical,
                   "Fehler");
}

void Messages::notValidlySigned() {
    ui_.messageBox(
        "Die Beschreibung der neuen Version ist nicht gültig signiert.\r\n"
        "Die Aktualisierung wird nicht durchgeführt.",
        box::Critical, "Fehler");
}

Confirmation Messages::informOfUpdate(const std::string& title, const std::string& notes) {
    return confirmationOf(ui_.messageBox(
        std::string("Es wurde eine neue Version mit folgenden Änderungen gefunden:") + kCrLf +
            kCrLf + shownNotes(notes) + kCrLf + "Es wird nun eine Aktualisierung durchgeführt.",
        box::Information, title));
}

Confirmation Messages::askForUpdate(const std::string& title, const std::string& notes) {
    return confirmationOf(ui_.messageBox(
        std::string("Es wurde eine neue Version mit folgenden Änderungen gefunden ") +
            "(eine Aktualisierung wird dringend empfohlen):" + kCrLf + kCrLf + shownNotes(notes) +
            kCrLf + "Möchten Sie fortfahren und die Anwendung aktualisieren?",
        box::YesNoInformation, title));
}

void Messages::folderBeingUpdated(const std::string& title) {
    ui_.messageBox(std::string("Die Anwendung wird gerade an einem anderen Arbeitsplatz "
                               "aktualisiert.") +
                       kCrLf + "Sie wird ohne diese Aktualisierung gestartet.",
                   box::Information, title);
}

void Messages::downloadFailed() {
    ui_.messageBox("Beim Herunterladen trat ein Fehler auf.", box::Critical,
                   "Fehler beim Download einer Datei");
}

void Messages::moveFailed() {
    ui_.messageBox(
        "Beim Verschieben der Dateien trat ein Fehler auf.\r\n"
        "Bitte prüfen Sie, ob alle Programme geschlossen\r\n"
        "sind und versuchen Sie die Aktualisierung erneut.",
        box::Critical, "Fehler beim Verschieben einer Datei");
}

bool Messages::retryFileInUse(const std::string& target) {
    return ui_.messageBox("Die Datei " + target +
                              " wird gerade von einem anderen Programm verwendet.\r\n"
                              "Bitte schließen Sie das Programm und wählen Sie „Wiederholen“.",
                          box::RetryCancelWarning, "Datei in Verwendung") == box::Retry;
}

void Messages::startFileMissing(const std::string& startFile) {
    ui_.messageBox(startFile + " konnte nicht gefunden werden!", box::Exclamation, "Start-Fehler");
}

void Messages::spreadsheetFailed(const Failure& failure) {
    ui_.messageBox(failure.description(), box::Critical, "Fehler " + decimal(failure.number()));
}

void Messages::unexpectedError(const Failure& failure) {
    // The last line names the procedure whose report this is, in the form
    // the updater has always shown it.
    ui_.messageBox(std::string("Es ist ein unerwarteter Fehler aufgetreten:") + kCrLf +
                       failure.description() + " (" + decimal(failure.number()) + ")" + kCrLf +
                       "[Zeile AppMorvane.MainModule.Main]",
                   box::Critical, "Unbekannter Fehler");
}

}  // namespace morvane
