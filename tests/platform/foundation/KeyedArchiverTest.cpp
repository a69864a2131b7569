#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

#include "platform/foundation/Image.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/URL.h"
#include "support/Files.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

// A small archived class with one key of every coder kind.
class Crate : public Object, public Coding {
public:
    std::string className() const override { return "Crate"; }
    std::vector<std::string> classHierarchy() const override { return {"Crate", "Box", "NSObject"}; }
    void encodeWithCoder(Coder& c) const override {
        c.encodeObject(Value(name), "name");
        c.encodeInt(count, "count");
        c.encodeInteger(big, "big");
        c.encodeFloat(ratio, "ratio");
        c.encodeBool(flag, "flag");
        c.encodeObject(child, "child");
    }
    static std::shared_ptr<Crate> initWithCoder(Coder& c) {
        auto crate = std::make_shared<Crate>();
        crate->name = c.decodeObjectForKey("name").stringValue();
        crate->count = c.decodeIntForKey("count");
        crate->big = c.decodeIntegerForKey("big");
        crate->ratio = c.decodeFloatForKey("ratio");
        crate->flag = c.decodeBoolForKey("flag");
        crate->child = c.decodeObjectForKey("child");
        return crate;
    }
    std::string name;
    int32_t count = 0;
    int64_t big = 0;
    float ratio = 0.f;
    bool flag = false;
    Value child;
};

// Encodes two temporaries made on the spot: they must stay two objects.
class Maker : public Object, public Coding {
public:
    std::string className() const override { return "Maker"; }
    void encodeWithCoder(Coder& c) const override {
        for (const char* key : {"first", "second"}) {
            auto temp = std::make_shared<Crate>();
            temp->name = key;
            c.encodeObject(Value(temp), key);
        }
    }
};

class Plain : public Object {};  // not Coding

const bool kRegistered = [] {
    registerCodingClass<Crate>("Crate");
    KeyedUnarchiver::registerClass("Maker", [](Coder& c) -> ObjectPtr {
        auto crate = std::make_shared<Crate>();
        crate->name = c.decodeObjectForKey("first").objectAs<Crate>()->name +
                      c.decodeObjectForKey("second").objectAs<Crate>()->name;
        return crate;
    });
    KeyedUnarchiver::registerClass("Thrower", [](Coder&) -> ObjectPtr { throw std::runtime_error("boom"); });
    KeyedUnarchiver::registerClass("Refuser", [](Coder&) -> ObjectPtr { return nullptr; });
    // Keeps itself but leaves out a member it cannot use.
    KeyedUnarchiver::registerClass("Picky", [](Coder& c) -> ObjectPtr {
        c.noteLeftOut("a picky member");
        return std::make_shared<Crate>();
    });
    return true;
}();

Value roundTrip(const Value& v) { return KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(v)); }

// An archive built by hand from an object table.
Data handMade(Array objects, Value root = Value(UID{1}), Value archiver = Value("NSKeyedArchiver")) {
    Dictionary top{{"$archiver", archiver},
                   {"$version", Value(100000)},
                   {"$top", Value(Dictionary{{"root", root}})},
                   {"$objects", Value(std::move(objects))}};
    return *PropertyList::serialize(Value(std::move(top)), PropertyList::Format::Binary);
}
Value cls(const std::string& name) { return Value(Dictionary{{"$classname", Value(name)}, {"$classes", Value(Array{Value(name)})}}); }
Value ref(uint64_t n) { return Value(UID{n}); }

class KeyedArchiverTest : public test::IsolatedTest {
protected:
    size_t archiveLogs() const {
        size_t n = 0;
        for (const auto& l : env.logLines()) n += l.find("keyed archive") != std::string::npos;
        return n;
    }
};

