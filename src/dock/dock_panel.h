#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

#include "dock/dock_model.h"

class QLabel;
class QPushButton;
class QTextEdit;
class QVBoxLayout;

namespace obs_sayline {

// What the panel's buttons ask of a source.
struct DockActions {
    std::function<void(uintptr_t source, bool paused)> setPaused;
    std::function<void(uintptr_t source)> clear;
};

// The dock's widgets: one row per source (mark, name and speaker, status, "Pause"/"Resume" and
// "Clear"), under them the transcript (finished lines with time and source, the translation
// under each, lines still being spoken in grey) and "Copy". Shows a DockModel; UI thread only.
class DockPanel : public QWidget {
public:
    explicit DockPanel(DockActions actions, QWidget* parent = nullptr);

    // Brings the widgets up to the model; widgets and text are only touched where they differ.
    void showModel(const DockModel& model);
    // What "Copy" puts on the clipboard.
    QString copiedText() const;

    // For tests: the rows' texts and the transcript as drawn.
    QString rowText(size_t row) const;
    QString transcriptPlainText() const;
    QPushButton* pauseButton(size_t row) const;
    QPushButton* clearButton(size_t row) const;
    QPushButton* copyButton() const { return copy_; }

private:
    struct Row {
        uintptr_t source = 0;
        QWidget* frame = nullptr;
        QLabel* mark = nullptr;
        QLabel* name = nullptr;
        QLabel* status = nullptr;
        QPushButton* pause = nullptr;
        QPushButton* clear = nullptr;
        DockSourceRow shown;
    };

    void rebuildRows(const std::vector<DockSourceRow>& sources);
    void showRow(Row& row, const DockSourceRow& source);
    void showTranscript(const DockModel& model);

    DockActions actions_;
    QVBoxLayout* rowsLayout_ = nullptr;
    QLabel* empty_ = nullptr;
    QTextEdit* transcript_ = nullptr;
    QPushButton* copy_ = nullptr;
    std::vector<Row> rows_;
    uint64_t shownRevision_ = UINT64_MAX;
    QString copied_;
};

}  // namespace obs_sayline
