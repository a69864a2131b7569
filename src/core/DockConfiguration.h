#pragma once
// The layout settings of the dock, shared by every dock window: screen edge, icon size,
// alignment, corner style, shadow, window level and click behaviour. One instance,
// owned by the dock manager and archived under "MainDockConfigKey".
//
// Every setter announces its change with will/didChangeValueForKey on the field's
// name. The setters of position, iconSize, aligment, themeIndex and panelLevel then
// post "saveDocksData" on the default centre; cornerStyle, windowCastsShadow and
// windowActivation post nothing (their values go out with the next save).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/Object.h"

namespace qs {

class DockConfiguration : public Object, public Coding {
public:
    // init: the defaults, set through the setters (posts "saveDocksData" four times).
    static std::shared_ptr<DockConfiguration> create();
    // initWithCoder: every archived key through its setter, no defaults first.
    static std::shared_ptr<DockConfiguration> initWithCoder(Coder& coder);

    DockConfiguration() = default;

    std::string className() const override { return "DockConfiguration"; }
    std::vector<std::string> classHierarchy() const override { return {"DockConfiguration", "NSObject"}; }
    void encodeWithCoder(Coder& coder) const override;
    std::string description() const override;

    // Key-value coding of the eight fields (bindings of the preference panes).
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

    int16_t position() const { return position_; }
    float iconSize() const { return iconSize_; }
    int16_t aligment() const { return aligment_; }
    int16_t themeIndex() const { return themeIndex_; }
    int16_t cornerStyle() const { return cornerStyle_; }
    bool windowCastsShadow() const { return windowCastsShadow_; }
    int16_t panelLevel() const { return panelLevel_; }
    int16_t windowActivation() const { return windowActivation_; }

    void setPosition(int16_t position);
    void setIconSize(float iconSize);
    void setAligment(int16_t aligment);
    void setThemeIndex(int16_t themeIndex);
    void setCornerStyle(int16_t cornerStyle);
    void setWindowCastsShadow(bool windowCastsShadow);
    void setPanelLevel(int16_t panelLevel);
    void setWindowActivation(int16_t windowActivation);

private:
    int16_t position_ = 0;
    float iconSize_ = 0.0f;
    int16_t aligment_ = 0;
    int16_t themeIndex_ = 0;
    int16_t cornerStyle_ = 0;
    bool windowCastsShadow_ = false;
    int16_t panelLevel_ = 0;
    int16_t windowActivation_ = 0;
};

using DockConfigurationPtr = std::shared_ptr<DockConfiguration>;

}  // namespace qs
