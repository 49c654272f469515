#include "update/run_end.h"

namespace morvane {

ExitStatus exitStatusOf(RunEnd end) {
    switch (end) {
        case RunEnd::Installed:
        case RunEnd::Prefetched:
        case RunEnd::NothingNewer:
        case RunEnd::NotYetOffered:
            return ExitStatus::Done;
        case RunEnd::AnotherInstance:
        case RunEnd::FolderLocked:
            return ExitStatus::AnotherInstance;
        case RunEnd::NoSettings:
        case RunEnd::KeyUnusable:
            return ExitStatus::NoSettings;
        case RunEnd::NotFetched:
        case RunEnd::NotSigned:
        case RunEnd::NotARelease:
            return ExitStatus::NoDescription;
        case RunEnd::Declined:
            return ExitStatus::Declined;
        case RunEnd::DownloadFailed:
            return ExitStatus::DownloadFailed;
        case RunEnd::RecoveryFailed:
        case RunEnd::InUse:
        case RunEnd::MoveFailed:
            return ExitStatus::MoveFailed;
        case RunEnd::Unexpected:
            return ExitStatus::Unexpected;
    }
    return ExitStatus::Unexpected;
}

std::string statusCause(ExitStatus status) {
    switch (status) {
        case ExitStatus::Done:
            return "done";
        case ExitStatus::AnotherInstance:
            return "another instance was running, or another run updated the folder";
        case ExitStatus::NoSettings:
            return "no readable settings file";
        case ExitStatus::NoDescription:
            return "the description could not be fetched";
        case ExitStatus::Declined:
            return "the update was declined";
        case ExitStatus::DownloadFailed:
            return "a download failed during the installation";
        case ExitStatus::MoveFailed:
            return "moving failed";
        case ExitStatus::Unexpected:
            return "an unexpected error was reported";
    }
    return "unknown";
}

bool startsTheRecordsWorkbook(RunEnd end) {
    switch (end) {
        case RunEnd::Installed:
        case RunEnd::NothingNewer:
        case RunEnd::NotYetOffered:
        case RunEnd::KeyUnusable:
        case RunEnd::NotFetched:
        case RunEnd::NotSigned:
        case RunEnd::NotARelease:
        case RunEnd::FolderLocked:
            return true;
        case RunEnd::Prefetched:
        case RunEnd::AnotherInstance:
        case RunEnd::NoSettings:
        case RunEnd::RecoveryFailed:
        case RunEnd::Declined:
        case RunEnd::DownloadFailed:
        case RunEnd::InUse:
        case RunEnd::MoveFailed:
        case RunEnd::Unexpected:
            return false;
    }
    return false;
}

}  // namespace morvane
