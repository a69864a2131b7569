#pragma once
// A URL (the platform's NSURL): file URLs made from paths, and absolute URL strings.

#include <memory>
#include <string>

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"

namespace qs {

class URL : public Object, public Coding {
public:
    // "file://" + the percent-encoded absolute path; a directory path keeps a trailing "/"
    // when isDirectory is YES. A relative path (and "") is taken from the current
    // working directory.
    static std::shared_ptr<URL> fileURLWithPath(const std::string& path, bool isDirectory = false);
    // nullptr for an empty string, one without a scheme, or one holding characters a
    // URL cannot hold (spaces, controls, a "%" not followed by two hex digits).
    static std::shared_ptr<URL> URLWithString(const std::string& string);
    // The string resolved against base (RFC 3986 reference resolution); nullptr when
    // the result is not a valid URL.
    static std::shared_ptr<URL> URLWithStringRelativeToURL(const std::string& string, const URL& base);

    std::string className() const override { return "NSURL"; }
    std::vector<std::string> classHierarchy() const override { return {"NSURL", "NSObject"}; }

    const std::string& absoluteString() const { return string_; }
    std::string scheme() const;
    bool isFileURL() const;
    // The decoded path of a file URL ("" for other schemes), without a trailing "/".
    std::string path() const;
    std::string lastPathComponent() const;
    std::string pathExtension() const;

    bool isEqual(const Object* other) const override;
    uint64_t hash() const override { return stableHash(string_); }
    std::string description() const override { return string_; }

    void encodeWithCoder(Coder& coder) const override;

    explicit URL(std::string absolute) : string_(std::move(absolute)) {}

private:
    std::string string_;
};

using URLPtr = std::shared_ptr<URL>;

}  // namespace qs
