#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "platform/foundation/PropertyList.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

namespace fs = std::filesystem;
using PropertyList::Format;

Data bytesOf(const std::string& s) { return Data(s.begin(), s.end()); }

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

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
        EXPECT_EQ(back, original) << back;
        // Types are kept apart, not merely equal after coercion.
        EXPECT_TRUE(back["true"].isBool());
        EXPECT_TRUE(back["one"].isInteger());
        EXPECT_TRUE(back["zero"].isInteger());
        EXPECT_TRUE(back["real"].isReal());
        EXPECT_EQ(back["min"].integerValue(), std::numeric_limits<int64_t>::min());
        EXPECT_EQ(back["minusOne"].integerValue(), -1);
        ASSERT_TRUE(back["date"].isDate());
        EXPECT_NEAR(back["date"].date()->timeIntervalSince1970, 1700000000.25, 1e-6);
        EXPECT_NEAR(back["oldDate"].date()->timeIntervalSince1970, -86400.5, 1e-6);
    }
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
        {"key without value", bytesOf("<plist version=\"1.0\"><dict><key>a</key></dict></plist>")},
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

    auto bytes = PropertyList::serialize(everyKind(), Format::XML);
    ASSERT_TRUE(bytes);
    std::string error;
    ASSERT_TRUE(PropertyList::writeFileAtomically(path, *bytes, &error)) << error;
    EXPECT_EQ(contentsOf(path), std::string(bytes->begin(), bytes->end()));

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
