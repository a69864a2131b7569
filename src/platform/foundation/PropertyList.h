#pragma once
// XML and binary property lists, read and written through libplist.

#include <optional>
#include <string>

#include "platform/foundation/FileRead.h"
#include "platform/foundation/Value.h"

namespace qs::PropertyList {

enum class Format { XML, Binary };

// Parses either format (told apart by the content). Objects cannot appear in a
// property list; nullopt (with *error set) for anything malformed. Every string read
// (keys too) is UTF-8 without NUL characters, so what was read can always be written
// back: a NUL and bytes that are not UTF-8 read as U+FFFD. Containers nest at most 512
// deep; a deeper XML text is refused before the library reads it.
std::optional<Value> parse(const Data& bytes, std::string* error = nullptr);
// Serialises a value tree. Object references and nil inside containers are not
// representable: nullopt (with *error set).
std::optional<Data> serialize(const Value& value, Format format, std::string* error = nullptr);

// The largest property-list file readFile reads unless told otherwise: 128 MiB, room
// for a settings file holding a dock archive of the largest size an archive may have
// (64 MiB, a third more as XML text) beside the other settings.
constexpr size_t kMaxFileBytes = size_t(128) << 20;

// Whole-file helpers. readFile reads a regular file of at most maxBytes (FileRead);
// *status, when given, tells why a file was not read (Ok with nullopt: it was read and
// is not a property list). writeFileAtomically writes a temporary file beside the
// target (".<name>.tmp-XXXXXX", locked while it is written), fsyncs it and renames it
// over the target.
std::optional<Value> readFile(const std::string& path, std::string* error = nullptr, size_t maxBytes = kMaxFileBytes,
                              FileRead::Status* status = nullptr);
bool writeFileAtomically(const std::string& path, const Data& bytes, std::string* error = nullptr);
// Removes the temporary files that writes into `folder` left behind when they were
// interrupted (the process killed before its rename). A write still under way holds a
// lock on its file and is left alone. Answers how many were removed.
size_t removeStaleTemporaryFiles(const std::string& folder);

// `text` as a string a property list can hold: NUL characters and bytes that are not
// UTF-8 become U+FFFD.
std::string storableString(std::string text);
// Whether a single value (not a container) can be written: no nil or object, a string
// without NUL, a date within the range written here (1933 to 2069, the library keeps
// 32-bit seconds from 2001), a UID of at most 32 bits.
bool isStorableScalar(const Value& value);

}  // namespace qs::PropertyList
