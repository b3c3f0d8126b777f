#include "dock/dock_panel.h"

#include <QClipboard>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QVBoxLayout>

#include "plugin/locale_text.h"

namespace obs_sayline {
namespace {

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.c_str()); }

const char* markColour(StatusMark mark) {
    switch (mark) {
        case StatusMark::Working:
            return "#2ea043";
        case StatusMark::Held:
            return "#d29922";
        case StatusMark::Problem:
            return "#e5534b";
    }
    return "#d29922";
}

QString escaped(const std::string& text) { return fromUtf8(text).toHtmlEscaped(); }

}  // namespace

DockPanel::DockPanel(DockActions actions, QWidget* parent)
    : QWidget(parent), actions_(std::move(actions)) {
    auto* layout = new QVBoxLayout(this);
    rowsLayout_ = new QVBoxLayout();
    empty_ = new QLabel(QString::fromUtf8(localText("Dock.NoSources")), this);
    empty_->setWordWrap(true);
    rowsLayout_->addWidget(empty_);
    layout->addLayout(rowsLayout_);

    transcript_ = new QTextEdit(this);
    transcript_->setReadOnly(true);
    transcript_->setAcceptRichText(false);
    layout->addWidget(transcript_, 1);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    copy_ = new QPushButton(QString::fromUtf8(localText("Dock.Copy")), this);
    QObject::connect(copy_, &QPushButton::clicked, this, [this] {
        if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(copied_);
    });
    buttons->addWidget(copy_);
    layout->addLayout(buttons);
}

void DockPanel::showModel(const DockModel& model) {
    const std::vector<DockSourceRow>& sources = model.sources();
    bool same = sources.size() == rows_.size();
    for (size_t i = 0; same && i < sources.size(); ++i) same = rows_[i].source == sources[i].source;
    if (!same) rebuildRows(sources);
    for (size_t i = 0; i < sources.size(); ++i) showRow(rows_[i], sources[i]);
    empty_->setVisible(sources.empty());
    if (model.transcriptRevision() != shownRevision_) showTranscript(model);
}

void DockPanel::rebuildRows(const std::vector<DockSourceRow>& sources) {
    for (Row& row : rows_) delete row.frame;
    rows_.clear();
    for (const DockSourceRow& source : sources) {
        Row row;
        row.source = source.source;
        auto* frame = new QFrame(this);
        frame->setFrameShape(QFrame::StyledPanel);
        auto* grid = new QGridLayout(frame);
        row.frame = frame;
        row.mark = new QLabel(frame);
        row.name = new QLabel(frame);
        row.status = new QLabel(frame);
        row.status->setWordWrap(true);
        row.pause = new QPushButton(frame);
        row.clear = new QPushButton(QString::fromUtf8(localText("Dock.Clear")), frame);
        grid->addWidget(row.mark, 0, 0);
        grid->addWidget(row.name, 0, 1);
        grid->addWidget(row.pause, 0, 2);
        grid->addWidget(row.clear, 0, 3);
        grid->addWidget(row.status, 1, 1, 1, 3);
        grid->setColumnStretch(1, 1);
        const uintptr_t key = source.source;
        QObject::connect(row.pause, &QPushButton::clicked, this, [this, key] {
            const DockSourceRow* shown = nullptr;
            for (const Row& r : rows_) {
                if (r.source == key) shown = &r.shown;
            }
            if (shown && actions_.setPaused) actions_.setPaused(key, !shown->paused);
        });
        QObject::connect(row.clear, &QPushButton::clicked, this, [this, key] {
            if (actions_.clear) actions_.clear(key);
        });
        rowsLayout_->addWidget(frame);
        row.shown.source = 0;  // nothing shown yet: every field is written below
        row.shown.status = "\n";
        rows_.push_back(row);
    }
}

void DockPanel::showRow(Row& row, const DockSourceRow& source) {
    if (row.shown == source) return;
    row.mark->setText(QString("<span style=\"color:%1\">&#9679;</span>")
                          .arg(QString::fromLatin1(markColour(source.mark))));
    QString name = "<b>" + escaped(source.name) + "</b>";
    if (!source.speaker.empty()) name += " &mdash; " + escaped(source.speaker);
    row.name->setText(name);
    row.status->setText(fromUtf8(source.status));
    row.pause->setText(QString::fromUtf8(localText(source.paused ? "Dock.Resume" : "Dock.Pause")));
    row.shown = source;
}

void DockPanel::showTranscript(const DockModel& model) {
    shownRevision_ = model.transcriptRevision();
    QString html;
    for (const DockLine& line : model.finished()) {
        html += "<p style=\"margin:0\"><span style=\"color:#888\">" + escaped(line.time) +
                "</span> <b>" + escaped(line.sourceName) + "</b>: " + escaped(line.original);
        if (!line.translation.empty()) {
            html += "<br>&nbsp;&nbsp;&nbsp;&nbsp;<i>" + escaped(line.translation) + "</i>";
        }
        html += "</p>";
    }
    for (const DockLine& line : model.interim()) {
        html += "<p style=\"margin:0; color:#888\"><b>" + escaped(line.sourceName) + "</b>: " +
                escaped(line.original) + "</p>";
    }
    QScrollBar* bar = transcript_->verticalScrollBar();
    const bool atBottom = !bar || bar->value() >= bar->maximum();
    transcript_->setHtml(html);
    // Newest at the bottom: follow it, unless the user scrolled up to read.
    if (bar && atBottom) bar->setValue(bar->maximum());
    copied_ = fromUtf8(model.transcriptText());
}

QString DockPanel::copiedText() const { return copied_; }

QString DockPanel::rowText(size_t row) const {
    if (row >= rows_.size()) return {};
    const Row& r = rows_[row];
    return r.name->text() + "\n" + r.status->text();
}

QString DockPanel::transcriptPlainText() const { return transcript_->toPlainText(); }

QPushButton* DockPanel::pauseButton(size_t row) const {
    return row < rows_.size() ? rows_[row].pause : nullptr;
}

QPushButton* DockPanel::clearButton(size_t row) const {
    return row < rows_.size() ? rows_[row].clear : nullptr;
}

}  // namespace obs_sayline
