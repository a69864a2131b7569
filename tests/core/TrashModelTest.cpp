// The dock's trash item against a real trash under a private XDG_DATA_HOME.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/ItemImages.h"
#include "core/TrashModel.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/sim/SimBackend.h"
#include "support/TestEnvironment.h"
#include "tracking/FinderOperations.h"

namespace fs = std::filesystem;

namespace qs::test {
namespace {

ImagePtr solid(QColor colour) {
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(colour);
    return std::make_shared<Image>(image);
}

// A minimal coder over a dictionary (decoding only).
class DictionaryCoder : public Coder {
public:
    Dictionary values;
    void encodeObject(const Value& v, const std::string& k) override { values[k] = v; }
    void encodeBool(bool v, const std::string& k) override { values[k] = Value(v); }
    void encodeInt(int32_t v, const std::string& k) override { values[k] = Value(int64_t(v)); }
    void encodeInteger(int64_t v, const std::string& k) override { values[k] = Value(v); }
    void encodeFloat(float v, const std::string& k) override { values[k] = Value(v); }
    void encodeDouble(double v, const std::string& k) override { values[k] = Value(v); }
    Value decodeObjectForKey(const std::string& k) override { return values.count(k) ? values[k] : Value(); }
    bool decodeBoolForKey(const std::string& k) override { return decodeObjectForKey(k).boolValue(); }
    int32_t decodeIntForKey(const std::string& k) override { return int32_t(decodeObjectForKey(k).integerValue()); }
    int64_t decodeIntegerForKey(const std::string& k) override { return decodeObjectForKey(k).integerValue(); }
    float decodeFloatForKey(const std::string& k) override { return float(decodeObjectForKey(k).doubleValue()); }
    double decodeDoubleForKey(const std::string& k) override { return decodeObjectForKey(k).doubleValue(); }
    bool containsValueForKey(const std::string& k) override { return values.count(k) > 0; }
};

class TrashModelTest : public IsolatedTest {
protected:
    void SetUp() override {
        TrashModel::resetSharedInstanceForTesting();
        backend = sim::installSimBackend(false);
        saves = NotificationCenter::defaultCenter().addObserver(this, "saveDocksData", nullptr,
                                                                [this](const Notification&) { ++saveCount; });
    }
    void TearDown() override {
        NotificationCenter::defaultCenter().removeObserver(this);
        TrashModel::resetSharedInstanceForTesting();
    }
    void putInTrash(const std::string& name) {
        std::string path = env.root() + "/" + name;
        std::ofstream(path) << name;
        ASSERT_TRUE(FileOperations::moveItemsToTrash({URL::fileURLWithPath(path)}));
    }
    sim::SimBackend backend;
    NotificationCenter::ObserverToken saves = 0;
    int saveCount = 0;
};

TEST_F(TrashModelTest, EveryTrashIsTheSameObject) {
    auto first = TrashModel::init();
    EXPECT_EQ(first, TrashModel::init());
    EXPECT_EQ(first->name(), "Trash Bin");
    EXPECT_EQ(first->localizedName(), "Trash Bin");
    DictionaryCoder coder;
    coder.values["name"] = Value("Bin");
    auto fullIcon = solid(Qt::red);
    coder.values["fullIcon"] = Value(fullIcon);
    auto decoded = TrashModel::initWithCoder(coder);
    EXPECT_EQ(decoded, first) << "decoding changes the shared object";
    EXPECT_EQ(first->name(), "Bin");
    EXPECT_EQ(first->fullIcon(), fullIcon);
}

TEST_F(TrashModelTest, TheIconFollowsTheRealContentsOfTheTrash) {
    auto trash = TrashModel::init();
    auto fullIcon = solid(Qt::red);
    trash->setFullIcon(fullIcon);
    EXPECT_TRUE(trash->isEmpty());
    EXPECT_EQ(trash->icon(), imageNamed("Recycle_Bin")) << "no custom empty icon: the built-in one";
    putInTrash("paper.txt");
    env.loop().runPending();
    EXPECT_TRUE(trash->isTrashFull());
    EXPECT_EQ(trash->icon(), fullIcon);
    trash->setFullIcon(nullptr);
    EXPECT_EQ(trash->icon(), imageNamed("Recycle_Bin_Full"));
}

TEST_F(TrashModelTest, EmptyingSwitchesToTheEmptyIconAndSaves) {
    auto trash = TrashModel::init();
    putInTrash("a.txt");
    env.loop().runPending();
    ASSERT_EQ(trash->icon(), imageNamed("Recycle_Bin_Full"));
    int iconChanges = 0;
    auto observation = trash->observe("icon", KeyValueObservingOptionNew, [&](const KeyValueChange&) { ++iconChanges; });
    saveCount = 0;
    EXPECT_TRUE(trash->emptyTrash());
    env.loop().runPending();
    EXPECT_EQ(trash->icon(), imageNamed("Recycle_Bin"));
    EXPECT_EQ(iconChanges, 1);
    EXPECT_GE(saveCount, 1);
}

TEST_F(TrashModelTest, ABurstOfTrashChangesRecomputesTheIconOnce) {
    auto trash = TrashModel::init();
    env.loop().runPending();
    saveCount = 0;
    for (int i = 0; i < 500; ++i) NotificationCenter::defaultCenter().postNotificationName("NSWorkspace+Trash");
    env.loop().runPending();
    EXPECT_EQ(saveCount, 1);
}

TEST_F(TrashModelTest, ArchiveKeysAndDecodingFallbacks) {
    auto trash = TrashModel::init();
    auto emptyIcon = solid(Qt::green);
    trash->setEmptyIcon(emptyIcon);
    DictionaryCoder out;
    trash->encodeWithCoder(out);
    EXPECT_EQ(out.values["name"].stringValue(), "Trash Bin");
    EXPECT_EQ(out.values["emptyIcon"].objectAs<Image>(), emptyIcon);
    EXPECT_EQ(out.values["icon"].objectAs<Image>(), emptyIcon);
    EXPECT_FALSE(out.values.count("fullIcon")) << "an unset custom icon is absent";

    // The decoded "icon" never outlives decoding, and a missing name keeps the old one.
    DictionaryCoder in;
    in.values["icon"] = Value(solid(Qt::blue));
    in.values["name"] = Value(int64_t(7));
    TrashModel::initWithCoder(in);
    EXPECT_EQ(trash->name(), "Trash Bin");
    EXPECT_EQ(trash->icon(), imageNamed("Recycle_Bin"));
    EXPECT_EQ(trash->emptyIcon(), nullptr);

    // Through a real keyed archive.
    trash->setName("Bin");
    Data data = KeyedArchiver::archivedDataWithRootObject(Value(trash));
    TrashModel::resetSharedInstanceForTesting();
    auto back = KeyedUnarchiver::unarchiveObjectWithData(data).objectAs<TrashModel>();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name(), "Bin");
    EXPECT_EQ(back, TrashModel::init());
}

TEST_F(TrashModelTest, AFailedMoveToTheTrashIsReported) {
    auto trash = TrashModel::init();
    EXPECT_FALSE(trash->moveItemsToTrash({URL::fileURLWithPath(env.root() + "/not-there")}));
    EXPECT_TRUE(trash->isEmpty());
}

}  // namespace
}  // namespace qs::test
