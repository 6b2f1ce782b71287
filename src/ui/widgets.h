#pragma once

// The window's member controls: an edit box whose delivered characters pass
// one by one through a key-press handler, and the report-style list.

#include <QLineEdit>
#include <QTableWidget>
#include <functional>

#include "protocol/ports.h"

namespace melvorin::ui {

// A single-line edit box with the events the window's handlers hang on.
// Also the key box of the join exchange (IKeyBox).
class TEdit : public QLineEdit, public IKeyBox {
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

    // IKeyBox (UTF-8 text; colours as blue-green-red).
    std::string Text() const override;
    void SetText(const std::string& text) override;
    void SetColor(TColor color) override;
    // Background back to the system window colour.
    void SetWindowColor();

    // The characters a key event delivers: its text, a control character for
    // Ctrl+letter, nothing for keys that type nothing (Delete among them).
    static QString DeliveredCharacters(const QKeyEvent& event);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Runs each character through OnKeyPress and returns the survivors.
    QString Filter(const QString& characters);
};

// The list of networks: a report view with two columns, grid lines,
// whole-row single selection, no editing and no sorting. Captions are plain
// text.
class TListView : public QTableWidget, public ISsidList {
    Q_OBJECT
public:
    explicit TListView(QWidget* parent = nullptr);

    // A left double-click anywhere in the rows area, or Enter (also on the
    // keypad) on the selected row, or on the current one when none is.
    std::function<void()> OnDblClick;

    // ISsidList (UTF-8 text).
    void Clear() override;
    void AddRow(const std::string& caption, const std::string& subItem) override;
    int RowCount() const override;
    int SelectedRow() const override;

    // Row height following the list's font.
    void FitRowHeight();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace melvorin::ui
