// Panels: loading the forms from the definition file, handles, showing,
// hiding, placing and discarding panels.
#include "platform/EngineState.h"
#include "platform/Introspect.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QResource>
#include <QScreen>
#include <QScrollArea>
#include <QSet>
#include <QSlider>
#include <QSpinBox>
#include <QUiLoader>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <optional>

namespace engine {
namespace {

const UirPanelInfo *g_table = nullptr;
int g_tableCount = 0;
// Indexed by handle; handles are never reused, so a stale handle stays invalid.
std::vector<std::unique_ptr<Panel>> g_panels(1);
QSet<QString> g_registered;

// QUiLoader makes a plain QWidget for a promoted class it does not know.
class FormLoader : public QUiLoader {
  public:
    QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override {
        if (className == QLatin1String("QCustomPlot")) return CreatePlot(parent, name);
        if (className == QLatin1String("QSpinBox")) {
            QSpinBox *spin = NewCheckedSpinBox(parent);
            spin->setObjectName(name);
            return spin;
        }
        return QUiLoader::createWidget(className, parent, name);
    }
};

const UirPanelInfo *PanelInfo(int resId) {
    for (int i = 0; i < g_tableCount; ++i)
        if (g_table[i].id == resId) return &g_table[i];
    return nullptr;
}

bool RegisterDefinitionFile(const QString &path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) return false;
    if (g_registered.contains(canonical)) return true;
    if (!QResource::registerResource(canonical)) return false;
    g_registered.insert(canonical);
    return true;
}

void CollectDescendants(int handle, QList<int> *out) {
    out->append(handle);
    for (const auto &p : g_panels)
        if (p && p->parent == handle) CollectDescendants(p->handle, out);
}

// Builds the control records of a freshly loaded form; false when a control
// of the table has no widget or a graph did not become a plot.
bool BindControls(Panel &panel, QWidget *root, const UirPanelInfo &info) {
    int maxId = 0;
    for (int i = 0; i < info.controlCount; ++i)
        maxId = std::max(maxId, info.controls[i].id);
    panel.ctrls.resize(maxId + 1);

    for (int i = 0; i < info.controlCount; ++i) {
        const UirControlInfo &ci = info.controls[i];
        if (!ci.name) continue;
        QWidget *w = root->findChild<QWidget *>(QString::fromLatin1(ci.name));
        if (!w) return false;
        auto c = std::make_unique<Ctrl>();
        c->id = ci.id;
        c->panel = panel.handle;
        c->w = w;
        c->cb = ci.cb;
        c->kind = Classify(w);
        c->baseStyle = w->styleSheet();
        if (w->property("kind").isValid() && c->kind != Kind::Graph) return false;
        panel.ctrls[ci.id] = std::move(c);
    }

    for (QLabel *label : root->findChildren<QLabel *>()) {
        if (QWidget *buddy = label->buddy()) {
            for (auto &c : panel.ctrls)
                if (c && c->w == buddy) c->buddy = label;
        }
    }
    for (QWidget *mirror : root->findChildren<QWidget *>()) {
        const QString source = mirror->property("valueOf").toString();
        if (source.isEmpty()) continue;
        for (auto &c : panel.ctrls)
            if (c && c->w->objectName() == source) {
                c->mirrors.push_back(mirror);
                if (auto *slider = qobject_cast<QSlider *>(c->w))
                    UpdateMirrors(*c, slider->value());
            }
    }

    for (auto &c : panel.ctrls) {
        if (!c) continue;
        if (c->kind == Kind::Graph && !SetUpGraph(*c)) return false;
        if (c->kind == Kind::Table) SetUpTable(*c);
        WireControl(*c);
        TagCtrl(c->w, panel.handle, c->id);
    }
    return true;
}

} // namespace

Panel *FindPanel(int handle) {
    if (handle <= 0 || handle >= int(g_panels.size())) return nullptr;
    Panel *p = g_panels[handle].get();
    return p && p->w ? p : nullptr;
}

Ctrl *FindCtrl(int panel, int control) {
    Panel *p = FindPanel(panel);
    if (!p || control <= 0 || control >= int(p->ctrls.size())) return nullptr;
    return p->ctrls[control].get();
}