TEST_F(KeyedArchiverTest, PlainValuesRoundTripWithTheirTypes) {
    for (const Value& v : {Value("Grüße, 日本 🚢"), Value(""), Value(-42), Value(INT64_MIN), Value(-0.125), Value(true),
                           Value(false), Value(1), Value(0), Value(Data{0, 1, 0, 255}), Value(Data{}),
                           Value(Date{-86400.5}), Value(Date{1.7e9})}) {
        Value back = roundTrip(v);
        EXPECT_EQ(back.type(), v.type()) << v;
        EXPECT_EQ(back, v);
    }
    EXPECT_TRUE(roundTrip(Value()).isNil());
    EXPECT_EQ(archiveLogs(), 0u);
}

TEST_F(KeyedArchiverTest, NestedCollectionsOfObjectsRoundTrip) {
    QImage picture(3, 2, QImage::Format_ARGB32);
    picture.fill(qRgba(10, 20, 30, 200));
    Array rows;
    for (int i = 0; i < 3; ++i)
        rows.push_back(Value(Dictionary{{"url", Value(URL::fileURLWithPath("/tmp/a b/" + std::to_string(i)))},
                                        {"icon", Value(std::make_shared<Image>(picture))},
                                        {"when", Value(Date{double(i)})},
                                        {"on", Value(i == 1)},
                                        {"n", Value(i - 1)},
                                        {"nested", Value(Array{Value(Array{}), Value(Dictionary{})})}}));
    Value back = roundTrip(Value(rows));
    ASSERT_EQ(back.count(), 3u);
    for (int i = 0; i < 3; ++i) {
        const Value& row = (*back.array())[i];
        EXPECT_EQ(row["url"].objectAs<URL>()->path(), "/tmp/a b/" + std::to_string(i));
        ASSERT_TRUE(row["icon"].objectAs<Image>());
        EXPECT_EQ(row["icon"].objectAs<Image>()->qimage().convertToFormat(QImage::Format_ARGB32), picture);
        EXPECT_EQ(row["when"], Value(Date{double(i)}));
        EXPECT_EQ(row["on"], Value(i == 1));
        EXPECT_TRUE(row["n"].isInteger());
        EXPECT_EQ(row["nested"], Value(Array{Value(Array{}), Value(Dictionary{})}));
    }
}

TEST_F(KeyedArchiverTest, CustomClassAndCoderKinds) {
    auto crate = std::make_shared<Crate>();
    crate->name = "top";
    crate->count = -7;
    crate->big = int64_t(1) << 40;
    crate->ratio = 52.5f;
    crate->flag = true;
    auto inner = std::make_shared<Crate>();
    inner->name = "inner";
    crate->child = Value(inner);
    auto back = roundTrip(Value(crate)).objectAs<Crate>();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, "top");
    EXPECT_EQ(back->count, -7);
    EXPECT_EQ(back->big, int64_t(1) << 40);
    EXPECT_FLOAT_EQ(back->ratio, 52.5f);
    EXPECT_TRUE(back->flag);
    ASSERT_TRUE(back->child.objectAs<Crate>());
    EXPECT_EQ(back->child.objectAs<Crate>()->name, "inner");
}

TEST_F(KeyedArchiverTest, MissingAndOddlyTypedKeysDecodeAsZero) {
    // Crate entry with keys stored in unusual forms; class at 1.
    Array objects{Value("$null"), cls("Crate"),
                  Value(Dictionary{{"$class", ref(1)}, {"count", Value(65537)}, {"big", Value(-2.9)},
                                   {"flag", Value(2)}, {"ratio", Value("1.5")}, {"name", Value(7)}}),
                  Value(Dictionary{{"$class", ref(1)}, {"count", Value(1e300)}, {"big", Value(std::nan(""))}})};
    auto odd = KeyedUnarchiver::unarchiveObjectWithData(handMade(objects, ref(2))).objectAs<Crate>();
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->count, 65537);  // the full int32; callers narrow it
    EXPECT_EQ(odd->big, -2);       // a real truncates
    EXPECT_TRUE(odd->flag);        // a non-zero integer is YES
    EXPECT_EQ(odd->ratio, 0.f);    // a string is not a number here
    EXPECT_EQ(odd->name, "");      // a number is not a string
    EXPECT_TRUE(odd->child.isNil());
    auto extreme = KeyedUnarchiver::unarchiveObjectWithData(handMade(objects, ref(3))).objectAs<Crate>();
    ASSERT_TRUE(extreme);
    EXPECT_EQ(extreme->count, INT32_MAX);
    EXPECT_EQ(extreme->big, 0);
    EXPECT_FALSE(extreme->flag);
    EXPECT_EQ(extreme->ratio, 0.f);
}

