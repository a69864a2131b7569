#include "core/DockConfiguration.h"

#include <sstream>

#include "platform/foundation/NotificationCenter.h"

namespace qs {

namespace {

const bool registered = registerCodingClass<DockConfiguration>("DockConfiguration");

void postSaveDocksData() { NotificationCenter::defaultCenter().postNotificationName("saveDocksData"); }

// Archived ints are 32 bits wide; the fields keep the low 16 bits.
int16_t cut16(int64_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v & 0xffff)); }

}  // namespace

std::shared_ptr<DockConfiguration> DockConfiguration::create() {
    (void)registered;
    auto c = std::make_shared<DockConfiguration>();
    c->setIconSize(52.0f);
    c->setPosition(1);
    c->setAligment(0);
    c->setThemeIndex(0);
    c->setCornerStyle(0);
    c->setWindowActivation(1);
    return c;
}

std::shared_ptr<DockConfiguration> DockConfiguration::initWithCoder(Coder& coder) {
    auto c = std::make_shared<DockConfiguration>();
    c->setIconSize(coder.decodeFloatForKey("iconSize"));
    c->setPosition(cut16(coder.decodeIntForKey("position")));
    c->setAligment(cut16(coder.decodeIntForKey("aligment")));
    c->setThemeIndex(cut16(coder.decodeIntForKey("themeIndex")));
    c->setWindowCastsShadow(coder.decodeBoolForKey("windowCastsShadow"));
    c->setCornerStyle(cut16(coder.decodeIntForKey("cornerStyle")));
    c->setPanelLevel(cut16(coder.decodeIntForKey("panelLevel")));
    c->setWindowActivation(cut16(coder.decodeIntForKey("windowActivation")));
    return c;
}

void DockConfiguration::encodeWithCoder(Coder& coder) const {
    coder.encodeFloat(iconSize_, "iconSize");
    coder.encodeInt(position_, "position");
    coder.encodeInt(aligment_, "aligment");
    coder.encodeInt(themeIndex_, "themeIndex");
    coder.encodeBool(windowCastsShadow_, "windowCastsShadow");
    coder.encodeInt(cornerStyle_, "cornerStyle");
    coder.encodeInt(panelLevel_, "panelLevel");
    coder.encodeInt(windowActivation_, "windowActivation");
}

std::string DockConfiguration::description() const {
    std::ostringstream os;
    os << "<DockConfiguration position=" << position_ << " iconSize=" << iconSize_ << " aligment=" << aligment_
       << " themeIndex=" << themeIndex_ << " cornerStyle=" << cornerStyle_
       << " windowCastsShadow=" << (windowCastsShadow_ ? "YES" : "NO") << " panelLevel=" << panelLevel_
       << " windowActivation=" << windowActivation_ << ">";
    return os.str();
}

Value DockConfiguration::valueForKey(const std::string& key) const {
    if (key == "position") return Value(int(position_));
    if (key == "iconSize") return Value(iconSize_);
    if (key == "aligment") return Value(int(aligment_));
    if (key == "themeIndex") return Value(int(themeIndex_));
    if (key == "cornerStyle") return Value(int(cornerStyle_));
    if (key == "windowCastsShadow") return Value(windowCastsShadow_);
    if (key == "panelLevel") return Value(int(panelLevel_));
    if (key == "windowActivation") return Value(int(windowActivation_));
    return Object::valueForKey(key);
}

void DockConfiguration::setValueForKey(const Value& value, const std::string& key) {
    if (key == "position") return setPosition(cut16(value.integerValue()));
    if (key == "iconSize") return setIconSize(float(value.doubleValue()));
    if (key == "aligment") return setAligment(cut16(value.integerValue()));
    if (key == "themeIndex") return setThemeIndex(cut16(value.integerValue()));
    if (key == "cornerStyle") return setCornerStyle(cut16(value.integerValue()));
    if (key == "windowCastsShadow") return setWindowCastsShadow(value.boolValue());
    if (key == "panelLevel") return setPanelLevel(cut16(value.integerValue()));
    if (key == "windowActivation") return setWindowActivation(cut16(value.integerValue()));
    Object::setValueForKey(value, key);
}

void DockConfiguration::setPosition(int16_t position) {
    willChangeValueForKey("position");
    position_ = position;
    didChangeValueForKey("position");
    postSaveDocksData();
}

void DockConfiguration::setIconSize(float iconSize) {
    willChangeValueForKey("iconSize");
    iconSize_ = iconSize;
    didChangeValueForKey("iconSize");
    postSaveDocksData();
}

void DockConfiguration::setAligment(int16_t aligment) {
    willChangeValueForKey("aligment");
    aligment_ = aligment;
    didChangeValueForKey("aligment");
    postSaveDocksData();
}

void DockConfiguration::setThemeIndex(int16_t themeIndex) {
    willChangeValueForKey("themeIndex");
    themeIndex_ = themeIndex;
    didChangeValueForKey("themeIndex");
    postSaveDocksData();
}

void DockConfiguration::setCornerStyle(int16_t cornerStyle) {
    willChangeValueForKey("cornerStyle");
    cornerStyle_ = cornerStyle;
    didChangeValueForKey("cornerStyle");
}

void DockConfiguration::setWindowCastsShadow(bool windowCastsShadow) {
    willChangeValueForKey("windowCastsShadow");
    windowCastsShadow_ = windowCastsShadow;
    didChangeValueForKey("windowCastsShadow");
}

void DockConfiguration::setPanelLevel(int16_t panelLevel) {
    willChangeValueForKey("panelLevel");
    panelLevel_ = panelLevel;
    didChangeValueForKey("panelLevel");
    postSaveDocksData();
}

// A plain store that observers still see (no save of its own).
void DockConfiguration::setWindowActivation(int16_t windowActivation) {
    willChangeValueForKey("windowActivation");
    windowActivation_ = windowActivation;
    didChangeValueForKey("windowActivation");
}

}  // namespace qs
