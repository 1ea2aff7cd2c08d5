// Creates a compliance database with sample data for the demo and the benchmarks.
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "tools/DemoData.h"

namespace {

void usage() {
    std::cout << "usage: fas-make-database --out FILE [--scale small|large|FACTOR]\n"
                 "                         [--smtp-server HOST] [--smtp-port PORT]\n"
                 "Creates a new compliance database (SQLite) with sample data whose dates are\n"
                 "relative to today. FACTOR scales the large data set (0.02 = 20 contracts).\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::string out;
    std::string scaleText = "small";
    fas::tools::DemoMail mail;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "fas-make-database: " << arg << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--out") {
            out = next();
        } else if (arg == "--scale") {
            scaleText = next();
        } else if (arg == "--smtp-server") {
            mail.server = next();
        } else if (arg == "--smtp-port") {
            mail.port = next();
        } else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            std::cerr << "fas-make-database: unknown option " << arg << "\n";
            usage();
            return 2;
        }
    }
    if (out.empty()) {
        usage();
        return 2;
    }
    try {
        fas::tools::DemoScale scale;
        if (scaleText == "small") {
            scale = fas::tools::DemoScale::small();
        } else if (scaleText == "large") {
            scale = fas::tools::DemoScale::large();
        } else {
            scale = fas::tools::DemoScale::scaled(std::stod(scaleText));
        }
        fas::tools::GenerateDemoDatabase(out, scale, mail);
    } catch (const std::exception& e) {
        std::cerr << "fas-make-database: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
