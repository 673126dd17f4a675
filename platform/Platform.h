// The run-time services: panels, controls, tables, graphs, pop-ups, events,
// serial port, TCP client, files and clock. Everything outside platform/
// reaches screen, port, network, disk and clock through this header only.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------- engine ---

// Control and panel callbacks: (panel, control, event, callback data, event
// word 1, event word 2); result 0. Panel callbacks get control 0.
using CtrlCallbackPtr = int (*)(int panel, int control, int event, void *callbackData,
                                int eventData1, int eventData2);

struct UirControlInfo {
    int id;             // generated control id (PANEL_Name)
    const char *name;   // object name in the form
    CtrlCallbackPtr cb; // CBF_<name>, or null
};

struct UirPanelInfo {
    int id;             // panel resource id (CALIBP 1 ... TTP 13)
    const char *name;   // form name, also the top-level object name
    CtrlCallbackPtr cb; // CBF_<panel name>, or null
    const UirControlInfo *controls;
    int controlCount;
};

// Tells the engine which panels and controls the definition file holds and
// which callbacks they are bound to (generated from the forms at build time).
void InstallUirTable(const UirPanelInfo *panels, int count);

// What the panel and control services return when they fail.
enum {
    kErrGeneral = -1,
    kErrNoFile = -2,
    kErrNoPanel = -3,
    kErrBadPanel = -4,
    kErrBadControl = -5,
    kErrWrongKind = -6,
    kErrBadAttribute = -7,
    kErrBadValue = -8,
    kErrBadCell = -9,
    kErrNoUi = -10,
};

// Starts the engine (creates the application object when there is none).
// Returns 0, or a negative value when it cannot start.
int InitRunTimeEngine(int argc, char **argv);
// Starts the engine's clock and waits alone, on the application object that
// exists: enough for a program without panels (InitRunTimeEngine does it too).
void StartEngineClock();

// Events delivered to callbacks.
enum {
    EVENT_NONE = 0,
    EVENT_COMMIT = 1,
    EVENT_VAL_CHANGED = 2,
    EVENT_LEFT_CLICK = 3,
    EVENT_RIGHT_CLICK = 4,
    EVENT_LEFT_DOUBLE_CLICK = 5,
    EVENT_CLOSE = 6,
    EVENT_KEYPRESS = 7,
    EVENT_GOT_FOCUS = 8,
    EVENT_LOST_FOCUS = 9,
};

// EVENT_KEYPRESS carries the key code in its first event word: the key or'ed
// with the modifiers held. Shift+Tab arrives as VAL_BACKTAB_KEY | VAL_SHIFT_MODIFIER.
constexpr int VAL_MODIFIER_MASK = int(Qt::KeyboardModifierMask);
constexpr int VAL_SHIFT_MODIFIER = int(Qt::ShiftModifier);
constexpr int VAL_TAB_KEY = Qt::Key_Tab;
constexpr int VAL_BACKTAB_KEY = Qt::Key_Backtab;
constexpr int VAL_BACKSPACE_KEY = Qt::Key_Backspace;
constexpr int VAL_DELETE_KEY = Qt::Key_Delete;
constexpr int VAL_UP_ARROW_KEY = Qt::Key_Up;
constexpr int VAL_DOWN_ARROW_KEY = Qt::Key_Down;
constexpr int VAL_ESC_KEY = Qt::Key_Escape;

int RunUserInterface();
int QuitUserInterface(int returnCode);
// True once QuitUserInterface was called: waits for the sensor give up at
// once, so that the program ends without waiting out a time-out.
bool QuitRequested();
// Dispatches what is pending and returns at once.
int ProcessSystemEvents();
// Sleeps in the event loop until at least one event was dispatched or
// `maxSeconds` have passed, to the microsecond; never spins. The waits for
// the sensor use it.
void WaitSystemEvents(double maxSeconds);
// Waits the given time while the window stays responsive: events are
// processed, the processor sleeps in between.
void WaitProcessingEvents(double seconds);

// Seconds since the engine started, with sub-millisecond resolution.
double Timer();
// Pauses the thread (no events are dispatched).
// Sleeps `seconds` to the microsecond, outside the event loop.
void SleepFor(double seconds);
void Sleep(int milliseconds);

// ---------------------------------------------------------------- panels ---

