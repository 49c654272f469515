#include "base/failure.h"

namespace morvane {

std::string describe(int number) {
    switch (number) {
        case err::InvalidCall:
            return "Ungültiger Prozeduraufruf oder ungültiges Argument";
        case err::Overflow:
            return "Überlauf";
        case err::OutOfMemory:
            return "Nicht genügend Speicher";
        case err::FileNotFound:
            return "Datei nicht gefunden";
        case err::DiskFull:
            return "Datenträger voll";
        case err::ReadPastEnd:
            return "Einlesen hinter Dateiende";
        case err::AccessDenied:
            return "Zugriff verweigert";
        case err::PathAccess:
            return "Fehler beim Zugriff auf Pfad/Datei";
        case err::CannotCreateObject:
            return "Objekterstellung durch ActiveX-Komponente nicht möglich";
        default:
            return "Anwendungs- oder objektdefinierter Fehler";
    }
}

Failure Failure::of(int number) {
    return Failure(number, describe(number));
}

}  // namespace morvane
