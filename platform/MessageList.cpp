// The MESSAGES window: the session's messages with their times, to read in
// full, select and copy after the status line has moved on. A tool window of
// the main window, so that it stays above it and never hides behind it.
#include "platform/EngineState.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {
QPointer<QDialog> g_list;
QPointer<QPlainTextEdit> g_text;

void Fill(const QStringList &lines) {
    if (!g_text) return;
    QScrollBar *bar = g_text->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    g_text->setPlainText(lines.join(QLatin1Char('\n')));
    // The newest stays in view unless the operator scrolled back to read.
    if (atEnd) bar->setValue(bar->maximum());
}
} // namespace

void ShowMessageList(int ownerPanel, const QString &title, const QStringList &lines) {
    if (!g_list) {
        engine::Panel *owner = engine::FindPanel(ownerPanel);
        QWidget *parent = owner ? owner->w->window() : nullptr;
        auto *dialog = new QDialog(parent, Qt::Tool);
        dialog->setObjectName(QStringLiteral("MessageList"));
        dialog->setWindowTitle(title);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        auto *text = new QPlainTextEdit(dialog);
        text->setObjectName(QStringLiteral("MessageListText"));
        text->setReadOnly(true);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        auto *copy = new QPushButton(QStringLiteral("COPY ALL"), dialog);
        copy->setObjectName(QStringLiteral("MessageListCopy"));
        auto *close = new QPushButton(QStringLiteral("CLOSE"), dialog);
        QObject::connect(copy, &QPushButton::clicked, text,
                         [text] { QApplication::clipboard()->setText(text->toPlainText()); });
        QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::close);
        auto *buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(copy);
        buttons->addWidget(close);
        auto *layout = new QVBoxLayout(dialog);
        layout->addWidget(text);
        layout->addLayout(buttons);
        dialog->resize(720, 360);
        if (parent) {
            // Over the lower part of the main window: the graph's axis and the
            // status area it explains, not the navigation or the transfer buttons.
            const QRect at = parent->frameGeometry();
            dialog->move(at.right() - 720 - 20, at.bottom() - 360 - 60);
        }
        g_list = dialog;
        g_text = text;
    }
    Fill(lines);
    g_list->show();
    g_list->raise();
    g_list->activateWindow();
}

void UpdateMessageList(const QStringList &lines) {
    if (g_list && g_list->isVisible()) Fill(lines);
}

QString MessageListText() {
    return g_text && g_list && g_list->isVisible() ? g_text->toPlainText() : QString();
}

void CloseMessageList() {
    if (g_list) g_list->close();
}
