#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace melvorin::ui {

// How the window shows its boxes and sounds its beep. The program uses
// TSystemBoxes (real modal boxes); tests install a recording implementation.
class IBoxes {
public:
    virtual ~IBoxes() = default;
    // A join result: the modal notice box.
    virtual void ShowNotice(const QString& text) = 0;
    // A failed user action: the modal error box with the stop icon. `text` is
    // already shaped by the error text rule.
    virtual void ShowError(const QString& text) = 0;
    // The system's default beep.
    virtual void Beep() = 0;
};

// The notice box: no icon, the given caption, the text word-wrapped to at
// most half the screen's width, one "OK" button answering Enter and Esc,
// centred on the primary screen, silent. Ctrl+C beeps and copies caption,
// text and button label to the clipboard as plain text.
class TNoticeBox : public QDialog {
    Q_OBJECT
public:
    TNoticeBox(const QString& caption, const QString& text, QWidget* parent = nullptr);

    QString Text() const;
    QPushButton* OkButton() const { return ok_; }
    // What Ctrl+C puts on the clipboard.
    QString ClipboardText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QLabel* label_;
    QPushButton* ok_;
};

// Real modal boxes, captioned with the application title.
class TSystemBoxes : public IBoxes {
public:
    void ShowNotice(const QString& text) override;
    void ShowError(const QString& text) override;
    void Beep() override;
};

// Centres a top-level widget on the primary screen.
void CentreOnPrimaryScreen(QWidget& widget);

}  // namespace melvorin::ui
