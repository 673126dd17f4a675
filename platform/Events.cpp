// The application object of the programs with panels, and the one
// application-wide event filter through which clicks, double clicks, keys,
// focus and window closing reach the callbacks; value events come from the
// widgets' signals (Controls.cpp, Tables.cpp).
#include "platform/EngineState.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

namespace engine {
namespace {

const char *const kPanelTag = "_tolvanePanel";
const char *const kCtrlTag = "_tolvaneCtrl";

struct Target {
    int panel = 0;
    int control = 0;
    QWidget *ctrlWidget = nullptr;
};

// The nearest control around a widget and the nearest panel around that.
Target Locate(QWidget *w) {
    Target t;
    for (; w; w = w->parentWidget()) {
        const QVariant c = w->property(kCtrlTag);
        if (c.isValid()) {
            const qint64 packed = c.toLongLong();
            t.panel = int(packed >> 32);
            t.control = int(packed & 0xFFFFFFFF);
            t.ctrlWidget = w;
            return t;
        }
        const QVariant p = w->property(kPanelTag);
        if (p.isValid()) {
            t.panel = p.toInt();
            return t;
        }
    }
    return t;
}

// A window is repainted at most once per screen refresh. Qt repaints a
// window whenever one of its widgets changed, and a progress bar at once,
// so that displays fed a hundred frames a second would be drawn a hundred
// times where sixty can be seen. A repaint asked for sooner after the last
// one is held and done when the refresh interval is over, with everything
// that changed meanwhile.
class RefreshPacer : public QObject {
  public:
    using QObject::QObject;

    // True when the window's repaint is held back.
    bool hold(QObject *o) {
        if (!o->isWidgetType() || !static_cast<QWidget *>(o)->isWindow()) return false;
        auto *window = static_cast<QWidget *>(o);
        auto it = m_windows.find(window);
        if (it == m_windows.end()) {
            it = m_windows.insert(window, {});
            connect(window, &QObject::destroyed, this,
                    [this, window] { m_windows.remove(window); });
        }
        Pace &pace = *it;
        if (pace.held) return true;
        const int wait = MsUntilRefresh(pace.last);
        if (wait == 0) {
            pace.last.start();
            return false;
        }
        pace.held = true;
        QTimer::singleShot(wait, Qt::PreciseTimer, window, [this, window] {
            // The interval is over: the repaint passes this filter.
            Pace &p = m_windows[window];
            p.held = false;
            p.last.invalidate();
            QEvent repaint(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(window, &repaint);
        });
        return true;
    }

  private:
    struct Pace {
        QElapsedTimer last; // since the last repaint let through
        bool held = false;  // a repaint is due when the interval is over
    };
    QHash<QWidget *, Pace> m_windows;
};

class EventHub : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *o, QEvent *e) override {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return mouse(o, static_cast<QMouseEvent *>(e));
        case QEvent::MouseButtonRelease:
            m_lastMouse = nullptr;
            return false;
        case QEvent::ContextMenu:
            return o->isWidgetType() && Locate(static_cast<QWidget *>(o)).control;
        case QEvent::KeyPress:
            return key(o, static_cast<QKeyEvent *>(e));
        case QEvent::KeyRelease:
            m_lastKey = nullptr;
            return false;
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            focus(o, e);
            return false;
        case QEvent::Close:
            return close(o, e);
        case QEvent::Shortcut:
            return shortcut(o);
        case QEvent::UpdateRequest:
            return m_pacer.hold(o);
        default:
            return false;
        }
    }

  private:
    RefreshPacer m_pacer;
    // An event that a widget leaves unaccepted travels on to its parents and
    // passes this filter again; a release always lies between two presses.
    // Test drivers reuse one stack address for successive events, so a
    // mouse event is recognised by its time stamp as well.
    const QEvent *m_lastMouse = nullptr;
    quint64 m_lastMouseStamp = 0;
    QEvent::Type m_lastMouseType = QEvent::None;
    const QEvent *m_lastKey = nullptr;
    int m_lastKeyCode = 0; // a modifier's press and the key's share an address too

