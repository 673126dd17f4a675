// Graphs and strip charts over QCustomPlot. The GO loop redraws them every
// frame, so data is updated in place and every change only queues a replot.
#include "platform/EngineState.h"

#include <QElapsedTimer>
#include <QTimer>
#include <qcustomplot.h>

#include <cmath>
#include <map>

namespace engine {

struct GraphState : QObject {
    explicit GraphState(QCustomPlot *p) : QObject(p), plot(p) { p->installEventFilter(this); }

    QCustomPlot *plot;
    bool strip = false;
    int traces = 1;
    int pps = 100;
    std::vector<double> ring; // pps points of `traces` values, oldest at head when full
    int head = 0;
    int filled = 0;
    std::vector<QCPGraph *> traceGraphs;
    std::vector<double> scratch;

    struct Plot {
        QCPAbstractPlottable *plottable = nullptr;
        QCPAbstractItem *item = nullptr;
    };
    std::map<int, Plot> plots;
    int nextHandle = 1;

    // Cursors are two one-pixel child widgets over the plot, not plot items:
    // moving one repaints two thin strips instead of the whole plot, which
    // matters when six projections follow every frame.
    static constexpr int kCursors = 4;
    QWidget *cursorLine[kCursors][2] = {};
    double cursorX[kCursors] = {};
    double cursorY[kCursors] = {};
    QColor cursorColor = Qt::red;
    QCPTextElement *title = nullptr;
    bool autoX = false;
    bool autoY = false;
    bool stale = false;

    // A hidden plot is drawn when it is shown again, not every frame.
    void Replot() {
        if (autoX) plot->xAxis->rescale();
        if (autoY) plot->yAxis->rescale();
        if (plot->isVisible())
            Draw();
        else
            stale = true;
    }

    // Drawing more often than a screen refreshes shows nothing more. A change
    // made while a drawing is queued rides along with it; one made sooner
    // than the refresh interval after the last drawing began is drawn when
    // the interval is over, with whatever the data is then.
    QElapsedTimer lastDraw; // restarted as each drawing begins
    bool drawQueued = false;
    void Draw() {
        if (drawQueued) return;
        drawQueued = true;
        const int wait = MsUntilRefresh(lastDraw);
        if (wait == 0) {
            plot->replot(QCustomPlot::rpQueuedReplot);
            return;
        }
        QTimer::singleShot(wait, Qt::PreciseTimer, this, [this] {
            if (plot->isVisible()) {
                plot->replot(QCustomPlot::rpQueuedReplot);
            } else {
                drawQueued = false;
                stale = true;
            }
        });
    }
    void DrawingBegins() {
        drawQueued = false;
        lastDraw.start();
    }

    // Puts the cursor lines where their coordinates fall in the axis rect;
    // a line outside the rect is hidden.
    void PlaceCursors() {
        const QRect area = plot->axisRect()->rect();
        for (int i = 0; i < kCursors; ++i) {
            QWidget *vertical = cursorLine[i][0], *horizontal = cursorLine[i][1];
            if (!vertical) continue;
            const double px = plot->xAxis->coordToPixel(cursorX[i]);
            const double py = plot->yAxis->coordToPixel(cursorY[i]);
            const bool inX = px >= area.left() && px <= area.right();
            const bool inY = py >= area.top() && py <= area.bottom();
            vertical->setGeometry(int(std::clamp(px, -1e6, 1e6)), area.top(), 1, area.height());
            horizontal->setGeometry(area.left(), int(std::clamp(py, -1e6, 1e6)), area.width(), 1);
            vertical->setVisible(inX && area.isValid());
            horizontal->setVisible(inY && area.isValid());
        }
    }

    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::Show && stale) {
            stale = false;
            plot->replot(QCustomPlot::rpQueuedReplot);
        }
        return false;
    }

    void StripToPlot();
};