// Loads panel `panelId` from the definition file `file` (resolved against the
// program's directory). parent 0 makes a free-standing window. Returns a
// handle > 0, or a negative value when the file or the panel is missing.
int LoadPanel(int parentPanel, const QString &file, int panelId);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
// Deletes every panel at once, at the end of the program (no callback may be
// running): whatever memory is still held after it is a leak.
void DiscardAllPanels();
int SetPanelPos(int panel, int top, int left);
int SetPanelSize(int panel, int height, int width);
int SetActivePanel(int panel);
// Moves a free-standing panel beside `anchor` (right, else left of it) when
// the screen has the room; else over the anchor's left part, so that what
// the anchor shows on its right stays in view.
int PlacePanelBeside(int panel, int anchor);
// 1 when a free-standing panel of that size fits beside `anchor` on its
// screen without covering it, else 0.
int PanelFitsBeside(int anchor, int height, int width);
// The room a free-standing panel's content has inside a control of another
// panel, an area it may stand in for, once the window's frame is counted.
int PanelRoomOver(int panel, int areaPanel, int areaControl, int *height, int *width);
// Moves a free-standing panel, frame included, into that area's top right
// corner (size it to fit first).
int PlacePanelOver(int panel, int areaPanel, int areaControl);
// Makes a free-standing panel a tool window of `owner`'s window: it stays
// above it, and moves with it.
int MakeToolWindowOf(int panel, int owner);
// What a free panel should leave in view: a control, or (control 0) a whole
// panel; a pixel of it covered counts `weight` times.
struct KeepInView {
    int panel;
    int control;
    int weight = 1;
};
// Moves a free-standing panel, frame included, to the place on its owner's
// screen where it covers the least of `keep` (of equal places, the one
// nearest the owner's middle); the pixels it still covers in *coveredPixels.
int PlacePanelCoveringLeast(int panel, const QList<KeepInView> &keep, int *coveredPixels = nullptr);
// The search behind it, on screen coordinates: the top left corner for a
// window of `size` within `free`, and the weighted pixels of `keep` it covers.
QPoint LeastCoveringSpot(const QRect &free, const QSize &size, const QList<QRect> &keep,
                         const QList<int> &weights, const QPoint &near,
                         long long *covered = nullptr);
// Tab order: the controls in the order given; control 0 stands for every
// control of that panel that takes the focus, in the panel's own order.
struct FocusStep {
    int panel;
    int control;
};
void SetFocusOrder(const QList<FocusStep> &steps);
// The keyboard focus before a transfer dims its controls, given back after.
void PushFocus();
void PopFocus();
// Replaces the panel callback bound by name.
int InstallPanelCallback(int panel, CtrlCallbackPtr callback, void *callbackData);

// Panel attributes (int-valued unless said otherwise).
enum {
    ATTR_TITLE = 100,   // text
    ATTR_VISIBLE = 101, // also a control attribute
    ATTR_TOP = 102,     // also a control attribute
    ATTR_LEFT = 103,    // also a control attribute
    ATTR_WIDTH = 104,   // also a control attribute
    ATTR_HEIGHT = 105,  // also a control attribute
    ATTR_BACKCOLOR = 106,
    ATTR_SIZABLE = 107,
};
int SetPanelAttribute(int panel, int attribute, int value);
int SetPanelAttribute(int panel, int attribute, const QString &value);
int GetPanelAttribute(int panel, int attribute, int *value);

// -------------------------------------------------------------- controls ---

