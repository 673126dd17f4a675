// Chart windows: stacked plots over one linked time axis, with legends that
// switch traces, a cursor read-out, tables, progress and buttons. The owner
// supplies the points for the visible range only (already reduced to the
// plot's width), so a redraw costs the same for a minute as for a day.
#include "platform/EngineState.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <cmath>
#include <limits>
#include <map>

namespace {

constexpr double kYMargin = 0.05; // of the value span, above and below
// An A4 page lying on its side, in points.
constexpr int kA4LongPt = 842;
constexpr int kA4ShortPt = 595;

class ChartWindow : public QWidget {
  public:
    ChartWindow(int handle, const ChartLayout &layout, ChartClient *client)
        : handle_(handle), client_(client) {
        setWindowTitle(layout.title);
        setAttribute(Qt::WA_DeleteOnClose, false);
        auto *outer = new QVBoxLayout(this);
        auto *top = new QHBoxLayout;
        outer->addLayout(top, 1);

        plot_ = new QCustomPlot(this);
        // Hundreds of min/max bars per trace: plain lines draw several times faster.
        plot_->setNotAntialiasedElements(QCP::aePlottables);
        plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
        plot_->setAutoAddPlottableToLegend(false);
        plot_->plotLayout()->clear();
        plot_->addLayer("cursor", plot_->layer("main"), QCustomPlot::limAbove);
        cursorLayer_ = plot_->layer("cursor");
        cursorLayer_->setMode(QCPLayer::lmBuffered);
        auto *margins = new QCPMarginGroup(plot_);
        QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
        ticker->setDateTimeSpec(Qt::UTC);
        ticker->setDateTimeFormat("MM-dd-yyyy\nHH:mm:ss");
        ticker->setTickCount(6);
        for (int i = 0; i < layout.plotLabels.size(); ++i) {
            auto *rect = new QCPAxisRect(plot_);
            plot_->plotLayout()->addElement(i, 0, rect);
            rect->setMarginGroup(QCP::msLeft | QCP::msRight, margins);
            rect->setRangeDrag(Qt::Horizontal);
            rect->setRangeZoom(Qt::Horizontal);
            rect->axis(QCPAxis::atLeft)->setLabel(layout.plotLabels[i]);
            rect->axis(QCPAxis::atBottom)->setTicker(ticker);
            // Time is labelled under the lowest plot only.
            rect->axis(QCPAxis::atBottom)->setTickLabels(i + 1 == layout.plotLabels.size());
            auto *legend = new QCPLegend;
            rect->insetLayout()->addElement(legend, Qt::AlignTop | Qt::AlignLeft);
            legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
            legend->setLayer("legend");
            legend->setBrush(QColor(255, 255, 255, 210));
            legend->setFont(QFont(font().family(), 8));
            legend->setIconSize(14, 8);
            auto *cursor = new QCPItemStraightLine(plot_);
            cursor->setLayer(cursorLayer_);
            cursor->setClipAxisRect(rect);
            cursor->point1->setAxes(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
            cursor->point2->setAxes(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
            cursor->setPen(QPen(QColor(90, 90, 90), 1, Qt::DashLine));
            cursor->setVisible(false);
            rects_.push_back(rect);
            legends_.push_back(legend);
            cursors_.push_back(cursor);
            yFixed_.push_back(false);
            connect(rect->axis(QCPAxis::atBottom),
                    qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
                    [this, rect](const QCPRange &r) { linkRange(rect, r); });
        }
        for (const ChartTrace &t : layout.traces) {
            QCPAxisRect *rect = rects_.at(std::clamp(t.plot, 0, int(rects_.size()) - 1));
            QCPGraph *g =
                plot_->addGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
            g->setName(t.name);
            g->setPen(QPen(engine::FromRgb(t.color), 1));
            g->setAdaptiveSampling(false);
            if (t.steps) g->setLineStyle(QCPGraph::lsStepLeft);
            g->addToLegend(legends_.at(std::clamp(t.plot, 0, int(rects_.size()) - 1)));
            graphs_.push_back(g);
            pieces_.emplace_back();
        }
        connect(plot_, &QCustomPlot::legendClick, this,
                [this](QCPLegend *, QCPAbstractLegendItem *item, QMouseEvent *) {
                    if (auto *pi = qobject_cast<QCPPlottableLegendItem *>(item)) {
                        for (size_t i = 0; i < graphs_.size(); ++i)
                            if (graphs_[i] == pi->plottable())
                                setVisible(int(i), !graphs_[i]->visible());
                    }
                });
        connect(plot_, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent *) {
            std::fill(yFixed_.begin(), yFixed_.end(), false);
            showRange(fullLo_, fullHi_);
        });
        connect(plot_, &QCustomPlot::mousePress, this, [this](QMouseEvent *e) {
            plot_->setSelectionRectMode(e->button() == Qt::RightButton ? QCP::srmZoom
                                                                       : QCP::srmNone);
        });
        connect(plot_->selectionRect(), &QCPSelectionRect::accepted, this,
                [this](const QRect &r, QMouseEvent *) {
                    for (size_t i = 0; i < rects_.size(); ++i)
                        if (rects_[i]->rect().contains(r.center())) yFixed_[i] = true;
                });
        connect(plot_, &QCustomPlot::mouseMove, this, [this](QMouseEvent *e) { pointer(e); });
        top->addWidget(plot_, 3);

        auto *side = new QVBoxLayout;
        for (const QString &title : layout.tableTitles) {
            auto *label = new QLabel(title, this);
            label->setStyleSheet("font-weight: bold;");
            tableLabels_.push_back(label);
            auto *table = new QTableWidget(this);
            table->setEditTriggers(QAbstractItemView::NoEditTriggers);
            table->verticalHeader()->hide();
            table->verticalHeader()->setDefaultSectionSize(18);
            table->horizontalHeader()->setStretchLastSection(true);
            table->setFont(QFont(font().family(), 8));
            side->addWidget(label);
            side->addWidget(table, 1);
            tables_.push_back(table);
        }
        if (!tables_.empty()) {
            auto *sideWidget = new QWidget(this);
            sideWidget->setLayout(side);
            sideWidget->setFixedWidth(400);
            side->setContentsMargins(0, 0, 0, 0);
            top->addWidget(sideWidget);
        } else {
            delete side;
        }

        readout_ = new QLabel(" ", this);
        readout_->setFont(QFont("DejaVu Sans Mono", 8));
        readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        outer->addWidget(readout_);
        auto *statusRow = new QHBoxLayout;
        status_ = new QLabel(this);
        status_->setWordWrap(true);
        progress_ = new QProgressBar(this);
        progress_->setRange(0, 100);
        progress_->setFixedWidth(220);
        cancel_ = new QPushButton("CANCEL", this);
        connect(cancel_, &QPushButton::clicked, this, [this] { client_->ChartCancel(handle_); });
        statusRow->addWidget(status_, 1);
        statusRow->addWidget(progress_);
        statusRow->addWidget(cancel_);
        outer->addLayout(statusRow);
        progress_->hide();
        cancel_->hide();

        auto *buttonRow = new QHBoxLayout;
        for (int i = 0; i < layout.buttons.size(); ++i) {
            auto *b = new QPushButton(layout.buttons[i], this);
            connect(b, &QPushButton::clicked, this,
                    [this, i] { client_->ChartButton(handle_, i); });
            buttonRow->addWidget(b);
            buttons_.push_back(b);
        }
        buttonRow->addStretch(1);
        outer->addLayout(buttonRow);
        resize(1280, 800);
    }

    ChartClient *client() const { return client_; }

    // A NaN x parts the points: each part is a graph of its own, drawn like
    // the trace, so that no line joins the parts.
    void setTrace(int trace, const std::vector<double> &x, const std::vector<double> &y) {
        std::vector<QVector<QCPGraphData>> parts(1);
        for (size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
            if (std::isnan(x[i])) {
                if (!parts.back().isEmpty()) parts.emplace_back();
                continue;
            }
            parts.back().push_back(QCPGraphData(x[i], y[i]));
        }
        QCPGraph *main = graphs_.at(size_t(trace));
        main->data()->set(parts[0], true);
        std::vector<QCPGraph *> &more = pieces_.at(size_t(trace));
        for (size_t k = 1; k < parts.size(); ++k) {
            if (more.size() < k) {
                QCPGraph *g = plot_->addGraph(main->keyAxis(), main->valueAxis());
                g->setPen(main->pen());
                g->setLineStyle(main->lineStyle());
                g->setAdaptiveSampling(false);
                g->setVisible(main->visible());
                more.push_back(g);
            }
            more[k - 1]->data()->set(parts[k], true);
        }
        for (size_t k = parts.size() - 1; k < more.size(); ++k)
            more[k]->data()->clear();
        scheduleRedraw();
    }
    void trace(int trace, std::vector<double> *x, std::vector<double> *y) const {
        x->clear();
        y->clear();
        std::vector<QCPGraph *> all{graphs_.at(size_t(trace))};
        all.insert(all.end(), pieces_.at(size_t(trace)).begin(), pieces_.at(size_t(trace)).end());
        for (QCPGraph *g : all) {
            if (g->data()->isEmpty()) continue;
            if (!x->empty()) {
                x->push_back(std::numeric_limits<double>::quiet_NaN());
                y->push_back(std::numeric_limits<double>::quiet_NaN());
            }
            for (const QCPGraphData &d : *g->data()) {
                x->push_back(d.key);
                y->push_back(d.value);
            }
        }
    }
    bool hasTrace(int trace) const { return trace >= 0 && size_t(trace) < graphs_.size(); }
    bool hasButton(int button) const { return button >= 0 && size_t(button) < buttons_.size(); }
    bool hasTable(int table) const { return table >= 0 && size_t(table) < tables_.size(); }

    void setFullRange(double lower, double upper, bool show) {
        fullLo_ = lower;
        fullHi_ = upper > lower ? upper : lower + 1;
        if (show) {
            std::fill(yFixed_.begin(), yFixed_.end(), false);
            showRange(fullLo_, fullHi_);
        }
    }
    void showRange(double lower, double upper) {
        if (rects_.empty()) return;
        rects_[0]->axis(QCPAxis::atBottom)->setRange(lower, upper > lower ? upper : lower + 1);
        scheduleRange(); // also when the range stayed, so that the owner redraws
    }
    QCPRange range() const {
        return rects_.empty() ? QCPRange() : rects_[0]->axis(QCPAxis::atBottom)->range();
    }
    void setTable(int table, const QStringList &columns, const QList<QStringList> &rows) {
        QTableWidget *t = tables_.at(size_t(table));
        t->setColumnCount(int(columns.size()));
        t->setHorizontalHeaderLabels(columns);
        t->setRowCount(int(rows.size()));
        for (int r = 0; r < rows.size(); ++r)
            for (int c = 0; c < rows[r].size() && c < columns.size(); ++c) {
                auto *item = new QTableWidgetItem(rows[r][c]);
                if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                t->setItem(r, c, item);
            }
        t->resizeColumnsToContents();
        // Every table but the last shows all its rows; the last takes the rest.
        if (size_t(table) + 1 < tables_.size())
            t->setFixedHeight(t->horizontalHeader()->sizeHint().height() +
                              int(rows.size()) * t->verticalHeader()->defaultSectionSize() +
                              2 * t->frameWidth());
    }
    void setTableTitle(int table, const QString &title) {
        tableLabels_.at(size_t(table))->setText(title);
    }
    QString tableTitle(int table) const { return tableLabels_.at(size_t(table))->text(); }
    void setStatus(const QString &text) { status_->setText(text); }
    QString statusText() const { return status_->text(); }
    void setProgress(int percent) {
        progress_->setVisible(percent >= 0);
        cancel_->setVisible(percent >= 0);
        if (percent >= 0) progress_->setValue(std::min(percent, 100));
    }
    void setButtonDimmed(int button, bool dimmed) {
        buttons_.at(size_t(button))->setEnabled(!dimmed);
    }
    void setVisible(int trace, bool visible) {
        QCPGraph *g = graphs_.at(size_t(trace));
        g->setVisible(visible);
        for (QCPGraph *piece : pieces_.at(size_t(trace)))
            piece->setVisible(visible);
        for (QCPLegend *legend : legends_)
            if (QCPAbstractLegendItem *item = legend->itemWithPlottable(g))
                item->setTextColor(visible ? Qt::black : QColor(160, 160, 160));
        scheduleRedraw();
    }
    using QWidget::setVisible;
    bool traceVisible(int trace) const { return graphs_.at(size_t(trace))->visible(); }
    void replotNow() {
        rescaleValues();
        plot_->replot(QCustomPlot::rpImmediateRefresh);
    }
    // The picture says what it shows (the caption above the plots); the
    // pointer's cursor line is no part of it.
    bool save(const QString &path, const QString &caption) {
        std::vector<bool> shown;
        for (auto *c : cursors_) {
            shown.push_back(c->visible());
            c->setVisible(false);
        }
        QCPTextElement *head = nullptr;
        if (!caption.isEmpty()) {
            plot_->plotLayout()->insertRow(0);
            head = new QCPTextElement(plot_, caption, QFont(font().family(), 9));
            plot_->plotLayout()->addElement(0, 0, head);
        }
        plot_->replot(QCustomPlot::rpImmediateRefresh);
        const bool ok = path.endsWith(".pdf", Qt::CaseInsensitive)
                            ? plot_->savePdf(path, kA4LongPt, kA4ShortPt, QCP::epAllowCosmetic,
                                             QStringLiteral("Tolvane"), caption)
                            : plot_->savePng(path);
        if (head) {
            plot_->plotLayout()->remove(head);
            plot_->plotLayout()->simplify();
        }
        for (size_t i = 0; i < cursors_.size(); ++i)
            cursors_[i]->setVisible(shown[i]);
        plot_->replot(QCustomPlot::rpImmediateRefresh);
        return ok;
    }

  protected:
    void closeEvent(QCloseEvent *e) override {
        e->accept();
        closed_ = true;
        QTimer::singleShot(0, this, [this] { finish(true); });
    }
    void resizeEvent(QResizeEvent *e) override {
        QWidget::resizeEvent(e);
        scheduleRange();
    }

  public:
    // Removes the window from the registry; tells the client when asked.
    void finish(bool tell);

  private:
    void linkRange(QCPAxisRect *from, const QCPRange &r) {
        if (linking_) return;
        linking_ = true;
        for (QCPAxisRect *rect : rects_)
            if (rect != from) rect->axis(QCPAxis::atBottom)->setRange(r);
        linking_ = false;
        scheduleRange();
    }
    void scheduleRange() {
        if (rangePending_ || closed_) return;
        rangePending_ = true;
        QTimer::singleShot(0, this, [this] {
            rangePending_ = false;
            if (closed_ || rects_.empty()) return;
            const QCPRange r = range();
            client_->ChartRange(handle_, r.lower, r.upper, std::max(1, rects_[0]->width()));
        });
    }
    void scheduleRedraw() {
        if (redrawPending_) return;
        redrawPending_ = true;
        QTimer::singleShot(0, this, [this] {
            redrawPending_ = false;
            rescaleValues();
            plot_->replot(QCustomPlot::rpQueuedReplot);
        });
    }
    void rescaleValues() {
        const QCPRange keys = range();
        for (size_t i = 0; i < rects_.size(); ++i) {
            if (yFixed_[i]) continue;
            bool any = false;
            QCPRange span;
            for (int k = 0; k < plot_->graphCount(); ++k) {
                QCPGraph *g = plot_->graph(k);
                if (g->keyAxis() != rects_[i]->axis(QCPAxis::atBottom) || !g->visible()) continue;
                bool found = false;
                const QCPRange r = g->data()->valueRange(found, QCP::sdBoth, keys);
                if (!found) continue;
                span = any ? QCPRange(std::min(span.lower, r.lower), std::max(span.upper, r.upper))
                           : r;
                any = true;
            }
            if (!any) continue;
            const double pad = std::max(1.0, (span.upper - span.lower) * kYMargin);
            rects_[i]->axis(QCPAxis::atLeft)->setRange(span.lower - pad, span.upper + pad);
        }
    }
    void pointer(QMouseEvent *e) {
        QCPAxisRect *over = plot_->axisRectAt(e->position());
        if (!over || !over->rect().contains(e->position().toPoint())) {
            for (auto *c : cursors_)
                c->setVisible(false);
            cursorLayer_->replot();
            return;
        }
        const double x = over->axis(QCPAxis::atBottom)->pixelToCoord(e->position().x());
        for (auto *c : cursors_) {
            c->point1->setCoords(x, 0);
            c->point2->setCoords(x, 1);
            c->setVisible(true);
        }
        cursorLayer_->replot();
        readout_->setText(client_->ChartReadout(handle_, x));
    }

    int handle_;
    ChartClient *client_;
    QCustomPlot *plot_ = nullptr;
    QCPLayer *cursorLayer_ = nullptr;
    std::vector<QCPAxisRect *> rects_;
    std::vector<QCPLegend *> legends_;
    std::vector<QCPItemStraightLine *> cursors_;
    std::vector<QCPGraph *> graphs_;
    std::vector<std::vector<QCPGraph *>> pieces_; // per trace, its parts after the first
    std::vector<QLabel *> tableLabels_;
    std::vector<bool> yFixed_; // zoomed by a rectangle: the values keep their range
    std::vector<QTableWidget *> tables_;
    std::vector<QPushButton *> buttons_;
    QLabel *readout_ = nullptr;
    QLabel *status_ = nullptr;
    QProgressBar *progress_ = nullptr;
    QPushButton *cancel_ = nullptr;
    double fullLo_ = 0, fullHi_ = 1;
    bool linking_ = false;
    bool rangePending_ = false;
    bool redrawPending_ = false;
    bool closed_ = false;
};

std::map<int, ChartWindow *> &Windows() {
    static std::map<int, ChartWindow *> windows;
    return windows;
}
int nextHandle = 1;

ChartWindow *Find(int window) {
    const auto it = Windows().find(window);
    return it == Windows().end() ? nullptr : it->second;
}

void ChartWindow::finish(bool tell) {
    if (Windows().erase(handle_) == 0) return;
    ChartClient *c = client_;
    const int h = handle_;
    hide();
    deleteLater();
    if (tell) c->ChartClosed(h);
}

constexpr int kErrNoWindow = kErrBadPanel;
constexpr int kErrBadItem = kErrBadControl;
} // namespace

int NewChartWindow(const ChartLayout &layout, ChartClient *client) {
    if (!client) return kErrBadValue;
    const int handle = nextHandle++;
    auto *w = new ChartWindow(handle, layout, client);
    Windows()[handle] = w;
    w->show();
    return handle;
}

int DiscardChartWindow(int window) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    Windows().erase(window);
    delete w;
    return 0;
}

