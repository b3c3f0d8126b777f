#include "sinks/hub/caption_report_fanout.h"

#include <utility>

namespace obs_sayline {

void CaptionReportFanOut::setTargets(Targets targets) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!problem_.empty()) {
        for (const auto& [id, report] : targets) {
            if (report && targets_.count(id) == 0) report->captionProblem(problem_);
        }
    }
    targets_ = std::move(targets);
}

void CaptionReportFanOut::captionsPosted(std::chrono::steady_clock::time_point at) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [id, report] : targets_) {
        if (report) report->captionsPosted(at);
    }
}

void CaptionReportFanOut::captionProblem(const std::string& sentence) {
    std::lock_guard<std::mutex> lock(mutex_);
    problem_ = sentence;
    for (const auto& [id, report] : targets_) {
        if (report) report->captionProblem(sentence);
    }
}

}  // namespace obs_sayline
