#pragma once

#include "Code/Model/DeveloperPanelModel.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

/// The options that describe a simulated connection (--incoming, --host, --domain, --ip,
/// --local-network, --bpf, --protocol, --port), applied to a developer panel so that the connection
/// is built exactly as the panel builds it.
class ToolConnectionOptions {
public:
    ToolConnectionOptions();

    /// Applies `arguments[index]` when it is a connection option, moving `index` past its value.
    /// Returns false when it is not one; `problem` is set for a bad value.
    bool consume(const std::vector<std::string>& arguments, std::size_t& index,
                 std::optional<std::string>& problem);

    std::shared_ptr<const ConnectionInformation> connectionInformation() const {
        return _panel.connectionInformation();
    }

private:
    DeveloperPanelModel _panel;
    bool _endpointGiven = false;
};
