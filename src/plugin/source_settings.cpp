#include "plugin/source_settings.h"

namespace obs_sayline {

void subtitle_source_update(void* data, obs_data_t* settings) {
    // No settings are read yet; the record keeps its initial values.
    (void)data;
    (void)settings;
}

}  // namespace obs_sayline
