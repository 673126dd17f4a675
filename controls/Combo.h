// The editable combo box: a text field with a drop-down list of remembered
// entries that completes what the operator types from the list (the host
// field of the interface panel). A combo box is addressed by its panel and
// the id of the text field it was made from.
#pragma once

#include <QString>
#include <QStringList>

enum {
    COMBO_ERR_NOT_A_COMBO = -45, // not a combo box; on creation: no text field, or one already
    COMBO_ERR_BAD_ATTRIBUTE = -46,
    COMBO_ERR_OUT_OF_MEMORY = -12,
};

// Combo attributes; values are integers except the font (a family name).
enum {
    ATTR_COMBO_HEIGHT = 1, // get only
    ATTR_COMBO_WIDTH = 2,
    ATTR_COMBO_TEXT_COLOR = 3,
    ATTR_COMBO_FRAME_COLOR = 4,
    ATTR_COMBO_TEXT_FONT = 5,
    ATTR_COMBO_TEXT_FONT_NAME_LENGTH = 6, // get only
    ATTR_COMBO_TEXT_POINT_SIZE = 7,
    ATTR_COMBO_TEXT_BOLD = 8,
    ATTR_COMBO_TEXT_ITALIC = 9,
    ATTR_COMBO_LEFT = 10,
    ATTR_COMBO_TOP = 11,
    ATTR_COMBO_VISIBLE = 12,
    ATTR_COMBO_DIMMED = 13,
    ATTR_COMBO_MAX_ENTRY_LENGTH = 14,
};

// Turns the text field into a combo box; its value, callback (which gets
// every event of the combo box) and tab position stay. Returns the field's
// id, or an error.
int Combo_NewComboBox(int panel, int stringControl);
// index -1 appends.
int Combo_InsertComboItem(int panel, int control, int index, const QString &text);
// count -1: to the end.
int Combo_DeleteComboItem(int panel, int control, int index, int count);
int Combo_ReplaceComboItem(int panel, int control, int index, const QString &text);
// *index is -1 when no entry has the text.
int Combo_GetIndexFromValue(int panel, int control, int *index, const QString &text);
int Combo_SetComboAttribute(int panel, int control, int attribute, int value);
int Combo_SetComboAttribute(int panel, int control, int attribute, const QString &value);
int Combo_GetComboAttribute(int panel, int control, int attribute, int *value);
int Combo_GetComboAttribute(int panel, int control, int attribute, QString *value);
// Removes the combo box with its text field from the panel.
int Combo_DiscardComboBox(int panel, int control);

// The completion of `typed` from `entries` (in list order): the first entry
// that starts with it, ignoring case, supplies the rest; the typed
// characters stay as typed and the whole stays within maxLength characters
// (-1: no limit). Returns `typed` when nothing completes it.
QString CompleteFromEntries(const QString &typed, const QStringList &entries, int maxLength);
