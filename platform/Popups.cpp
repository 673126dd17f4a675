// Modal pop-ups, their scripted answers for unattended runs, and the wait cursor.
#include "platform/EngineState.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QQueue>
#include <QTimer>
#include <cstdio>

namespace {

struct Expected {
    QString title;
    int answer;
    QString path;
    int key = 0; // a real box is shown and gets this key
};

struct Script {
    bool installed = false;
    popupscript::Sink observer = nullptr; // every box, scripted or not
    bool echo = false;                    // unattended program: report unexpected pop-ups on stderr
    popupscript::Sink sink = nullptr;
    QQueue<Expected> queue;
    QList<popupscript::Shown> log;
    QStringList unexpected;
};

Script &script() {
    static Script s;
    return s;
}

// Takes the answer for a pop-up from the script. A pop-up that the script
// does not expect next is recorded and answered with 0 / cancel; the
// expected entry stays for the pop-up it was meant for.
int Scripted(const QString &title, const QString &text, QString *path) {
    Script &s = script();
    s.log.append(popupscript::Shown{title, text});
    if (s.sink) s.sink(title, text);
    if (!s.queue.isEmpty() && s.queue.head().title == title) {
        const Expected e = s.queue.dequeue();
        if (path) *path = e.path;
        return e.answer;
    }
    const QString entry = title + QStringLiteral(": ") + text;
    s.unexpected.append(entry);
    if (s.echo) std::fprintf(stderr, "unexpected pop-up: %s\n", qPrintable(entry));
    if (path) path->clear();
    return 0;
}

void (*openingHandler)() = nullptr;

void Opening() {
    if (openingHandler) openingHandler();
}

QWidget *DialogParent() {
    return QApplication::activeWindow();
}

// The script's next entry wants the real box for this title, answered by a key.
int ScriptedKey(const QString &title) {
    Script &s = script();
    if (!s.installed || s.queue.isEmpty() || s.queue.head().title != title) return 0;
    if (s.queue.head().key == 0) return 0;
    return s.queue.dequeue().key;
}

// Shows the box; a scripted key goes to it once it is open, as the
// operator's key would.
int ExecBox(QMessageBox &box, int key) {
    if (key != 0)
        QTimer::singleShot(0, &box, [&box, key] {
            QCoreApplication::postEvent(&box, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
        });
    return box.exec();
}

void Observe(const QString &title, const QString &text) {
    if (script().observer) script().observer(title, text);
}

// "*.dat;*.txt" becomes "*.dat *.txt (*.dat *.txt)", followed by all files.
QString NameFilter(const QString &fileTypeList) {
    QString patterns = fileTypeList;
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    patterns = patterns.simplified();
    if (patterns.isEmpty()) return QStringLiteral("All files (*)");
    return QStringLiteral("%1 (%1);;All files (*)").arg(patterns);
}

// Gives the keyboard back to the window that had it when a pop-up closes:
// without a window manager nothing else would, and the function keys of the
// main panel would go nowhere.
class GiveBackActivation {
  public:
    ~GiveBackActivation() {
        if (m_window && m_window->isVisible()) m_window->activateWindow();
    }

  private:
    QPointer<QWidget> m_window = QApplication::activeWindow();
};
} // namespace

namespace engine {
void PopupScriptFromEnvironment() {
    if (qEnvironmentVariable("TOLVANE_POPUP_SCRIPT") == QLatin1String("fail")) {
        popupscript::Install();
        script().echo = true;
    }
}
} // namespace engine

void SetPopupOpeningHandler(void (*handler)()) {
    openingHandler = handler;
}

int MessagePopup(const QString &title, const QString &text) {
    Opening();
    Observe(title, text);
    const int key = ScriptedKey(title);
    if (script().installed && key == 0) {
        Scripted(title, text, nullptr);
        return 0;
    }
    if (key != 0) script().log.append(popupscript::Shown{title, text});
    GiveBackActivation giveBack;
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, DialogParent());
    ExecBox(box, key);
    return 0;
}

// Every question here risks something on Yes (a change discarded, a value
// sent, a file written), so Enter and Escape both mean No; Yes takes a
// deliberate click or Y.
int ConfirmPopup(const QString &title, const QString &text) {
    Opening();
    Observe(title, text);
    const int key = ScriptedKey(title);
    if (script().installed && key == 0) return Scripted(title, text, nullptr) ? 1 : 0;
    if (key != 0) script().log.append(popupscript::Shown{title, text});
    GiveBackActivation giveBack;
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                    DialogParent());
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return ExecBox(box, key) == QMessageBox::Yes ? 1 : 0;
}

int FileSelectPopup(const QString &defaultDirectory, const QString &defaultFileName,
                    const QString &fileTypeList, const QString &title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, QString *path) {
    (void)restrictDirectory;
    (void)restrictExtension;
    (void)allowCancel;
    Opening();
    QString chosen;
    int result = VAL_NO_FILE_SELECTED;
    if (script().installed) {
        result = Scripted(title, JoinPath(defaultDirectory, defaultFileName), &chosen);
        if (result != VAL_EXISTING_FILE_SELECTED && result != VAL_NEW_FILE_SELECTED)
            result = VAL_NO_FILE_SELECTED;
    } else {
        GiveBackActivation giveBack;
        QFileDialog dialog(DialogParent(), title, defaultDirectory, NameFilter(fileTypeList));
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setOption(QFileDialog::ReadOnly, !allowMakeDirectory);
        if (buttonLabel == VAL_LOAD_BUTTON) {
            dialog.setAcceptMode(QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::ExistingFile);
        } else {
            dialog.setAcceptMode(buttonLabel == VAL_SAVE_BUTTON ? QFileDialog::AcceptSave
                                                                : QFileDialog::AcceptOpen);
            dialog.setFileMode(QFileDialog::AnyFile);
        }
        if (buttonLabel == VAL_OK_BUTTON)
            dialog.setLabelText(QFileDialog::Accept, QStringLiteral("OK"));
        if (!defaultFileName.isEmpty()) dialog.selectFile(defaultFileName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            chosen = dialog.selectedFiles().constFirst();
            result = QFileInfo::exists(chosen) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
        }
    }
    if (path) *path = result == VAL_NO_FILE_SELECTED ? QString() : chosen;
    return result;
}

void SetWaitCursor(int on) {
    // A program without a display has no cursor.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) return;
    static bool waiting = false;
    if (bool(on) == waiting) return;
    waiting = on != 0;
    if (waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

namespace popupscript {
void Install() {
    script().installed = true;
}
void Uninstall() {
    script().installed = false;
    script().echo = false;
    script().sink = nullptr;
}
void Forward(Sink sink) {
    script().sink = sink;
}
void Expect(const QString &title, int answer, const QString &path) {
    script().queue.enqueue(Expected{title, answer, path});
}
void ExpectKey(const QString &title, int key) {
    script().queue.enqueue(Expected{title, 0, QString(), key});
}
void Observe(Sink observer) {
    script().observer = observer;
}
int Pending() {
    return int(script().queue.size());
}
const QList<Shown> &Log() {
    return script().log;
}
QStringList Unexpected() {
    return script().unexpected;
}
void Clear() {
    script().queue.clear();
    script().log.clear();
    script().unexpected.clear();
}
} // namespace popupscript
