// Control attributes: dimming, visibility, geometry, colours, modes, ranges
// and fonts.
#include "platform/EngineState.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGraphicsOpacityEffect>
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
#include <QTableWidget>
#include <cmath>

using namespace engine;

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    QWidget *w = c->w;
    switch (attribute) {
    case ATTR_DIMMED:
        w->setEnabled(!value);
        if (c->buddy) c->buddy->setEnabled(!value);
        for (const auto &mirror : c->mirrors)
            if (mirror) mirror->setEnabled(!value);
        return 0;
    case ATTR_GREYED:
        // Faded rather than disabled: help on a right click still works.
        if (!value) {
            w->setGraphicsEffect(nullptr);
        } else if (!w->graphicsEffect()) {
            auto *fade = new QGraphicsOpacityEffect(w);
            fade->setOpacity(0.35);
            w->setGraphicsEffect(fade);
        }
        return 0;
    case ATTR_VISIBLE:
        w->setVisible(value != 0);
        if (c->buddy) c->buddy->setVisible(value != 0);
        return 0;
    case ATTR_TOP:
        Place(*c, QRect(QPoint(w->x(), value), w->size()));
        return 0;
    case ATTR_LEFT:
        Place(*c, QRect(QPoint(value, w->y()), w->size()));
        return 0;
    case ATTR_WIDTH:
        w->resize(value, w->height());
        return 0;
    case ATTR_HEIGHT:
        w->resize(w->width(), value);
        return 0;
    case ATTR_CMD_BUTTON_COLOR:
        if (c->kind != Kind::Button && c->kind != Kind::Toggle) return kErrWrongKind;
        c->buttonColor = value & 0xFFFFFF;
        RestyleCtrl(*c);
        return 0;
    case ATTR_TEXT_COLOR:
        c->textColor = value & 0xFFFFFF;
        RestyleCtrl(*c);
        return 0;
    case ATTR_TEXT_BGCOLOR:
        c->bgColor = value & 0xFFFFFF;
        RestyleCtrl(*c);
        return 0;
    case ATTR_FRAME_COLOR:
        c->frameColor = value & 0xFFFFFF;
        RestyleCtrl(*c);
        return 0;
    case ATTR_ON_COLOR:
        c->onColor = value & 0xFFFFFF;
        w->update();
        return 0;
    case ATTR_OFF_COLOR:
        c->offColor = value & 0xFFFFFF;
        w->update();
        return 0;
    case ATTR_POINTS_PER_SCREEN:
        return c->kind == Kind::Graph ? SetGraphPointsPerScreen(*c, value) : kErrWrongKind;
    case ATTR_CTRL_MODE:
        SetIndicator(*c, value == VAL_INDICATOR);
        return 0;
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE: {
        Quiet q(w);
        const bool min = attribute == ATTR_MIN_VALUE;
        if (auto *s = qobject_cast<QSpinBox *>(w))
            min ? s->setMinimum(value) : s->setMaximum(value);
        else if (auto *d = qobject_cast<QDoubleSpinBox *>(w))
            min ? d->setMinimum(value) : d->setMaximum(value);
        else if (auto *a = qobject_cast<QAbstractSlider *>(w))
            min ? a->setMinimum(value) : a->setMaximum(value);
        else if (auto *b = qobject_cast<QProgressBar *>(w))
            min ? b->setMinimum(value) : b->setMaximum(value);
        else
            return kErrWrongKind;
        return 0;
    }
    case ATTR_MAX_ENTRY_LENGTH:
        if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            edit->setMaxLength(value < 0 ? 32767 : value);
            return 0;
        }
        return kErrWrongKind;
    case ATTR_TEXT_POINT_SIZE:
    case ATTR_TEXT_BOLD:
    case ATTR_TEXT_ITALIC:
    case ATTR_TEXT_STRIKEOUT: {
        QFont font = w->font();
        if (attribute == ATTR_TEXT_POINT_SIZE) {
            if (value <= 0) return kErrBadValue;
            font.setPointSize(value);
        } else if (attribute == ATTR_TEXT_BOLD) {
            font.setBold(value != 0);
        } else if (attribute == ATTR_TEXT_STRIKEOUT) {
            font.setStrikeOut(value != 0);
        } else {
            font.setItalic(value != 0);
        }
        w->setFont(font);
        return 0;
    }
    default:
        return kErrBadAttribute;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, const QString &value) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    if (attribute == ATTR_TEXT_FONT) {
        QFont font = c->w->font();
        font.setFamily(value);
        c->w->setFont(font);
        return 0;
    }
    if (attribute != ATTR_LABEL_TEXT) return kErrBadAttribute;
    if (c->kind == Kind::Graph)
        SetGraphTitle(*c, value);
    else if (auto *b = qobject_cast<QAbstractButton *>(c->w))
        b->setText(value);
    else if (auto *g = qobject_cast<QGroupBox *>(c->w))
        g->setTitle(value);
    else if (c->buddy)
        c->buddy->setText(value);
    c->labelText = value;
    return 0;
}