TEST_F(KeyedArchiverTest, StoredLayoutIsTheWellKnownOne) {
    auto a = std::make_shared<Crate>(), b = std::make_shared<Crate>();
    a->count = 3;
    Data bytes = KeyedArchiver::archivedDataWithRootObject(Value(Array{Value(a), Value(b), Value(Array{})}));
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "bplist00");
    auto plist = PropertyList::parse(bytes);
    ASSERT_TRUE(plist);
    EXPECT_EQ((*plist)["$archiver"], Value("NSKeyedArchiver"));
    EXPECT_EQ((*plist)["$version"], Value(100000));
    const Value table = (*plist)["$objects"];  // operator[] answers a copy
    ASSERT_TRUE(table.isArray());
    const Array& objects = *table.array();
    EXPECT_EQ(objects[0], Value("$null"));
    const UID root = *(*plist)["$top"]["root"].uid();
    const Value elements = objects[root.value]["NS.objects"];
    ASSERT_EQ(elements.count(), 3u);
    const Value& first = objects[(*elements.array())[0].uid()->value];
    const Value& second = objects[(*elements.array())[1].uid()->value];
    EXPECT_EQ(first["count"], Value(3));  // scalar kinds sit directly under the key
    EXPECT_TRUE(first["name"].isUID());   // objects are references
    EXPECT_EQ(first["$class"], second["$class"]);  // one class entry per class
    EXPECT_EQ(objects[first["$class"].uid()->value]["$classes"],
              Value(Array{Value("Crate"), Value("Box"), Value("NSObject")}));
    int arrayClasses = 0;
    for (const Value& o : objects) arrayClasses += o["$classname"] == Value("NSArray");
    EXPECT_EQ(arrayClasses, 1);
}

TEST_F(KeyedArchiverTest, BytesAreReadableByPlistutil) {
    if (std::system("command -v plistutil >/dev/null 2>&1") != 0) GTEST_SKIP() << "plistutil is not installed";
    std::string in = env.root() + "/archive.bin", out = env.root() + "/archive.xml";
    Data bytes = KeyedArchiver::archivedDataWithRootObject(Value(Dictionary{{"k", Value(URL::fileURLWithPath("/x"))}}));
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_EQ(std::system(("plistutil -i '" + in + "' -o '" + out + "' 2>/dev/null").c_str()), 0);
    const std::string text = test::readFileOrEmpty(out);
    EXPECT_NE(text.find("NSKeyedArchiver"), std::string::npos);
    EXPECT_NE(text.find("file:///x"), std::string::npos);
}

TEST_F(KeyedArchiverTest, SharedObjectsStayShared) {
    auto crate = std::make_shared<Crate>();
    Value back = roundTrip(Value(Array{Value(crate), Value(Dictionary{{"again", Value(crate)}})}));
    ASSERT_EQ(back.count(), 2u);
    EXPECT_EQ((*back.array())[0].object(), (*back.array())[1]["again"].object());
    EXPECT_TRUE((*back.array())[0].object());
    // Temporaries made while encoding are distinct even if one's memory is reused.
    auto made = roundTrip(Value(std::make_shared<Maker>())).objectAs<Crate>();
    ASSERT_TRUE(made);
    EXPECT_EQ(made->name, "firstsecond");
}

