#include "dock/dock_model.h"

#include <algorithm>
#include <utility>

namespace obs_sayline {

bool DockModel::setSources(std::vector<DockSourceRow> rows) {
    if (rows == rows_) return false;
    rows_ = std::move(rows);
    const auto gone = [this](const DockLine& line) { return source(line.source) == nullptr; };
    const auto before = interim_.size();
    interim_.erase(std::remove_if(interim_.begin(), interim_.end(), gone), interim_.end());
    if (interim_.size() != before) ++revision_;
    return true;
}

const DockSourceRow* DockModel::source(uintptr_t source) const {
    for (const DockSourceRow& row : rows_) {
        if (row.source == source) return &row;
    }
    return nullptr;
}

void DockModel::dropInterim(uintptr_t source) {
    interim_.erase(std::remove_if(interim_.begin(), interim_.end(),
                                  [source](const DockLine& line) { return line.source == source; }),
                   interim_.end());
}

void DockModel::add(DockLine line) {
    const DockSourceRow* row = source(line.source);
    if (line.sourceName.empty() && row) line.sourceName = row->name;
    dropInterim(line.source);
    ++revision_;
    if (line.interim) {
        // Lines of a source that is gone, or an empty one, only take its interim line down.
        if (row && !line.original.empty()) interim_.push_back(std::move(line));
        return;
    }
    if (line.original.empty() && line.translation.empty()) return;
    finished_.push_back(std::move(line));
    while (finished_.size() > kTranscriptLimit) finished_.pop_front();
}

std::string DockModel::transcriptText() const {
    std::string text;
    for (const DockLine& line : finished_) {
        text += line.time + " " + line.sourceName + ": " + line.original + "\n";
        if (!line.translation.empty()) text += "    " + line.translation + "\n";
    }
    return text;
}

}  // namespace obs_sayline
