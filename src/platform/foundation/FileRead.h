#pragma once
// Reading the files the program reads: settings, archives kept aside, desktop entries
// and other key files, theme property lists, icons, notes. Only regular files are read
// (after symbolic links): a folder, a FIFO, a socket or a device is refused. The file is
// opened without blocking, so a FIFO put where a file belongs cannot stall the reader,
// and never more than the caller's bound is read, so /dev/zero or a huge file cannot eat
// memory. Each reader states its bound where it calls in.
//
// A refusal for a file that is not regular or is larger than its bound is written to the
// log once per path and kind of refusal; a missing file is an ordinary answer and says
// nothing; other failures are left to the caller to tell.

#include <string>

#include "platform/foundation/Value.h"

namespace qs::FileRead {

enum class Status {
    Ok,
    Missing,       // no such file (or a dangling link)
    AccessDenied,  // the file is there but may not be read (EACCES, EPERM)
    NotRegular,    // a folder, FIFO, socket or device
    TooLarge,      // more bytes than the bound
    Failed,        // any other failure (I/O error, a loop of links, ...)
};

struct Result {
    Status status = Status::Failed;
    Data bytes;
    // Why the file was not read, naming the path; "" when it was.
    std::string error;
    bool ok() const { return status == Status::Ok; }
    std::string text() const { return std::string(bytes.begin(), bytes.end()); }
};

// The whole file when it is a regular file of at most maxBytes bytes.
Result readFile(const std::string& path, size_t maxBytes);

// A descriptor open for reading (close-on-exec) on the regular file at path, when it is
// one of at most maxBytes bytes; -1 otherwise, with status and error set as readFile
// sets them. For readers that stream the file themselves.
int openFile(const std::string& path, size_t maxBytes, Status& status, std::string& error);

// What a status means, in a few words ("permission denied", "not a regular file", ...).
const char* describe(Status status);

// ".unreadable-<YYYYmmdd-HHMMSS>" (local time): what is appended to the name of a file
// whose contents cannot be read when it is kept aside.
std::string unreadableSuffix();
// Keeps an unreadable file (or folder, FIFO, link...) beside where it was, as
// "<path>.unreadable-<time>", never over another kept file. Answers the new path, or ""
// when it could not be moved (*error, when given, says why).
std::string keepAside(const std::string& path, std::string* error = nullptr);

}  // namespace qs::FileRead