TEST_F(KeyedArchiverTest, UnarchivableAndUnknownObjectsBecomeNil) {
    Value back = roundTrip(Value(Array{Value(std::make_shared<Plain>()), Value("kept")}));
    EXPECT_EQ(back, Value(Array{Value(), Value("kept")}));
    EXPECT_EQ(archiveLogs(), 1u);

    Array objects{Value("$null"), Value(Dictionary{{"NS.objects", Value(Array{ref(3), ref(4), ref(3)})}, {"$class", ref(2)}}),
                  cls("NSMutableArray"), Value(Dictionary{{"$class", ref(5)}}), Value("kept"), cls("Gadget")};
    EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithData(handMade(objects)), Value(Array{Value(), Value("kept"), Value()}));
    EXPECT_EQ(archiveLogs(), 2u);  // one line for the unknown class, not one per object
    EXPECT_TRUE(KeyedUnarchiver::unarchiveObjectWithData(handMade(objects, ref(3))).isNil());
}

TEST_F(KeyedArchiverTest, FactoriesThatThrowOrRefuse) {
    Array objects{Value("$null"), Value(Dictionary{{"$class", ref(2)}}), cls("Thrower"),
                  Value(Dictionary{{"NS.objects", Value(Array{ref(5), ref(1)})}, {"$class", ref(4)}}), cls("NSArray"),
                  Value(Dictionary{{"$class", ref(6)}}), cls("Refuser")};
    EXPECT_TRUE(KeyedUnarchiver::unarchiveObjectWithData(handMade(objects, ref(3))).isNil());
    EXPECT_EQ(archiveLogs(), 1u);
    EXPECT_TRUE(env.logged("boom"));
    objects[1] = Value(Dictionary{{"$class", ref(6)}});
    EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithData(handMade(objects, ref(3))), Value(Array{Value(), Value()}));
}

// What the dock's stores rely on to keep an archive aside before it is replaced: the
// report names everything that was left out, and a whole archive reports nothing.
TEST_F(KeyedArchiverTest, TheReportTellsWhatWasLeftOutOfAnArchiveReadInPart) {
    KeyedUnarchiver::Report report;
    auto crate = std::make_shared<Crate>();
    crate->name = "whole";
    Value whole = KeyedUnarchiver::unarchiveObjectWithData(KeyedArchiver::archivedDataWithRootObject(Value(crate)), report);
    ASSERT_TRUE(whole.objectAs<Crate>());
    EXPECT_TRUE(report.complete()) << report.summary();

    Array objects{Value("$null"),
                  Value(Dictionary{{"NS.objects", Value(Array{ref(3), ref(5), ref(7), ref(9)})}, {"$class", ref(2)}}),
                  cls("NSArray"),
                  Value(Dictionary{{"$class", ref(4)}}), cls("Gadget"),  // a damaged class name
                  Value(Dictionary{{"$class", ref(6)}}), cls("Refuser"),
                  Value(Dictionary{{"$class", ref(8)}}), cls("Picky"),
                  Value("kept")};
    Value partial = KeyedUnarchiver::unarchiveObjectWithData(handMade(objects), report);
    ASSERT_TRUE(partial.array());
    EXPECT_EQ(partial.array()->size(), 4u);
    EXPECT_TRUE(report.failure.empty());
    ASSERT_EQ(report.leftOut.size(), 3u) << report.summary();
    EXPECT_NE(report.summary().find("Gadget"), std::string::npos);
    EXPECT_NE(report.summary().find("Refuser"), std::string::npos);
    EXPECT_NE(report.summary().find("a picky member"), std::string::npos);
    EXPECT_EQ(archiveLogs(), 0u);  // told through the report

    EXPECT_TRUE(KeyedUnarchiver::unarchiveObjectWithData(Data{'x'}, report).isNil());
    EXPECT_FALSE(report.failure.empty());
    EXPECT_FALSE(report.complete());
}

