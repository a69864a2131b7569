#include "platform/foundation/URL.h"

#include <unistd.h>

#include <cctype>
#include <climits>
#include <vector>

namespace qs {

namespace {

bool isAlpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// RFC 3986 "pchar" (unreserved, sub-delims, ":" and "@") plus the "/" between segments.
bool keepInPath(unsigned char c) {
    if (isAlpha(c) || isDigit(c)) return true;
    switch (c) {
        case '-': case '.': case '_': case '~':                                  // unreserved
        case '!': case '$': case '&': case '\'': case '(': case ')': case '*':   // sub-delims
        case '+': case ',': case ';': case '=':
        case ':': case '@': case '/':
            return true;
        default:
            return false;
    }
}

std::string percentEncode(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
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
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out += char(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Length of the scheme (the text before ":"), or 0 when the string has none.
size_t schemeLength(const std::string& s) {
    if (s.empty() || !isAlpha(static_cast<unsigned char>(s[0]))) return 0;
    for (size_t i = 1; i < s.size(); ++i) {
        unsigned char c = s[i];
        if (c == ':') return i;
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return 0;
    }
    return 0;
}

bool validCharacters(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = s[i];
        if (c <= 0x20 || c == 0x7f) return false;
        switch (c) {
            case '"': case '<': case '>': case '\\': case '^': case '`': case '{': case '|': case '}':
                return false;
            case '%':
                if (i + 2 >= s.size() || hexValue(s[i + 1]) < 0 || hexValue(s[i + 2]) < 0) return false;
                break;
            default:
                break;
        }
    }
    return true;
}

struct Parts {
    std::string scheme;     // without ":"
    std::string authority;  // without "//"; hasAuthority tells "" from absent
    bool hasAuthority = false;
    std::string path;
    std::string rest;  // "?query#fragment", as written
};

Parts split(const std::string& s) {
    Parts p;
    size_t i = schemeLength(s);
    if (i) {
        p.scheme = s.substr(0, i);
        ++i;
    }
    if (s.compare(i, 2, "//") == 0) {
        size_t end = s.find_first_of("/?#", i + 2);
        if (end == std::string::npos) end = s.size();
        p.authority = s.substr(i + 2, end - i - 2);
        p.hasAuthority = true;
        i = end;
    }
    size_t end = s.find_first_of("?#", i);
    if (end == std::string::npos) end = s.size();
    p.path = s.substr(i, end - i);
    p.rest = s.substr(end);
    return p;
}

// RFC 3986 section 5.2.4.
std::string removeDotSegments(const std::string& path) {
    std::vector<std::string> out;
    bool absolute = !path.empty() && path[0] == '/';
    size_t i = absolute ? 1 : 0;
    bool trailingSlash = false;
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        std::string segment = path.substr(i, slash - i);
        bool last = slash == path.size();
        if (segment == ".") {
            trailingSlash = last;
        } else if (segment == "..") {
            if (!out.empty()) out.pop_back();
            trailingSlash = last;
        } else {
            out.push_back(segment);
            trailingSlash = false;
        }
        i = slash + 1;
    }
    std::string result = absolute ? "/" : "";
    for (size_t k = 0; k < out.size(); ++k) {
        if (k) result += '/';
        result += out[k];
    }
    if (trailingSlash && !result.empty() && result.back() != '/') result += '/';
    return result;
}

std::string currentDirectory() {
    std::vector<char> buffer(PATH_MAX);
    if (::getcwd(buffer.data(), buffer.size())) return buffer.data();
    return "/";
}

}  // namespace

std::shared_ptr<URL> URL::fileURLWithPath(const std::string& path, bool isDirectory) {
    std::string p = path;
    if (p.empty() || p[0] != '/') {
        std::string cwd = currentDirectory();
        if (cwd.back() != '/') cwd += '/';
        p = cwd + p;
        if (path.empty()) isDirectory = true;
    }
    if (isDirectory && p.back() != '/') p += '/';
    return std::make_shared<URL>("file://" + percentEncode(p));
}

std::shared_ptr<URL> URL::URLWithString(const std::string& string) {
    if (string.empty() || schemeLength(string) == 0 || !validCharacters(string)) return nullptr;
    return std::make_shared<URL>(string);
}

std::shared_ptr<URL> URL::URLWithStringRelativeToURL(const std::string& string, const URL& base) {
    if (schemeLength(string)) return URLWithString(string);
    Parts b = split(base.string_);
    Parts r = split(string);
    std::string authority = b.authority;
    bool hasAuthority = b.hasAuthority;
    std::string path;
    std::string rest = r.rest;
    if (r.hasAuthority) {
        authority = r.authority;
        hasAuthority = true;
        path = removeDotSegments(r.path);
    } else if (r.path.empty()) {
        path = b.path;
        if (rest.empty() || rest[0] == '#') {
            // An empty reference or a bare fragment keeps the base's query.
            std::string baseQuery = b.rest.substr(0, b.rest.find('#'));
            rest = baseQuery + rest;
        }
    } else if (r.path[0] == '/') {
        path = removeDotSegments(r.path);
    } else {
        std::string merged;
        if (b.hasAuthority && b.path.empty())
            merged = "/" + r.path;
        else
            merged = b.path.substr(0, b.path.rfind('/') + 1) + r.path;
        path = removeDotSegments(merged);
    }
    std::string result = b.scheme + ":" + (hasAuthority ? "//" + authority : "") + path + rest;
    return URLWithString(result);
}

std::string URL::scheme() const { return string_.substr(0, schemeLength(string_)); }

bool URL::isFileURL() const {
    std::string s = scheme();
    for (auto& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s == "file";
}

std::string URL::path() const {
    if (!isFileURL()) return {};
    std::string p = percentDecode(split(string_).path);
    if (p.empty()) return "/";
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string URL::lastPathComponent() const {
    std::string p = isFileURL() ? path() : percentDecode(split(string_).path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p == "/") return p;
    auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string URL::pathExtension() const {
    std::string last = lastPathComponent();
    auto dot = last.rfind('.');
    // ".hidden" has no extension, and neither has "name."
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) return {};
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
