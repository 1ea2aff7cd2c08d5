#include <cstdlib>
#include <stdexcept>

#include "support/ProcessRunner.h"

namespace fas::test {

// Started in the background of a shell that ends at once: the program is no child of this one,
// and nothing is left to collect.
void BackgroundProcess::startUnix(const std::string& commandLine) {
    if (std::system((commandLine + " &").c_str()) != 0) {
        throw std::runtime_error("Cannot start " + commandLine);
    }
}

}  // namespace fas::test
