#pragma once

// The server binary run on a site's config.txt: what the end-to-end suites share.

#include <gmock/gmock.h>

#include "support/ProcessRunner.h"
#include "support/Site.h"

namespace fas::test {

inline ProcessSpec server(const Site& site, std::vector<std::string> args,
                          std::map<std::string, std::optional<std::string>> env = {}) {
    args.insert(args.begin(), {"--config", site.config().string()});
    return {FAS_SERVER_BINARY, std::move(args), std::move(env), std::nullopt};
}

inline ProcessResult serve(const Site& site, std::vector<std::string> args,
                           std::map<std::string, std::optional<std::string>> env = {}) {
    return RunProcess(server(site, std::move(args), std::move(env)));
}

}  // namespace fas::test
