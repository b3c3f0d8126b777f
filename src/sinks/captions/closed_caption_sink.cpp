#include "sinks/captions/closed_caption_sink.h"

#include <algorithm>
#include <utility>

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

ClosedCaptionSink::ClosedCaptionSink(Sender send) : send_(std::move(send)) {}

void ClosedCaptionSink::configure(bool enabled, CaptionText text) {
    text_.store(text);
    enabled_.store(enabled);
}

void ClosedCaptionSink::deliver(const FinishedSubtitle& subtitle) {
    // A caption cannot be taken back once sent: only finished lines go out, and none long
    // after its speech.
    if (subtitle.interim || subtitle.late || !enabled_.load()) return;
    const bool original = text_.load() == CaptionText::Original || subtitle.translation.empty();
    const Cea608Characters carried =
        toCea608Characters(original ? subtitle.original : subtitle.translation);
    if (!carried.refusedScript.empty()) {
        if (!warned_.exchange(true)) warnUncarriedScript(subtitle, original, carried.refusedScript);
        return;
    }
    const std::vector<std::string> rows = cea608Captions(carried.text);
    if (rows.empty()) return;

    // The captions share the subtitle's time on screen; the empty one after them clears it
    // when that time is up (the host shows a caption until the next one replaces it).
    const double share =
        std::max(subtitle.displayMs, 0) / 1000.0 / static_cast<double>(rows.size());
    std::vector<OutputCaption> captions;
    captions.reserve(rows.size() + 1);
    for (const auto& row : rows) captions.push_back({row, share});
    captions.push_back({"", 0.0});

    const size_t reached = send_(captions);
    if (lastReached_.exchange(reached) != reached) {
        if (reached == 0) {
            logInfoTag("Captions", "No active output carries encoded video: closed captions wait");
        } else {
            logInfoTag("Captions", "Closed captions go to %zu output(s)", reached);
        }
    }
}

}  // namespace obs_sayline
