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
    // when isDirectory is YES.
    static std::shared_ptr<URL> fileURLWithPath(const std::string& path, bool isDirectory = false);
    // nullptr for an empty string or one without a scheme.
    static std::shared_ptr<URL> URLWithString(const std::string& string);

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
