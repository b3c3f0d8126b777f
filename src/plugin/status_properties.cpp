#include "plugin/status_properties.h"

#include <string>

#include "plugin/locale_text.h"
#include "plugin/settings_keys.h"

namespace obs_sayline {
namespace {

// Sets the row's text and, for a problem, shows it as a warning.
void showStatus(obs_property_t* row, const SourceStatus& status) {
    const StatusReport report = status.report();
    obs_property_set_description(row, statusRowText(report).c_str());
    obs_property_text_set_info_type(
        row, report.problem() ? OBS_TEXT_INFO_WARNING : OBS_TEXT_INFO_NORMAL);
}

}  // namespace

std::string statusRowText(const StatusReport& report) {
    return std::string(localText("Status")) + ": " + report.sentence;
}

void addStatusRows(obs_properties_t* props, const SourceStatus& status,
                   obs_property_clicked_t refresh) {
    obs_property_t* row = obs_properties_add_text(props, keys::kStatus, "", OBS_TEXT_INFO);
    showStatus(row, status);
    obs_properties_add_button(props, keys::kStatusRefresh, localText("StatusRefresh"), refresh);
}

bool refreshStatusRow(obs_properties_t* props, const SourceStatus& status) {
    obs_property_t* row = obs_properties_get(props, keys::kStatus);
    if (!row) return false;
    showStatus(row, status);
    return true;
}

}  // namespace obs_sayline
