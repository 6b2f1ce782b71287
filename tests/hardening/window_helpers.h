#pragma once

// Driving the real window in the hardening tests.

#include <QKeyEvent>
#include <QApplication>
#include <QTest>

#include "ui/form2.h"
#include "ui/widgets.h"

namespace melvorin::hardening {

inline QPoint CellCentre(ui::TForm2& form, int row, int column = 0) {
    return form.lvSsid->visualRect(form.lvSsid->model()->index(row, column)).center();
}

// Selects `row` and double-clicks it, as the user does.
inline void DoubleClickRow(ui::TForm2& form, int row) {
    QTest::mouseClick(form.lvSsid->viewport(), Qt::LeftButton, {}, CellCentre(form, row));
    QTest::mouseDClick(form.lvSsid->viewport(), Qt::LeftButton, {}, CellCentre(form, row));
}

// One key event that delivers `text` to `w` (each character goes through
// the box's key filter).
inline void TypeText(QWidget* w, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

}  // namespace melvorin::hardening
