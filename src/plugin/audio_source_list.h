#pragma once

#include <obs.h>

#include <string>

namespace obs_sayline {

// "Listen to": the program audio, then every source with audio by name, as the host has them
// when the sheet opens (the `chosen` source, when not there now, stays listed as not found).
void addAudioSourceList(obs_properties_t* props, const std::string& chosen);

}  // namespace obs_sayline