// Control attributes. Colours are 0x00RRGGBB.
enum {
    ATTR_DIMMED = 200,
    ATTR_LABEL_TEXT = 201,       // text: button caption, label, graph title, column title
    ATTR_CMD_BUTTON_COLOR = 202, // button face colour
    ATTR_TEXT_COLOR = 203,
    ATTR_TEXT_BGCOLOR = 204, // background of a display / cell
    ATTR_FRAME_COLOR = 205,  // second colour of a display (its frame)
    ATTR_ON_COLOR = 206,     // LED / toggle on colour
    ATTR_OFF_COLOR = 207,
    ATTR_POINTS_PER_SCREEN = 208, // strip chart
    ATTR_CTRL_MODE = 209,         // VAL_HOT or VAL_INDICATOR
    ATTR_MIN_VALUE = 210,
    ATTR_MAX_VALUE = 211,
    ATTR_CELL_MODE = 212,             // table cell / column: VAL_HOT or VAL_INDICATOR
    ATTR_LABEL_COLOR = 213,           // table row label colour
    ATTR_MAX_ENTRY_LENGTH = 214,      // text field
    ATTR_TEXT_FONT = 215,             // text: the font family
    ATTR_TEXT_FONT_NAME_LENGTH = 216, // get only: characters of the font family
    ATTR_TEXT_POINT_SIZE = 217,
    ATTR_TEXT_BOLD = 218,
    ATTR_TEXT_ITALIC = 219,
    ATTR_GREYED = 220,         // faded: the control shows a value that is no longer live
    ATTR_TEXT_STRIKEOUT = 221, // struck through: what the text says is past
};
enum { VAL_HOT = 0, VAL_INDICATOR = 1 };

// Values. Numeric controls: spin boxes, sliders, numeric displays, bars, LEDs,
// toggles (0/1), rings (the value of the selected item), colour patches (the
// colour). Text controls: text fields and text displays.
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, unsigned int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const QString &value);
int SetCtrlVal(int panel, int control, const char *value);
int GetCtrlVal(int panel, int control, int *value);
int GetCtrlVal(int panel, int control, unsigned short *value);
int GetCtrlVal(int panel, int control, short *value);
int GetCtrlVal(int panel, int control, unsigned int *value);
int GetCtrlVal(int panel, int control, double *value);
int GetCtrlVal(int panel, int control, QString *value);

int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, const QString &value);
int GetCtrlAttribute(int panel, int control, int attribute, int *value);
int GetCtrlAttribute(int panel, int control, int attribute, QString *value);
int SetActiveCtrl(int panel, int control);
// Replaces the callback bound by name; GetCtrlCallback reads the current one
// (a control wrapped by another keeps passing events on to it).
int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr callback, void *callbackData);
int GetCtrlCallback(int panel, int control, CtrlCallbackPtr *callback, void **callbackData);
// Removes a control from its panel (run-time text messages and the like).
int DiscardCtrl(int panel, int control);

// Text message controls created at run time (logo texts). Returns the id.
int NewTextMsg(int panel, const QString &text, int top, int left, int pointSize, int textColor,
               int bgColor, bool transparent);
int DisplayImageFile(int panel, int control, const QString &path);
// The text shown while the pointer rests on a control (and on its label).
int SetCtrlToolTip(int panel, int control, const QString &text);

// Ring items (rings are combo boxes whose items carry integer or text
// values). index -1 appends.
int InsertListItem(int panel, int control, int index, const QString &label, int value);
int InsertListItem(int panel, int control, int index, const QString &label, const QString &value);
int DeleteListItem(int panel, int control, int index, int count); // count -1: to the end
int ReplaceListItem(int panel, int control, int index, const QString &label, int value);
int ReplaceListItem(int panel, int control, int index, const QString &label, const QString &value);
int GetNumListItems(int panel, int control, int *count);
// *index is -1 when no item has the value.
int GetIndexFromValue(int panel, int control, int *index, int value);
int GetIndexFromValue(int panel, int control, int *index, const QString &value);
int GetValueFromIndex(int panel, int control, int index, int *value);
int GetValueFromIndex(int panel, int control, int index, QString *value);
int GetCtrlIndex(int panel, int control, int *index);
int SetCtrlIndex(int panel, int control, int index);

// Editable rings. MakeEditableRing turns a text field into the text part of
// a native editable ring: the field keeps its id, value, callback and tab
// position; the ring around it gets a new control id (returned), holds the
// list and opens it as a drop-down. Picking an entry commits the ring; the
// field's own text events stay the field's. Negative when the control is
// no text field.
int MakeEditableRing(int panel, int textControl);
// Completion of a text field while it is being typed into: puts `text` in
// the field, still counted as the operator's edit, and selects from
// `selectFrom` to the end, so that typing on replaces the completed part.
int CompleteCtrlText(int panel, int control, const QString &text, int selectFrom);
// Opens the drop-down list of a ring.
int OpenRingList(int panel, int control);
// Moves the focus to the control before `control` in the panel's tab order
// that is visible, not dimmed and takes the focus; wraps from the first to
// the last.
int SetActiveCtrlBefore(int panel, int control);
// Fits a control's height to its font (after a font change).
int SizeCtrlToFont(int panel, int control);

