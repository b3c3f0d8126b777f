#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "live/recognition_setup.h"
#include "live/source_shared.h"
#include "sinks/subtitle_sinks.h"
#include "stt/stt_types.h"

namespace obs_sayline {

// What becomes of recognised text, whichever recognition produced it: the streamer's
// replacements are made, the phantom filter drops what is not worth showing, hidden words are
// hidden, the rest is translated and composed into the display text, and the finished subtitle
// goes to the sinks.

// Results below this confidence are too unsure to show.
constexpr float kMinRecognitionConfidence = 0.15f;

// A result ready longer than this after its speech ended is too late to show: the viewer has
// moved on (a stalled request held the worker and the chunks behind it come one after
// another). It still goes to the transcripts.
constexpr uint64_t kLateResultMs = 10000;

// How far the capture's intake has gone past `endMs` on the audio clock (0 when it has not).
uint64_t behindIntakeMs(const SourceShared& shared, uint64_t endMs);

// Phrases that recognisers invent on noise and music (sign-offs, channel plugs, caption
// credits), in the order they are checked. Constant data: nothing to build or tear down, so a
// worker still finishing at process exit can read it.
constexpr std::array<std::string_view, 21> kPhantomPhrases = {
    "시청해주셔서 감사합니다",
    "시청해 주셔서 감사합니다",
    "다음 영상에서 만나요",
    "구독과 좋아요 부탁드립니다",
    "구독과 좋아요",
    "좋아요와 구독",
    "다음은 한국어 음성입니다",
    "다음은 일본어입니다",
    "다음은 일본어 입니다",
    "다음은 중국어입니다",
    "한국어 자막",
    "자막 제공",
    "MBC 뉴스",
    "ご視聴ありがとうございました",
    "チャンネル登録お願いします",
    "次の動画でお会いしましょう",
    "Thank you for watching",
    "Thanks for watching",
    "Please subscribe",
    "See you in the next video",
    "Subtitles by",
};
inline const std::array<std::string_view, 21>& phantomPhrases() { return kPhantomPhrases; }

// True when a recognition result is not worth showing: empty, unsure, or containing one of the
// phantom phrases (byte-wise, case-sensitive).
bool isPhantomResult(const std::string& text, float confidence);

// The text a viewer sees for one result: the translation (under the recognised text when the
// original is shown too), or the recognised text alone when there is no translation.
std::string composeDisplayText(const std::string& recognised, const std::string& translated,
                               bool enableTranslation, bool showOriginal);

// What follows the engine for any recognised text: the streamer's replacements, the phantom
// filter (empty, unsure or invented text goes no further), the hidden words hidden, translation
// (with the vocabulary to keep; hidden words hidden in it too), and the subtitle to the sinks,
// placed at `startMs`..`endMs` on the audio clock; one ready too late (kLateResultMs) goes as
// `late`, for the transcripts only, and the status says recognition is behind. Its speech
// began `leadMs` after `startMs` (the quiet a chunker keeps before the first sound) unless the
// recogniser places its first words itself; that instant goes on the system clock as
// `spokenAt`. False when nothing was shown. The caller holds the source's recognition lock.
bool finishRecognised(SourceShared& shared, const RecognitionSetup& setup,
                      const SubtitleSinks& sinks, SttResult& result, uint64_t startMs,
                      uint64_t endMs, uint64_t leadMs = 0);

}  // namespace obs_sayline
