// Small control helpers shared by the I/O unit pages: lists filled from
// text tables, radio groups and lists that can show "no selection".
#pragma once

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QList>
#include <QString>

#include "settings/SettingsCore.h"

inline void FillList(QComboBox* list, const char* const* items, int count) {
    list->clear();
    for (int i = 0; i < count; ++i) list->addItem(QString::fromUtf8(items[i]));
}

// Position of the checked button in buttons, or NO_CHOICE.
inline int CheckedIndex(const QList<QAbstractButton*>& buttons) {
    for (int i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->isChecked()) return i;
    }
    return NO_CHOICE;
}

// Checks the button at index; NO_CHOICE (or any index outside the group)
// leaves every button clear, which an exclusive group does not allow by
// itself.
inline void CheckIndex(QButtonGroup* group, const QList<QAbstractButton*>& buttons, int index) {
    if (group) group->setExclusive(false);
    for (int i = 0; i < buttons.size(); ++i) buttons[i]->setChecked(i == index);
    if (group) group->setExclusive(true);
}

// Selects index; NO_CHOICE or an index outside the list shows no selection.
inline void SelectIndex(QComboBox* list, int index) {
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}
