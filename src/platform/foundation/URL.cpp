#include "platform/foundation/URL.h"

#include <cctype>

namespace qs {

namespace {

bool keepInPath(unsigned char c) {
    return std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~' || c == '!' || c == '$' ||
           c == '&' || c == '\'' || c == '(' || c == ')' || c == '*' || c == '+' || c == ',' || c == ';' || c == '=' ||
           c == ':' || c == '@';
}

std::string percentEncode(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (keepInPath(c)) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() + 0 && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out += char(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

}  // namespace

std::shared_ptr<URL> URL::fileURLWithPath(const std::string& path, bool isDirectory) {
    std::string p = path.empty() ? "/" : path;
    if (p[0] != '/') p = "/" + p;
    if (isDirectory && p.back() != '/') p += '/';
    return std::make_shared<URL>("file://" + percentEncode(p));
}

std::shared_ptr<URL> URL::URLWithString(const std::string& string) {
    auto colon = string.find(':');
    if (string.empty() || colon == std::string::npos || colon == 0) return nullptr;
    if (!std::isalpha(static_cast<unsigned char>(string[0]))) return nullptr;
    for (size_t i = 0; i < colon; ++i) {
        unsigned char c = string[i];
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return nullptr;
    }
    return std::make_shared<URL>(string);
}

std::string URL::scheme() const {
    auto colon = string_.find(':');
    if (colon == std::string::npos) return {};
    std::string s = string_.substr(0, colon);
    for (auto& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool URL::isFileURL() const { return scheme() == "file"; }

std::string URL::path() const {
    if (!isFileURL()) return {};
    std::string rest = string_.substr(5);  // after "file:"
    if (rest.rfind("//", 0) == 0) {
        auto slash = rest.find('/', 2);
        rest = slash == std::string::npos ? std::string("/") : rest.substr(slash);
    }
    auto cut = rest.find_first_of("?#");
    if (cut != std::string::npos) rest = rest.substr(0, cut);
    std::string p = percentDecode(rest);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string URL::lastPathComponent() const {
    std::string p = isFileURL() ? path() : string_;
    if (p == "/") return p;
    auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string URL::pathExtension() const {
    std::string last = lastPathComponent();
    auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return last.substr(dot + 1);
}

bool URL::isEqual(const Object* other) const {
    auto* url = dynamic_cast<const URL*>(other);
    return url && url->string_ == string_;
}

void URL::encodeWithCoder(Coder& coder) const {
    coder.encodeObject(Value(), "NS.base");
    coder.encodeObject(Value(string_), "NS.relative");
}

}  // namespace qs
