// What the user-interface half of the engine shares between its files:
// panels, controls and the event dispatch. Private to platform/.
#pragma once

#include "platform/Platform.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalBlocker>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QWidget;
class QLabel;
class QSpinBox;
class QColor;
class QRect;
class QVariant;

namespace engine {

// How often a screen shows a new picture; drawing more often is wasted.
constexpr long long kRefreshMs = 16;
// Milliseconds until a refresh interval has passed since `last` (restarted at
// each drawing); 0 when it has, or when nothing was drawn yet.
inline int MsUntilRefresh(const QElapsedTimer &last) {
    return last.isValid() && last.elapsed() < kRefreshMs ? int(kRefreshMs - last.elapsed()) : 0;
}

enum class Kind {
    Other,      // anything without a value: visibility, geometry, dimming only
    Button,     // command button
    Toggle,     // checkable push button
    Switch,     // check box or radio button
    Spin,       // QSpinBox
    DoubleSpin, // QDoubleSpinBox
    Slider,
    Ring,  // QComboBox
    Text,  // QLineEdit
    Label, // text or numeric display
    Led,
    ColorPatch,
    Bar, // QProgressBar
    Table,
    Graph,
    Group, // QGroupBox
};

struct GraphState; // Graphs.cpp; a child object of its plot

struct Ctrl {
    int id = 0;
    int panel = 0;
    QWidget *w = nullptr;
    Kind kind = Kind::Other;
    CtrlCallbackPtr cb = nullptr;
    void *cbData = nullptr;
    QPointer<QLabel> buddy;
    // Labels showing a slider's value, or number boxes that show and set it.
    std::vector<QPointer<QWidget>> mirrors;
    QString labelText; // label of a control without a buddy
    QString baseStyle; // the form's own style sheet
    // Colours set at run time; -1 while the form's look applies.
    int textColor = -1;
    int bgColor = -1;
    int frameColor = -1;
    int buttonColor = -1;
    int onColor = 0x00FF00;
    int offColor = 0x404040;
    int ledOn = 0;
    int patchColor = 0;
    int mode = VAL_HOT;
    bool dirty = false; // text field edited since its last commit
    int cellMax = 65535;
    bool textCells = false;
    // A text field that holds a whole number (the form's wholeMin and
    // wholeMax): the text it held before a refused one.
    bool wholeRange = false;
    int wholeMin = 0;
    int wholeMax = 0;
    QString acceptedText;
    GraphState *graph = nullptr;
};

struct Panel {
    int handle = 0;
    int resId = 0;
    int parent = 0;
    QPointer<QWidget> w;
    // Where its controls and child panels live: w itself, or the content of
    // the scroll area of a window that scrolls when made smaller.
    QPointer<QWidget> inner;
    CtrlCallbackPtr cb = nullptr;
    void *cbData = nullptr;
    std::vector<std::unique_ptr<Ctrl>> ctrls; // indexed by control id
    int backColor = -1;
    bool sizable = true;
};

Panel *FindPanel(int handle);
Ctrl *FindCtrl(int panel, int control);

// Calls the control's (control > 0) or the panel's callback, when there is
// one; looks both up afresh, since an earlier callback may have discarded
// the panel. Returns the callback's result, 0 without one.
int Fire(int panel, int control, int event, int eventData1 = 0, int eventData2 = 0);

// Controls.cpp
Kind Classify(QWidget *w);
void WireControl(Ctrl &c);
void RestyleCtrl(Ctrl &c);
void UpdateMirrors(Ctrl &c, int value);
int ColorProperty(const QWidget *w, const char *name, int fallback);
int ToRgb(const QColor &color);
// Visibility, position and size of a panel or control; false for other attributes.
bool GetGeometryAttribute(const QWidget *w, int attribute, int *value);
QColor FromRgb(int rgb);
// Values set by the program never reach the callbacks.
struct Quiet {
    explicit Quiet(QWidget *w) : blocker(w) {}
    QSignalBlocker blocker;
};
QString Hex(int rgb);
// A colour patch shows the colour it holds.
void SetPatch(Ctrl &c, int rgb);
void SetLabelText(QLabel *l, const QString &text);
// The text last set on a display, whole even when it is shown cut.
QString LabelText(const QLabel *l);
// Moves a control and the label that belongs to it.
void Place(Ctrl &c, const QRect &r);
void SetIndicator(Ctrl &c, bool indicator);

// Tables.cpp
void SetUpTable(Ctrl &c);

// CheckedInput.cpp: typed numbers are taken whole or refused visibly.
// Digits of `base` only: no sign, no fraction, no letters beyond the base's.
bool IsWholeNumber(const QString &text, int base = 10);
// The field's caption ("AVERAGE"), from its fieldName property.
QString FieldName(const QWidget *field);
// "AVERAGE takes whole numbers 0..65535".
QString FieldRange(const QString &name, int min, int max, int base = 10);
// Marks the field, puts its range into its tooltip and tells the program.
void RefuseTyped(QWidget *field, const QString &name, int min, int max, const QString &typed,
                 int base = 10);
void ClearRefusal(QWidget *field);
bool FieldRefused(const QWidget *field);
// The spin box of every numeric field and table cell; `onRefused` runs after
// a refusal has been reported.
QSpinBox *NewCheckedSpinBox(QWidget *parent, std::function<void()> onRefused = {});
// For a whole-number text field: true when the typed text is taken; false
// after restoring the text it held and reporting the refusal.
bool AcceptTypedText(Ctrl &c);

// Graphs.cpp (the only file that includes the plot library's header)
QWidget *CreatePlot(QWidget *parent, const QString &name);
bool IsPlot(const QWidget *w);
bool SetUpGraph(Ctrl &c);
int GraphPointsPerScreen(const Ctrl &c);
int SetGraphPointsPerScreen(Ctrl &c, int points);
QString GraphTitle(const Ctrl &c);
void SetGraphTitle(Ctrl &c, const QString &title);

// Popups.cpp: honours TOLVANE_POPUP_SCRIPT at start-up.
void PopupScriptFromEnvironment();

// Events.cpp: the application-wide filter for clicks, keys, focus and close.
void InstallEventHub();

// Marks widgets so that the event filter finds their panel and control.
void TagPanel(QWidget *w, int handle);
void TagCtrl(QWidget *w, int handle, int control);
bool IsPanelWidget(const QWidget *w);

} // namespace engine
