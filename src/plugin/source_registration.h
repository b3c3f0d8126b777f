#pragma once

#include <obs.h>

namespace obs_sayline {

constexpr const char* kSourceId = "sayline_source";

// The host's description of the Sayline source type: a video input with custom drawing.
obs_source_info makeSourceInfo();

// Registers the Sayline source type with the host. Call once, from module load.
void registerSaylineSource();

}  // namespace obs_sayline