int Fire(int panel, int control, int event, int eventData1, int eventData2) {
    if (control > 0) {
        Ctrl *c = FindCtrl(panel, control);
        if (!c || !c->cb) return 0;
        return c->cb(panel, control, event, c->cbData, eventData1, eventData2);
    }
    Panel *p = FindPanel(panel);
    if (!p || !p->cb) return 0;
    return p->cb(panel, 0, event, p->cbData, eventData1, eventData2);
}

} // namespace engine

using namespace engine;

void InstallUirTable(const UirPanelInfo *panels, int count) {
    g_table = panels;
    g_tableCount = count;
}

namespace {
// A window made larger than its panel gives the extra room to the controls
// (and panels inside it) whose form property `grow` asks for it: x and y
// move them right and down by the extra width and height, w and h widen and
// heighten them. Their places as designed are kept to start from.
class GrowControls : public QObject {
  public:
    GrowControls(QWidget *content, QSize design) : QObject(content), m_design(design) {}

  protected:
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() != QEvent::Resize) return false;
        auto *content = static_cast<QWidget *>(o);
        const int dw = std::max(0, content->width() - m_design.width());
        const int dh = std::max(0, content->height() - m_design.height());
        for (QWidget *w : content->findChildren<QWidget *>()) {
            const QString grow = w->property("grow").toString();
            if (grow.isEmpty()) continue;
            QVariant design = w->property("tolvaneDesignGeometry");
            if (!design.isValid()) {
                design = w->geometry();
                w->setProperty("tolvaneDesignGeometry", design);
            }
            QRect at = design.toRect();
            if (grow.contains(QLatin1Char('x'))) at.translate(dw, 0);
            if (grow.contains(QLatin1Char('y'))) at.translate(0, dh);
            if (grow.contains(QLatin1Char('w'))) at.setWidth(at.width() + dw);
            if (grow.contains(QLatin1Char('h'))) at.setHeight(at.height() + dh);
            if (w->minimumSize() == w->maximumSize()) w->setFixedSize(at.size());
            w->setGeometry(at);
        }
        return false;
    }

  private:
    QSize m_design;
};

// A window made smaller than its panel shows scroll bars rather than cut off
// controls: the panel's controls move into a content widget of at least the
// panel's size inside a scroll area that fills the window. Returns the content.
QWidget *MakeScrolling(QWidget *root) {
    auto *content = new QWidget;
    content->setObjectName(root->objectName() + QStringLiteral("Content"));
    content->setMinimumSize(root->size());
    content->resize(root->size());
    content->installEventFilter(new GrowControls(content, root->size()));
    const QObjectList children = root->children(); // reparenting changes the list
    for (QObject *o : children) {
        auto *child = qobject_cast<QWidget *>(o);
        if (!child || child->isWindow()) continue;
        const QRect at = child->geometry();
        const bool hidden = child->isHidden();
        child->setParent(content);
        child->setGeometry(at);
        child->setHidden(hidden);
    }
    auto *scroll = new QScrollArea(root);
    scroll->setObjectName(root->objectName() + QStringLiteral("Scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setBackgroundRole(QPalette::Window);
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    auto *layout = new QVBoxLayout(root);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    return content;
}
} // namespace

int LoadPanel(int parentPanel, const QString &file, int panelId) {
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) return kErrNoUi;
    const UirPanelInfo *info = PanelInfo(panelId);
    if (!info) return kErrNoPanel;
    Panel *parent = nullptr;
    if (parentPanel != 0) {
        parent = FindPanel(parentPanel);
        if (!parent) return kErrBadPanel;
    }

    const QString path = QFileInfo(file).isAbsolute() ? file : JoinPath(GetProjectDir(), file);
    if (!RegisterDefinitionFile(path)) return kErrNoFile;
    QFile form(QStringLiteral(":/uir/%1.ui").arg(QLatin1String(info->name)));
    if (!form.open(QIODevice::ReadOnly)) return kErrNoPanel;

    FormLoader loader;
    QWidget *root = loader.load(&form, nullptr);
    if (!root) return kErrNoPanel;
    if (root->objectName() != QLatin1String(info->name)) {
        delete root;
        return kErrNoPanel;
    }

    auto panel = std::make_unique<Panel>();
    panel->handle = int(g_panels.size());
    panel->resId = panelId;
    panel->parent = parentPanel;
    panel->w = root;
    panel->cb = info->cb;
    if (!BindControls(*panel, root, *info)) {
        delete root;
        return kErrBadControl;
    }

    panel->inner = root;
    if (!parent && root->property("scrolls").toBool()) panel->inner = MakeScrolling(root);

    // Panels stay hidden until DisplayPanel, as free windows or inside their parent.
    if (parent) root->setParent(parent->inner ? parent->inner : parent->w, Qt::Widget);
    // A free window opens where the form's `top` and `left` say.
    const QVariant top = root->property("top"), left = root->property("left");
    if (!parent && (top.isValid() || left.isValid())) root->move(left.toInt(), top.toInt());
    root->hide();
    TagPanel(root, panel->handle);
    InstallEventHub();

    const int handle = panel->handle;
    g_panels.push_back(std::move(panel));
    return handle;
}

