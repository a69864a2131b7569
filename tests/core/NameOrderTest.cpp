// The order of listed names: the direct comparison of ASCII names against the collator it
// stands in for, and a folder listing with names that take either way.

#include <gtest/gtest.h>

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/FileSystemNode.h"
#include "core/NameOrder.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

int sign(int x) { return (x > 0) - (x < 0); }

QCollator listingCollator(const QLocale& locale) {
    QCollator collator{locale};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

std::string shown(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (uint8_t(c) < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "<%02x>", unsigned(uint8_t(c)));
            out += buf;
        } else {
            out += c;
        }
    }
    return "\"" + out + "\"";
}

// Names that try every rule: every ASCII character, case, leading zeros, runs of digits
// longer than the collation's pieces of 254, ignored control characters, empty names.
std::vector<std::string> testNames(size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    const std::string common = "aAbByYzZ0019 -_.,()";
    auto digits = [&](size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i) s += char('0' + (rng() % 3 ? rng() % 10 : 0));
        return s;
    };
    std::vector<std::string> names = {"", " ", "\x01", "0", "00", "000", "1", "01", "a", "A", "a1", "A01", "a 1",
                                      std::string(253, '9'), std::string(254, '9'), std::string(255, '9'),
                                      "1" + std::string(254, '0'), std::string(254, '1') + "2"};
    for (int c = 0; c < 128; ++c) names.push_back(std::string(1, char(c)) + "x");
    while (names.size() < count) {
        std::string s;
        for (int n = rng() % 12; n > 0; --n) {
            switch (rng() % 10) {
            case 0: case 1: case 2: case 3: s += common[rng() % common.size()]; break;
            case 4: case 5: s += char(0x20 + rng() % 95); break;  // printable
            case 6: s += char(rng() % 128); break;                // any, controls too
            case 7: s += std::string(rng() % 6, '0'); break;
            case 8: s += digits(rng() % 4 ? rng() % 20 : 240 + rng() % 40); break;
            default: s += char('0' + rng() % 10);
            }
        }
        names.push_back(s);
        // The same name in other cases, and with a zero, space or ignored character put in.
        if (rng() % 4 == 0) {
            for (auto& c : s) c = rng() % 2 ? char(std::toupper(c)) : char(std::tolower(c));
            names.push_back(s);
        }
        if (rng() % 8 == 0 && !s.empty()) {
            s.insert(rng() % s.size(), 1, "0 \x02"[rng() % 3]);
            names.push_back(s);
        }
    }
    return names;
}

// Names of the installed applications: their files and the names the menu shows.
std::vector<std::string> applicationNames() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/share/applications", ec)) {
        names.push_back(entry.path().filename().string());
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);)
            if (line.rfind("Name=", 0) == 0 || line.rfind("GenericName=", 0) == 0)
                names.push_back(line.substr(line.find('=') + 1));
    }
    return names;
}

// Every pair of ASCII names compares as the collator's sort keys do (the listing sorted by
// those keys); returns the number of pairs compared.
size_t expectSameOrder(const QCollator& collator, const std::vector<std::string>& names) {
    std::vector<std::string> ascii;
    std::copy_if(names.begin(), names.end(), std::back_inserter(ascii), [](const auto& s) { return isAsciiName(s); });
    std::vector<QCollatorSortKey> keys;
    for (const auto& s : ascii) keys.push_back(collator.sortKey(QString::fromStdString(s)));
    size_t compared = 0, wrong = 0;
    for (size_t i = 0; i < ascii.size(); ++i) {
        for (size_t j = 0; j < ascii.size(); ++j) {
            ++compared;
            const int expected = sign(keys[i].compare(keys[j]));
            const int got = compareAsciiNames(ascii[i], ascii[j]);
            if (got != expected && ++wrong <= 10)
                ADD_FAILURE() << collator.locale().name().toStdString() << ": " << shown(ascii[i]) << " against "
                              << shown(ascii[j]) << " gives " << got << ", the collator " << expected;
        }
    }
    return compared;
}

