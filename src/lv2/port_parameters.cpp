#include "lv2/port_parameters.h"

#include "audiounit/parameters.h"

#include <cmath>
#include <cstddef>

namespace zerin::lv2 {

class PortParameter final : public ControlParameter {
public:
    PortParameter(const ParameterSpec& spec, std::uint32_t port, LV2UI_Write_Function write,
                  LV2UI_Controller controller, const LV2UI_Touch* touch)
        : ControlParameter(spec.name, spec.minValue, spec.maxValue, spec.defaultValue,
                           readoutUnit(spec.units)),
          port(port), write(write), controller(controller), touch(touch) {}

    void takePortValue(float v) { takeUnitValue(v); }

private:
    // Touch and release frame the writes for hosts that record automation gestures.
    void send(float value, GestureStep step) override {
        if (touch != nullptr && step == GestureStep::touch) touch->touch(touch->handle, port, true);
        write(controller, port, sizeof value, 0, &value);
        if (touch != nullptr && step == GestureStep::release)
            touch->touch(touch->handle, port, false);
    }

    std::uint32_t port;
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touch;
};

PortParameters::PortParameters(const PortLayout& ports, LV2UI_Write_Function write,
                               LV2UI_Controller controller, const LV2UI_Touch* touch)
    : ports(ports), byAddress(parameter::kCount) {
    for (const ParameterSpec* spec : allParameterSpecs()) {
        const auto port =
            static_cast<std::uint32_t>(ports.controlPort(static_cast<int>(spec->address)));
        byAddress.at(spec->address) =
            std::make_shared<PortParameter>(*spec, port, write, controller, touch);
    }
}

PortParameters::~PortParameters() = default;

ControlParameter* PortParameters::parameter(AUParameterAddress address) const {
    return address < byAddress.size() ? byAddress[address].get() : nullptr;
}

bool PortParameters::takePortValue(std::uint32_t port, float value) {
    const int address = ports.addressOfPort(static_cast<int>(port));
    if (address < 0) return false;
    const auto& control = byAddress[static_cast<std::size_t>(address)];
    if (control && std::isfinite(value)) control->takePortValue(value);
    return true;
}

} // namespace zerin::lv2
