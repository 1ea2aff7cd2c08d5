#include "state/RunCounters.h"

#include <limits>
#include <string>

namespace fas {

void RunCounters::add(std::int16_t& counter, const char* name) {
    if (counter == std::numeric_limits<std::int16_t>::max()) {
        throw CounterOverflow(std::string("Overflow: the ") + name +
                              " counter of this run passed 32767");
    }
    ++counter;
}

}  // namespace fas
