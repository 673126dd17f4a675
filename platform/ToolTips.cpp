// Tooltips: the help of a control also shows while the pointer rests on it.
#include "platform/EngineState.h"

#include <QComboBox>
#include <QLabel>

using namespace engine;

int SetCtrlToolTip(int panel, int control, const QString &text) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    c->w->setToolTip(text);
    if (c->buddy) c->buddy->setToolTip(text);
    // The text field of an editable ring lies inside the ring: its arrow
    // explains the field as well.
    if (auto *ring = qobject_cast<QComboBox *>(c->w->parentWidget())) ring->setToolTip(text);
    return 0;
}
