#pragma once

#include "platform/hostsystem.h"

#include <vector>

// State of the TAP virtual adapter, as launch, tunnel switch and watchdog judge it.
enum AdapterState {
    AdapterMissing = 0, // no adapter described "TAP..." (disabled ones are not listed)
    AdapterIdle = 1,    // the deciding TAP adapter has no address but "0.0.0.0"
    AdapterInUse = 2,   // the deciding TAP adapter has an address
};

// The state of a given adapter list. Each TAP adapter (description starting with exactly "TAP")
// is judged by its own addresses; the last one listed decides.
AdapterState classifyAdapters(const std::vector<AdapterInfo> &adapters);

// Classifies the host's adapters and logs the verdict: critical "虚拟网卡不存在或禁用" when
// missing, otherwise per TAP adapter warning "虚拟网卡未使用" (idle) or debug "虚拟网卡正常使用".
AdapterState probeTapAdapter();
