#include "plugin/status_properties.h"

#include <string>

#include "plugin/callback_guard.h"
#include "plugin/locale_text.h"
#include "plugin/settings_keys.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {
namespace {

// Sets the row's text and, for a problem, shows it as a warning.
void showStatus(obs_property_t* row, const SubtitleSourceData& data) {
    const StatusReport report = data.shared->status.report();
    const std::string text = std::string(localText("Status")) + ": " + report.sentence;
    obs_property_set_description(row, text.c_str());
    obs_property_text_set_info_type(
        row, report.problem() ? OBS_TEXT_INFO_WARNING : OBS_TEXT_INFO_NORMAL);
}

}  // namespace

void addStatusRows(obs_properties_t* props, SubtitleSourceData* data) {
    if (!data) return;
    obs_property_t* row = obs_properties_add_text(props, keys::kStatus, "", OBS_TEXT_INFO);
    showStatus(row, *data);
    obs_properties_add_button(props, keys::kStatusRefresh, localText("StatusRefresh"),
                              status_refresh_clicked);
}

bool status_refresh_clicked(obs_properties_t* props, obs_property_t*, void* data) {
    return guardCallback("status_refresh_clicked", false, [&] {
        obs_property_t* row = obs_properties_get(props, keys::kStatus);
        if (!row || !data) return false;
        showStatus(row, *static_cast<SubtitleSourceData*>(data));
        return true;
    });
}

}  // namespace obs_sayline
