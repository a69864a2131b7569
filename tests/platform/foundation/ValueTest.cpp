#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

namespace qs {
namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

TEST(ValueTest, StringsReadAsBoolByTheirFirstSignificantCharacter) {
    for (const char* yes : {"YES", "yes", "Y", "true", "T", "1", "  +0001", "007", "9 lives", "-3"})
        EXPECT_TRUE(Value(yes).boolValue()) << '"' << yes << '"';
    for (const char* no : {"NO", "no", "false", "0", "", "   ", "-0", "000", "0.5", "abc", "+"})
        EXPECT_FALSE(Value(no).boolValue()) << '"' << no << '"';
    EXPECT_TRUE(Value(2).boolValue());
    EXPECT_TRUE(Value(0.1).boolValue());
    EXPECT_FALSE(Value(0.0).boolValue());
    EXPECT_FALSE(Value(Data{1}).boolValue());
    EXPECT_FALSE(Value(Array{Value(true)}).boolValue());
    EXPECT_FALSE(Value().boolValue());
}

TEST(ValueTest, IntegerReadsTruncateAndClamp) {
    EXPECT_EQ(Value("12").integerValue(), 12);
    EXPECT_EQ(Value(" -42 apples").integerValue(), -42);
    EXPECT_EQ(Value("3.7").integerValue(), 3);
    EXPECT_EQ(Value("abc").integerValue(), 0);
    EXPECT_EQ(Value("-9223372036854775808").integerValue(), kMin);
    EXPECT_EQ(Value("9223372036854775807").integerValue(), kMax);
    // Out of range saturates rather than wrapping into a number of the other sign.
    EXPECT_EQ(Value("99999999999999999999").integerValue(), kMax);
    EXPECT_EQ(Value("-99999999999999999999").integerValue(), kMin);
    EXPECT_EQ(Value("9223372036854775808").integerValue(), kMax);

    EXPECT_EQ(Value(3.7).integerValue(), 3);
    EXPECT_EQ(Value(-3.7).integerValue(), -3);
    EXPECT_EQ(Value(1e30).integerValue(), kMax);
    EXPECT_EQ(Value(-1e30).integerValue(), kMin);
    EXPECT_EQ(Value(std::nan("")).integerValue(), 0);
    EXPECT_EQ(Value(true).integerValue(), 1);
    EXPECT_EQ(Value(false).integerValue(), 0);
    EXPECT_EQ(Value(Date{5}).integerValue(), 0);
}

TEST(ValueTest, DoubleReadsOfStrings) {
    EXPECT_DOUBLE_EQ(Value("2.5").doubleValue(), 2.5);
    EXPECT_DOUBLE_EQ(Value(" +1e3").doubleValue(), 1000.0);
    EXPECT_DOUBLE_EQ(Value("-0.25kg").doubleValue(), -0.25);
    EXPECT_EQ(Value("x1").doubleValue(), 0.0);
    EXPECT_TRUE(std::isinf(Value("1e999").doubleValue()));
    EXPECT_LT(Value("-1e999").doubleValue(), 0.0);
    EXPECT_EQ(Value("1e-999").doubleValue(), 0.0);
    EXPECT_EQ(Value(kMax).doubleValue(), double(kMax));
}

TEST(ValueTest, DoubleReadsIgnoreTheProcessLocale) {
    // The program runs with the user's locale (Qt sets it); a decimal comma locale must
    // not change how "2.5" reads.
    const char* saved = std::setlocale(LC_NUMERIC, nullptr);
    std::string restore = saved ? saved : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no decimal-comma locale installed";
    double read = Value("2.5").doubleValue();
    std::string text = Value(2.5).description();
    std::setlocale(LC_NUMERIC, restore.c_str());
    EXPECT_DOUBLE_EQ(read, 2.5);
    EXPECT_EQ(text, "2.5");
}

class Named : public Object {
public:
    explicit Named(std::string name) : name_(std::move(name)) {}
    bool isEqual(const Object* other) const override {
        auto o = dynamic_cast<const Named*>(other);
        return o && o->name_ == name_;
    }
    std::string description() const override { return "<Named " + name_ + ">"; }

private:
    std::string name_;
};

TEST(ValueTest, EqualityKeepsTypesApart) {
    // A setting that changes from bool to integer (or integer to real) is a change.
    EXPECT_NE(Value(true), Value(1));
    EXPECT_NE(Value(1), Value(1.0));
    EXPECT_NE(Value(""), Value());
    EXPECT_NE(Value(Array{}), Value(Dictionary{}));
    EXPECT_NE(Value(Array{Value(1)}), Value(Array{Value(1.0)}));
    EXPECT_NE(Value(Dictionary{{"a", Value(false)}}), Value(Dictionary{{"a", Value(0)}}));
    EXPECT_EQ(Value(Dictionary{{"a", Value(Array{Value("x"), Value(Data{1, 2})})}}),
              Value(Dictionary{{"a", Value(Array{Value("x"), Value(Data{1, 2})})}}));
    EXPECT_EQ(Value(UID{3}), Value(UID{3}));
    EXPECT_NE(Value(UID{3}), Value(3));
    EXPECT_EQ(Value(Date{1.5}), Value(Date{1.5}));
}

TEST(ValueTest, ObjectsCompareThroughIsEqualAndNullIsNil) {
    auto a = std::make_shared<Named>("a");
    EXPECT_EQ(Value(a), Value(std::make_shared<Named>("a")));
    EXPECT_NE(Value(a), Value(std::make_shared<Named>("b")));
    EXPECT_NE(Value(a), Value(std::make_shared<Object>()));
    EXPECT_EQ(Value(a).objectAs<Named>(), a);
    EXPECT_EQ(Value(a).objectAs<Named>()->description(), "<Named a>");

    std::shared_ptr<Named> none;
    Value nil(none);
    EXPECT_TRUE(nil.isNil());
    EXPECT_EQ(nil, Value());
    EXPECT_EQ(nil.object(), nullptr);
}

TEST(ValueTest, AccessorsOnTheWrongTypeAnswerEmpty) {
    Value number(7);
    EXPECT_EQ(number.string(), nullptr);
    EXPECT_EQ(number.array(), nullptr);
    EXPECT_EQ(number.object(), nullptr);
    EXPECT_EQ(number.stringValue(), "");
    EXPECT_EQ(number.count(), 0u);
    EXPECT_TRUE(number["key"].isNil());
    Value dict(Dictionary{{"key", Value("v")}, {"other", Value(1)}});
    EXPECT_EQ(dict.count(), 2u);
    EXPECT_EQ(dict["key"], Value("v"));
    EXPECT_TRUE(dict["missing"].isNil());
    // Mutable access changes the value in place.
    dict.dictionary()->erase("key");
    EXPECT_EQ(dict.count(), 1u);
}

TEST(ValueTest, DescriptionsForLogLines) {
    EXPECT_EQ(Value().description(), "nil");
    EXPECT_EQ(Value(true).description(), "YES");
    EXPECT_EQ(Value(kMin).description(), "-9223372036854775808");
    EXPECT_EQ(Value(Array{Value("a"), Value(1)}).description(), "(\"a\", 1)");
    EXPECT_EQ(Value(Dictionary{{"k", Value(Data{0xAB, 0x01})}}).description(), "{k = <ab01>; }");
    EXPECT_EQ(Value(Date{0}).description(), "1970-01-01 00:00:00 +0000");
    // Half a second before 1970 is still in the last second of 1969.
    EXPECT_EQ(Value(Date{-0.5}).description(), "1969-12-31 23:59:59 +0000");
    EXPECT_FALSE(Value(Date{std::nan("")}).description().empty());
    // Large data is shortened, not dumped whole into a log line.
    std::string big = Value(Data(100000, 0x55)).description();
    EXPECT_LT(big.size(), 400u);
    EXPECT_NE(big.find("100000 bytes"), std::string::npos);
}

}  // namespace
}  // namespace qs
