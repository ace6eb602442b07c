#pragma once

// The real host tree with a recorder standing in for the host's automation, and the editor's
// mirror of it, over a widget host: what the shell tests drive the controls through.

#include "audiounit/parameters.h"
#include "dsp/parameters.h"
#include "shell/observable_parameter.h"
#include "support/widget_host.h"

#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace zerin::test {

using Event = AUParameterAutomationEventType;
using Sent = std::tuple<AUParameterAddress, float, Event>;

struct MirroredHost : WidgetHost {
    std::shared_ptr<AUParameterTree> tree = buildParameterTree(parameterTreeSpec());
    std::vector<Sent> sent;
    AUParameterObserverToken recorder = tree->tokenByAddingParameterAutomationObserver(
        [this](AUParameterAddress address, AUValue value, Event type) {
            sent.emplace_back(address, value, type);
        });
    ObservableAUParameterGroup mirror{*tree, tree, queue};

    void hostSets(const std::string& identifier, float value) {
        tree->parameterWithIdentifier(identifier)->setValue(value, recorder, 0, Event::value);
        queue.pump();
    }
};

} // namespace zerin::test
