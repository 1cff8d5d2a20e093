// The whole host kernel model.
#pragma once

#include "ksim/context.hpp"
#include "ksim/devicetree.hpp"
#include "ksim/fasync.hpp"
#include "ksim/fault.hpp"
#include "ksim/fs.hpp"
#include "ksim/gpio.hpp"
#include "ksim/irq.hpp"
#include "ksim/log.hpp"
#include "ksim/modules.hpp"
#include "ksim/time.hpp"
#include "ksim/timer.hpp"
#include "ksim/trace.hpp"
#include "ksim/uaccess.hpp"

namespace ksim {

// Back to a fresh boot: modules unloaded, nodes, lines, log, faults, time
// and violations cleared.
void reset();

}  // namespace ksim
