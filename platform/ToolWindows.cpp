// Free panels that belong to the main window: tool windows of it that stay
// above it and move with it, and the place where such a panel covers least
// of what the operator must keep in view.
#include "platform/EngineState.h"

#include <QMoveEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>

using namespace engine;

namespace {
// Moves the owner's tool windows along when the owner moves.
class MoveAlong : public QObject {
  public:
    explicit MoveAlong(QWidget *owner) : QObject(owner) {}
    void add(QWidget *w) {
        if (!m_tools.contains(w)) m_tools << w;
    }

  protected:
    bool eventFilter(QObject *o, QEvent *e) override {
        if (e->type() == QEvent::Move && o->isWidgetType()) {
            auto *move = static_cast<QMoveEvent *>(e);
            const QPoint delta = move->pos() - move->oldPos();
            if (!delta.isNull())
                for (const QPointer<QWidget> &w : m_tools)
                    if (w && w->isVisible()) w->move(w->pos() + delta);
        }
        return false;
    }

  private:
    QList<QPointer<QWidget>> m_tools;
};

// Where a kept thing is on the screen. A control counts where its panel has
// it even while hidden (X/Y/INT/GN come back with another SOURCE while the
// view is open); a panel only while it is shown (one child panel at a time).
QRect GlobalRect(const KeepInView &k) {
    QWidget *w = nullptr;
    if (k.control == 0) {
        if (Panel *p = FindPanel(k.panel); p && p->w->isVisibleTo(p->w->window())) w = p->w;
    } else if (Ctrl *c = FindCtrl(k.panel, k.control)) {
        w = c->w;
    }
    if (!w) return {};
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

long long Covered(const QRect &at, const QList<QRect> &keep, const QList<int> &weights) {
    long long area = 0;
    for (int i = 0; i < keep.size(); ++i) {
        const QRect both = at.intersected(keep[i]);
        if (!both.isEmpty())
            area += 1LL * both.width() * both.height() * (i < weights.size() ? weights[i] : 1);
    }
    return area;
}
} // namespace

int MakeToolWindowOf(int panel, int owner) {
    Panel *p = FindPanel(panel), *o = FindPanel(owner);
    if (!p || !o || !p->w->isWindow()) return kErrBadPanel;
    QWidget *w = p->w, *ow = o->w->window();
    const bool shown = w->isVisible();
    const QPoint at = w->pos();
    w->setParent(ow, Qt::Tool);
    w->move(at);
    if (shown) w->show();
    MoveAlong *along = nullptr;
    for (QObject *child : ow->children())
        if ((along = dynamic_cast<MoveAlong *>(child))) break;
    if (!along) {
        along = new MoveAlong(ow);
        ow->installEventFilter(along);
    }
    along->add(w);
    return 0;
}

QPoint LeastCoveringSpot(const QRect &free, const QSize &size, const QList<QRect> &keep,
                         const QList<int> &weights, const QPoint &near, long long *covered) {
    // Candidates on a coarse grid and at the edges of what is to be kept, so
    // that a gap between two of them is found exactly.
    QList<int> xs, ys;
    for (int x = free.left(); x + size.width() <= free.right() + 1; x += 16)
        xs << x;
    for (int y = free.top(); y + size.height() <= free.bottom() + 1; y += 16)
        ys << y;
    for (const QRect &r : keep) {
        xs << r.right() + 1 << r.left() - size.width();
        ys << r.bottom() + 1 << r.top() - size.height();
    }
    xs << free.right() + 1 - size.width();
    ys << free.bottom() + 1 - size.height();
    QPoint best = free.topLeft();
    long long bestCost = -1, bestDistance = 0;
    for (int x : xs) {
        if (x < free.left() || x + size.width() > free.right() + 1) continue;
        for (int y : ys) {
            if (y < free.top() || y + size.height() > free.bottom() + 1) continue;
            const QRect at(QPoint(x, y), size);
            const long long cost = Covered(at, keep, weights);
            // Of equal cost, the place nearest the owner's middle: in reach.
            const QPoint d = at.center() - near;
            const long long distance = 1LL * d.x() * d.x() + 1LL * d.y() * d.y();
            if (bestCost < 0 || cost < bestCost || (cost == bestCost && distance < bestDistance)) {
                bestCost = cost;
                bestDistance = distance;
                best = QPoint(x, y);
            }
        }
    }
    // Larger than the screen: its top left corner in the screen's.
    if (bestCost < 0) bestCost = Covered(QRect(best, size), keep, weights);
    if (covered) *covered = bestCost;
    return best;
}

int PlacePanelCoveringLeast(int panel, const QList<KeepInView> &keep, int *coveredPixels) {
    Panel *p = FindPanel(panel);
    if (!p || !p->w->isWindow()) return kErrBadPanel;
    QWidget *w = p->w;
    QWidget *owner = w->parentWidget() ? w->parentWidget()->window() : w;
    const QScreen *screen = owner->screen();
    if (!screen) return 0;
    // The frame a window manager adds, as it gave the owner.
    const QSize frameExtra = owner->frameGeometry().size() - owner->geometry().size();
    const QSize size = w->size() + frameExtra.expandedTo(QSize(0, 0));
    QList<QRect> rects;
    QList<int> weights;
    for (const KeepInView &k : keep)
        if (const QRect r = GlobalRect(k); !r.isEmpty()) {
            rects << r;
            weights << k.weight;
        }
    long long covered = 0;
    // A main window larger than its screen (a small display, or none) is the
    // room to choose in all the same.
    const QRect free = screen->availableGeometry().united(owner->frameGeometry());
    w->move(
        LeastCoveringSpot(free, size, rects, weights, owner->frameGeometry().center(), &covered));
    if (coveredPixels) *coveredPixels = int(std::min<long long>(covered, 1LL << 30));
    return 0;
}