bool engine::GetGeometryAttribute(const QWidget *w, int attribute, int *value) {
    switch (attribute) {
    case ATTR_VISIBLE:
        *value = !w->isHidden();
        return true;
    case ATTR_TOP:
        *value = w->y();
        return true;
    case ATTR_LEFT:
        *value = w->x();
        return true;
    case ATTR_WIDTH:
        *value = w->width();
        return true;
    case ATTR_HEIGHT:
        *value = w->height();
        return true;
    default:
        return false;
    }
}

int GetCtrlAttribute(int panel, int control, int attribute, int *value) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    QWidget *w = c->w;
    if (GetGeometryAttribute(w, attribute, value)) return 0;
    switch (attribute) {
    case ATTR_DIMMED:
        *value = !w->isEnabled();
        return 0;
    case ATTR_GREYED:
        *value = w->graphicsEffect() != nullptr;
        return 0;
    case ATTR_CMD_BUTTON_COLOR:
        *value = c->buttonColor >= 0 ? c->buttonColor : ToRgb(w->palette().color(QPalette::Button));
        return 0;
    case ATTR_TEXT_COLOR:
        *value = c->textColor >= 0 ? c->textColor : ToRgb(w->palette().color(w->foregroundRole()));
        return 0;
    case ATTR_TEXT_BGCOLOR:
        *value = c->bgColor >= 0 ? c->bgColor : ToRgb(w->palette().color(w->backgroundRole()));
        return 0;
    case ATTR_FRAME_COLOR:
        *value = c->frameColor >= 0 ? c->frameColor : ToRgb(w->palette().color(QPalette::Mid));
        return 0;
    case ATTR_ON_COLOR:
        *value = c->onColor;
        return 0;
    case ATTR_OFF_COLOR:
        *value = c->offColor;
        return 0;
    case ATTR_POINTS_PER_SCREEN:
        if (c->kind != Kind::Graph) return kErrWrongKind;
        *value = GraphPointsPerScreen(*c);
        return 0;
    case ATTR_CTRL_MODE:
        *value = c->mode;
        return 0;
    case ATTR_MIN_VALUE:
    case ATTR_MAX_VALUE: {
        const bool min = attribute == ATTR_MIN_VALUE;
        if (auto *s = qobject_cast<QSpinBox *>(w))
            *value = min ? s->minimum() : s->maximum();
        else if (auto *d = qobject_cast<QDoubleSpinBox *>(w))
            *value = int(min ? d->minimum() : d->maximum());
        else if (auto *a = qobject_cast<QAbstractSlider *>(w))
            *value = min ? a->minimum() : a->maximum();
        else if (auto *b = qobject_cast<QProgressBar *>(w))
            *value = min ? b->minimum() : b->maximum();
        else
            return kErrWrongKind;
        return 0;
    }
    case ATTR_MAX_ENTRY_LENGTH:
        if (auto *edit = qobject_cast<QLineEdit *>(w)) {
            *value = edit->maxLength() >= 32767 ? -1 : edit->maxLength();
            return 0;
        }
        return kErrWrongKind;
    case ATTR_TEXT_FONT_NAME_LENGTH:
        *value = int(w->font().family().size());
        return 0;
    case ATTR_TEXT_POINT_SIZE:
        *value = w->font().pointSize();
        return 0;
    case ATTR_TEXT_BOLD:
        *value = w->font().bold();
        return 0;
    case ATTR_TEXT_ITALIC:
        *value = w->font().italic();
        return 0;
    case ATTR_TEXT_STRIKEOUT:
        *value = w->font().strikeOut();
        return 0;
    default:
        return kErrBadAttribute;
    }
}

int GetCtrlAttribute(int panel, int control, int attribute, QString *value) {
    Ctrl *c = FindCtrl(panel, control);
    if (!c) return kErrBadControl;
    if (attribute == ATTR_TEXT_FONT) {
        *value = c->w->font().family();
        return 0;
    }
    if (attribute != ATTR_LABEL_TEXT) return kErrBadAttribute;
    if (c->kind == Kind::Graph)
        *value = GraphTitle(*c);
    else if (auto *b = qobject_cast<QAbstractButton *>(c->w))
        *value = b->text();
    else if (auto *g = qobject_cast<QGroupBox *>(c->w))
        *value = g->title();
    else if (c->buddy)
        *value = c->buddy->text();
    else
        *value = c->labelText;
    return 0;
}
