#pragma once

#include <array>
#include <string>
#include <string_view>

namespace obs_sayline {

// Results below this confidence are too unsure to show.
constexpr float kMinRecognitionConfidence = 0.15f;

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

}  // namespace obs_sayline