constexpr int MakeColor(int red, int green, int blue) {
    return ((red & 0xFF) << 16) | ((green & 0xFF) << 8) | (blue & 0xFF);
}

// ---------------------------------------------------------------- tables ---

struct Point {
    int x; // column, from 1
    int y; // row, from 1
};
constexpr Point MakePoint(int x, int y) {
    return Point{x, y};
}

int SetTableCellVal(int panel, int control, Point cell, int value);
int SetTableCellVal(int panel, int control, Point cell, const QString &value);
int GetTableCellVal(int panel, int control, Point cell, int *value);
int GetTableCellVal(int panel, int control, Point cell, unsigned short *value);
int GetTableCellVal(int panel, int control, Point cell, QString *value);
// ATTR_TEXT_BGCOLOR, ATTR_TEXT_COLOR, ATTR_CELL_MODE
int SetTableCellAttribute(int panel, int control, Point cell, int attribute, int value);
// ATTR_LABEL_TEXT (column title), ATTR_CELL_MODE, ATTR_TEXT_BGCOLOR
int SetTableColumnAttribute(int panel, int control, int column, int attribute, int value);
int SetTableColumnAttribute(int panel, int control, int column, int attribute,
                            const QString &value);
// ATTR_LABEL_COLOR (row label text colour), ATTR_LABEL_TEXT
int SetTableRowAttribute(int panel, int control, int row, int attribute, int value);
int SetTableRowAttribute(int panel, int control, int row, int attribute, const QString &value);
int GetTableRowAttribute(int panel, int control, int row, int attribute, int *value);
int GetTableCellAttribute(int panel, int control, Point cell, int attribute, int *value);
int GetNumTableRows(int panel, int control, int *rows);
int GetActiveTableCell(int panel, int control, Point *cell);
int SetActiveTableCell(int panel, int control, Point cell);

// ---------------------------------------------------------------- graphs ---

enum { VAL_XAXIS = 0, VAL_LEFT_YAXIS = 1 };
enum { VAL_MANUAL = 0, VAL_AUTOSCALE = 1 };
enum { VAL_IMMEDIATE_DRAW = 0, VAL_DELAYED_DRAW = 1 };
enum { VAL_UNSIGNED_SHORT_INTEGER = 0, VAL_DOUBLE = 1 };
enum { VAL_THIN_LINE = 0, VAL_SCATTER = 1, VAL_CONNECTED_POINTS = 2 };
constexpr int VAL_TRANSPARENT = 0x1000000;

// Appends the interleaved points of `data` (count values; one point holds one
// value per trace) to a strip chart. Only the last points-per-screen points
// are shown.
int PlotStripChart(int panel, int control, const double *data, int count, int start, int skip,
                   int dataType);
// Plots a line; returns a plot handle > 0.
int PlotXY(int panel, int control, const unsigned short *x, const unsigned short *y, int count,
           int style, int color);
int PlotXY(int panel, int control, const double *x, const double *y, int count, int style,
           int color);
// Ellipse inscribed in (x1, y1)-(x2, y2); angles in tenths of a degree.
int PlotArc(int panel, int control, double x1, double y1, double x2, double y2, int beginAngle,
            int arcAngle, int color, int fillColor);
int PlotRectangle(int panel, int control, double x1, double y1, double x2, double y2, int color,
                  int fillColor);
// plotHandle -1 deletes every plot (the cursor stays).
int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh);
int SetGraphCursor(int panel, int control, int cursorNumber, double x, double y);
int GetGraphCursor(int panel, int control, int cursorNumber, double *x, double *y);
int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);
int GetAxisScalingMode(int panel, int control, int axis, int *mode, double *min, double *max);
// Number of plots (lines, arcs, rectangles) on a graph; for tests and checks.
int GetGraphPlotCount(int panel, int control);

// ---------------------------------------------------------- chart windows ---