int DisplayPanel(int panel) {
    Panel *p = FindPanel(panel);
    if (!p) return kErrBadPanel;
    p->w->show();
    if (!p->w->isWindow()) {
        p->w->raise();
    } else {
        // The offscreen platform used by the tests cannot raise windows.
        if (QGuiApplication::platformName() != QLatin1String("offscreen")) p->w->raise();
        p->w->activateWindow();
    }
    return 0;
}

int HidePanel(int panel) {
    Panel *p = FindPanel(panel);
    if (!p) return kErrBadPanel;
    const bool hadFocus = p->w->isWindow() && p->w->isActiveWindow();
    p->w->hide();
    // Without a window manager nothing else would take the keyboard, and the
    // function keys of the main panel would go nowhere.
    if (hadFocus)
        for (const auto &other : g_panels)
            if (other && other->w && other->w->isWindow() && other->w->isVisible()) {
                other->w->activateWindow();
                break;
            }
    return 0;
}

namespace {
QSize FrameExtra(const QWidget *w) {
    return (w->frameGeometry().size() - w->geometry().size()).expandedTo(QSize(0, 0));
}

// The frame a window manager adds is not known before the first show.
QSize FrameSize(const QWidget *w, QSize size) {
    return size + FrameExtra(w);
}

// Before its first show a window's frame is taken to be the one the window
// manager gave the other window.
QSize FrameSizeLike(const QWidget *w, const QWidget *other) {
    const QSize own = FrameExtra(w);
    return w->size() +
           (own.isEmpty() && !w->testAttribute(Qt::WA_WState_Created) ? FrameExtra(other) : own);
}

// Where a window of that frame size fits beside the anchor's window on its
// screen without covering it: right of it, else left; null when neither.
std::optional<QPoint> SpotBeside(const QWidget *anchor, QSize frame) {
    const QScreen *screen = anchor->screen();
    if (!screen) return std::nullopt;
    const QRect free = screen->availableGeometry();
    const QRect beside = anchor->frameGeometry();
    if (frame.height() > free.height()) return std::nullopt;
    const int top = std::clamp(beside.top(), free.top(),
                               std::max(free.top(), free.bottom() + 1 - frame.height()));
    if (beside.right() + 1 + frame.width() <= free.right() + 1)
        return QPoint(beside.right() + 1, top);
    if (beside.left() - frame.width() >= free.left())
        return QPoint(beside.left() - frame.width(), top);
    return std::nullopt;
}
} // namespace

int PanelFitsBeside(int anchor, int height, int width) {
    Panel *a = FindPanel(anchor);
    if (!a) return kErrBadPanel;
    return SpotBeside(a->w->window(), QSize(width, height)) ? 1 : 0;
}