namespace {

// A plot title that measures its text once per text and font, not at every
// replot's layout.
class Title : public QCPTextElement {
  public:
    using QCPTextElement::QCPTextElement;
    QSize minimumOuterSizeHint() const override {
        if (mText != m_measuredText || mFont != m_measuredFont || mMargins != m_measuredMargins) {
            m_measured = QCPTextElement::minimumOuterSizeHint();
            m_measuredText = mText;
            m_measuredFont = mFont;
            m_measuredMargins = mMargins;
        }
        return m_measured;
    }
    // As wide as the plot allows, as high as the text.
    QSize maximumOuterSizeHint() const override {
        return {QWIDGETSIZE_MAX, minimumOuterSizeHint().height()};
    }

  private:
    mutable QSize m_measured;
    mutable QString m_measuredText;
    mutable QFont m_measuredFont;
    mutable QMargins m_measuredMargins;
};

QColor Color(int rgb) {
    return FromRgb(rgb);
}

GraphState *Graph(int panel, int control) {
    Ctrl *c = FindCtrl(panel, control);
    return c && c->kind == Kind::Graph ? c->graph : nullptr;
}

QCPAxis *Axis(GraphState *g, int axis) {
    return axis == VAL_XAXIS ? g->plot->xAxis : axis == VAL_LEFT_YAXIS ? g->plot->yAxis : nullptr;
}

double Number(const QWidget *w, const char *name, double fallback) {
    const QVariant v = w->property(name);
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? d : fallback;
}

// Equal scales on both axes need a square plot area: after every layout the
// axis rect gives up its extra width or height, centred.
void KeepSquare(QCustomPlot *plot) {
    QObject::connect(plot, &QCustomPlot::afterLayout, plot, [plot] {
        QCPAxisRect *ar = plot->axisRect();
        const QRect inner = ar->rect();
        const int d = inner.width() - inner.height();
        if (d == 0 || inner.width() <= 0 || inner.height() <= 0) return;
        QRect outer = ar->outerRect();
        if (d > 0)
            outer.adjust(d / 2, 0, -(d - d / 2), 0);
        else
            outer.adjust(0, -d / 2, 0, -(-d - -d / 2));
        ar->setOuterRect(outer);
    });
}

int AddPlot(GraphState *g, QCPAbstractPlottable *p, QCPAbstractItem *i) {
    const int handle = g->nextHandle++;
    g->plots[handle] = GraphState::Plot{p, i};
    g->Replot();
    return handle;
}

void RemovePlot(GraphState *g, const GraphState::Plot &p) {
    if (p.plottable) g->plot->removePlottable(p.plottable);
    if (p.item) g->plot->removeItem(p.item);
}

QPen Pen(int color) {
    return color == VAL_TRANSPARENT ? QPen(Qt::NoPen) : QPen(Color(color));
}

QBrush Fill(int color) {
    return color == VAL_TRANSPARENT || color < 0 ? QBrush(Qt::NoBrush) : QBrush(Color(color));
}

int Curve(GraphState *g, const QVector<double> &x, const QVector<double> &y, int style, int color) {
    auto *curve = new QCPCurve(g->plot->xAxis, g->plot->yAxis);
    curve->setSelectable(QCP::stNone);
    curve->setData(x, y);
    curve->setPen(Pen(color));
    if (style == VAL_SCATTER) curve->setLineStyle(QCPCurve::lsNone);
    if (style == VAL_SCATTER || style == VAL_CONNECTED_POINTS)
        curve->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, Color(color), 4));
    return AddPlot(g, curve, nullptr);
}

} // namespace

// Puts the ring's points into the trace graphs, x = 0 .. filled-1. Once the
// chart is full the keys stay and only the values are overwritten.
void GraphState::StripToPlot() {
    const int oldest = filled < pps ? 0 : head;
    for (int t = 0; t < traces; ++t) {
        QSharedPointer<QCPGraphDataContainer> data = traceGraphs[t]->data();
        if (data->size() != filled) {
            QVector<QCPGraphData> points(filled);
            for (int i = 0; i < filled; ++i)
                points[i] = QCPGraphData(i, 0);
            data->set(points, true);
        }
        auto it = data->begin();
        for (int i = 0; i < filled; ++i, ++it)
            it->value = ring[size_t(((oldest + i) % pps) * traces + t)];
    }
    Replot();
}

QWidget *CreatePlot(QWidget *parent, const QString &name) {
    auto *plot = new QCustomPlot(parent);
    plot->setObjectName(name);
    return plot;
}

