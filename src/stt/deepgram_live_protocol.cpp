#include "stt/deepgram_live_protocol.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "net/http_client.h"
#include "net/json_reply.h"

namespace obs_sayline {
namespace {

// As the pre-recorded engine: an alternative without a confidence counts as fairly sure.
constexpr float kDefaultConfidence = 0.9f;

Result<LiveMessage> malformed(const std::string& why) {
    return {ErrorCode::SttRecognitionError, "Malformed Deepgram message: " + why};
}

// A member that must be a boolean when present.
bool flagOf(const nlohmann::json& object, const char* key, bool& ok) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return false;
    if (!it->is_boolean()) {
        ok = false;
        return false;
    }
    return it->get<bool>();
}

// A member that must be a finite number when present; negative times count as 0.
double secondsOf(const nlohmann::json& object, const char* key, bool& ok) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return 0.0;
    if (!it->is_number()) {
        ok = false;
        return 0.0;
    }
    const double value = it->get<double>();
    if (!std::isfinite(value)) {
        ok = false;
        return 0.0;
    }
    return std::max(value, 0.0);
}

LiveMessageKind kindOf(const std::string& type) {
    if (type == "Results") return LiveMessageKind::Results;
    if (type == "Metadata") return LiveMessageKind::Metadata;
    if (type == "SpeechStarted") return LiveMessageKind::SpeechStarted;
    if (type == "UtteranceEnd") return LiveMessageKind::UtteranceEnd;
    if (type == "Error") return LiveMessageKind::Error;
    return LiveMessageKind::Other;
}

Result<LiveMessage> readResults(const nlohmann::json& doc, LiveMessage message) {
    auto channel = doc.find("channel");
    if (channel == doc.end() || !channel->is_object()) return malformed("Results without channel");
    auto alternatives = channel->find("alternatives");
    if (alternatives == channel->end() || !alternatives->is_array() || alternatives->empty()) {
        return malformed("Results without alternatives");
    }
    const nlohmann::json& first = alternatives->front();
    auto transcript = stringMember(first, "transcript");
    if (!transcript) return malformed("Results without a transcript");

    LiveResult& result = message.result;
    result.transcript = std::move(*transcript);
    result.confidence = kDefaultConfidence;
    auto confidence = first.find("confidence");
    if (confidence != first.end() && !confidence->is_null()) {
        if (!confidence->is_number()) return malformed("confidence is not a number");
        const double value = confidence->get<double>();
        result.confidence = std::isfinite(value)
                                ? static_cast<float>(std::clamp(value, 0.0, 1.0))
                                : 0.0f;
    }
    bool ok = true;
    result.isFinal = flagOf(doc, "is_final", ok);
    result.speechFinal = flagOf(doc, "speech_final", ok);
    result.fromFinalize = flagOf(doc, "from_finalize", ok);
    result.startSeconds = secondsOf(doc, "start", ok);
    result.durationSeconds = secondsOf(doc, "duration", ok);
    if (!ok) return malformed("Results member of the wrong kind");
    return message;
}

}  // namespace

std::string deepgramLiveUrl(const std::string& base, const std::string& language, int pauseMs,
                            const std::string& vocabularyQuery) {
    std::string url = base;
    if (url.compare(0, 8, "https://") == 0) {
        url = "wss://" + url.substr(8);
    } else if (url.compare(0, 7, "http://") == 0) {
        url = "ws://" + url.substr(7);
    }
    const std::string code = language.empty() || language == "auto" ? "multi" : language;
    url += deepgram_live::kPath;
    url += "?model=";
    url += deepgram_live::kModel;
    url += "&language=" + HttpClient::urlEscape(code);
    url += "&encoding=linear16&sample_rate=" + std::to_string(deepgram_live::kSampleRate);
    url += "&channels=1&interim_results=true&punctuate=true&smart_format=true";
    url += "&endpointing=" + std::to_string(std::max(pauseMs, 10));
    url += vocabularyQuery;
    return url;
}

Result<LiveMessage> parseDeepgramLiveMessage(const std::string& text) {
    try {
        auto parsed = parseJsonReply(text);
        if (!parsed) return malformed(parsed.error().message);
        const nlohmann::json& doc = parsed.value();
        auto type = stringMember(doc, "type");
        if (!type) return malformed("no type");

        LiveMessage message;
        message.kind = kindOf(*type);
        message.type = std::move(*type);
        if (message.kind == LiveMessageKind::Results) return readResults(doc, std::move(message));
        if (message.kind == LiveMessageKind::Error) {
            if (auto text = stringMember(doc, "description")) {
                message.details = std::move(*text);
            } else if (auto said = stringMember(doc, "message")) {
                message.details = std::move(*said);
            }
        }
        return message;
    } catch (const std::exception& e) {
        // Not expected (every member is checked before it is read); a stream must not end here.
        return malformed(e.what());
    }
}

}  // namespace obs_sayline
