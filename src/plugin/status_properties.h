#pragma once

#include <obs.h>

#include "live/source_status.h"

namespace obs_sayline {

// The read-only status row ("Status: " and the source's sentence) and its "Refresh" button,
// at the top of the sheet; the button calls `refresh`.
void addStatusRows(obs_properties_t* props, const SourceStatus& status,
                   obs_property_clicked_t refresh);
// Reads the status again into the row; false when the sheet has none.
bool refreshStatusRow(obs_properties_t* props, const SourceStatus& status);

}  // namespace obs_sayline