// A free-standing window of plots stacked over one time axis (seconds since
// 1970 in the recorded clock, shown as date and time): the wheel zooms and a
// drag pans the time axis of every plot together, a right-button drag zooms
// into a rectangle, a double click shows everything; a click on a legend
// entry switches its trace off and on; the pointer shows a cursor line and a
// read-out. Beside the plots: tables; below them: the read-out, a status
// line, a progress bar with its cancel button, and a row of buttons.
struct ChartTrace {
    int plot;     // index into plotLabels
    QString name; // legend entry
    int color;    // 0x00RRGGBB
    bool steps;   // a step plot instead of a line
};
struct ChartLayout {
    QString title;
    QStringList plotLabels; // y-axis label per plot, top to bottom
    QList<ChartTrace> traces;
    QStringList tableTitles;
    QStringList buttons;
};
// Told what happens in a chart window, on the event loop's thread.
class ChartClient {
  public:
    virtual ~ChartClient() = default;
    // The visible time range changed or the window was resized: the owner
    // gives each trace its points for `pixels` columns (SetChartTrace).
    virtual void ChartRange(int window, double lower, double upper, int pixels) = 0;
    // The read-out for time x under the pointer.
    virtual QString ChartReadout(int window, double x) = 0;
    virtual void ChartButton(int window, int button) = 0;
    virtual void ChartCancel(int window) = 0;
    // The window was closed; its handle is gone after this call.
    virtual void ChartClosed(int window) = 0;
};
// Returns a handle > 0. The window is shown.
int NewChartWindow(const ChartLayout &layout, ChartClient *client);
// Deletes the window without telling its client.
int DiscardChartWindow(int window);
// Closes every chart window, telling each client (at the end of the program).
void DiscardAllChartWindows();
// A point whose x is NaN parts the trace: no line joins the points around it.
int SetChartTrace(int window, int trace, const std::vector<double> &x,
                  const std::vector<double> &y);
int GetChartTrace(int window, int trace, std::vector<double> *x, std::vector<double> *y);
// The time range a double click shows; `show` shows it now.
int SetChartFullRange(int window, double lower, double upper, bool show);
int SetChartRange(int window, double lower, double upper);
int GetChartRange(int window, double *lower, double *upper);
int SetChartTable(int window, int table, const QStringList &columns,
                  const QList<QStringList> &rows);
int SetChartTableTitle(int window, int table, const QString &title);
int GetChartTableTitle(int window, int table, QString *title);
int SetChartStatus(int window, const QString &text);
int GetChartStatus(int window, QString *text);
// 0..100; a negative value hides the progress bar and its cancel button.
int SetChartProgress(int window, int percent);
int SetChartButtonDimmed(int window, int button, bool dimmed);
int SetChartTraceVisible(int window, int trace, bool visible);
bool ChartTraceVisible(int window, int trace);
// Draws the window's plots at once (a benchmark's clock stops after it).
int ReplotChart(int window);
// The plots as shown, as PNG or PDF (an A4 landscape page) by the file's
// extension, the caption above them and without the pointer's cursor line;
// false on failure.
bool SaveChartImage(int window, const QString &path, const QString &caption = QString());

// ---------------------------------------------------------------- pop-ups ---

enum {
    VAL_SELECT_BUTTON = 0,
    VAL_OK_BUTTON = 1,
    VAL_SAVE_BUTTON = 2,
    VAL_LOAD_BUTTON = 3,
};
enum {
    VAL_NO_FILE_SELECTED = 0,
    VAL_EXISTING_FILE_SELECTED = 1,
    VAL_NEW_FILE_SELECTED = 2,
};
int MessagePopup(const QString &title, const QString &text);
// 1 for yes, 0 for no. No is the default button and Escape's answer: every
// question asks before something is discarded, sent or overwritten.
int ConfirmPopup(const QString &title, const QString &text);
// 0 cancelled, 1 an existing file, 2 a new one; the chosen path in *path.
int FileSelectPopup(const QString &defaultDirectory, const QString &defaultFileName,
                    const QString &fileTypeList, const QString &title, int buttonLabel,
                    int restrictDirectory, int restrictExtension, int allowCancel,
                    int allowMakeDirectory, QString *path);
void SetWaitCursor(int on);
// Runs as any pop-up opens, scripted or not, before it is shown.
void SetPopupOpeningHandler(void (*handler)());

// The message list: a tool window of the owner panel's window whose lines
// can be read, selected and copied; opened (or raised) by ShowMessageList,
// refilled while open by UpdateMessageList.
void ShowMessageList(int ownerPanel, const QString &title, const QStringList &lines);
void UpdateMessageList(const QStringList &lines);
// The list's text while it is open, else empty.
QString MessageListText();
void CloseMessageList();

