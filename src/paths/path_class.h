#pragma once

#include <string>

#include "platform/file_system.h"

namespace morvane {

// One file-system path ("C:\folder\name.ext") held as a single UTF-8 text,
// with its parts as read-write properties and the file-system operations the
// update run needs on it. Every part is computed from the stored text when
// read; every write rebuilds the whole text from the new part and the parts
// that stay. Nothing is trimmed, converted or validated: only "\" separates
// folders, ":\" ends the drive and the last "." starts the extension.
//
// Reads of Name, and every operation that reads it (setExt, setFullExt,
// IncrementExt), throw Failure 5 for a non-empty file name without "."
// and leave the path unchanged. No other property read or write fails.
class PathClass {
public:
    PathClass(FileSystem& files, Clock& clock) : files_(&files), clock_(&clock) {}

    // Text before the first ":\"; the whole path when it has none.
    std::string Drive() const;
    // Cuts a non-empty value to its first character and adds ":\" (D, D: and
    // D:\ all give D:\), then puts it in front of what follows the last ":\".
    // An empty value removes the drive.
    void setDrive(const std::string& driveLetter);
    // Drive followed by ":\", also for an empty Drive.
    std::string FullDrive() const;
    void setFullDrive(const std::string& drive) { setDrive(drive); }

    // The folder part, ending in "\" whenever the path holds one.
    std::string Path() const;
    // Becomes the value, "\" and FullName; the "\" is inserted even when the
    // value ends in one.
    void setPath(const std::string& folderPath);
    const std::string& FullPath() const { return fullPath_; }
    void setFullPath(const std::string& path) { fullPath_ = path; }

    // The file name without its last "." and what follows.
    std::string Name() const;
    void setName(const std::string& nameWithoutExt);
    // What follows the last "\"; empty for a path ending in "\".
    std::string FullName() const;
    void setFullName(const std::string& nameWithExt);
    // What follows the last "." of FullName; FullName itself when it has none.
    std::string Ext() const;
    // Replaces the extension; a "." is put in front unless the value starts
    // with one, so an empty value leaves a trailing ".".
    void setExt(const std::string& extension);
    // "." and Ext.
    std::string FullExt() const;
    void setFullExt(const std::string& extension) { setExt(extension); }

    // Whether the path names an existing file or folder. Never throws.
    bool Exists() const;
    // Whether the text does not end in "\" (true for the empty path); the
    // file system is not asked.
    bool isFile() const;
    // Whether the text ends in "\"; the file system is not asked.
    bool isFolder() const;

    // Asks for every folder along the path, taking the last piece as a file
    // name: C:\a\b\x.txt requests C:\, C:\a\ and C:\a\b\ in this order.
    // Every failure is ignored.
    void CreateFolder();
    // Replaces the extension with the first of 000 to 999 whose path does
    // not exist. Throws Failure 5 when all are taken, the path left at .999.
    void IncrementExt();
    // Puts the local time as "_YYYY-MM-DD_hh.mm.ss" in front of the last
    // "." of the file name, or at its end when the name has no ".".
    void AddDateInfo();
    // Deletes the file; false on any failure. The path stays as it is.
    bool Delete();

private:
    bool FileExists(const std::string& path) const;
    bool FolderExists(const std::string& path) const;

    FileSystem* files_;
    Clock* clock_;
    std::string fullPath_;
};

// The backup name suffix for a point in time: "_2024-03-05_14.07.09".
std::string dateSuffix(const LocalTime& time);

}  // namespace morvane
