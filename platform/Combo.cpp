// Editable rings: a text field set into a native editable combo box, with
// the services its completion and keys need (controls/Combo.cpp).
#include "platform/EngineState.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

namespace engine {
namespace {

// Takes the tab focus by itself (a widget with a focus proxy passes it on).
bool TabStop(const QWidget *w) {
    return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !w->focusProxy();
}

// The panel a widget belongs to is its nearest tagged ancestor: a child
// panel's controls are not the parent panel's.
bool OnPanel(const QWidget *w, const Panel &p) {
    for (const QWidget *x = w; x; x = x->parentWidget()) {
        if (x == p.w) return true;
        if (IsPanelWidget(x)) return false;
    }
    return false;
}

// The panel's tab stops in tab order.
QList<QWidget *> TabStops(const Panel &p) {
    QList<QWidget *> stops;
    QWidget *x = p.w;
    do {
        if (x != p.w && TabStop(x) && OnPanel(x, p)) stops.append(x);
        x = x->nextInFocusChain();
    } while (x && x != p.w);
    return stops;
}

} // namespace
} // namespace engine

using namespace engine;

int MakeEditableRing(int panel, int textControl) {
    Panel *p = FindPanel(panel);
    Ctrl *text = FindCtrl(panel, textControl);
    if (!p || !text) return kErrBadControl;
    auto *edit = qobject_cast<QLineEdit *>(text->w);
    if (text->kind != Kind::Text || !edit || qobject_cast<QComboBox *>(edit->parentWidget()))
        return kErrWrongKind;

    QList<QWidget *> order = TabStops(*p);
    const bool hidden = edit->isHidden();
    const QString typed = edit->text();
    auto *ring = new QComboBox(edit->parentWidget());
    ring->setObjectName(edit->objectName() + QStringLiteral("List"));
    ring->setGeometry(edit->geometry());
    ring->setFont(edit->font());
    ring->setEnabled(edit->isEnabled());
    ring->setToolTip(edit->toolTip());
    // The ring takes the field's place in the tab order; placed while it is
    // still a single widget, before the field moves into it.
    const int at = int(order.indexOf(edit));
    if (at >= 0) order[at] = ring;
    for (int i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    ring->setEditable(true);
    ring->setInsertPolicy(QComboBox::NoInsert);
    ring->setLineEdit(edit);
    // The field's own events stay the field's: the ring neither commits on
    // Enter or on leaving the field, nor completes by its own rules.
    QObject::disconnect(edit, &QLineEdit::returnPressed, ring, nullptr);
    QObject::disconnect(edit, &QLineEdit::editingFinished, ring, nullptr);
    ring->setCompleter(nullptr);
    ring->setCurrentIndex(-1);
    {
        QSignalBlocker quiet(edit);
        edit->setText(typed);
    }
    ring->setHidden(hidden);
    // The field's caption names the ring now: assistive technology reads it
    // and the caption's key takes the focus to it.
    if (text->buddy) {
        const QString caption = text->buddy->text().remove(QLatin1Char('&')).simplified();
        text->buddy->setBuddy(ring);
        ring->setAccessibleName(caption);
        edit->setAccessibleName(caption);
    }
    RestyleCtrl(*text);

    auto c = std::make_unique<Ctrl>();
    c->id = int(p->ctrls.size());
    c->panel = panel;
    c->w = ring;
    c->kind = Kind::Ring;
    c->frameColor = text->frameColor;
    WireControl(*c);
    RestyleCtrl(*c);
    // Keys, clicks and focus on the ring are the field's: it holds the focus
    // for its text part.
    TagCtrl(ring, panel, textControl);
    const int id = c->id;
    p->ctrls.push_back(std::move(c));
    return id;
}

int CompleteCtrlText(int panel, int control, const QString &text, int selectFrom) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    auto *edit = qobject_cast<QLineEdit *>(c->w);
    if (!edit) return kErrWrongKind;
    QSignalBlocker quiet(edit);
    edit->setText(text);
    const int from = std::clamp(selectFrom, 0, int(edit->text().size()));
    edit->setSelection(from, int(edit->text().size()) - from);
    return 0;
}

int OpenRingList(int panel, int control) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    auto *ring = qobject_cast<QComboBox *>(c->w);
    if (!ring) return kErrWrongKind;
    ring->setFocus(Qt::OtherFocusReason);
    ring->showPopup();
    return 0;
}

int SetActiveCtrlBefore(int panel, int control) {
    Panel *p = FindPanel(panel);
    Ctrl *c = FindCtrl(panel, control);
    if (!p || !c) return kErrBadControl;
    QWidget *from = c->w;
    while (from->focusProxy())
        from = from->focusProxy();
    const QList<QWidget *> stops = TabStops(*p);
    const int at = std::max(0, int(stops.indexOf(from)));
    for (int step = 1; step <= stops.size(); ++step) {
        QWidget *w = stops[(at - step + 2 * stops.size()) % stops.size()];
        if (w == from) break;
        if (w->isVisible() && w->isEnabled()) {
            w->setFocus(Qt::BacktabFocusReason);
            return 0;
        }
    }
    return 0;
}

int SizeCtrlToFont(int panel, int control) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    c->w->resize(c->w->width(), c->w->sizeHint().height());
    return 0;
}
