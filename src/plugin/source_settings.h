#pragma once

#include <obs.h>

namespace obs_sayline {

// Host "update" callback: copies the source's settings into its record.
void subtitle_source_update(void* data, obs_data_t* settings);

}  // namespace obs_sayline
