// The collection and path-string helpers the model code uses.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/CollectionHelpers.h"
#include "core/Separator.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

using Ints = std::vector<int>;

TEST(FnUtilsTest, FindInStopsAtTheFirstMatchAndNeverCallsTheBlockOnAnEmptyCollection) {
    int calls = 0;
    EXPECT_EQ(FnUtils::findIn(Ints{}, [&](int) { return ++calls, true; }), 0);
    EXPECT_EQ(calls, 0);

    Array items{Value("a"), Value("b"), Value("b"), Value("c")};
    Value found = FnUtils::findIn(items, [&](const Value& v) { return ++calls, v == Value("b"); });
    EXPECT_EQ(found, Value("b"));
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(FnUtils::findIn(items, [](const Value& v) { return v == Value("z"); }).isNil());
}

TEST(FnUtilsTest, MapFlatMapAndFilterKeepTheCollectionsOrder) {
    Ints xs{3, 1, 2};
    EXPECT_EQ(FnUtils::map(xs, [](int x) { return x * 10; }), (Ints{30, 10, 20}));
    // An empty result adds nothing.
    EXPECT_EQ(FnUtils::flatMap(xs, [](int x) { return x == 1 ? Ints{} : Ints{x, x}; }), (Ints{3, 3, 2, 2}));
    EXPECT_EQ(FnUtils::filter(xs, [](int x) { return x != 1; }), (Ints{3, 2}));
}

TEST(NTExtensionsTest, IndexChecksAtTheEdges) {
    Array three{Value(1), Value(2), Value(3)};
    EXPECT_TRUE(NTExtensions::validInsertIndex(three, 3));
    EXPECT_FALSE(NTExtensions::validInsertIndex(three, 4));
    EXPECT_TRUE(NTExtensions::validIndex(three, 2));
    EXPECT_FALSE(NTExtensions::validIndex(three, 3));
    EXPECT_FALSE(NTExtensions::validIndex(three, -1));
    EXPECT_TRUE(NTExtensions::safeObjectAtIndex(three, -1).isNil());
    EXPECT_TRUE(NTExtensions::safeObjectAtIndex(three, 3).isNil());
    EXPECT_EQ(NTExtensions::safeObjectAtIndex(three, 0), Value(1));
    EXPECT_TRUE(NTExtensions::validInsertIndex(Array{}, 0));
}

TEST(NTExtensionsTest, RemovingDuplicatesComparesObjectsByEquality) {
    auto s1 = Separator::create(), s2 = Separator::create();
    bool same = false;
    Array distinct{Value(s1), Value(s2), Value("x")};
    EXPECT_EQ(NTExtensions::arrayByRemovingDuplicates(distinct, &same).size(), 3u);
    EXPECT_TRUE(same);

    Array twice{Value(s1), Value("x"), Value(s1), Value("x")};
    auto out = NTExtensions::arrayByRemovingDuplicates(twice, &same);
    EXPECT_FALSE(same);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].object(), s1);
}

TEST(NTExtensionsTest, CopiesWithOneChange) {
    Ints xs{1, 2, 3, 2};
    EXPECT_EQ(NTExtensions::arrayByReplacingObjectAtIndex(xs, 1, 9), (Ints{1, 9, 3, 2}));
    EXPECT_EQ(NTExtensions::arrayByReplacingObjectAtIndex(xs, -1, 9), xs);
    EXPECT_EQ(NTExtensions::arrayByReplacingObjectAtIndex(xs, 4, 9), xs);
    EXPECT_EQ(NTExtensions::arrayByRemovingObject(xs, 2), (Ints{1, 3}));
    EXPECT_EQ(NTExtensions::arrayByAddingObjectToFront(xs, 0), (Ints{0, 1, 2, 3, 2}));
    EXPECT_EQ(NTExtensions::reversedArray(xs), (Ints{2, 3, 2, 1}));

    Array values{Value(1)};
    EXPECT_EQ(NTExtensions::arrayByAddingObjectToFront(values, Value()), values);
}