// A value typed into a numeric field or table cell that the field refused
// (out of its range, a fraction, a sign, letters): the field keeps its value
// and is marked; the handler gets a note naming the field and its range
// ("\"70000\" refused: AVERAGE takes whole numbers 0..65535").
void SetRefusedInputHandler(void (*handler)(const QString &note));
// Whether the field is marked for a refused value.
bool CtrlInputRefused(int panel, int control);
bool TableCellInputRefused(int panel, int control, Point cell);

// Scripted answers for tests: while a script is installed, each pop-up takes
// the next expected entry instead of opening a dialog. A pop-up whose title
// differs from the expected one, or that comes when the queue is empty, is
// recorded as unexpected and answered with 0 / cancel.
namespace popupscript {
struct Shown {
    QString title;
    QString text;
};
void Install();   // start scripting (empty queue)
void Uninstall(); // back to real dialogs
void Expect(const QString &title, int answer = 1, const QString &path = QString());
int Pending();             // expected entries not yet used
const QList<Shown> &Log(); // every pop-up shown while scripting
QStringList Unexpected();  // titles and texts of unexpected pop-ups
void Clear();              // empties queue, log and unexpected list
// Hands every pop-up shown while scripting to `sink` as well (a program
// without a window reports them on its error output); null stops it.
using Sink = void (*)(const QString &title, const QString &text);
void Forward(Sink sink);
// The next box of that title is the real one, and gets the key (Qt::Key_Return,
// Qt::Key_Escape) as the operator would press it; its answer is the box's own.
void ExpectKey(const QString &title, int key);
// Every box and question, scripted or real, is handed to `observer` too
// (the session's message list keeps them); null stops it.
void Observe(Sink observer);
} // namespace popupscript

// ------------------------------------------------------------------ serial ---

// Error codes of the serial-port services (negative results).
enum SerialError : int {
    kComErrSystem = -1,
    kComErrPortNumber = -2,
    kComErrNotOpen = -3,
    kComErrIo = -4,
    kComErrNoDevice = -6,
    kComErrCannotOpen = -7,
    kComErrTimeout = -99,
};

// Error codes of the TCP client services (negative results); -1 to -20 are
// the classic client codes, -21 is a host name that does not resolve.
enum TcpError : int {
    kTcpErrRegisterService = -1,
    kTcpErrRefused = -2,
    kTcpErrExistingServer = -3,
    kTcpErrConnect = -4,
    kTcpErrServerNotRegistered = -5,
    kTcpErrTooManyConversations = -6,
    kTcpErrReadFailed = -7,
    kTcpErrWriteFailed = -8,
    kTcpErrParameter = -9,
    kTcpErrOutOfMemory = -10,
    kTcpErrTimeout = -11,
    kTcpErrNoConnection = -12,
    kTcpErrGeneralIo = -13,
    kTcpErrClosed = -14,
    kTcpErrLoadSocketLibrary = -15,
    kTcpErrSocketLibraryVersion = -16,
    kTcpErrNetworkNotReady = -17,
    kTcpErrConnectionsStillOpen = -18,
    kTcpErrDisconnectPending = -19,
    kTcpErrInfoNotAvailable = -20,
    kTcpErrHostNotFound = -21,
};

// Serial port n opens the device named by the environment variable
// TOLVANE_COM<n> when it is set, otherwise /dev/ttyS<n-1> for n = 1..16,
// /dev/ttyUSB<n-17> for n = 17..32 and /dev/ttyACM<n-33> for n = 33..48.
constexpr int kComPortCount = 48;
QString ComPortDevice(int port);

// A serial port as the COM-port selector offers it.
struct ComPortInfo {
    int port = 0;
    QString device;  // what ComPortDevice(port) opens
    QString details; // description, manufacturer, serial number, /dev/serial/by-id name, as known
    bool fromEnvironment = false; // named by TOLVANE_COM<port>
    bool present = false;         // the device is there now
};
// Every serial device of the machine that a port number reaches, and every
// port named by TOLVANE_COM<n> (present or not), in port order.
QList<ComPortInfo> ListComPorts();
// The entry of one port, also when its device is absent; port 0 when the
// number reaches no device.
ComPortInfo DescribeComPort(int port);

