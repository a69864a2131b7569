#include <gtest/gtest.h>

#include "platform/foundation/IndexSetCoding.h"
#include "platform/foundation/PropertyList.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

class IndexSetCodingTest : public test::IsolatedTest {};

TEST_F(IndexSetCodingTest, RoundTripsOneRangeSeveralRangesAndNone) {
    for (const std::vector<size_t>& set : {std::vector<size_t>{}, {3}, {0, 1, 2}, {0, 4, 5, 9, 300, 70000}}) {
        auto back = unarchivedIndexSet(archivedIndexSet(set));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, set);
    }
    // Unsorted and repeated indexes are one set.
    EXPECT_EQ(*unarchivedIndexSet(archivedIndexSet({5, 1, 5, 2})), (std::vector<size_t>{1, 2, 5}));
}

TEST_F(IndexSetCodingTest, TheArchiveNamesTheIndexSetClassAndItsRange) {
    auto parsed = PropertyList::parse(archivedIndexSet({4, 5, 6}));
    ASSERT_TRUE(parsed.has_value());
    Value plist = *parsed;
    Value table = plist["$objects"];
    const Array* objects = table.array();
    ASSERT_NE(objects, nullptr);
    bool named = false, ranged = false;
    for (const Value& o : *objects) {
        if (o["$classname"] == Value("NSIndexSet")) named = true;
        if (o["NSLocation"] == Value(4) && o["NSLength"] == Value(3) && o["NSRangeCount"] == Value(1)) ranged = true;
    }
    EXPECT_TRUE(named);
    EXPECT_TRUE(ranged);
}

TEST_F(IndexSetCodingTest, HugeOrBrokenSetsAreRefused) {
    class Forged : public Object, public Coding {
    public:
        explicit Forged(Dictionary keys) : keys_(std::move(keys)) {}
        std::string className() const override { return "NSIndexSet"; }
        std::vector<std::string> classHierarchy() const override { return {"NSIndexSet", "NSObject"}; }
        void encodeWithCoder(Coder& coder) const override {
            for (const auto& [k, v] : keys_) {
                if (v.isData())
                    coder.encodeObject(v, k);
                else
                    coder.encodeInteger(v.integerValue(), k);
            }
        }

    private:
        Dictionary keys_;
    };
    auto forge = [](Dictionary keys) {
        return KeyedArchiver::archivedDataWithRootObject(Value(std::make_shared<Forged>(std::move(keys))));
    };
    EXPECT_FALSE(unarchivedIndexSet(forge({{"NSRangeCount", Value(1)}, {"NSLocation", Value(0)},
                                           {"NSLength", Value(int64_t(1) << 40)}})));
    EXPECT_FALSE(unarchivedIndexSet(forge({{"NSRangeCount", Value(1)}, {"NSLocation", Value(-5)},
                                           {"NSLength", Value(2)}})));
    EXPECT_FALSE(unarchivedIndexSet(forge({{"NSRangeCount", Value(3)}, {"NSRangeData", Value(Data{1, 1})}})));
    EXPECT_FALSE(unarchivedIndexSet(forge({{"NSRangeCount", Value(2)}})));
    EXPECT_TRUE(env.logged("index set is malformed"));
    EXPECT_FALSE(unarchivedIndexSet(Data{1, 2, 3}));
}

}  // namespace
}  // namespace qs
