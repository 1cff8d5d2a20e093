// Interrupt lines: each GPIO line has one, raised on the edges its handler
// was requested for. A handler runs in hard-irq context with local
// interrupts off; an edge while they are off waits until they are back on.
#pragma once

#include <string>

namespace ksim::irq {

// The interrupt number gpiod_to_irq gives for a line.
int of_gpio(unsigned gpio);
bool requested(int irq);
std::string name(int irq);
unsigned long flags(int irq);
// Handler runs since the interrupt was requested.
unsigned long handled(int irq);

}  // namespace ksim::irq
