#include "plugin/youtube_properties.h"

#include <cstdio>
#include <cstdlib>

#include "core/utf8_text.h"
#include "plugin/callback_guard.h"
#include "plugin/locale_text.h"
#include "plugin/server_test.h"
#include "plugin/settings_keys.h"
#include "plugin/source_defaults.h"
#include "plugin/source_settings.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {
namespace {

constexpr ServerTestTexts kYouTubeTestTexts{"YouTubeTest.Running", "YouTubeTest.Ok",
                                            "YouTubeTest.Failed"};
// YouTube's reply body goes into one row of the sheet.
constexpr size_t kShownBodyBytes = 120;

std::string clockNote(int64_t offsetMs) {
    char text[96];
    std::snprintf(text, sizeof(text), "this computer's clock is %.1f s %s YouTube's",
                  static_cast<double>(std::llabs(offsetMs)) / 1000.0,
                  offsetMs >= 0 ? "behind" : "ahead of");
    return text;
}

}  // namespace

ConnectionCheck testCaptionCheck(const TestCaptionAnswer& answer) {
    ConnectionCheck check;
    check.roundTripMs = answer.roundTripMs;
    if (!answer.refusal.empty()) {
        check.error = "YouTube caption URL refused: " + answer.refusal;
        return check;
    }
    if (answer.status == 0) {
        check.error = "no answer from YouTube (" + answer.error + ")";
        return check;
    }
    std::string said = "HTTP " + std::to_string(answer.status);
    if (answer.clockOffsetMs) {
        said += ", " + clockNote(*answer.clockOffsetMs);
    } else if (!answer.body.empty()) {
        said += ": " + limitBytes(answer.body, kShownBodyBytes);
    }
    check.ok = answer.taken();
    if (check.ok) {
        check.answer = said;
    } else {
        check.error =
            said + (answer.status >= 400 && answer.status < 500 ? "; check the caption URL" : "");
    }
    return check;
}

void addYouTubeRows(obs_properties_t* props, const SubtitleSourceData* record) {
    obs_properties_add_bool(props, keys::kYouTubeCaptions, localText("YouTubeCaptions"));
    obs_property_t* url = obs_properties_add_text(
        props, keys::kYouTubeCaptionUrl, localText("YouTubeCaptionUrl"), OBS_TEXT_PASSWORD);
    obs_property_set_long_description(url, localText("YouTubeCaptionUrl.Help"));
    const IntSetting& offset = defaults::kYouTubeOffset;
    obs_property_t* offsetRow = obs_properties_add_int(
        props, offset.key, localText("YouTubeOffset"), offset.min, offset.max, offset.step);
    obs_property_set_long_description(offsetRow, localText("YouTubeOffset.Help"));
    obs_properties_add_button(props, keys::kTestYouTubeCaption, localText("TestYouTubeCaption"),
                              test_youtube_caption_clicked);

    const ServerTest::Outcome outcome =
        record ? record->youtubeTest->outcome() : ServerTest::Outcome{};
    obs_property_t* result =
        obs_properties_add_text(props, keys::kYouTubeCaptionTest,
                                serverTestText(outcome, kYouTubeTestTexts).c_str(), OBS_TEXT_INFO);
    if (outcome.state == ServerTest::State::Done && !outcome.check.ok) {
        obs_property_text_set_info_type(result, OBS_TEXT_INFO_ERROR);
    }
    obs_property_set_visible(result, outcome.state != ServerTest::State::None);

    const bool on = record && record->settingsNow().youtubeCaptions;
    const std::string stats =
        std::string(localText("YouTubeStatistics")) + " " +
        (record ? captionStatisticsLine(record->youtube->poster().stats()) : std::string());
    obs_property_t* statsRow =
        obs_properties_add_text(props, keys::kYouTubeStatistics, stats.c_str(), OBS_TEXT_INFO);
    obs_property_set_visible(statsRow, on);
}

bool test_youtube_caption_clicked(obs_properties_t*, obs_property_t*, void* data) {
    return guardCallback("test_youtube_caption_clicked", false, [&] {
        auto* record = static_cast<SubtitleSourceData*>(data);
        if (!record || !record->source) return false;
        // The URL the sheet shows now, saved or not yet applied, even while sending is off.
        obs_data_t* settings = obs_source_get_settings(record->source);
        const std::string url =
            readSourceSettings(settings, record->settingsNow()).youtubeCaptionUrl;
        obs_data_release(settings);
        // True rebuilds the sheet, which then shows the test as running.
        return record->youtubeTest->start([url] { return testCaptionCheck(postTestCaption(url)); },
                                          record->source);
    });
}

}  // namespace obs_sayline