TEST(NTExtensionsTest, RemovingByIdentityKeepsEqualButDistinctObjects) {
    // Only the very object goes; another object of the same kind stays.
    auto a = Separator::create(), b = Separator::create();
    Array list{Value(a), Value(b), Value(a)};
    auto out = NTExtensions::arrayByRemovingObjectIdenticalTo(list, Value(a));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].object(), b);
}

TEST(NTExtensionsTest, DeepMutableCopyCopiesNestedContainers) {
    Array inner{Value(1)};
    Array outer{Value(inner), Value(Dictionary{{"k", Value(Array{Value(2)})}})};
    Array copy = NTExtensions::deepMutableCopy(outer);
    copy[0].array()->push_back(Value(5));
    (*copy[1].dictionary())["k"].array()->clear();
    EXPECT_EQ(outer[0].count(), 1u);
    EXPECT_EQ(outer[1]["k"].count(), 1u);
}

TEST(MoveToIndexTest, TheDestinationIsAnInsertionPointBeforeTheMove) {
    std::vector<std::string> abc{"a", "b", "c"};
    auto v = abc;
    MoveToIndex::moveObjectAtIndex(v, 0, 2);
    EXPECT_EQ(v, (std::vector<std::string>{"b", "a", "c"}));
    v = abc;
    MoveToIndex::moveObjectAtIndex(v, 2, 0);
    EXPECT_EQ(v, (std::vector<std::string>{"c", "a", "b"}));
    v = abc;
    MoveToIndex::moveObjectAtIndex(v, 0, 3);
    EXPECT_EQ(v, (std::vector<std::string>{"b", "c", "a"}));
    v = abc;
    MoveToIndex::moveObjectAtIndex(v, 5, 0);  // out of range: untouched
    EXPECT_EQ(v, abc);
}

TEST(MoveSourceTest, AdjustsDestinationAndSelection) {
    uint64_t s = 1, d = 2, l = 7;
    EXPECT_FALSE(NTExtensions::moveSource(s, d, l));
    EXPECT_EQ(d, 2u);
    EXPECT_EQ(l, 7u);

    s = 0, d = 3, l = 0;
    EXPECT_TRUE(NTExtensions::moveSource(s, d, l));
    EXPECT_EQ(d, 2u);
    EXPECT_EQ(l, 2u);

    // Moving an element from after the selection to before it pushes the selection on.
    s = 4, d = 1, l = 2;
    EXPECT_TRUE(NTExtensions::moveSource(s, d, l));
    EXPECT_EQ(d, 1u);
    EXPECT_EQ(l, 3u);
    // And from before it to after it pulls it back.
    s = 0, d = 4, l = 2;
    EXPECT_TRUE(NTExtensions::moveSource(s, d, l));
    EXPECT_EQ(d, 3u);
    EXPECT_EQ(l, 1u);
}

TEST(PathStringTest, UserNameIsTheThirdComponent) {
    EXPECT_EQ(Category::getUserName("/home/bob/Documents/x.txt"), "bob");
    EXPECT_EQ(Category::getUserName("/home/bob"), "bob");
    EXPECT_EQ(Category::getUserName("/home"), "");  // the users folder itself
    EXPECT_EQ(Category::getUserName("/home/"), "");
    EXPECT_EQ(Category::getUserName("/media/disk/x"), "disk");  // whatever the second component
    EXPECT_EQ(Category::getUserName("a/b/c"), "c");
    EXPECT_EQ(Category::getUserName("a/b"), "");
    EXPECT_EQ(Category::getUserName(""), "");
}

class PathExistsTest : public test::IsolatedTest {};

TEST_F(PathExistsTest, LinksAreFollowed) {
    std::string file = env.root() + "/f";
    std::ofstream(file) << "x";
    EXPECT_TRUE(Category::isExistAtPath(file));
    EXPECT_FALSE(Category::isExistAtPath(env.root() + "/missing"));
    EXPECT_FALSE(Category::isExistAtPath(""));
    std::filesystem::create_symlink(env.root() + "/missing", env.root() + "/link");
    EXPECT_FALSE(Category::isExistAtPath(env.root() + "/link"));
    std::filesystem::create_symlink(file, env.root() + "/good");
    EXPECT_TRUE(Category::isExistAtPath(env.root() + "/good"));
}

}  // namespace
}  // namespace qs
