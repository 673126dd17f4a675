// Tables: cells addressed (column, row) from 1, numeric or text cells,
// cell colours and modes, row and column labels.
#include "platform/EngineState.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QPainter>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolTip>

namespace engine {
namespace {

// Marks a cell whose typed value was refused, until a value is taken.
constexpr int kRefusedRole = Qt::UserRole + 1;

QString HeaderText(const QTableWidgetItem *item, int fallback) {
    return item ? item->text().simplified() : QString::number(fallback);
}

// Edits by the operator are the only way into a cell that reports to the
// callback; the program's own writes bypass the delegate.
class CellDelegate : public QStyledItemDelegate {
  public:
    CellDelegate(QTableWidget *table, int panel, int control, int cellMax, bool text)
        : QStyledItemDelegate(table), m_table(table), m_panel(panel), m_control(control),
          m_cellMax(cellMax), m_text(text) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override {
        if (m_text) return QStyledItemDelegate::createEditor(parent, option, index);
        const QString name =
            QStringLiteral("%1, row %2")
                .arg(HeaderText(m_table->horizontalHeaderItem(index.column()), index.column() + 1),
                     HeaderText(m_table->verticalHeaderItem(index.row()), index.row() + 1));
        const QPersistentModelIndex cell(index);
        const int cellMax = m_cellMax;
        QTableWidget *table = m_table;
        auto *spin = NewCheckedSpinBox(parent, [table, cell, name, cellMax] {
            if (QTableWidgetItem *item = table->item(cell.row(), cell.column())) {
                item->setData(kRefusedRole, true);
                item->setToolTip(FieldRange(name, 0, cellMax));
            }
        });
        spin->setProperty("fieldName", name);
        spin->setProperty("cellEditor", true);
        spin->setRange(0, m_cellMax);
        spin->setFrame(false);
        spin->setButtonSymbols(QAbstractSpinBox::NoButtons);
        return spin;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override {
        if (auto *spin = qobject_cast<QSpinBox *>(editor); spin && !m_text) {
            spin->setValue(index.data(Qt::EditRole).toInt());
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override {
        const QVariant before = index.data(Qt::EditRole);
        if (auto *spin = qobject_cast<QSpinBox *>(editor); spin && !m_text) {
            spin->interpretText();
            if (!FieldRefused(spin)) ClearCellRefusal(m_table->item(index.row(), index.column()));
            model->setData(index, spin->value(), Qt::EditRole);
        } else {
            QStyledItemDelegate::setModelData(editor, model, index);
        }
        if (index.data(Qt::EditRole) == before) return;
        const int row = index.row() + 1;
        const int column = index.column() + 1;
        Fire(m_panel, m_control, EVENT_VAL_CHANGED, row, column);
        Fire(m_panel, m_control, EVENT_COMMIT, row, column);
    }

    // A text cell too narrow for its text shows it cut with "…"; the tooltip
    // shows it whole.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override {
        if (m_text && event->type() == QEvent::ToolTip) {
            const QString text = index.data(Qt::DisplayRole).toString();
            QStyleOptionViewItem cell = option;
            initStyleOption(&cell, index);
            const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
            if (cell.fontMetrics.horizontalAdvance(text) > cell.rect.width() - margin) {
                QToolTip::showText(event->globalPos(), text, view);
                return true;
            }
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if (!index.data(kRefusedRole).toBool()) return;
        painter->save();
        painter->setPen(QPen(FromRgb(0xC00000), 2));
        painter->drawRect(option.rect.adjusted(1, 1, -1, -1));
        painter->restore();
    }

    static void ClearCellRefusal(QTableWidgetItem *item) {
        if (!item || !item->data(kRefusedRole).toBool()) return;
        item->setData(kRefusedRole, QVariant());
        item->setToolTip(QString());
    }

  private:
    QTableWidget *m_table;
    int m_panel;
    int m_control;
    int m_cellMax;
    bool m_text;
};

Ctrl *TableCtrl(int panel, int control) {
    Ctrl *c = FindCtrl(panel, control);
    return c && c->kind == Kind::Table ? c : nullptr;
}

QTableWidget *Table(const Ctrl *c) {
    return static_cast<QTableWidget *>(c->w);
}

QTableWidgetItem *Cell(const Ctrl *c, Point cell) {
    QTableWidget *t = Table(c);
    if (cell.x < 1 || cell.y < 1 || cell.x > t->columnCount() || cell.y > t->rowCount())
        return nullptr;
    QTableWidgetItem *item = t->item(cell.y - 1, cell.x - 1);
    if (!item) {
        item = new QTableWidgetItem;
        if (!c->textCells) item->setData(Qt::EditRole, 0);
        item->setTextAlignment(Qt::AlignCenter);
        t->setItem(cell.y - 1, cell.x - 1, item);
    }
    return item;
}

void SetMode(QTableWidgetItem *item, int mode) {
    const Qt::ItemFlags flags = item->flags();
    item->setFlags(mode == VAL_INDICATOR ? flags & ~Qt::ItemIsEditable
                                         : flags | Qt::ItemIsEditable);
}

int SetCellAttribute(const Ctrl *c, QTableWidgetItem *item, int attribute, int value) {
    (void)c;
    switch (attribute) {
    case ATTR_TEXT_BGCOLOR:
        item->setBackground(FromRgb(value));
        return 0;
    case ATTR_TEXT_COLOR:
        item->setForeground(FromRgb(value));
        return 0;
    case ATTR_CELL_MODE:
        SetMode(item, value);
        return 0;
    default:
        return kErrBadAttribute;
    }
}

QTableWidgetItem *RowHeader(QTableWidget *t, int row) {
    QTableWidgetItem *item = t->verticalHeaderItem(row - 1);
    if (!item) {
        item = new QTableWidgetItem(QString::number(row));
        t->setVerticalHeaderItem(row - 1, item);
    }
    return item;
}

QTableWidgetItem *ColumnHeader(QTableWidget *t, int column) {
    QTableWidgetItem *item = t->horizontalHeaderItem(column - 1);
    if (!item) {
        item = new QTableWidgetItem(QString::number(column));
        t->setHorizontalHeaderItem(column - 1, item);
    }
    return item;
}

} // namespace

void SetUpTable(Ctrl &c) {
    auto *t = static_cast<QTableWidget *>(c.w);
    const QVariant cellMax = t->property("cellMax");
    if (cellMax.isValid()) c.cellMax = cellMax.toInt();
    c.textCells = t->property("textCells").toBool();
    // Every cell exists from the start, numeric cells as numbers.
    for (int r = 0; r < t->rowCount(); ++r) {
        for (int col = 0; col < t->columnCount(); ++col) {
            QTableWidgetItem *item = t->item(r, col);
            if (!item) {
                Cell(&c, Point{col + 1, r + 1});
            } else if (!c.textCells && (item->flags() & Qt::ItemIsEditable)) {
                // Fixed cells (indicator colours) keep their text; the others
                // become numbers. setData skips a value that compares equal,
                // and "1" equals 1.
                const int v = item->text().trimmed().toInt();
                item->setData(Qt::EditRole, QVariant());
                item->setData(Qt::EditRole, v);
            }
        }
    }
    t->setItemDelegate(new CellDelegate(t, c.panel, c.id, c.cellMax, c.textCells));
}

} // namespace engine

using namespace engine;

int SetTableCellVal(int panel, int control, Point cell, int value) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidgetItem *item = Cell(c, cell);
    if (!item) return kErrBadCell;
    if (c->textCells)
        item->setText(QString::number(value));
    else if (item->data(Qt::EditRole) != QVariant(value))
        item->setData(Qt::EditRole, value);
    CellDelegate::ClearCellRefusal(item);
    return 0;
}

int SetTableCellVal(int panel, int control, Point cell, const QString &value) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidgetItem *item = Cell(c, cell);
    if (!item) return kErrBadCell;
    if (c->textCells)
        item->setText(value);
    else
        item->setData(Qt::EditRole, value.trimmed().toInt());
    CellDelegate::ClearCellRefusal(item);
    return 0;
}

int GetTableCellVal(int panel, int control, Point cell, int *value) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidgetItem *item = Cell(c, cell);
    if (!item) return kErrBadCell;
    const QVariant v = item->data(Qt::EditRole);
    *value = v.typeId() == QMetaType::Int ? v.toInt() : v.toString().trimmed().toInt();
    return 0;
}