bool IsPlot(const QWidget *w) {
    return qobject_cast<const QCustomPlot *>(w) != nullptr;
}

bool SetUpGraph(Ctrl &c) {
    auto *plot = qobject_cast<QCustomPlot *>(c.w);
    if (!plot) return false;
    auto *g = new GraphState(plot);
    c.graph = g;
    QWidget *w = c.w;
    plot->setPlottingHint(QCP::phFastPolylines, true);
    // A replot only marks the plot for the window's next repaint, which
    // draws all changed widgets at once, instead of repainting it alone.
    plot->setPlottingHint(QCP::phImmediateRefresh, false);
    plot->setNoAntialiasingOnDrag(true);
    // No graph shows a legend; its entries would still be laid out at every
    // replot.
    plot->setAutoAddPlottableToLegend(false);
    // Every buffered layer costs a full-size pixmap to clear and compose on
    // each replot; only the cursors get one (on first use), the unused
    // selection overlay none.
    if (QCPLayer *overlay = plot->layer(QStringLiteral("overlay")))
        overlay->setMode(QCPLayer::lmLogical);
    QObject::connect(plot, &QCustomPlot::beforeReplot, plot, [g] { g->DrawingBegins(); });
    QObject::connect(plot, &QCustomPlot::afterReplot, plot, [g] { g->PlaceCursors(); });

    g->strip = w->property("kind").toString() == QLatin1String("strip");
    plot->xAxis->setRange(Number(w, "xMin", 0), Number(w, "xMax", 4096));
    plot->yAxis->setRange(Number(w, "yMin", 0), Number(w, "yMax", 4096));
    plot->xAxis->setLabel(w->property("xLabel").toString());
    plot->yAxis->setLabel(w->property("yLabel").toString());
    g->cursorColor = Color(ColorProperty(w, "cursorColor", 0xFF0000));
    const QString title = w->property("title").toString();
    if (!title.isEmpty()) SetGraphTitle(c, title);
    if (w->property("square").toBool()) KeepSquare(plot);
    // Small graphs get fewer, smaller tick labels, so that they stay legible.
    if (w->width() < 320) {
        QFont tickFont = plot->xAxis->tickLabelFont();
        tickFont.setPointSize(7);
        for (QCPAxis *axis : {plot->xAxis, plot->yAxis}) {
            axis->ticker()->setTickCount(4);
            axis->setTickLabelFont(tickFont);
        }
    }
    if (w->property("yTickLabels").isValid() && !w->property("yTickLabels").toBool())
        plot->yAxis->setTickLabels(false);

    if (g->strip) {
        g->traces = std::max(1, w->property("traces").toInt());
        g->pps = std::max(2, int(Number(w, "pointsPerScreen", 100)));
        g->ring.assign(size_t(g->pps * g->traces), 0.0);
        const QStringList colors =
            w->property("traceColors").toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
        static const int kDefault[] = {0xFF0000, 0x00A000, 0x0000FF, 0x808080, 0xC000C0, 0x00A0A0};
        for (int t = 0; t < g->traces; ++t) {
            QCPGraph *trace = plot->addGraph();
            trace->setSelectable(QCP::stNone);
            QColor color = t < colors.size() ? QColor(colors[t].trimmed()) : QColor();
            if (!color.isValid()) color = Color(kDefault[t % 6]);
            trace->setPen(QPen(color));
            trace->setAdaptiveSampling(true);
            // A trace redrawn with every frame is drawn without smoothing,
            // which costs far less and hardly shows on a line that moves on.
            trace->setAntialiased(false);
            g->traceGraphs.push_back(trace);
        }
        plot->xAxis->setRange(0, g->pps - 1);
    }
    return true;
}

int GraphPointsPerScreen(const Ctrl &c) {
    return c.graph ? c.graph->pps : 0;
}

