#pragma once
// XML and binary property lists, read and written through libplist.

#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace qs::PropertyList {

enum class Format { XML, Binary };

// Parses either format (told apart by the content). Objects cannot appear in a
// property list; nullopt (with *error set) for anything malformed.
std::optional<Value> parse(const Data& bytes, std::string* error = nullptr);
// Serialises a value tree. Object references and nil inside containers are not
// representable: nullopt (with *error set).
std::optional<Data> serialize(const Value& value, Format format, std::string* error = nullptr);

// Whole-file helpers. writeFileAtomically writes a temporary file beside the target,
// fsyncs it and renames it over the target.
std::optional<Value> readFile(const std::string& path, std::string* error = nullptr);
bool writeFileAtomically(const std::string& path, const Data& bytes, std::string* error = nullptr);

}  // namespace qs::PropertyList