TEST(NameOrderTest, AsciiNamesCompareAsTheEnglishCollatorDoes) {
    const auto collator = listingCollator(QLocale(QLocale::English));
    EXPECT_GT(expectSameOrder(collator, testNames(2500, 7)), 6000000u);
    EXPECT_GT(expectSameOrder(collator, applicationNames()), 0u) << "needs the installed applications";

    // The rules in a few plain cases.
    EXPECT_LT(compareAsciiNames("file2", "file10"), 0);
    EXPECT_EQ(compareAsciiNames("File02", "file2"), 0) << "case and leading zeros make no difference";
    EXPECT_LT(compareAsciiNames("a b", "a_b"), 0);
    EXPECT_LT(compareAsciiNames("_x", "1x"), 0) << "punctuation before numbers";
    EXPECT_LT(compareAsciiNames("$", "0"), 0);
    EXPECT_LT(compareAsciiNames("9", "a"), 0) << "numbers before letters";
    EXPECT_EQ(compareAsciiNames("a\x01" "b", "ab"), 0);
    EXPECT_LT(compareAsciiNames("", "a"), 0);
}

TEST(NameOrderTest, EveryEnglishLocaleHasTheSameOrder) {
    const auto names = testNames(250, 11);
    for (const auto& locale : QLocale::matchingLocales(QLocale::English, QLocale::AnyScript, QLocale::AnyTerritory))
        expectSameOrder(listingCollator(locale), names);
}

TEST(NameOrderTest, ASortOfAsciiNamesKeepsTheListingOrderOfEqualNames) {
    auto names = testNames(3000, 3);
    names.erase(std::remove_if(names.begin(), names.end(), [](const auto& s) { return !isAsciiName(s); }), names.end());
    const auto collator = listingCollator(QLocale(QLocale::English));
    auto byCollator = names;
    std::stable_sort(byCollator.begin(), byCollator.end(), [&](const auto& a, const auto& b) {
        return collator.sortKey(QString::fromStdString(a)).compare(collator.sortKey(QString::fromStdString(b))) < 0;
    });
    auto direct = names;
    std::stable_sort(direct.begin(), direct.end(), [](const auto& a, const auto& b) { return compareAsciiNames(a, b) < 0; });
    EXPECT_TRUE(direct == byCollator);
}

class NameOrderListingTest : public IsolatedTest {
protected:
    // What the listing must give: the folder's entries in their listed order, sorted by the
    // collator of the listing's locale.
    std::vector<std::string> expectedOrder(const std::string& folder) {
        QLocale locale;
        if (locale.language() == QLocale::C) locale = QLocale(QLocale::English);
        const auto collator = listingCollator(locale);
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        std::stable_sort(names.begin(), names.end(), [&](const auto& a, const auto& b) {
            return collator.sortKey(QString::fromStdString(a)).compare(collator.sortKey(QString::fromStdString(b))) < 0;
        });
        return names;
    }
    static std::vector<std::string> listed(const std::string& folder) {
        std::vector<std::string> out;
        for (const auto& n : FileSystemNode::initWithPath(folder)->children()) out.push_back(n->displayName());
        return out;
    }
};

TEST_F(NameOrderListingTest, AFolderListsInTheCollatorsOrderWithOrWithoutOtherThanAsciiNames) {
    const std::vector<std::string> names = {"file10", "File2", "file02", "FILE2", "_notes", "-dash", "1 readme",
                                            "01 readme", "a b", "a_b", "ab", "Ab", "$cash", "~tilde", "z9", "Z10"};
    const std::string plain = env.root() + "/plain";
    fs::create_directories(plain);
    for (const auto& n : names) std::ofstream(plain + "/" + n) << "x";
    const auto expected = expectedOrder(plain);
    EXPECT_EQ(listed(plain), expected);
    EXPECT_LT(std::find(expected.begin(), expected.end(), "File2") - expected.begin(),
              std::find(expected.begin(), expected.end(), "file10") - expected.begin());

    // One name beyond ASCII: the whole folder takes the collator, in the same order.
    const std::string mixed = env.root() + "/mixed";
    fs::create_directories(mixed);
    for (const auto& n : names) std::ofstream(mixed + "/" + n) << "x";
    for (const auto& n : {"\xc3\xa9t\xc3\xa9", "Eu", "\xc3\x89" "a"}) std::ofstream(mixed + "/" + n) << "x";
    EXPECT_EQ(listed(mixed), expectedOrder(mixed));
}

}  // namespace
}  // namespace qs::test