int GetTableCellVal(int panel, int control, Point cell, unsigned short *value) {
    int v = 0;
    const int r = GetTableCellVal(panel, control, cell, &v);
    *value = static_cast<unsigned short>(v);
    return r;
}

int GetTableCellVal(int panel, int control, Point cell, QString *value) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidgetItem *item = Cell(c, cell);
    if (!item) return kErrBadCell;
    *value = item->text();
    return 0;
}

int SetTableCellAttribute(int panel, int control, Point cell, int attribute, int value) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidgetItem *item = Cell(c, cell);
    if (!item) return kErrBadCell;
    return SetCellAttribute(c, item, attribute, value);
}

int GetTableCellAttribute(int panel, int control, Point cell, int attribute, int *value) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidgetItem *item = Cell(c, cell);
    if (!item) return kErrBadCell;
    const QPalette &pal = Table(c)->palette();
    switch (attribute) {
    case ATTR_TEXT_BGCOLOR: {
        const QBrush b = item->background();
        *value = ToRgb(b.style() == Qt::NoBrush ? pal.color(QPalette::Base) : b.color());
        return 0;
    }
    case ATTR_TEXT_COLOR: {
        const QBrush b = item->foreground();
        *value = ToRgb(b.style() == Qt::NoBrush ? pal.color(QPalette::Text) : b.color());
        return 0;
    }
    case ATTR_CELL_MODE:
        *value = item->flags() & Qt::ItemIsEditable ? VAL_HOT : VAL_INDICATOR;
        return 0;
    default:
        return kErrBadAttribute;
    }
}