    bool mouse(QObject *o, QMouseEvent *e) {
        if (!o->isWidgetType()) return false;
        const Target t = Locate(static_cast<QWidget *>(o));
        if (!t.control) return false;
        const bool right = e->button() == Qt::RightButton;
        if (e == m_lastMouse && e->timestamp() == m_lastMouseStamp && e->type() == m_lastMouseType)
            return right;
        m_lastMouse = e;
        m_lastMouseStamp = e->timestamp();
        m_lastMouseType = e->type();
        if (!t.ctrlWidget->isEnabled()) return right;
        const QPoint pos = static_cast<QWidget *>(o)->mapTo(t.ctrlWidget, e->position().toPoint());
        if (e->type() == QEvent::MouseButtonDblClick) {
            if (e->button() == Qt::LeftButton)
                Fire(t.panel, t.control, EVENT_LEFT_DOUBLE_CLICK, pos.y(), pos.x());
            return right;
        }
        if (right) {
            // The right click belongs to the program (help texts): no context menu.
            Fire(t.panel, t.control, EVENT_RIGHT_CLICK, pos.y(), pos.x());
            return true;
        }
        if (e->button() == Qt::LeftButton)
            Fire(t.panel, t.control, EVENT_LEFT_CLICK, pos.y(), pos.x());
        return false;
    }

    bool key(QObject *o, QKeyEvent *e) {
        const int code = e->key() | int(e->modifiers());
        if (!o->isWidgetType() || (e == m_lastKey && code == m_lastKeyCode)) return false;
        const Target t = Locate(static_cast<QWidget *>(o));
        if (!t.panel) return false;
        m_lastKey = e;
        m_lastKeyCode = code;
        int swallow = 0;
        // A ring's open drop-down is a window of its own: its keys move
        // through the list and are no key presses on the control.
        const bool inList =
            t.control && static_cast<QWidget *>(o)->window() != t.ctrlWidget->window();
        if (t.control && !inList) swallow |= Fire(t.panel, t.control, EVENT_KEYPRESS, code, 0);
        swallow |= Fire(t.panel, 0, EVENT_KEYPRESS, code, 0);
        // Accepted, or it travels on to the parents, whose Tab handling
        // would move the focus once more.
        if (swallow) e->accept();
        return swallow != 0;
    }

    void focus(QObject *o, QEvent *e) {
        if (!o->isWidgetType()) return;
        const Target t = Locate(static_cast<QWidget *>(o));
        if (!t.control || t.ctrlWidget != o) return;
        Fire(t.panel, t.control, e->type() == QEvent::FocusIn ? EVENT_GOT_FOCUS : EVENT_LOST_FOCUS);
    }

    // A button's key acts at once, as a click does, instead of Qt's
    // animated click that commits a tenth of a second later.
    bool shortcut(QObject *o) {
        auto *button = qobject_cast<QAbstractButton *>(o);
        if (!button || !button->property(kCtrlTag).isValid()) return false;
        if (button->isEnabled() && button->isVisible()) button->click();
        return true;
    }

    // Closing a free-standing panel only asks its callback, which decides.
    bool close(QObject *o, QEvent *e) {
        if (!o->isWidgetType()) return false;
        auto *w = static_cast<QWidget *>(o);
        const QVariant p = w->property(kPanelTag);
        if (!p.isValid() || !w->isWindow()) return false;
        e->ignore();
        Fire(p.toInt(), 0, EVENT_CLOSE);
        return true;
    }
};

} // namespace

void InstallEventHub() {
    static EventHub *hub = nullptr;
    if (hub) return;
    hub = new EventHub(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(hub);
}

void TagPanel(QWidget *w, int handle) {
    w->setProperty(kPanelTag, handle);
}

bool IsPanelWidget(const QWidget *w) {
    return w->property(kPanelTag).isValid();
}

void TagCtrl(QWidget *w, int handle, int control) {
    w->setProperty(kCtrlTag, (qint64(handle) << 32) | qint64(quint32(control)));
}

} // namespace engine

int InitRunTimeEngine(int argc, char **argv) {
    StartEngineClock();
    engine::PopupScriptFromEnvironment();
    if (QCoreApplication::instance()) return 0;
    // The application object lives for the rest of the process, as the engine does.
    static int s_argc = argc;
    static QApplication *app = new QApplication(s_argc, argv);
    app->setQuitOnLastWindowClosed(false);
    return app ? 0 : -1;
}
