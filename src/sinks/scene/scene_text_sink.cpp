#include "sinks/scene/scene_text_sink.h"

#include <algorithm>
#include <cstring>

#include "core/logger.h"
#include "core/utf8_text.h"
#include "platform/host_text_source.h"

namespace obs_sayline {
namespace {

// Until the settings say otherwise ("Max Subtitle Length", "Display time", "Font").
constexpr size_t kDefaultMaxLineChars = 200;
constexpr int kDefaultDisplayMs = 5000;
constexpr const char* kDefaultFontFace = "Arial";

void addMissing(std::vector<const platform::Script*>& into,
                const std::vector<const platform::Script*>& missing) {
    for (const platform::Script* script : missing) {
        const bool known = std::any_of(into.begin(), into.end(), [&](const platform::Script* s) {
            return std::strcmp(s->name, script->name) == 0;
        });
        if (!known) into.push_back(script);
    }
}

// Each line in the face the finder chooses for it, measured in that face.
class FontRows final : public IRowMeasure {
public:
    FontRows(platform::TextMeasure& measure, platform::FaceFinder& faces,
             const platform::FontFace& font, int fontSize,
             const std::vector<std::string>& languages)
        : measure_(measure), faces_(faces), font_(font), size_(fontSize), languages_(languages) {}