int SetTableColumnAttribute(int panel, int control, int column, int attribute, int value) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidget *t = Table(c);
    if (column < 1 || column > t->columnCount()) return kErrBadCell;
    switch (attribute) {
    case ATTR_VISIBLE:
        t->setColumnHidden(column - 1, !value);
        return 0;
    case ATTR_WIDTH:
        t->setColumnWidth(column - 1, value);
        return 0;
    default:
        for (int row = 1; row <= t->rowCount(); ++row) {
            const int r = SetCellAttribute(c, Cell(c, Point{column, row}), attribute, value);
            if (r < 0) return r;
        }
        return 0;
    }
}

int SetTableColumnAttribute(int panel, int control, int column, int attribute,
                            const QString &value) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidget *t = Table(c);
    if (column < 1 || column > t->columnCount()) return kErrBadCell;
    if (attribute != ATTR_LABEL_TEXT) return kErrBadAttribute;
    ColumnHeader(t, column)->setText(value);
    return 0;
}

int SetTableRowAttribute(int panel, int control, int row, int attribute, int value) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidget *t = Table(c);
    if (row < 1 || row > t->rowCount()) return kErrBadCell;
    switch (attribute) {
    case ATTR_LABEL_COLOR: {
        QTableWidgetItem *header = RowHeader(t, row);
        if (header->foreground().color() != FromRgb(value) ||
            header->foreground().style() == Qt::NoBrush)
            header->setForeground(FromRgb(value));
        return 0;
    }
    case ATTR_VISIBLE:
        t->setRowHidden(row - 1, !value);
        return 0;
    case ATTR_HEIGHT:
        t->setRowHeight(row - 1, value);
        return 0;
    default:
        for (int col = 1; col <= t->columnCount(); ++col) {
            const int r = SetCellAttribute(c, Cell(c, Point{col, row}), attribute, value);
            if (r < 0) return r;
        }
        return 0;
    }
}

int SetTableRowAttribute(int panel, int control, int row, int attribute, const QString &value) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidget *t = Table(c);
    if (row < 1 || row > t->rowCount()) return kErrBadCell;
    if (attribute != ATTR_LABEL_TEXT) return kErrBadAttribute;
    RowHeader(t, row)->setText(value);
    return 0;
}

int GetTableRowAttribute(int panel, int control, int row, int attribute, int *value) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidget *t = Table(c);
    if (row < 1 || row > t->rowCount()) return kErrBadCell;
    if (attribute != ATTR_LABEL_COLOR) return kErrBadAttribute;
    const QTableWidgetItem *header = t->verticalHeaderItem(row - 1);
    const QBrush b = header ? header->foreground() : QBrush();
    *value =
        ToRgb(b.style() == Qt::NoBrush ? t->verticalHeader()->palette().color(QPalette::ButtonText)
                                       : b.color());
    return 0;
}

int GetNumTableRows(int panel, int control, int *rows) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    *rows = Table(c)->rowCount();
    return 0;
}

int GetActiveTableCell(int panel, int control, Point *cell) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidget *t = Table(c);
    *cell = Point{std::max(0, t->currentColumn()) + 1, std::max(0, t->currentRow()) + 1};
    return 0;
}

int SetActiveTableCell(int panel, int control, Point cell) {
    Ctrl *c = TableCtrl(panel, control);
    if (!c) return kErrBadControl;
    QTableWidget *t = Table(c);
    if (cell.x < 1 || cell.y < 1 || cell.x > t->columnCount() || cell.y > t->rowCount())
        return kErrBadCell;
    t->setCurrentCell(cell.y - 1, cell.x - 1);
    return 0;
}

bool TableCellInputRefused(int panel, int control, Point cell) {
    Ctrl *c = TableCtrl(panel, control);
    QTableWidgetItem *item = c ? Cell(c, cell) : nullptr;
    return item && item->data(kRefusedRole).toBool();
}

bool CtrlInputRefused(int panel, int control) {
    Ctrl *c = FindCtrl(panel, control);
    return c && FieldRefused(c->w);
}
