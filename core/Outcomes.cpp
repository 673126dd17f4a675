// The session's messages and the progress of long transfers.
#include "core/Outcomes.h"

#include "core/Session.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace {
// A session of a working day keeps everything; a runaway loop of refusals
// does not grow without bound.
constexpr int kMaxMessages = 5000;

QStringList messages;
int helpDepth = 0;

QString Now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
}

void KeepBox(const QString &title, const QString &text) {
    if (helpDepth > 0) return;
    KeepMessage(title + QLatin1Char(' ') + text.simplified());
}

struct Progress {
    bool running = false;
    QString what;
    ProgressUnit unit = kProgressTelegrams;
    int total = 0;
    int done = 0;
    double started = 0;
} progress;

void ShowProgress() {
    const bool on = progress.running;
    SetCtrlAttribute(datapanel, DATAP_BarProgress, ATTR_VISIBLE, on ? 1 : 0);
    SetCtrlAttribute(datapanel, DATAP_DispProgress, ATTR_VISIBLE, on ? 1 : 0);
    if (!on) return;
    SetCtrlAttribute(datapanel, DATAP_BarProgress, ATTR_MAX_VALUE, std::max(1, progress.total));
    SetCtrlVal(datapanel, DATAP_BarProgress, std::min(progress.done, progress.total));
    SetCtrlVal(datapanel, DATAP_DispProgress, ProgressText());
}
} // namespace

void KeepMessage(const QString &text) {
    if (text.isEmpty()) return;
    const QString line = Now() + QStringLiteral("  ") + text;
    // The same outcome shown again (a redraw of the status line) is one message.
    if (!messages.isEmpty() && messages.constLast().mid(10) == text) return;
    messages << line;
    if (messages.size() > kMaxMessages) messages.removeFirst();
    UpdateMessageList(messages);
}

QStringList SessionMessages() {
    return messages;
}

void ShowSessionMessages() {
    ShowMessageList(mainpanel, QStringLiteral("MESSAGES"), messages);
}

void KeepBoxMessages() {
    popupscript::Observe(KeepBox);
}

HelpBoxScope::HelpBoxScope() {
    ++helpDepth;
}
HelpBoxScope::~HelpBoxScope() {
    --helpDepth;
}

void BeginProgress(const QString &what, int total, ProgressUnit unit) {
    progress = Progress{true, what, unit, std::max(1, total), 0, Timer()};
    ShowProgress();
}

void NoteTelegramWritten() {
    if (!progress.running || progress.unit != kProgressTelegrams) return;
    // The telegram under way is the one counted: "telegram 1 of 32" while
    // the first waits for its answer.
    progress.done = std::min(progress.done + 1, progress.total);
    ShowProgress();
}

void SetProgress(int done) {
    if (!progress.running) return;
    progress.done = std::clamp(done, 0, progress.total);
    ShowProgress();
}

void EndProgress() {
    if (!progress.running) return;
    progress.running = false;
    ShowProgress();
}

QString ProgressText() {
    if (!progress.running) return QString();
    const QString unit =
        progress.unit == kProgressFrames ? QStringLiteral("frame") : QStringLiteral("telegram");
    QString text = QStringLiteral("%1: %2 %3 of %4")
                       .arg(progress.what, unit)
                       .arg(std::max(1, progress.done))
                       .arg(progress.total);
    // The time left from the pace so far; none before the first step is through.
    const int through = progress.done - 1;
    if (through >= 1) {
        const double perStep = (Timer() - progress.started) / through;
        const int left = int(std::ceil(perStep * (progress.total - through)));
        text += QStringLiteral(" \u2013 %1 s left").arg(left);
    }
    return text;
}
