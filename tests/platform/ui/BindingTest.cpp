#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QTableView>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/desktop/Keys.h"
#include "platform/desktop/Shortcut.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ArrayController.h"
#include "platform/ui/Binding.h"
#include "platform/ui/BindingTableModel.h"
#include "platform/ui/Color.h"
#include "support/TestEnvironment.h"

namespace qs {
namespace {

// An observable object holding any keys; "index" is kept between 0 and 3, as a model
// that corrects what it is given.
class Bag : public Object {
public:
    Value valueForKey(const std::string& key) const override {
        auto it = values.find(key);
        return it == values.end() ? Value() : it->second;
    }
    void setValueForKey(const Value& value, const std::string& key) override {
        ++sets;
        Value stored = value;
        if (key == "index") stored = Value(std::clamp<int64_t>(value.integerValue(), 0, 3));
        willChangeValueForKey(key);
        values[key] = stored;
        didChangeValueForKey(key);
    }
    Dictionary values;
    int sets = 0;
};

class Owner : public Object {
public:
    Value valueForKey(const std::string& key) const override {
        if (key == "config") return config ? Value(config) : Value();
        return Object::valueForKey(key);
    }
    void setConfig(std::shared_ptr<Bag> c) {
        willChangeValueForKey("config");
        config = std::move(c);
        didChangeValueForKey("config");
    }
    std::shared_ptr<Bag> config;
};

class BindingTest : public test::IsolatedTest {
protected:
    UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }
};

TEST_F(BindingTest, CheckBoxFollowsTheDefaultAndWritesItBack) {
    QCheckBox box;
    defaults().setBool(true, "Tooltips");
    ASSERT_TRUE(Binding::bind(&box, "value", Binding::sharedDefaultsController(), "values.Tooltips"));
    EXPECT_TRUE(box.isChecked());
    defaults().setBool(false, "Tooltips");
    EXPECT_FALSE(box.isChecked());
    box.click();
    EXPECT_TRUE(defaults().objectForKey("Tooltips").isBool());
    EXPECT_TRUE(defaults().boolForKey("Tooltips"));
}

TEST_F(BindingTest, NegatedBooleanBothWays) {
    QCheckBox box;
    BindingOptions options;
    options.valueTransformerName = NSNegateBooleanTransformerName;
    ASSERT_TRUE(Binding::bind(&box, "value", Binding::sharedDefaultsController(), "values.HideMenuBarIcon", options));
    EXPECT_TRUE(box.isChecked());  // absent reads NO: shown
    box.click();
    EXPECT_EQ(defaults().objectForKey("HideMenuBarIcon"), Value(true));
    defaults().setBool(false, "HideMenuBarIcon");
    EXPECT_TRUE(box.isChecked());
}

TEST_F(BindingTest, KeyPathThroughAnOwnerFollowsANewIntermediateObject) {
    auto owner = std::make_shared<Owner>();
    auto first = std::make_shared<Bag>();
    first->values["index"] = Value(2);
    owner->setConfig(first);
    QComboBox box;
    box.addItems({"a", "b", "c", "d"});
    ASSERT_TRUE(Binding::bind(&box, "selectedIndex", owner, "config.index"));
    EXPECT_EQ(box.currentIndex(), 2);

    auto second = std::make_shared<Bag>();
    second->values["index"] = Value(1);
    owner->setConfig(second);
    EXPECT_EQ(box.currentIndex(), 1);
    box.setCurrentIndex(3);  // as the user does
    EXPECT_EQ(second->values["index"], Value(3));
    EXPECT_EQ(first->values["index"], Value(2));
    first->setValueForKey(Value(0), "index");
    EXPECT_EQ(box.currentIndex(), 3);
}

TEST_F(BindingTest, TheWidgetShowsWhatTheModelKeptNotWhatWasTyped) {
    auto bag = std::make_shared<Bag>();
    QSlider slider;
    slider.setRange(-10, 10);
    ASSERT_TRUE(Binding::bind(&slider, "value", bag, "index"));
    slider.setValue(9);
    EXPECT_EQ(bag->values["index"], Value(3));
    EXPECT_EQ(slider.value(), 3);
}

TEST_F(BindingTest, SelectedTagUsesItemTagsAndShowsNothingForAnUnknownTag) {
    QComboBox box;
    box.addItems({"zero", "one", "two", "three"});
    box.setProperty("itemTags", "0,1,2,7");
    defaults().setInteger(7, "displayIndex");
    ASSERT_TRUE(Binding::bind(&box, "selectedTag", Binding::sharedDefaultsController(), "values.displayIndex"));
    EXPECT_EQ(box.currentIndex(), 3);
    defaults().setInteger(-1, "displayIndex");
    EXPECT_EQ(box.currentIndex(), -1);
    box.setCurrentIndex(1);
    EXPECT_EQ(defaults().objectForKey("displayIndex"), Value(1));
}

TEST_F(BindingTest, NewContentDoesNotWriteTheSelectionBack) {
    auto bag = std::make_shared<Bag>();
    bag->values["list"] = Value(Array{Value("A"), Value("B"), Value("C")});
    bag->values["index"] = Value(2);
    QComboBox box;
    ASSERT_TRUE(Binding::bind(&box, "contentValues", bag, "list"));
    ASSERT_TRUE(Binding::bind(&box, "selectedIndex", bag, "index"));
    EXPECT_EQ(box.count(), 3);
    EXPECT_EQ(box.currentIndex(), 2);
    int sets = bag->sets;
    // The list is rebuilt (emptied, then filled): the index must survive untouched.
    bag->setValueForKey(Value(Array{}), "list");
    bag->setValueForKey(Value(Array{Value("A"), Value("B"), Value("C"), Value("D")}), "list");
    EXPECT_EQ(bag->sets, sets + 2);
    EXPECT_EQ(bag->values["index"], Value(2));
    EXPECT_EQ(box.count(), 4);
    EXPECT_EQ(box.currentIndex(), 2);
    EXPECT_EQ(box.itemText(3), "D");
}

TEST_F(BindingTest, InactiveBindingsObserveNothingAndReadAfreshWhenActive) {
    QWidget root;
    auto* box = new QCheckBox(&root);
    auto* enabled = new QCheckBox(&root);
    Binding::bind(box, "value", Binding::sharedDefaultsController(), "values.ShowAppBadges");
    Binding::bind(enabled, "enabled", Binding::sharedDefaultsController(), "values.ShowAppBadges");
    auto& controller = *Binding::sharedDefaultsController();
    size_t observing = controller.observationCount();
    EXPECT_GE(observing, 2u);

    Binding::setBindingsActive(&root, false);
    EXPECT_EQ(controller.observationCount(), observing - 2);
    defaults().setBool(true, "ShowAppBadges");
    EXPECT_FALSE(box->isChecked());

    Binding::setBindingsActive(&root, true);
    EXPECT_EQ(controller.observationCount(), observing);
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(enabled->isEnabled());
    defaults().setBool(false, "ShowAppBadges");
    EXPECT_FALSE(enabled->isEnabled());
}

TEST_F(BindingTest, ABindingEndsWithItsWidget) {
    auto& controller = *Binding::sharedDefaultsController();
    size_t before = controller.observationCount();
    {
        QCheckBox box;
        Binding::bind(&box, "value", Binding::sharedDefaultsController(), "values.Indent");
        EXPECT_EQ(controller.observationCount(), before + 1);
        // Binding the same name again replaces it.
        Binding::bind(&box, "value", Binding::sharedDefaultsController(), "values.Indent");
        EXPECT_EQ(controller.observationCount(), before + 1);
        EXPECT_EQ(Binding::bindingsIn(&box).size(), 1u);
    }
    EXPECT_EQ(controller.observationCount(), before);
    defaults().setBool(true, "Indent");  // nothing left to call
}

TEST_F(BindingTest, AGoneObjectIsLoggedNotWritten) {
    QCheckBox box;
    {
        auto bag = std::make_shared<Bag>();
        Binding::bind(&box, "value", bag, "flag");
    }
    box.click();
    EXPECT_TRUE(env.logged("is gone"));
}

TEST_F(BindingTest, UnknownNamesAndWidgetsAreRefused) {
    QWidget plain;
    QCheckBox box;
    auto bag = std::make_shared<Bag>();
    EXPECT_EQ(Binding::bind(&plain, "value", bag, "x"), nullptr);
    EXPECT_EQ(Binding::bind(&box, "colour", bag, "x"), nullptr);
    EXPECT_EQ(Binding::bind(&box, "contentValues", bag, "x"), nullptr);
    EXPECT_EQ(Binding::bind(&box, "value", nullptr, "x"), nullptr);
}

TEST_F(BindingTest, InterfaceDeclarationsAreBound) {
    QWidget root;
    auto* flag = new QCheckBox(&root);
    flag->setProperty("bindValue", "defaults:values.ShowThumbnails|NSNegateBoolean");
    auto* name = new QLineEdit(&root);
    name->setProperty("bindValue", "owner:config.name");
    name->setProperty("bindEnabled", "owner:config.flag");
    auto* lost = new QCheckBox(&root);
    lost->setProperty("bindValue", "nobody:values.x");
    auto owner = std::make_shared<Owner>();
    owner->setConfig(std::make_shared<Bag>());
    owner->config->values["name"] = Value("dock");
    EXPECT_EQ(Binding::bindInterface(&root, {{"owner", owner}}), 3);
    EXPECT_TRUE(env.logged("names no known object"));
    EXPECT_TRUE(flag->isChecked());
    EXPECT_EQ(name->text(), "dock");
    EXPECT_FALSE(name->isEnabled());
    name->setText("harbour");
    EXPECT_EQ(owner->config->values["name"], Value("harbour"));
    EXPECT_EQ(Binding::bindingFor(name, "enabled")->keyPath(), "config.flag");
}

TEST_F(BindingTest, TransformersOfColoursShortcutsAndNil) {
    auto colour = ValueTransformer::valueTransformerForName(NSUnarchiveFromDataTransformerName);
    auto red = Color::colorWithCalibratedRed(1, 0, 0, 1);
    Value data = colour->reverseTransformedValue(Value(std::const_pointer_cast<Color>(red)));
    ASSERT_TRUE(data.isData());
    EXPECT_TRUE(colour->transformedValue(data).objectAs<Color>()->isEqual(red.get()));
    EXPECT_TRUE(colour->transformedValue(Value(Data{1, 2, 3})).isNil());

    auto keyed = ValueTransformer::valueTransformerForName(NSKeyedUnarchiveFromDataTransformerName);
    auto shortcut = Shortcut::shortcutWithKeyCode(kVK_ANSI_H, NSEventModifierFlagControl | NSEventModifierFlagCommand);
    Value archive = keyed->reverseTransformedValue(Value(shortcut));
    ASSERT_TRUE(archive.isData());
    EXPECT_TRUE(keyed->transformedValue(archive).objectAs<Shortcut>()->isEqual(shortcut.get()));
    EXPECT_TRUE(keyed->transformedValue(Value(Data{0, 1})).isNil());

    auto dict = ValueTransformer::valueTransformerForName(MASDictionaryTransformerName);
    Value d = dict->reverseTransformedValue(Value(shortcut));
    EXPECT_EQ(d["keyCode"], Value(4));
    EXPECT_EQ(d["modifierFlags"], Value(0x140000));
    EXPECT_TRUE(dict->transformedValue(d).objectAs<Shortcut>()->isEqual(shortcut.get()));
    EXPECT_TRUE(dict->transformedValue(Value(Dictionary{{"keyCode", Value(-3)}})).isNil());

    auto isNil = ValueTransformer::valueTransformerForName(NSIsNilTransformerName);
    EXPECT_EQ(isNil->transformedValue(Value()), Value(true));
    EXPECT_FALSE(isNil->allowsReverseTransformation());
    EXPECT_EQ(ValueTransformer::valueTransformerForName("NoSuchTransformer"), nullptr);
}

TEST_F(BindingTest, TableFollowsTheArrayControllerAndSharesItsSelection) {
    auto bag = std::make_shared<Bag>();
    auto item = [](const char* name) {
        auto b = std::make_shared<Bag>();
        b->values["name"] = Value(name);
        return Value(b);
    };
    bag->values["items"] = Value(Array{item("one"), item("two"), item("three")});
    auto controller = ArrayController::create();
    controller->bind("contentArray", bag, "items");
    QTableView view;
    auto* model = new BindingTableModel(controller, {{"Name", "name", ""}}, &view);
    model->attachView(&view);
    EXPECT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->data(model->index(1, 0)).toString(), "two");
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Name");

    view.selectRow(2);
    EXPECT_EQ(controller->selectionIndexes(), IndexSet{2});
    controller->setSelectionIndexes({0});
    EXPECT_EQ(view.selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(view.selectionModel()->selectedRows().front().row(), 0);

    bag->setValueForKey(Value(Array{item("four")}), "items");
    EXPECT_EQ(model->rowCount(), 1);
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), "four");

    model->setActive(false);
    bag->setValueForKey(Value(Array{item("five"), item("six")}), "items");
    EXPECT_EQ(model->rowCount(), 1);
    model->setActive(true);
    EXPECT_EQ(model->rowCount(), 2);
}

}  // namespace
}  // namespace qs