// Strings are archived as a property list can hold them, so one odd string never
// empties a whole archive (and with it the stored dock).
TEST_F(KeyedArchiverTest, StringsWithNulOrStrayBytesAreArchivedReadably) {
    auto crate = std::make_shared<Crate>();
    crate->name = std::string("a\0b\xFF", 4);
    Data bytes = KeyedArchiver::archivedDataWithRootObject(Value(Array{Value(crate), Value(std::string("x\0", 2))}));
    ASSERT_FALSE(bytes.empty());
    Value back = KeyedUnarchiver::unarchiveObjectWithData(bytes);
    ASSERT_TRUE(back.array());
    EXPECT_EQ(back.array()->at(0).objectAs<Crate>()->name, "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    EXPECT_EQ(back.array()->at(1), Value("x\xEF\xBF\xBD"));
}

TEST_F(KeyedArchiverTest, FormsOfOtherWriters) {
    Array objects{Value("$null"),
                  Value(Dictionary{{"NS.keys", Value(Array{ref(3), ref(4), ref(13)})},
                                   {"NS.objects", Value(Array{ref(5), ref(7), ref(9)})},
                                   {"$class", ref(2)}}),
                  cls("NSMutableDictionary"), Value("text"), Value("url"),
                  Value(Dictionary{{"NS.string", Value("mutable")}, {"$class", ref(6)}}), cls("NSMutableString"),
                  Value(Dictionary{{"NS.base", ref(10)}, {"NS.relative", ref(8)}, {"$class", ref(11)}}),
                  Value("../c%20d.txt"),
                  Value(Dictionary{{"NS.objects", Value(Array{ref(12)})}, {"$class", ref(14)}}),
                  Value(Dictionary{{"NS.base", ref(0)}, {"NS.relative", Value("file:///a/b/")}, {"$class", ref(11)}}),
                  cls("NSURL"), Value(Dictionary{{"NS.data", Value(Data{9})}, {"$class", ref(15)}}), Value(17),
                  cls("NSSet"), cls("NSMutableData")};
    Value back = KeyedUnarchiver::unarchiveObjectWithData(handMade(objects));
    EXPECT_EQ(back["text"], Value("mutable"));
    ASSERT_TRUE(back["url"].objectAs<URL>());
    EXPECT_EQ(back["url"].objectAs<URL>()->absoluteString(), "file:///a/c%20d.txt");
    EXPECT_EQ(back.count(), 2u);  // the pair with the number key is skipped
    EXPECT_EQ(archiveLogs(), 1u);
    objects[1] = Value(Dictionary{{"NS.objects", Value(Array{ref(12)})}, {"$class", ref(14)}});
    EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithData(handMade(objects)), Value(Array{Value(Data{9})}));
}

TEST_F(KeyedArchiverTest, CyclesDecodeTheBackReferenceAsNil) {
    Array selfArray{Value("$null"), Value(Dictionary{{"NS.objects", Value(Array{ref(1), ref(3)})}, {"$class", ref(2)}}),
                    cls("NSArray"), Value("x")};
    EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithData(handMade(selfArray)), Value(Array{Value(), Value("x")}));
    EXPECT_EQ(archiveLogs(), 1u);
    Array selfObject{Value("$null"), Value(Dictionary{{"child", ref(1)}, {"count", Value(4)}, {"$class", ref(2)}}),
                     cls("Crate")};
    auto crate = KeyedUnarchiver::unarchiveObjectWithData(handMade(selfObject)).objectAs<Crate>();
    ASSERT_TRUE(crate);
    EXPECT_EQ(crate->count, 4);
    EXPECT_TRUE(crate->child.isNil());
}