void DiscardAllChartWindows() {
    while (!Windows().empty()) {
        ChartWindow *w = Windows().begin()->second;
        w->finish(true);
        delete w;
    }
}

int SetChartTrace(int window, int trace, const std::vector<double> &x,
                  const std::vector<double> &y) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    if (!w->hasTrace(trace)) return kErrBadItem;
    w->setTrace(trace, x, y);
    return 0;
}

int GetChartTrace(int window, int trace, std::vector<double> *x, std::vector<double> *y) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    if (!w->hasTrace(trace)) return kErrBadItem;
    w->trace(trace, x, y);
    return 0;
}

int SetChartFullRange(int window, double lower, double upper, bool show) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    w->setFullRange(lower, upper, show);
    return 0;
}

int SetChartRange(int window, double lower, double upper) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    w->showRange(lower, upper);
    return 0;
}

int GetChartRange(int window, double *lower, double *upper) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    const QCPRange r = w->range();
    *lower = r.lower;
    *upper = r.upper;
    return 0;
}

int SetChartTable(int window, int table, const QStringList &columns,
                  const QList<QStringList> &rows) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    if (!w->hasTable(table)) return kErrBadItem;
    w->setTable(table, columns, rows);
    return 0;
}

int SetChartTableTitle(int window, int table, const QString &title) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    if (!w->hasTable(table)) return kErrBadItem;
    w->setTableTitle(table, title);
    return 0;
}

