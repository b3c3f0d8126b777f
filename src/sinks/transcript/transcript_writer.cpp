#include "sinks/transcript/transcript_writer.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "core/language_tables.h"
#include "core/logger.h"
#include "platform/user_files.h"

namespace obs_sayline {
namespace {

namespace fs = std::filesystem;

// Names tried before giving up: "name", "name (2)" ... "name (99)".
constexpr int kNameTries = 99;

std::string lowerAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct PlannedFile {
    std::string suffix;  // ".en.srt", ".vtt"
    CueFormat format;
    bool translation;
};

std::vector<PlannedFile> planFiles(const TranscriptCue& cue) {
    std::vector<std::pair<std::string, bool>> languages;  // code (empty: one track), translation
    if (cue.options.translating) {
        const std::string& chosen = cue.options.sourceLanguage;
        const std::string original =
            transcriptLanguageCode(chosen.empty() || chosen == "auto" ? cue.language : chosen);
        const std::string target = transcriptLanguageCode(cue.options.targetLanguage);
        languages.emplace_back(original, false);
        // A translation into the language heard adds nothing, and would take the same name.
        if (target != original) languages.emplace_back(target, true);
    } else {
        languages.emplace_back("", false);
    }
    std::vector<PlannedFile> files;
    for (const auto& [code, translation] : languages) {
        const std::string lang = code.empty() ? "" : "." + code;
        const TranscriptFormat format = cue.options.format;
        if (format == TranscriptFormat::Srt || format == TranscriptFormat::Both) {
            files.push_back({lang + ".srt", CueFormat::SubRip, translation});
        }
        if (format == TranscriptFormat::Vtt || format == TranscriptFormat::Both) {
            files.push_back({lang + ".vtt", CueFormat::WebVtt, translation});
        }
    }
    return files;
}

}  // namespace

std::string transcriptLanguageCode(const std::string& language) {
    const std::string lower = lowerAscii(language);
    if (lower.empty() || lower == "auto") return "und";
    for (const auto& code : languages::gemini()) {
        if (lowerAscii(languages::geminiLanguageName(code)) == lower) return code;
    }
    if (lower.size() > 16) return "und";
    for (char c : lower) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return "und";
    }
    return lower;
}

std::string activationTranscriptName(std::chrono::system_clock::time_point when) {
    const std::tm local = platform::localTime(std::chrono::system_clock::to_time_t(when));
    char name[64];
    std::snprintf(name, sizeof name, "sayline-%04d-%02d-%02d_%02d-%02d-%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return name;
}

bool TranscriptWriter::write(const TranscriptCue& cue) {
    if (cue.session.id != sessionId_ || cue.options != options_) {
        close();
        stopped_ = false;
        sessionId_ = cue.session.id;
        options_ = cue.options;
    }
    if (stopped_ || cue.options.format == TranscriptFormat::Off) return false;
    if (!isOpen() && !open(cue)) return false;

    // The very first cue names its speaker only when there is a name.
    const bool newSpeaker = spoken_ ? cue.speakerId != lastSpeakerId_ || cue.speaker != lastSpeaker_
                                    : !cue.speaker.empty();
    spoken_ = true;
    lastSpeakerId_ = cue.speakerId;
    lastSpeaker_ = cue.speaker;
    bool wrote = false;
    for (auto& track : tracks_) {
        const std::string& text = track.translation ? cue.translation : cue.original;
        if (text.empty()) continue;
        const bool vtt = track.file->format() == CueFormat::WebVtt;
        const std::string marked =
            !vtt && newSpeaker && !cue.speaker.empty() ? cue.speaker + ": " + text : text;
        auto appended =
            track.file->append(cue.startMs, cue.endMs, marked, vtt ? cue.speaker : "");
        if (!appended) {
            stop(track.file->path(), appended.error().message);
            return false;
        }
        wrote = true;
    }
    return wrote;
}

void TranscriptWriter::close() {
    tracks_.clear();
    spoken_ = false;
}

void TranscriptWriter::discardTracks() {
    for (auto& track : tracks_) {
        const std::string path = track.file->path();
        track.file.reset();
        std::error_code ignored;
        fs::remove(fs::u8path(path), ignored);
    }
    tracks_.clear();
}

void TranscriptWriter::stop(const std::string& path, const std::string& reason) {
    logErrorTag("Transcript", "Cannot write %s: %s - transcript stopped", path.c_str(),
                reason.c_str());
    close();
    stopped_ = true;
}

bool TranscriptWriter::open(const TranscriptCue& cue) {
    const std::string baseName = cue.session.baseName.empty()
                                     ? activationTranscriptName(cue.session.startedAt)
                                     : cue.session.baseName;
    std::string folder = cue.options.folder.empty() ? cue.session.folder : cue.options.folder;
    if (folder.empty()) {
        // Our own default: made when it is missing (a folder the user chose is not).
        folder = platform::videosFolder();
        std::error_code ignored;
        if (!folder.empty()) fs::create_directories(fs::u8path(folder), ignored);
    }
    if (folder.empty()) {
        stop(baseName, "no folder for transcripts (set \"Transcript folder\")");
        return false;
    }

    const std::vector<PlannedFile> planned = planFiles(cue);
    for (int attempt = 1; attempt <= kNameTries; ++attempt) {
        std::string name = baseName;
        if (attempt > 1) name += " (" + std::to_string(attempt) + ")";
        const std::string base = (fs::u8path(folder) / fs::u8path(name)).u8string();
        bool taken = false;
        for (const auto& file : planned) {
            const std::string path = base + file.suffix;
            bool exists = false;
            auto created = TranscriptFile::create(path, file.format, &exists);
            if (!created) {
                discardTracks();
                if (!exists) {
                    stop(path, created.error().message);
                    return false;
                }
                taken = true;
                break;
            }
            tracks_.push_back({std::move(created.value()), file.translation});
        }
        if (!taken) {
            for (const auto& track : tracks_) {
                logInfoTag("Transcript", "Writing %s", track.file->path().c_str());
            }
            return true;
        }
        // Another writer has one of these names: try the next.
    }
    stop(baseName, "every name is taken");
    return false;
}

}  // namespace obs_sayline
