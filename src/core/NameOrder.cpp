#include "core/NameOrder.h"

#include <array>
#include <cstdint>

namespace qs {

namespace {

// The collation's order of the ASCII characters that are not digits or letters, first
// to last. The control characters not listed are ignored.
constexpr std::string_view kSymbolOrder =
    "\t\n\v\f\r _-,;:!?.'\"()[]{}@*/\\&#%`^+<=>|~$";

constexpr uint8_t kIgnored = 0;
constexpr uint8_t kDigit = 0xff;
constexpr uint8_t kNumberRank = kSymbolOrder.size() + 1;  // numbers come after every symbol

constexpr std::array<uint8_t, 128> makeRanks() {
    std::array<uint8_t, 128> ranks{};
    for (size_t i = 0; i < kSymbolOrder.size(); ++i) ranks[uint8_t(kSymbolOrder[i])] = uint8_t(i + 1);
    for (int c = '0'; c <= '9'; ++c) ranks[c] = kDigit;
    for (int c = 0; c < 26; ++c) ranks['a' + c] = ranks['A' + c] = uint8_t(kNumberRank + 1 + c);
    return ranks;
}
constexpr std::array<uint8_t, 128> kRanks = makeRanks();

// Reads a name as the collation sees it: one element per character that counts, one per
// piece of a run of digits.
class NameReader {
public:
    explicit NameReader(std::string_view s) : s_(s) {}

    // The next element's rank (0 at the end). For a number, digits() is its value
    // without leading zeros.
    uint8_t next() {
        if (runLeft_ > 0) return nextPiece();
        while (pos_ < s_.size()) {
            const uint8_t rank = kRanks[uint8_t(s_[pos_])];
            if (rank == kDigit) {
                size_t end = pos_;
                while (end < s_.size() && kRanks[uint8_t(s_[end])] == kDigit) ++end;
                runLeft_ = end - pos_;
                return nextPiece();
            }
            ++pos_;
            if (rank != kIgnored) return rank;
        }
        return 0;
    }

    std::string_view digits() const { return digits_; }

private:
    // Leading zeros are dropped (a run of zeros is one zero); a piece is at most 254 digits.
    uint8_t nextPiece() {
        while (runLeft_ > 1 && s_[pos_] == '0') ++pos_, --runLeft_;
        const size_t length = runLeft_ < 254 ? runLeft_ : 254;
        digits_ = s_.substr(pos_, length);
        pos_ += length;
        runLeft_ -= length;
        return kNumberRank;
    }

    std::string_view s_;
    size_t pos_ = 0;
    size_t runLeft_ = 0;
    std::string_view digits_;
};

}  // namespace

bool isAsciiName(std::string_view name) {
    for (char c : name)
        if (uint8_t(c) >= 0x80) return false;
    return true;
}

int compareAsciiNames(std::string_view a, std::string_view b) {
    NameReader ra(a), rb(b);
    for (;;) {
        const uint8_t x = ra.next(), y = rb.next();
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
        if (x == kNumberRank) {
            const auto da = ra.digits(), db = rb.digits();
            if (da.size() != db.size()) return da.size() < db.size() ? -1 : 1;
            if (const int c = da.compare(db); c != 0) return c < 0 ? -1 : 1;
        }
    }
}

}  // namespace qs
