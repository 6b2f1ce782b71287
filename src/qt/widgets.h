#pragma once

// The window's member controls: an edit box whose delivered characters pass
// one by one through a key-press handler, and the report-style list.

#include <QLineEdit>
#include <QTableWidget>
#include <functional>

#include "protocol/widgets.h"
#include "window/rules.h"

namespace melvorin::qt {

// A single-line edit box with the events the window's handlers hang on.
class TEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TEdit(QWidget* parent = nullptr);

    // Called for each character the keyboard or an input method delivers;
    // setting it to 0 discards the character.
    std::function<void(char16_t& key)> OnKeyPress;
    // The box gains or loses the focus within the window (not when the whole
    // window is activated or deactivated, nor for a popup menu).
    std::function<void()> OnEnter;
    std::function<void()> OnExit;

    // The background, as blue-green-red.
    void SetColor(TColor color);
    // Background back to the system window colour.
    void SetWindowColor();

    // For a secret shown as typed: copying and cutting it (keys and menu)
    // and the X11 primary selection of it are refused, and input methods
    // are asked to predict and learn nothing. Screen readers still read it.
    void KeepTextInside();

    // The characters a key event delivers: its text, a control character for
    // Ctrl+letter, nothing for keys that type nothing (Delete among them).
    static QString DeliveredCharacters(const QKeyEvent& event);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Runs each character through OnKeyPress and returns the survivors.
    QString Filter(const QString& characters);

    bool keepInside_ = false;
};

// The list of networks: a report view with two columns, grid lines,
// whole-row single selection, no editing and no sorting. Captions are plain
// text.
class TListView : public QTableWidget {
    Q_OBJECT
public:
    explicit TListView(QWidget* parent = nullptr);

    // A left double-click anywhere in the rows area, or Enter (also on the
    // keypad) on the selected row, or on the current one when none is.
    std::function<void()> OnDblClick;

    // A row: the shown name with its tooltip (also the cell's description
    // for a screen reader), and the strength.
    void AddRow(const window::TShownRow& row);
    // Index of the selected row, or -1.
    int SelectedRow() const;

    // Row height following the list's font.
    void FitRowHeight();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace melvorin::qt
