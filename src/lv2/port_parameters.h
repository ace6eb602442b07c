#pragma once

// The editor's controls over the plug-in's control ports, with no host parameter tree: each
// parameter of the table is a control whose edits are written to its port, framed by ui:touch
// where the host offers it so that the host records one automation gesture per edit, and
// whose port's values from the host move it. Main thread (the host's UI thread).

#include "lv2/ports.h"
#include "shell/editor_parameters.h"

#include <lv2/ui/ui.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace zerin::lv2 {

class PortParameter;

class PortParameters final : public EditorParameters {
public:
    // Every parameter of the table at its default. `touch` is null for a host without
    // ui:touch; `write` and `controller` are the host's, as given to the UI.
    PortParameters(const PortLayout& ports, LV2UI_Write_Function write, LV2UI_Controller controller,
                   const LV2UI_Touch* touch);
    ~PortParameters() override;
    PortParameters(const PortParameters&) = delete;
    PortParameters& operator=(const PortParameters&) = delete;

    ControlParameter* parameter(AUParameterAddress address) const override;

    // A value the host gives control port `port`: its control shows it, unless the user is
    // editing it (the gesture wins) or it is not a number; nothing is written back. False
    // when `port` is no parameter's.
    bool takePortValue(std::uint32_t port, float value);

private:
    PortLayout ports;
    std::vector<std::shared_ptr<PortParameter>> byAddress;
};

} // namespace zerin::lv2