int SetGraphPointsPerScreen(Ctrl &c, int points) {
    GraphState *g = c.graph;
    if (!g || !g->strip) return kErrWrongKind;
    if (points < 2) return kErrBadValue;
    if (points == g->pps) return 0;
    // Keep the newest points that still fit.
    const int keep = std::min(g->filled, points);
    std::vector<double> ring(size_t(points * g->traces), 0.0);
    const int oldest = g->filled < g->pps ? 0 : g->head;
    for (int i = 0; i < keep; ++i) {
        const int from = (oldest + g->filled - keep + i) % g->pps;
        for (int t = 0; t < g->traces; ++t)
            ring[size_t(i * g->traces + t)] = g->ring[size_t(from * g->traces + t)];
    }
    g->ring.swap(ring);
    g->pps = points;
    g->filled = keep;
    g->head = keep % points;
    g->plot->xAxis->setRange(0, points - 1);
    g->StripToPlot();
    return 0;
}

QString GraphTitle(const Ctrl &c) {
    return c.graph && c.graph->title ? c.graph->title->text() : QString();
}

void SetGraphTitle(Ctrl &c, const QString &title) {
    GraphState *g = c.graph;
    if (!g) return;
    if (!g->title) {
        g->plot->plotLayout()->insertRow(0);
        QFont font = g->plot->font();
        font.setBold(true);
        g->title = new Title(g->plot, title, font);
        g->plot->plotLayout()->addElement(0, 0, g->title);
    } else {
        g->title->setText(title);
    }
    g->Replot();
}

} // namespace engine

using namespace engine;

int PlotStripChart(int panel, int control, const double *data, int count, int start, int skip,
                   int dataType) {
    GraphState *g = Graph(panel, control);
    if (!g || !g->strip) return kErrBadControl;
    if (dataType != VAL_DOUBLE || !data || count < 0 || start < 0 || skip < 0) return kErrBadValue;
    const int stride = skip + 1;
    const int points = count / g->traces;
    // Points that would scroll out at once are not stored at all.
    const int first = std::max(0, points - g->pps);
    for (int p = first; p < points; ++p) {
        double *slot = &g->ring[size_t(g->head * g->traces)];
        for (int t = 0; t < g->traces; ++t)
            slot[t] = data[start + (p * g->traces + t) * stride];
        g->head = (g->head + 1) % g->pps;
        g->filled = std::min(g->filled + 1, g->pps);
    }
    g->StripToPlot();
    return 0;
}

int PlotXY(int panel, int control, const unsigned short *x, const unsigned short *y, int count,
           int style, int color) {
    GraphState *g = Graph(panel, control);
    if (!g) return kErrBadControl;
    if (count < 0 || (count > 0 && (!x || !y))) return kErrBadValue;
    QVector<double> xs(count), ys(count);
    for (int i = 0; i < count; ++i) {
        xs[i] = x[i];
        ys[i] = y[i];
    }
    return Curve(g, xs, ys, style, color);
}

int PlotXY(int panel, int control, const double *x, const double *y, int count, int style,
           int color) {
    GraphState *g = Graph(panel, control);
    if (!g) return kErrBadControl;
    if (count < 0 || (count > 0 && (!x || !y))) return kErrBadValue;
    return Curve(g, QVector<double>(x, x + count), QVector<double>(y, y + count), style, color);
}

int PlotArc(int panel, int control, double x1, double y1, double x2, double y2, int beginAngle,
            int arcAngle, int color, int fillColor) {
    GraphState *g = Graph(panel, control);
    if (!g) return kErrBadControl;
    const double left = std::min(x1, x2), right = std::max(x1, x2);
    const double bottom = std::min(y1, y2), top = std::max(y1, y2);
    if (std::abs(arcAngle) >= 3600) {
        auto *ellipse = new QCPItemEllipse(g->plot);
        ellipse->setSelectable(false);
        ellipse->topLeft->setCoords(left, top);
        ellipse->bottomRight->setCoords(right, bottom);
        ellipse->setPen(Pen(color));
        ellipse->setBrush(Fill(fillColor));
        return AddPlot(g, nullptr, ellipse);
    }
    // A partial arc is drawn as a curve along the ellipse.
    const double cx = (left + right) / 2, cy = (bottom + top) / 2;
    const double rx = (right - left) / 2, ry = (top - bottom) / 2;
    const int steps = std::max(2, std::abs(arcAngle) / 50 + 1);
    QVector<double> xs(steps + 1), ys(steps + 1);
    for (int i = 0; i <= steps; ++i) {
        const double a = (beginAngle + double(arcAngle) * i / steps) / 10.0 * M_PI / 180.0;
        xs[i] = cx + rx * std::cos(a);
        ys[i] = cy + ry * std::sin(a);
    }
    return Curve(g, xs, ys, VAL_THIN_LINE, color);
}