int PlacePanelBeside(int panel, int anchor) {
    Panel *p = FindPanel(panel), *a = FindPanel(anchor);
    if (!p || !a || !p->w->isWindow()) return kErrBadPanel;
    QWidget *w = p->w, *aw = a->w->window();
    const QScreen *screen = aw->screen();
    if (!screen) return 0;
    const QSize frame = FrameSize(w, w->size());
    if (const auto spot = SpotBeside(aw, frame)) {
        w->move(*spot);
        return 0;
    }
    const QRect free = screen->availableGeometry();
    const QRect beside = aw->frameGeometry();
    const int top = std::clamp(beside.top(), free.top(),
                               std::max(free.top(), free.bottom() + 1 - frame.height()));
    w->move(std::max(free.left(), beside.left()), top);
    return 0;
}

int PanelRoomOver(int panel, int areaPanel, int areaControl, int *height, int *width) {
    Panel *p = FindPanel(panel);
    Ctrl *c = FindCtrl(areaPanel, areaControl);
    if (!p || !p->w->isWindow()) return kErrBadPanel;
    if (!c) return kErrBadControl;
    const QSize frame = FrameSizeLike(p->w, c->w->window()) - p->w->size();
    *height = std::max(0, c->w->height() - frame.height());
    *width = std::max(0, c->w->width() - frame.width());
    return 0;
}

int PlacePanelOver(int panel, int areaPanel, int areaControl) {
    Panel *p = FindPanel(panel);
    Ctrl *c = FindCtrl(areaPanel, areaControl);
    if (!p || !p->w->isWindow()) return kErrBadPanel;
    if (!c) return kErrBadControl;
    const QRect area(c->w->mapToGlobal(QPoint(0, 0)), c->w->size());
    // The window, frame included, goes into the area's top right corner.
    const QSize frame = FrameSizeLike(p->w, c->w->window());
    p->w->move(area.right() + 1 - frame.width(), area.top());
    return 0;
}

namespace {
// The widgets of a panel that take the focus by Tab, in the panel's order,
// leaving out those of panels inside it.
QList<QWidget *> Focusable(QWidget *root) {
    QList<QWidget *> out;
    for (QWidget *w = root->nextInFocusChain(); w && w != root; w = w->nextInFocusChain()) {
        if (!(w->focusPolicy() & Qt::TabFocus) || !root->isAncestorOf(w)) continue;
        QWidget *owner = w->parentWidget();
        while (owner && owner != root && !IsPanelWidget(owner))
            owner = owner->parentWidget();
        if (owner == root && !out.contains(w)) out << w;
    }
    return out;
}

QList<QPointer<QWidget>> g_focusStack;
} // namespace

void SetFocusOrder(const QList<FocusStep> &steps) {
    QList<QWidget *> order;
    for (const FocusStep &s : steps) {
        if (s.control == 0) {
            if (Panel *p = FindPanel(s.panel)) order << Focusable(p->w);
        } else if (Ctrl *c = FindCtrl(s.panel, s.control)) {
            order << c->w;
        }
    }
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void PushFocus() {
    g_focusStack << QPointer<QWidget>(QApplication::focusWidget());
}

void PopFocus() {
    if (g_focusStack.isEmpty()) return;
    QPointer<QWidget> w = g_focusStack.takeLast();
    if (w && w->isVisible() && w->isEnabled()) w->setFocus(Qt::OtherFocusReason);
}

int DiscardPanel(int panel) {
    Panel *p = FindPanel(panel);
    if (!p) return kErrBadPanel;
    QWidget *w = p->w;
    QList<int> handles;
    CollectDescendants(panel, &handles);
    for (int h : handles)
        g_panels[h].reset();
    // A callback of this very panel may be running: delete once it returned.
    w->hide();
    w->deleteLater();
    return 0;
}

void DiscardAllPanels() {
    DiscardAllChartWindows();
    QList<QPointer<QWidget>> windows;
    for (const auto &p : g_panels)
        if (p && p->parent == 0 && p->w) windows << p->w;
    for (auto &p : g_panels)
        p.reset();
    for (const QPointer<QWidget> &w : windows)
        delete w.data();
}

int SetPanelPos(int panel, int top, int left) {
    Panel *p = FindPanel(panel);
    if (!p) return kErrBadPanel;
    p->w->move(left, top);
    return 0;
}

int SetPanelSize(int panel, int height, int width) {
    Panel *p = FindPanel(panel);
    if (!p) return kErrBadPanel;
    if (p->sizable)
        p->w->resize(width, height);
    else
        p->w->setFixedSize(width, height);
    return 0;
}

int SetActivePanel(int panel) {
    Panel *p = FindPanel(panel);
    if (!p) return kErrBadPanel;
    if (!p->w->isWindow()) p->w->raise();
    p->w->window()->activateWindow();
    p->w->setFocus();
    return 0;
}

int SetPanelAttribute(int panel, int attribute, int value) {
    Panel *p = FindPanel(panel);
    if (!p) return kErrBadPanel;
    QWidget *w = p->w;
    switch (attribute) {
    case ATTR_VISIBLE:
        value ? DisplayPanel(panel) : HidePanel(panel);
        return 0;
    case ATTR_TOP:
        w->move(w->x(), value);
        return 0;
    case ATTR_LEFT:
        w->move(value, w->y());
        return 0;
    case ATTR_WIDTH:
        return SetPanelSize(panel, w->height(), value);
    case ATTR_HEIGHT:
        return SetPanelSize(panel, value, w->width());
    case ATTR_BACKCOLOR: {
        p->backColor = value;
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, FromRgb(value));
        w->setPalette(pal);
        w->setAutoFillBackground(true);
        return 0;
    }
    case ATTR_SIZABLE:
        p->sizable = value != 0;
        if (p->sizable) {
            w->setMinimumSize(0, 0);
            w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        } else {
            w->setFixedSize(w->size());
        }
        return 0;
    default:
        return kErrBadAttribute;
    }
}

