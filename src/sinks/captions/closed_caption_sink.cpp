#include "sinks/captions/closed_caption_sink.h"

#include "core/language_tables.h"
#include "core/logger.h"
#include "sinks/captions/cea608_text.h"

namespace obs_sayline {
namespace {

void warnUncarriedScript(const FinishedSubtitle& subtitle, bool original,
                         const std::string& script) {
    const std::string& code = original ? subtitle.sourceLanguage : subtitle.targetLanguage;
    const std::string language =
        code.empty() ? "this language" : languages::geminiLanguageName(code);
    if (original) {
        logWarningTag("Captions",
                      "Subtitles in %s are not sent as closed captions: CEA-608 has no %s "
                      "characters. The scene text still shows them",
                      language.c_str(), script.c_str());
    } else {
        logWarningTag("Captions",
                      "Subtitles in %s are not sent as closed captions: CEA-608 has no %s "
                      "characters. Set \"Caption text\" to \"Original\", or rely on the scene text",
                      language.c_str(), script.c_str());
    }
}

}  // namespace

std::string closedCaptionText(const FinishedSubtitle& subtitle, CaptionText text,
                              std::atomic<bool>& warned) {
    // A caption cannot be taken back once sent: only finished lines go out, and none long
    // after its speech.
    if (subtitle.interim || subtitle.late) return "";
    const bool original = text == CaptionText::Original || subtitle.translation.empty();
    Cea608Characters carried =
        toCea608Characters(original ? subtitle.original : subtitle.translation);
    if (!carried.refusedScript.empty()) {
        if (!warned.exchange(true)) warnUncarriedScript(subtitle, original, carried.refusedScript);
        return "";
    }
    return std::move(carried.text);
}

}  // namespace obs_sayline
