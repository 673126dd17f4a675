// Ring items: the lists of selectors (value and label of each item).
#include "platform/EngineState.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <cmath>

using namespace engine;

namespace {
QComboBox *Ring(int panel, int control) {
    Ctrl *c = FindCtrl(panel, control);
    return c && c->kind == Kind::Ring ? static_cast<QComboBox *>(c->w) : nullptr;
}

// Moves a control and its label together, so that the label stays beside it.
} // namespace

// ----------------------------------------------------------------- rings ---

namespace {
// A ring changes its current item when items come and go, and an editable
// ring shows the current item in its text part; list edits must leave what
// the operator typed alone.
struct KeepEditText {
    explicit KeepEditText(QComboBox *ring) : ring(ring), quiet(ring) {
        if (ring->isEditable()) text = ring->lineEdit()->text();
    }
    ~KeepEditText() {
        if (!ring->isEditable()) return;
        QSignalBlocker quietText(ring->lineEdit());
        ring->setCurrentIndex(-1);
        if (ring->lineEdit()->text() != text) ring->lineEdit()->setText(text);
    }
    QComboBox *ring;
    QSignalBlocker quiet;
    QString text;
};

namespace {
// The open list shows every item whole (a device's full path), however
// narrow the closed box; the closed box shows its item whole in a tooltip.
void FitList(QComboBox *ring) {
    QAbstractItemView *view = ring->view();
    int widest = 0;
    for (int i = 0; i < ring->count(); ++i) {
        widest = std::max(widest, view->fontMetrics().horizontalAdvance(ring->itemText(i)));
        ring->setItemData(i, ring->itemText(i), Qt::ToolTipRole);
    }
    // Room for the item's margins, the list's frame and its scroll bar.
    widest += 24 + 2 * view->frameWidth() + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    view->setMinimumWidth(std::max(ring->width(), widest));
}
} // namespace

int InsertItem(int panel, int control, int index, const QString &label, const QVariant &value) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index > ring->count()) index = ring->count();
    KeepEditText keep(ring);
    ring->insertItem(index, label, value);
    FitList(ring);
    return 0;
}

int ReplaceItem(int panel, int control, int index, const QString &label, const QVariant &value) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index >= ring->count()) return kErrBadValue;
    KeepEditText keep(ring);
    ring->setItemText(index, label);
    ring->setItemData(index, value, Qt::UserRole);
    FitList(ring);
    return 0;
}

int IndexOf(int panel, int control, int *index, const QVariant &value) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    *index = ring->findData(value, Qt::UserRole, Qt::MatchExactly);
    return 0;
}
} // namespace

int InsertListItem(int panel, int control, int index, const QString &label, int value) {
    return InsertItem(panel, control, index, label, value);
}

int InsertListItem(int panel, int control, int index, const QString &label, const QString &value) {
    return InsertItem(panel, control, index, label, value);
}

int DeleteListItem(int panel, int control, int index, int count) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index > ring->count()) return kErrBadValue;
    const int end = count < 0 ? ring->count() : std::min(ring->count(), index + count);
    KeepEditText keep(ring);
    for (int i = end - 1; i >= index; --i)
        ring->removeItem(i);
    return 0;
}

int ReplaceListItem(int panel, int control, int index, const QString &label, int value) {
    return ReplaceItem(panel, control, index, label, value);
}

int ReplaceListItem(int panel, int control, int index, const QString &label, const QString &value) {
    return ReplaceItem(panel, control, index, label, value);
}

int GetNumListItems(int panel, int control, int *count) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    *count = ring->count();
    return 0;
}

int GetIndexFromValue(int panel, int control, int *index, int value) {
    return IndexOf(panel, control, index, value);
}

int GetIndexFromValue(int panel, int control, int *index, const QString &value) {
    return IndexOf(panel, control, index, value);
}

int GetValueFromIndex(int panel, int control, int index, int *value) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index >= ring->count()) return kErrBadValue;
    *value = ring->itemData(index, Qt::UserRole).toInt();
    return 0;
}

int GetValueFromIndex(int panel, int control, int index, QString *value) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index >= ring->count()) return kErrBadValue;
    *value = ring->itemData(index, Qt::UserRole).toString();
    return 0;
}

int GetCtrlIndex(int panel, int control, int *index) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    *index = ring->currentIndex();
    return 0;
}

int SetCtrlIndex(int panel, int control, int index) {
    QComboBox *ring = Ring(panel, control);
    if (!ring) return kErrBadControl;
    if (index < 0 || index >= ring->count()) return kErrBadValue;
    QSignalBlocker quiet(ring);
    ring->setCurrentIndex(index);
    return 0;
}