int SetPanelAttribute(int panel, int attribute, const QString &value) {
    Panel *p = FindPanel(panel);
    if (!p) return kErrBadPanel;
    if (attribute != ATTR_TITLE) return kErrBadAttribute;
    p->w->setWindowTitle(value);
    return 0;
}

int GetPanelAttribute(int panel, int attribute, int *value) {
    Panel *p = FindPanel(panel);
    if (!p) return kErrBadPanel;
    QWidget *w = p->w;
    if (GetGeometryAttribute(w, attribute, value)) return 0;
    switch (attribute) {
    case ATTR_BACKCOLOR:
        *value = p->backColor >= 0 ? p->backColor : ToRgb(w->palette().color(QPalette::Window));
        return 0;
    case ATTR_SIZABLE:
        *value = p->sizable;
        return 0;
    default:
        return kErrBadAttribute;
    }
}

int InstallPanelCallback(int panel, CtrlCallbackPtr callback, void *callbackData) {
    Panel *p = FindPanel(panel);
    if (!p) return kErrBadPanel;
    p->cb = callback;
    p->cbData = callbackData;
    return 0;
}

QWidget *PanelWidget(int panel) {
    Panel *p = FindPanel(panel);
    return p ? p->w.data() : nullptr;
}

QWidget *CtrlWidget(int panel, int control) {
    Ctrl *c = FindCtrl(panel, control);
    return c ? c->w : nullptr;
}

// Run-time text messages get the next free control id of their panel.
int NewTextMsg(int panel, const QString &text, int top, int left, int pointSize, int textColor,
               int bgColor, bool transparent) {
    Panel *p = FindPanel(panel);
    if (!p) return kErrBadPanel;
    auto *label = new QLabel(text, p->w);
    const int id = int(p->ctrls.size());
    label->setObjectName(QStringLiteral("TextMsg%1").arg(id));
    QFont font = label->font();
    if (pointSize > 0) font.setPointSize(pointSize);
    label->setFont(font);
    label->move(left, top);
    label->adjustSize();
    label->show();

    auto c = std::make_unique<Ctrl>();
    c->id = id;
    c->panel = panel;
    c->w = label;
    c->kind = Kind::Label;
    c->textColor = textColor;
    if (!transparent) c->bgColor = bgColor;
    RestyleCtrl(*c);
    TagCtrl(label, panel, id);
    p->ctrls.push_back(std::move(c));
    return id;
}

int DiscardCtrl(int panel, int control) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    QWidget *w = c->w;
    if (c->buddy) c->buddy->hide();
    FindPanel(panel)->ctrls[control].reset();
    w->hide();
    w->deleteLater();
    return 0;
}
