#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "platform/foundation/Object.h"
#include "platform/foundation/PropertyList.h"
#include "support/TestEnvironment.h"
#include "support/Files.h"

namespace qs {
namespace {

namespace fs = std::filesystem;
using PropertyList::Format;

Data bytesOf(const std::string& s) { return Data(s.begin(), s.end()); }

Value roundTrip(const Value& v, Format format) {
    std::string error;
    auto bytes = PropertyList::serialize(v, format, &error);
    EXPECT_TRUE(bytes) << error;
    if (!bytes) return {};
    auto back = PropertyList::parse(*bytes, &error);
    EXPECT_TRUE(back) << error;
    return back ? *back : Value();
}

// Every value type a property list holds, nested, with the awkward corners.
Value everyKind() {
    return Value(Dictionary{
        {"true", Value(true)},
        {"false", Value(false)},
        {"zero", Value(0)},
        {"one", Value(1)},
        {"minusOne", Value(-1)},
        {"min", Value(std::numeric_limits<int64_t>::min())},
        {"max", Value(std::numeric_limits<int64_t>::max())},
        {"real", Value(-2.5e-7)},
        {"empty", Value("")},
        {"unicode", Value("Grüße — 日本語 \xF0\x9F\x9A\xA2 <&>")},
        {"data", Value(Data{0, 1, 2, 0xFF, 0x80})},
        {"emptyData", Value(Data{})},
        {"date", Value(Date{1700000000.25})},
        {"oldDate", Value(Date{-86400.5})},
        {"emptyArray", Value(Array{})},
        {"emptyDict", Value(Dictionary{})},
        {"ключ", Value("unicode key")},
        {"nested", Value(Array{Value(Dictionary{{"a", Value(Array{Value(1), Value("x"), Value(Array{})})}}),
                               Value(false), Value(2)})},
    });
}

TEST(PropertyListTest, EveryValueTypeSurvivesXmlAndBinary) {
    Value original = everyKind();
    for (Format format : {Format::XML, Format::Binary}) {
        SCOPED_TRACE(format == Format::XML ? "xml" : "binary");
        Value back = roundTrip(original, format);
        // Types are kept apart, not merely equal after coercion.
        EXPECT_TRUE(back["true"].isBool());
        EXPECT_TRUE(back["one"].isInteger());
        EXPECT_TRUE(back["zero"].isInteger());
        EXPECT_TRUE(back["real"].isReal());
        EXPECT_EQ(back["min"].integerValue(), std::numeric_limits<int64_t>::min());
        EXPECT_EQ(back["max"].integerValue(), std::numeric_limits<int64_t>::max());
        EXPECT_EQ(back["minusOne"].integerValue(), -1);
        ASSERT_TRUE(back["date"].isDate());
        ASSERT_TRUE(back["oldDate"].isDate());
        // XML dates are written in whole seconds; the rest of the tree is exact.
        Dictionary withoutDates = *back.dictionary(), expected = *original.dictionary();
        for (const char* key : {"date", "oldDate"}) withoutDates.erase(key), expected.erase(key);
        EXPECT_EQ(Value(withoutDates), Value(expected));
    }
    Value xml = roundTrip(original, Format::XML);
    EXPECT_NEAR(xml["date"].date()->timeIntervalSince1970, 1700000000.0, 1.0);
    EXPECT_NEAR(xml["oldDate"].date()->timeIntervalSince1970, -86400.5, 1.0);
}

TEST(PropertyListTest, BinaryDatesKeepFractionsAndStayDistinct) {
    Value dates(Array{Value(Date{1700000000.25}), Value(Date{-86400.5}), Value(Date{978307200.0}),
                      Value(Date{1700000000.25})});
    Value back = roundTrip(dates, Format::Binary);
    ASSERT_EQ(back.count(), 4u);
    const double expected[] = {1700000000.25, -86400.5, 978307200.0, 1700000000.25};
    for (size_t i = 0; i < 4; ++i) {
        Value d = (*back.array())[i];
        ASSERT_TRUE(d.isDate()) << i;
        EXPECT_NEAR(d.date()->timeIntervalSince1970, expected[i], 1e-6) << "date " << i;
    }
}

// A one-object binary property list: "bplist00", the object's bytes, its offset, the trailer.
Data oneObjectBinary(std::initializer_list<uint8_t> object) {
    Data bytes = bytesOf("bplist00");
    bytes.insert(bytes.end(), object);
    uint8_t table = uint8_t(bytes.size());
    bytes.push_back(8);
    Data trailer(32, 0);
    trailer[6] = 1;   // offset size
    trailer[7] = 1;   // reference size
    trailer[15] = 1;  // one object
    trailer[31] = table;
    bytes.insert(bytes.end(), trailer.begin(), trailer.end());
    return bytes;
}

TEST(PropertyListTest, HostileBinaryObjectsDoNotAbort) {
    // Run in a child: a reader that aborts must fail this test, not end the whole program.
    EXPECT_EXIT(
        {
            // A UTF-16 string "a" U+0000.
            auto v = PropertyList::parse(oneObjectBinary({0x62, 0x00, 0x61, 0x00, 0x00}));
            if (!v || !v->isString() || v->string()->substr(0, 1) != "a") std::exit(2);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    // An array whose only member is itself.
    std::string error;
    EXPECT_FALSE(PropertyList::parse(oneObjectBinary({0xA1, 0x00}), &error));
    EXPECT_FALSE(error.empty());
    // A string longer than the file.
    EXPECT_FALSE(PropertyList::parse(oneObjectBinary({0x5F, 0x13, 0x7F, 0xFF, 'x'})));
    // A reference beyond the object table.
    EXPECT_FALSE(PropertyList::parse(oneObjectBinary({0xA1, 0x05})));
}

// What the reader accepts, the writers must write: a NUL or bytes that are not UTF-8
// in a string read as U+FFFD, so that a store that read them can still be saved.
TEST(PropertyListTest, StringsAreReadAsTextThatCanBeWrittenBack) {
    const std::string fffd = "\xEF\xBF\xBD";
    auto ascii = PropertyList::parse(oneObjectBinary({0x53, 'a', 0x00, 'b'}));
    ASSERT_TRUE(ascii && ascii->isString());
    EXPECT_EQ(*ascii->string(), "a" + fffd + "b");
    auto utf16 = PropertyList::parse(oneObjectBinary({0x62, 0x00, 'a', 0x00, 0x00}));
    ASSERT_TRUE(utf16 && utf16->isString());
    EXPECT_EQ(*utf16->string(), "a" + fffd);
    auto stray = PropertyList::parse(oneObjectBinary({0x54, 'a', 0xFF, 0xC3, 0xA9}));  // 0xC3 0xA9 is "é"
    ASSERT_TRUE(stray && stray->isString());
    EXPECT_EQ(*stray->string(), "a" + fffd + "\xC3\xA9");
    // A dictionary key with a NUL, in a file another writer made.
    auto written = PropertyList::serialize(Value(Dictionary{{"kXy", Value(1)}}), Format::Binary);
    ASSERT_TRUE(written);
    std::string raw(written->begin(), written->end());
    raw[raw.find("kXy") + 1] = '\0';
    auto keyed = PropertyList::parse(bytesOf(raw));
    ASSERT_TRUE(keyed && keyed->dictionary());
    EXPECT_EQ(keyed->dictionary()->count("k" + fffd + "y"), 1u);
    for (const Value& read : {*ascii, *utf16, *stray, *keyed})
        for (Format format : {Format::Binary, Format::XML}) EXPECT_EQ(roundTrip(read, format), read);
}

// Found by fuzzing: an 8-byte UID was read whole, and the library wrote back its low 32
// bits. UIDs are 32-bit in the format; a larger one is refused on both sides.
TEST(PropertyListTest, UidsBeyondThirtyTwoBitsAreRefusedRatherThanCutShort) {
    EXPECT_FALSE(PropertyList::parse(oneObjectBinary({0x87, 0x8C, 0x8C, 0x8C, 0x8C, 0x40, 0x00, 0x00, 0x51})));
    auto largest = PropertyList::parse(oneObjectBinary({0x83, 0xFF, 0xFF, 0xFF, 0xFF}));
    ASSERT_TRUE(largest && largest->isUID());
    EXPECT_EQ(roundTrip(*largest, Format::Binary), *largest);
    std::string error;
    EXPECT_FALSE(PropertyList::serialize(Value(UID{uint64_t(1) << 32}), Format::Binary, &error));
    EXPECT_NE(error.find("32 bits"), std::string::npos) << error;
}

// Found by fuzzing: XML writes a UID as {CF$UID = n}, which read back as a dictionary,
// so a keyed archive kept as XML (or converted by a property-list tool) no longer read.
TEST(PropertyListTest, UidsWrittenAsXmlReadBackAsUids) {
    const Value archive(Dictionary{{"$top", Value(Dictionary{{"root", Value(UID{1})}})},
                                   {"$objects", Value(Array{Value("$null"), Value(Dictionary{{"$class", Value(UID{2})}})})}});
    EXPECT_EQ(roundTrip(archive, Format::XML), archive);
    // Only the exact form is a UID.
    auto notUid = PropertyList::parse(bytesOf(
        "<plist><array><dict><key>CF$UID</key><string>7</string></dict>"
        "<dict><key>CF$UID</key><integer>7</integer><key>other</key><true/></dict></array></plist>"));
    ASSERT_TRUE(notUid && notUid->array());
    for (const Value& v : *notUid->array()) EXPECT_TRUE(v.isDictionary());
}

// Found by fuzzing: a binary date of 5e143 seconds was read, could not be written back
// (the library keeps 32-bit seconds), and describing it for the log line was undefined.
// Such dates are read within the range the writers hold.
TEST(PropertyListTest, DatesBeyondWhatCanBeWrittenAreReadWithinRange) {
    auto dateOf = [](uint64_t bits) {
        Data object{0x33};
        for (int shift = 56; shift >= 0; shift -= 8) object.push_back(uint8_t(bits >> shift));
        Data bytes = bytesOf("bplist00");
        bytes.insert(bytes.end(), object.begin(), object.end());
        Data trailer(32, 0);
        trailer[6] = 1, trailer[7] = 1, trailer[15] = 1, trailer[31] = uint8_t(bytes.size());
        bytes.push_back(8);
        bytes.insert(bytes.end(), trailer.begin(), trailer.end());
        return PropertyList::parse(bytes);
    };
    const double epoch2001 = 978307200.0;
    auto far = dateOf(0x5DC5821440400000ull);  // 5.2e143 s after 2001
    ASSERT_TRUE(far && far->isDate());
    EXPECT_NEAR(far->date()->timeIntervalSince1970, epoch2001 + 2147483647.0, 1.0);
    auto notANumber = dateOf(0x7FF8000000000000ull);
    ASSERT_TRUE(notANumber && notANumber->isDate());
    EXPECT_EQ(notANumber->date()->timeIntervalSince1970, epoch2001);
    for (const Value& read : {*far, *notANumber}) EXPECT_EQ(roundTrip(read, Format::Binary), read);
    EXPECT_FALSE(Value(Date{5e143}).description().empty());
    EXPECT_FALSE(PropertyList::isStorableScalar(Value(Date{5e143})));
}

// The library reads and frees an XML tree recursively: 180,000 nested arrays overflowed
// the stack (as a settings file or a stored archive, at every start). Such a text is
// refused before the library sees it; what the program writes nests far less.
TEST(PropertyListTest, DeeplyNestedXmlIsRefusedBeforeTheLibraryReadsIt) {
    auto nested = [](int depth, bool closed) {
        std::string text = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
        for (int i = 0; i < depth; ++i) text += "<array>";
        if (closed)
            for (int i = 0; i < depth; ++i) text += "</array>";
        return text + "</plist>";
    };
    EXPECT_EXIT(
        {
            for (bool closed : {true, false}) {
                std::string error;
                if (PropertyList::parse(bytesOf(nested(180000, closed)), &error) || error.find("deep") == std::string::npos)
                    std::exit(2);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(PropertyList::parse(bytesOf(nested(500, true))));
    // Elements hidden in comments and character data do not count; a quoted "/>" does not
    // hide an opening tag.
    std::string commented = "<plist><array><!--";
    for (int i = 0; i < 1000; ++i) commented += "<array>";
    commented += "--><string><![CDATA[<array><array>]]></string></array></plist>";
    auto read = PropertyList::parse(bytesOf(commented));
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, Value(Array{Value("<array><array>")}));
    std::string quoted = "<plist>";
    for (int i = 0; i < 1000; ++i) quoted += "<array a=\"/>\">";
    std::string error;
    EXPECT_FALSE(PropertyList::parse(bytesOf(quoted), &error));
    EXPECT_NE(error.find("deep"), std::string::npos) << error;
}

TEST(PropertyListTest, XmlIsReadableText) {
    auto xml = PropertyList::serialize(everyKind(), Format::XML);
    ASSERT_TRUE(xml);
    std::string text(xml->begin(), xml->end());
    EXPECT_NE(text.find("<plist"), std::string::npos);
    // Negative numbers are written as such, so other readers see the same number.
    EXPECT_NE(text.find("<integer>-1</integer>"), std::string::npos);
    EXPECT_NE(text.find("<integer>-9223372036854775808</integer>"), std::string::npos);
    EXPECT_NE(text.find("<true/>"), std::string::npos);
}

TEST(PropertyListTest, UidsRoundTripInBinary) {
    Value v(Array{Value(UID{0}), Value(UID{7}), Value(Dictionary{{"root", Value(UID{123456})}})});
    Value back = roundTrip(v, Format::Binary);
    EXPECT_EQ(back, v);
    Value first = (*back.array())[1];
    ASSERT_TRUE(first.isUID());
    EXPECT_EQ(first.uid()->value, 7u);
}

TEST(PropertyListTest, BareScalarRoots) {
    for (Format format : {Format::XML, Format::Binary}) {
        EXPECT_EQ(roundTrip(Value("just a string"), format), Value("just a string"));
        EXPECT_EQ(roundTrip(Value(42), format), Value(42));
    }
}

TEST(PropertyListTest, NilAndObjectsCannotBeSerialised) {
    std::string error;
    EXPECT_FALSE(PropertyList::serialize(Value(), Format::XML, &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    Value withNil(Dictionary{{"a", Value(Array{Value(1), Value()})}});
    EXPECT_FALSE(PropertyList::serialize(withNil, Format::Binary, &error));
    EXPECT_FALSE(error.empty());
    Value withObject(Array{Value(std::make_shared<Object>())});
    EXPECT_FALSE(PropertyList::serialize(withObject, Format::XML));
}

TEST(PropertyListTest, UnrepresentableScalarsAreRefusedNotAltered) {
    // Dates travel as 32-bit seconds from 2001; one far beyond that would come back as
    // another date, so it is refused. A NUL would cut a string or key short.
    for (Value v : {Value(Date{978307200.0 * 70}), Value(Date{-978307200.0 * 3}), Value(Date{std::nan("")}),
                    Value(std::string("ab\0cd", 5)), Value(Dictionary{{std::string("k\0", 2), Value(1)}})}) {
        for (Format format : {Format::XML, Format::Binary}) {
            std::string error;
            EXPECT_FALSE(PropertyList::serialize(Value(Array{v}), format, &error)) << v;
            EXPECT_FALSE(error.empty());
        }
    }
    // The edges that fit still round-trip.
    Value early(Date{978307200.0 - 2147483648.0});
    EXPECT_EQ(roundTrip(Value(Array{early}), Format::Binary), Value(Array{early}));
}

TEST(PropertyListTest, MalformedInputAnswersNullopt) {
    auto binary = PropertyList::serialize(everyKind(), Format::Binary);
    auto xml = PropertyList::serialize(everyKind(), Format::XML);
    ASSERT_TRUE(binary && xml);

    std::vector<std::pair<std::string, Data>> cases = {
        {"empty", Data{}},
        {"garbage", bytesOf("this is not a property list at all")},
        {"spaces", bytesOf("   \n\t ")},
        {"magic only", bytesOf("bplist00")},
        {"truncated binary", Data(binary->begin(), binary->begin() + binary->size() / 2)},
        {"binary without trailer", Data(binary->begin(), binary->end() - 20)},
        {"truncated xml", Data(xml->begin(), xml->begin() + xml->size() / 2)},
        {"html root", bytesOf("<?xml version=\"1.0\"?><html><body>hi</body></html>")},
        {"unclosed", bytesOf("<plist version=\"1.0\"><dict><key>a</key>")},
        {"binary bytes", Data{0x00, 0xFF, 0x13, 0x37, 0x42}},
    };
    for (const auto& [name, bytes] : cases) {
        std::string error;
        auto v = PropertyList::parse(bytes, &error);
        EXPECT_FALSE(v) << name << " parsed as " << *v;
        EXPECT_FALSE(error.empty()) << name;
    }
}

TEST(PropertyListTest, AbsurdNestingIsRefusedNotACrash) {
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    const int depth = 20000;
    for (int i = 0; i < depth; ++i) xml += "<array>";
    for (int i = 0; i < depth; ++i) xml += "</array>";
    xml += "</plist>";
    std::string error;
    EXPECT_FALSE(PropertyList::parse(bytesOf(xml), &error));
    EXPECT_FALSE(error.empty());
}

class PropertyListFileTest : public test::IsolatedTest {};

TEST_F(PropertyListFileTest, AtomicWriteReplacesTargetAndLeavesNoTemporary) {
    std::string dir = env.root() + "/plists";
    fs::create_directories(dir);
    std::string path = dir + "/settings.plist";
    { std::ofstream(path) << "old contents that are longer than the new ones will be, by a good margin"; }

    auto bytes = PropertyList::serialize(everyKind(), Format::Binary);
    ASSERT_TRUE(bytes);
    std::string error;
    ASSERT_TRUE(PropertyList::writeFileAtomically(path, *bytes, &error)) << error;
    EXPECT_EQ(test::readFileOrEmpty(path), std::string(bytes->begin(), bytes->end()));

    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        ++entries;
        EXPECT_EQ(e.path().filename(), "settings.plist");
    }
    EXPECT_EQ(entries, 1u);

    auto read = PropertyList::readFile(path, &error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(*read, everyKind());
}

TEST_F(PropertyListFileTest, UnwritableFolderAnswersFalse) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    std::string dir = env.root() + "/locked";
    fs::create_directories(dir);
    chmod(dir.c_str(), 0500);
    std::string error;
    EXPECT_FALSE(PropertyList::writeFileAtomically(dir + "/x.plist", bytesOf("x"), &error));
    EXPECT_FALSE(error.empty());
    chmod(dir.c_str(), 0700);
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(PropertyListFileTest, ReplacingKeepsLinksAndPermissions) {
    // A settings file kept elsewhere and linked in (a dotfiles checkout) stays linked.
    std::string real = env.root() + "/elsewhere.plist";
    std::string link = env.root() + "/linked.plist";
    { std::ofstream(real) << "old"; }
    chmod(real.c_str(), 0640);
    fs::create_symlink(real, link);
    std::string error;
    ASSERT_TRUE(PropertyList::writeFileAtomically(link, bytesOf("new"), &error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::readFileOrEmpty(real), "new");
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(PropertyListFileTest, FailedReplaceLeavesTargetAndNoTemporary) {
    // A non-empty folder where the file should be: the final rename fails.
    std::string dir = env.root() + "/blocked";
    fs::create_directories(dir + "/settings.plist/inside");
    std::string error;
    EXPECT_FALSE(PropertyList::writeFileAtomically(dir + "/settings.plist", bytesOf("x"), &error));
    EXPECT_NE(error.find("settings.plist"), std::string::npos) << error;
    size_t entries = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        ++entries;
        EXPECT_EQ(e.path().filename(), "settings.plist");
    }
    EXPECT_EQ(entries, 1u);
    EXPECT_TRUE(fs::is_directory(dir + "/settings.plist/inside"));
}

// A write killed before its rename leaves its temporary file; the next start removes
// those, but never the file of a write still under way (it holds a lock).
TEST_F(PropertyListFileTest, TemporariesOfInterruptedWritesAreRemovedButNotOnesBeingWritten) {
    const std::string dir = env.root() + "/settings";
    fs::create_directories(dir);
    for (const char* name : {".a.plist.tmp-AbC123", ".a.plist.tmp-XyZ789", "notes.tmp-AbC123", ".a.plist.tmp-short",
                             "a.plist"})
        std::ofstream(dir + "/" + name) << "x";
    int writing = ::open((dir + "/.a.plist.tmp-XyZ789").c_str(), O_RDONLY);
    ASSERT_GE(writing, 0);
    ASSERT_EQ(::flock(writing, LOCK_EX), 0);
    EXPECT_EQ(PropertyList::removeStaleTemporaryFiles(dir), 1u);
    EXPECT_FALSE(fs::exists(dir + "/.a.plist.tmp-AbC123"));
    for (const char* kept : {".a.plist.tmp-XyZ789", "notes.tmp-AbC123", ".a.plist.tmp-short", "a.plist"})
        EXPECT_TRUE(fs::exists(dir + "/" + kept)) << kept;
    ::close(writing);
    EXPECT_EQ(PropertyList::removeStaleTemporaryFiles(dir), 1u);
    EXPECT_EQ(PropertyList::removeStaleTemporaryFiles(env.root() + "/absent"), 0u);
}

TEST_F(PropertyListFileTest, MissingFolderAndMissingFile) {
    std::string error;
    EXPECT_FALSE(PropertyList::writeFileAtomically(env.root() + "/no/such/dir/x.plist", bytesOf("x"), &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(PropertyList::readFile(env.root() + "/absent.plist", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace qs