int PlotRectangle(int panel, int control, double x1, double y1, double x2, double y2, int color,
                  int fillColor) {
    GraphState *g = Graph(panel, control);
    if (!g) return kErrBadControl;
    auto *rect = new QCPItemRect(g->plot);
    rect->setSelectable(false);
    rect->topLeft->setCoords(std::min(x1, x2), std::max(y1, y2));
    rect->bottomRight->setCoords(std::max(x1, x2), std::min(y1, y2));
    rect->setPen(Pen(color));
    rect->setBrush(Fill(fillColor));
    return AddPlot(g, nullptr, rect);
}

int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh) {
    (void)refresh; // drawing is always deferred to the next paint
    GraphState *g = Graph(panel, control);
    if (!g) return kErrBadControl;
    if (plotHandle == -1) {
        for (const auto &[handle, p] : g->plots)
            RemovePlot(g, p);
        g->plots.clear();
    } else {
        const auto it = g->plots.find(plotHandle);
        if (it == g->plots.end()) return kErrBadValue;
        RemovePlot(g, it->second);
        g->plots.erase(it);
    }
    g->Replot();
    return 0;
}

int SetGraphCursor(int panel, int control, int cursorNumber, double x, double y) {
    GraphState *g = Graph(panel, control);
    if (!g) return kErrBadControl;
    if (cursorNumber < 1 || cursorNumber > GraphState::kCursors) return kErrBadValue;
    const int i = cursorNumber - 1;
    if (!g->cursorLine[i][0]) {
        for (int k = 0; k < 2; ++k) {
            auto *line = new QWidget(g->plot);
            line->setObjectName(QStringLiteral("cursor%1%2").arg(cursorNumber).arg(k ? 'y' : 'x'));
            line->setAttribute(Qt::WA_TransparentForMouseEvents);
            line->setAutoFillBackground(true);
            QPalette palette = line->palette();
            palette.setColor(QPalette::Window, g->cursorColor);
            line->setPalette(palette);
            g->cursorLine[i][k] = line;
        }
    } else if (g->cursorX[i] == x && g->cursorY[i] == y) {
        return 0;
    }
    g->cursorX[i] = x;
    g->cursorY[i] = y;
    // A replot under way places them again once the axes are final.
    g->PlaceCursors();
    return 0;
}

int GetGraphCursor(int panel, int control, int cursorNumber, double *x, double *y) {
    GraphState *g = Graph(panel, control);
    if (!g) return kErrBadControl;
    if (cursorNumber < 1 || cursorNumber > GraphState::kCursors) return kErrBadValue;
    *x = g->cursorX[cursorNumber - 1];
    *y = g->cursorY[cursorNumber - 1];
    return 0;
}

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max) {
    GraphState *g = Graph(panel, control);
    if (!g) return kErrBadControl;
    QCPAxis *a = Axis(g, axis);
    if (!a) return kErrBadValue;
    bool &automatic = axis == VAL_XAXIS ? g->autoX : g->autoY;
    automatic = mode == VAL_AUTOSCALE;
    if (!automatic) {
        if (min > max) std::swap(min, max);
        if (a->range().lower == min && a->range().upper == max) return 0;
        a->setRange(min, max);
    }
    g->Replot();
    return 0;
}

int GetAxisScalingMode(int panel, int control, int axis, int *mode, double *min, double *max) {
    GraphState *g = Graph(panel, control);
    if (!g) return kErrBadControl;
    QCPAxis *a = Axis(g, axis);
    if (!a) return kErrBadValue;
    if (mode) *mode = (axis == VAL_XAXIS ? g->autoX : g->autoY) ? VAL_AUTOSCALE : VAL_MANUAL;
    if (min) *min = a->range().lower;
    if (max) *max = a->range().upper;
    return 0;
}

int GetGraphPlotCount(int panel, int control) {
    GraphState *g = Graph(panel, control);
    return g ? int(g->plots.size()) : kErrBadControl;
}
