#pragma once

#include <string_view>

namespace parlane {

// docs/openapi.yaml, embedded at build time: the door serves it without an installed file.
std::string_view openApiDocument();

}  // namespace parlane