int GetChartTableTitle(int window, int table, QString *title) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    if (!w->hasTable(table)) return kErrBadItem;
    *title = w->tableTitle(table);
    return 0;
}

int SetChartStatus(int window, const QString &text) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    w->setStatus(text);
    return 0;
}

int GetChartStatus(int window, QString *text) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    *text = w->statusText();
    return 0;
}

int SetChartProgress(int window, int percent) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    w->setProgress(percent);
    return 0;
}

int SetChartButtonDimmed(int window, int button, bool dimmed) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    if (!w->hasButton(button)) return kErrBadItem;
    w->setButtonDimmed(button, dimmed);
    return 0;
}

int SetChartTraceVisible(int window, int trace, bool visible) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    if (!w->hasTrace(trace)) return kErrBadItem;
    w->setVisible(trace, visible);
    return 0;
}

bool ChartTraceVisible(int window, int trace) {
    ChartWindow *w = Find(window);
    return w && w->hasTrace(trace) && w->traceVisible(trace);
}

int ReplotChart(int window) {
    ChartWindow *w = Find(window);
    if (!w) return kErrNoWindow;
    w->replotNow();
    return 0;
}

bool SaveChartImage(int window, const QString &path, const QString &caption) {
    ChartWindow *w = Find(window);
    return w && w->save(path, caption);
}
