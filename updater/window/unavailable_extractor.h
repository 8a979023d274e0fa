// TEMPORARY stand-in for the archive extraction until the updater/unzip library provides
// its update::Extractor adapter: every extraction fails, so the run stops with a red line
// and the version file does not advance. Remove when the real adapter is wired.
#pragma once

#include "updater/update/update_run.h"

namespace window {

class UnavailableExtractor final : public update::Extractor {
public:
    update::Outcome Extract(const std::string&, const std::string&) override {
        return update::Outcome::Failure("extracción no disponible");
    }
};

}  // namespace window