    std::string lineFace(const std::string& line, size_t index) override {
        const platform::FaceChoice choice =
            faces_.faceFor(line, index < languages_.size() ? languages_[index] : "");
        addMissing(missing_, choice.missing);
        return choice.face;
    }
    RowSize measure(const std::string& row, const std::string& face) override {
        platform::FontFace font = font_;
        if (!face.empty()) font.face = face;
        // The finder only names faces that load; the font as set is the fallback all the same.
        if (!measure_.useFont(font, size_) && !measure_.useFont(font_, size_)) return {};
        return measure_.measure(row);
    }
    int fontSize() override { return size_; }
    const std::vector<const platform::Script*>& missing() const { return missing_; }

private:
    platform::TextMeasure& measure_;
    platform::FaceFinder& faces_;
    platform::FontFace font_;
    int size_;
    const std::vector<std::string>& languages_;
    std::vector<const platform::Script*> missing_;
};

size_t lineCount(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

// The language of each line of the display text: the original's, and the translation's below
// it when both are shown.
std::vector<std::string> lineLanguages(const FinishedSubtitle& subtitle) {
    const size_t lines = lineCount(subtitle.text);
    if (subtitle.translation.empty() || subtitle.text == subtitle.original) {
        return std::vector<std::string>(lines, subtitle.sourceLanguage);
    }
    if (subtitle.text == subtitle.translation) {
        return std::vector<std::string>(lines, subtitle.targetLanguage);
    }
    if (subtitle.text.rfind(subtitle.original + "\n", 0) != 0) return {};
    std::vector<std::string> languages(lineCount(subtitle.original), subtitle.sourceLanguage);
    languages.resize(lines, subtitle.targetLanguage);
    return languages;
}

}  // namespace

SceneTextSink::SceneTextSink(std::shared_ptr<ISceneRows> rows, FontReport report)
    : rows_(std::move(rows)),
      report_(std::move(report)),
      maxLineLength_(kDefaultMaxLineChars),
      displayMs_(kDefaultDisplayMs),
      font_{kDefaultFontFace, "", 0} {}

SceneTextSink::~SceneTextSink() = default;

void SceneTextSink::setLayoutBox(const LayoutBox& box, int fontPixels) {
    boxWidth_.store(box.width);
    boxHeight_.store(box.height);
    boxMargin_.store(box.margin);
    fontPixels_.store(fontPixels);
}

void SceneTextSink::setFont(const platform::FontFace& font) {
    std::lock_guard<std::mutex> lock(fontMutex_);
    font_ = font;
}

void SceneTextSink::sourceActivated() { freshActivation_.store(true); }

SubtitleLayout SceneTextSink::layOut(const std::string& text,
                                    const std::vector<std::string>& languages) {
    SubtitleLayout laidOut;
    laidOut.text = text;
    // GDI+ lays the text out and falls back to other fonts by itself.
    if (platform::kHostTextWrapsInBox) return laidOut;
    const LayoutBox box{boxWidth_.load(), boxHeight_.load(), boxMargin_.load()};
    platform::FontFace font;
    {
        std::lock_guard<std::mutex> lock(fontMutex_);
        font = font_;
    }
    std::lock_guard<std::mutex> lock(measureMutex_);
    if (freshActivation_.exchange(false)) {
        warned_.clear();
        faces_.forget();
    }
    const int fontPixels = fontPixels_.load();
    faces_.useFont(font, fontPixels);
    const bool measurable = box.width > 0 && box.height > 0 && measure_.useFont(font, fontPixels);
    if (!measurable) {
        if (box.width > 0 && box.height > 0 && !unmeasurableReported_) {
            unmeasurableReported_ = true;
            logWarningTag("Render",
                          "Font \"%s\" cannot be measured - subtitles are drawn unwrapped",
                          font.face.c_str());
        }
        // The whole text in one face that has its characters.
        const platform::FaceChoice choice =
            faces_.faceFor(text, languages.empty() ? "" : languages.front());
        laidOut.face = choice.face;
        reportMissing(choice.missing);
        return laidOut;
    }
    FontRows rows(measure_, faces_, font, fontPixels, languages);
    laidOut = layoutSubtitle(text, box, rows);
    reportMissing(rows.missing());
    return laidOut;
}

void SceneTextSink::reportMissing(const std::vector<const platform::Script*>& missing) {
    std::string names;
    std::string packages;
    for (const platform::Script* script : missing) {
        if (warned_.insert(script->name).second) {
            logWarningTag("Render", "No installed font has %s glyphs: install one, for example %s",
                          script->name, script->package);
        }
        names += (names.empty() ? "" : ", ") + std::string(script->name);
        if (packages.find(script->package) == std::string::npos) {
            packages += (packages.empty() ? "" : ", ") + std::string(script->package);
        }
    }
    if (!report_) return;
    report_(missing.empty() ? std::string()
                            : "No installed font has " + names +
                                  " glyphs: install one, for example " + packages);
}

void SceneTextSink::store(SubtitleLayout laidOut) {
    // Every row the tick will write exists before it can take the subtitle.
    size_t rows = 1;
    for (const SubtitlePart& part : laidOut.parts) rows = std::max(rows, part.rows.size());
    rows_->ensure(rows);
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = std::move(laidOut);
    dirty_.exchange(true);
}

void SceneTextSink::deliver(const FinishedSubtitle& subtitle) {
    // Speech long past is no subtitle any more.
    if (subtitle.late) return;
    // Cut before anything else: a runaway reply must not reach the layout or the text source
    // whole.
    std::string prefix;
    {
        std::lock_guard<std::mutex> lock(fontMutex_);
        prefix = speakerPrefix_;
    }
    std::string shown = limitLineLength(
        subtitle.text.empty() ? subtitle.text : prefix + subtitle.text, maxLineLength_.load());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (subtitle.interim && shown.empty()) {
            // The line being spoken was withdrawn: take it down at the next frame.
            dirty_.exchange(false);
            cleared_.store(true);
            return;
        }
        if (!subtitle.interim) {
            originalText_ = subtitle.original;
            translatedText_ = subtitle.translation;
        }
    }
    if (shown.empty()) return;
    store(layOut(shown, lineLanguages(subtitle)));
}

void SceneTextSink::setSpeakerPrefix(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(fontMutex_);
    speakerPrefix_ = prefix;
}

// The rows are emptied by the video tick: the host reads a video source's settings in its video
// tick without a lock, so only that thread writes them.
void SceneTextSink::clear() { cleared_.store(true); }

std::optional<SubtitleLayout> SceneTextSink::takePending() {
    if (!dirty_.exchange(false)) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_;
}

void SceneTextSink::leave(const std::string& displayText,
                          const std::vector<std::string>& languages) {
    store(layOut(displayText, languages));
}

void SceneTextSink::writeRows(std::optional<SceneTimeline::Rows> rows, uint64_t frame) {
    size_t used = 0;
    if (rows && rows->wholeText) {
        rows_->write(0, timeline_.subtitle->text, timeline_.subtitle->face);
        used = 1;
    } else if (rows) {
        // The layout made every row this part needs before handing it over.
        for (const LaidOutRow& row : rows->part.rows) rows_->write(used++, row.text, row.face);
    }
    for (size_t i = used, n = rows_->count(); i < n; ++i) rows_->write(i, "", "");
    timeline_.written = true;
    timeline_.writtenRows = std::move(rows);
    timeline_.writtenFrame = frame;
}

void SceneTextSink::writePart(uint64_t frame) {
    SceneTimeline::Rows rows;
    if (timeline_.subtitle->parts.empty()) {
        rows.wholeText = true;
    } else {
        rows.part = timeline_.subtitle->parts[timeline_.part];
    }
    writeRows(std::move(rows), frame);
}

void SceneTextSink::tick(Clock::time_point now, uint64_t frame) {
    SceneTimeline& t = timeline_;
    // A host text source takes a change in its own tick. Every row is made after this source
    // and the host ticks the newest sources first, so that is the next frame's tick: from the
    // next frame on the rows hold what was written.
    if (t.written && frame != t.writtenFrame) {
        t.drawn = t.writtenRows;
        t.written = false;
    }
    if (cleared_.exchange(false)) {
        // Capture stopped, or the line being spoken was withdrawn: every row is emptied.
        writeRows(std::nullopt, frame);
        t.subtitle.reset();
        t.visible = false;
    }
    if (std::optional<SubtitleLayout> pending = takePending()) {
        t.subtitle = std::move(*pending);
        t.part = 0;
        writePart(frame);
        t.shownAt = now;
        t.visible = true;
        return;
    }
    if (!t.visible) return;
    const size_t parts = std::max<size_t>(1, t.subtitle->parts.size());
    if (!subtitleExpired(t.shownAt, now, partDurationMs(displayMs_.load(), parts, t.part))) return;
    if (t.part + 1 < parts) {
        ++t.part;
        writePart(frame);
        t.shownAt = now;
    } else {
        writeRows(std::nullopt, frame);
        t.subtitle.reset();
        t.visible = false;
    }
}

std::string SceneTextSink::pendingText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.text;
}

std::string SceneTextSink::originalText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return originalText_;
}

std::string SceneTextSink::translatedText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return translatedText_;
}

}  // namespace obs_sayline
