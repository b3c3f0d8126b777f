#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "live/source_status.h"

namespace obs_sayline {

// One Sayline source as the dock lists it.
struct DockSourceRow {
    uintptr_t source = 0;
    std::string name;
    std::string speaker;  // empty when none is set
    std::string status;   // the status row's text
    StatusMark mark = StatusMark::Held;
    bool paused = false;

    bool operator==(const DockSourceRow& other) const {
        return source == other.source && name == other.name && speaker == other.speaker &&
               status == other.status && mark == other.mark && paused == other.paused;
    }
    bool operator!=(const DockSourceRow& other) const { return !(*this == other); }
};

// One line of the transcript.
struct DockLine {
    uintptr_t source = 0;
    std::string sourceName;  // as the source was named when the line came
    std::string time;        // "HH:MM:SS"
    std::string original;
    std::string translation;
    bool interim = false;
};

// What the dock shows, without the widgets: the sources' rows, and the transcript of all
// sources (the last 200 finished lines, oldest first, then the lines still being spoken, one
// per source). UI thread only.
class DockModel {
public:
    static constexpr size_t kTranscriptLimit = 200;

    // The sources as they are now; a source no longer there loses its row and its interim
    // line (its finished lines stay). True when anything changed.
    bool setSources(std::vector<DockSourceRow> rows);
    const std::vector<DockSourceRow>& sources() const { return rows_; }
    const DockSourceRow* source(uintptr_t source) const;

    // A line of a source. A finished line replaces the source's interim one; an empty interim
    // line only takes it down. The source's name is its row's (empty when it has none).
    void add(DockLine line);

    const std::deque<DockLine>& finished() const { return finished_; }
    const std::vector<DockLine>& interim() const { return interim_; }
    // Counts every change of the transcript, so a view redraws only after one.
    uint64_t transcriptRevision() const { return revision_; }

    // The transcript as plain text, one finished line each ("12:00:01 Subtitles: words"), the
    // translation on the next line, indented.
    std::string transcriptText() const;

private:
    void dropInterim(uintptr_t source);

    std::vector<DockSourceRow> rows_;
    std::deque<DockLine> finished_;
    std::vector<DockLine> interim_;
    uint64_t revision_ = 0;
};

}  // namespace obs_sayline