enum { NO_PARITY = 0 };
// Returns 0, or a negative code: -2 invalid port number, -6 no such device,
// -7 cannot open, -1 other system error.
int OpenComConfig(int port, const QString &deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
int CloseCom(int port);
int SetComTime(int port, double seconds);
int SetCTSMode(int port, int mode);
// Returns the bytes written, or a negative code (-3 port not open, -4 I/O error,
// -99 the line did not take the bytes within the port's time-out).
int ComWrt(int port, const char *buffer, int count);
// Reads up to count bytes that are queued, waiting up to the port's time-out
// for them; returns the bytes read or a negative code.
int ComRd(int port, char *buffer, int count);
// Bytes in the input queue (never more than the queue size); negative when
// the port is not open.
int GetInQLen(int port);
// Sleeps until input for the port is there (or its line hung up) or
// `seconds` pass, outside the event loop: for a program without a window,
// whose only business while it waits is the line; it then dispatches the
// events, so that the port reads what came. 1 input, 0 the time is over (or
// a signal came), negative when the port is not open.
int ComWaitInput(int port, double seconds);
// Every byte is stamped with Timer() when it comes off the line, in whatever
// event loop runs then (a modal box's too), so that a pause measured inside
// an answer is the line's and not the program's. Fills `times` with the
// stamps of the bytes the last ComRd returned; returns how many.
int ComReadTimes(int port, double *times, int max);
// Bytes received and not read yet, the system's own buffer included.
int ComInputCount(int port);
int FlushInQ(int port);
int FlushOutQ(int port);

// --------------------------------------------------------------------- TCP ---

enum { TCP_DISCONNECT = 1, TCP_DATAREADY = 2 };
using tcpFuncPtr = int (*)(unsigned handle, int xType, int errCode, void *callbackData);
// Returns 0 and the conversation handle, or a negative code:
// -2 unable to establish connection (refused), -4 failed to connect,
// -9 invalid parameter, -11 time-out, -21 host not found.
int ConnectToTCPServer(unsigned *conversationHandle, int portNumber, const QString &serverHost,
                       tcpFuncPtr callback, void *callbackData, int timeoutMs);
int DisconnectFromTCPServer(unsigned conversationHandle);
// Returns the bytes written or a negative code.
int ClientTCPWrite(unsigned conversationHandle, const void *data, int size, int timeoutMs);
// Returns at once with what is buffered (up to size); when nothing is
// buffered waits up to timeoutMs for data. 0 on time-out, negative on error.
int ClientTCPRead(unsigned conversationHandle, void *buffer, int size, int timeoutMs);
// ComWaitInput for a conversation: negative when it is closed.
int TCPWaitInput(unsigned conversationHandle, double seconds);
// ComReadTimes for a conversation: the arrival stamps of the bytes the last
// ClientTCPRead returned.
int TCPReadTimes(unsigned conversationHandle, double *times, int max);
// Replaces the callback of a conversation, for a reader that takes the data
// itself for a while; negative when there is no such conversation.
int InstallTCPCallback(unsigned conversationHandle, tcpFuncPtr callback, void *callbackData);

// ------------------------------------------------------------ shared line ---

// A server that offers one sensor's line to local clients: a local socket
// that only its user (or the members of a group) may open, and optionally a
// TCP port. Clients are addressed by small handles and reported to the
// callback: LINE_CLIENT_CONNECT, LINE_CLIENT_DATAREADY, LINE_CLIENT_GONE.
enum { LINE_CLIENT_CONNECT = 1, LINE_CLIENT_DATAREADY = 2, LINE_CLIENT_GONE = 3 };
using lineFuncPtr = void (*)(unsigned client, int xType, void *callbackData);
struct LineServerSetup {
    QString socketPath; // the local socket, created with mode 0600
    QString group;      // with a group: mode 0660 and that group
    QString tcpHost;    // "127.0.0.1" unless given
    int tcpPort = 0;    // 0: no TCP port
};
// Returns 0, or a negative value with the reason in *problem.
int OpenLineServer(const LineServerSetup &setup, lineFuncPtr callback, void *callbackData,
                   QString *problem);
// Closes the server and every client, and removes the socket.
void CloseLineServer();
// The TCP port the server listens on (0 without one).
int LineServerTcpPort();
// What a client sent and nobody read yet, up to size; never waits.
int LineClientRead(unsigned client, void *buffer, int size);
// Queues bytes to a client; never waits. Negative when the client is gone.
int LineClientWrite(unsigned client, const void *data, int size);
int LineClientClose(unsigned client);
// The process on the other end of a local socket; 0 when unknown.
int LineClientPid(unsigned client);
// A conversation with the local socket at `path`, read and written with the
// TCP client services (ClientTCPRead, ClientTCPWrite, TCPWaitInput,
// DisconnectFromTCPServer). Returns 0, or kTcpErrRefused when nothing listens.
int ConnectToLocalServer(unsigned *conversationHandle, const QString &path, tcpFuncPtr callback,
                         void *callbackData);
// An exclusive lock on a file, held until released or the process ends
// (however it ends). Returns a lock handle >= 0, or -1 when another holds it.
int HoldFileLock(const QString &path);
void ReleaseFileLock(int lock);
// Whether some process holds the lock on that file.
bool FileLockHeld(const QString &path);
bool ProcessAlive(int pid);
int CurrentProcessId();
// The user's private directory for sockets and locks: $XDG_RUNTIME_DIR, else
// /run/user/<uid>, else /tmp/tolvane-<uid> (created with mode 0700); empty
// when none of them is the user's own.
QString UserRuntimeDir();
// Whether a directory (not a link to one) belongs to this user.
bool OwnedByUser(const QString &path);
// Creates a directory with the given mode (and group, when named) if it is not
// there; false when it cannot, or when it belongs to another user.
bool MakePrivateDir(const QString &path, int mode, const QString &group = QString());
// Mode and group of a file, for the permission checks of tests.
bool FileModeAndGroup(const QString &path, int *mode, QString *group);

// ------------------------------------------------------------------- files ---

QString GetProjectDir(); // the program's directory
// Points the program's directory elsewhere (tests run in a temporary one).
void SetProjectDir(const QString &dir);
// Where the program keeps its configuration files. The one place that decides
// it: an installed program (its directory is <prefix>/lib/tolvane) uses the
// user's configuration directory ($XDG_CONFIG_HOME/tolvane, normally
// ~/.config/tolvane), whoever runs it; a program run from its build tree or a
// copy keeps them beside itself, unless it cannot write there. Created on
// demand.
QString ConfigDirFor(const QString &programDir);
// Where record and parameter files are proposed: the program's directory for
// a program that keeps its configuration there, else the user's home.
QString DataDirFor(const QString &programDir);
// Removes the temporary copies that an interrupted atomic write of these
// files left beside them: only copies named by WriteFileAtomic whose writing
// process has ended; whatever else lies beside them stays.
void RemoveSaveLeftovers(const QStringList &paths);
QString JoinPath(const QString &dir, const QString &name);
bool FileExists(const QString &path, qint64 *size = nullptr); // GetFileInfo
// Whether anything (a file, directory, pipe, device) is at the path.
bool PathExists(const QString &path);
// The most any text file of the program may hold: a parameter file (264
// values, one a line) and the table attributes (76 lines) fit many times over.
constexpr qint64 kTextFileMaxBytes = 64 * 1024;
constexpr int kTextFileMaxLineLength = 4096;
// Reads up to maxLines lines (line ends and zero bytes padding a line
// removed), as UTF-8 when they are valid UTF-8, else as Windows-1252. False, with the reason in
// *problem, when the file cannot be read or is not a text file within the bounds above; *lines is
// then unchanged.
bool ReadTextLines(const QString &path, QStringList *lines, int maxLines = -1,
                   QString *problem = nullptr);
// Writes the whole file through a temporary file; false on failure, and an
// earlier file is then left as it was.
bool WriteFileAtomic(const QString &path, const QByteArray &contents);
bool AppendToFile(const QString &path, const QByteArray &contents);
bool DeleteFile(const QString &path);
// Moves the file aside to the first free "<name>.<n>.<suffix>" beside it
// (RecordFile.dat -> RecordFile.1.dat), never over another file; the new path,
// or empty when it could not be moved.
QString MoveToNumberedCopy(const QString &path);
QString DateStr(); // "MM-DD-YYYY"
QString TimeStr(); // "HH:MM:SS"
