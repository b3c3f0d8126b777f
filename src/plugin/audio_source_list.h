#pragma once

#include <obs.h>

namespace obs_sayline {

struct SubtitleSourceData;

// "Listen to": the program audio, then every source with audio by name, as the host has them
// when the sheet opens (a chosen source that is not there now stays listed as not found).
void addAudioSourceList(obs_properties_t* props, SubtitleSourceData* data);

}  // namespace obs_sayline
