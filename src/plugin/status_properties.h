#pragma once

#include <obs.h>

#include <string>

#include "live/source_status.h"

namespace obs_sayline {

// What the status row says: "Status: " and the sentence (the sheet and the dock).
std::string statusRowText(const StatusReport& report);

// The read-only status row ("Status: " and the source's sentence) and its "Refresh" button,
// at the top of the sheet; the button calls `refresh`.
void addStatusRows(obs_properties_t* props, const SourceStatus& status,
                   obs_property_clicked_t refresh);
// Reads the status again into the row; false when the sheet has none.
bool refreshStatusRow(obs_properties_t* props, const SourceStatus& status);

}  // namespace obs_sayline