TEST_F(KeyedArchiverTest, HostileInputAnswersNilWithOneLine) {
    const Value arr = cls("NSArray");
    auto list = [](Array uids, uint64_t c) { return Value(Dictionary{{"NS.objects", Value(std::move(uids))}, {"$class", ref(c)}}); };
    std::vector<std::pair<std::string, Data>> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"not a plist", Data{'h', 'e', 'l', 'l', 'o'}});
    cases.push_back({"not a dictionary", *PropertyList::serialize(Value(Array{Value(1)}), PropertyList::Format::Binary)});
    cases.push_back({"wrong archiver", handMade({Value("$null"), Value(1)}, ref(1), Value("Other"))});
    cases.push_back({"archiver not a string", handMade({Value("$null"), Value(1)}, ref(1), Value(3))});
    cases.push_back({"root not a UID", handMade({Value("$null"), Value(1)}, Value(1))});
    cases.push_back({"empty objects", handMade({})});
    cases.push_back({"root out of range", handMade({Value("$null")}, ref(99))});
    cases.push_back({"element out of range", handMade({Value("$null"), list({ref(1u << 30)}, 2), arr})});
    cases.push_back({"element not a UID", handMade({Value("$null"), list({Value(1)}, 2), arr})});
    cases.push_back({"class not a UID", handMade({Value("$null"), Value(Dictionary{{"$class", Value(2)}}), arr})});
    cases.push_back({"class is a string", handMade({Value("$null"), Value(Dictionary{{"$class", ref(2)}}), Value("s")})});
    cases.push_back({"class missing", handMade({Value("$null"), Value(Dictionary{{"k", Value(1)}})})});
    cases.push_back({"key count mismatch",
                     handMade({Value("$null"),
                               Value(Dictionary{{"NS.keys", Value(Array{ref(3)})}, {"NS.objects", Value(Array{})}, {"$class", ref(2)}}),
                               cls("NSDictionary"), Value("k")})});
    {
        Array deep{Value("$null"), arr};  // 1000 arrays, each holding the next
        for (uint64_t i = 0; i < 1000; ++i) deep.push_back(list({ref(i + 3 < 1002 ? i + 3 : 0)}, 1));
        cases.push_back({"too deep", handMade(deep, ref(2))});
    }
    cases.push_back({"too many", handMade({Value("$null"), list(Array(1200000, ref(3)), 2), arr, Value("s")})});
    // 1100 references to one array of 1000 strings: small to store, 1.1 million to expand.
    cases.push_back({"too many shared", handMade({Value("$null"), list(Array(1100, ref(3)), 2), arr,
                                                  list(Array(1000, ref(4)), 2), Value("s")})});
    {
        Array laughs{Value("$null"), arr};  // 60 arrays, each naming the next twice: 2^60 values
        for (uint64_t i = 0; i < 60; ++i) laughs.push_back(i == 59 ? Value("lol") : list({ref(i + 3), ref(i + 3)}, 1));
        cases.push_back({"exponential", handMade(laughs, ref(2))});
    }
    for (const auto& [name, bytes] : cases) {
        size_t before = archiveLogs();
        EXPECT_TRUE(KeyedUnarchiver::unarchiveObjectWithData(bytes).isNil()) << name;
        EXPECT_EQ(archiveLogs() - before, 1u) << name;
    }
    EXPECT_TRUE(KeyedUnarchiver::unarchiveObjectWithData(Data((64u << 20) + 1, 0)).isNil());
}

TEST_F(KeyedArchiverTest, RandomByteFlipsNeverCrash) {
    auto crate = std::make_shared<Crate>();
    crate->child = Value(Array{Value(URL::fileURLWithPath("/a")), Value(Dictionary{{"d", Value(Date{5})}}), Value(crate)});
    const Data good = KeyedArchiver::archivedDataWithRootObject(Value(Array{Value(crate), Value(crate), Value(-3.5)}));
    ASSERT_FALSE(KeyedUnarchiver::unarchiveObjectWithData(good).isNil());
    std::mt19937 rng(20240601);
    for (int i = 0; i < 3000; ++i) {
        Data bad = good;
        int flips = 1 + int(rng() % 4);
        for (int f = 0; f < flips; ++f) bad[rng() % bad.size()] ^= uint8_t(1u << (rng() % 8));
        if (rng() % 10 == 0) bad.resize(rng() % bad.size());
        (void)KeyedUnarchiver::unarchiveObjectWithData(bad);
    }
    crate->child = Value();  // the crate held itself: the cycle goes with the test
}

}  // namespace
}  // namespace qs
