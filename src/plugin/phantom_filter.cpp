#include "plugin/phantom_filter.h"

namespace obs_sayline {

const std::vector<std::string>& phantomPhrases() {
    static const std::vector<std::string> phrases = {
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
    return phrases;
}

bool isPhantomResult(const std::string& text, float confidence) {
    if (text.empty()) return true;
    if (confidence < kMinRecognitionConfidence) return true;
    for (const auto& phrase : phantomPhrases()) {
        if (text.size() >= phrase.size() && text.find(phrase) != std::string::npos) return true;
    }
    return false;
}

}  // namespace obs_sayline
