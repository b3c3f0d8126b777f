#pragma once

#include <obs.h>

namespace obs_sayline {

struct SubtitleSourceData;

// The read-only status row ("Status: " and the source's sentence) and its "Refresh" button,
// at the top of the sheet (nothing for a sheet without a source behind it).
void addStatusRows(obs_properties_t* props, SubtitleSourceData* data);
// Host callback: the Refresh button reads the status again.
bool status_refresh_clicked(obs_properties_t* props, obs_property_t* property, void* data);

}  // namespace obs_sayline
