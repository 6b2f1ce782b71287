#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "window/boxes.h"

class QLabel;
class QPushButton;

namespace melvorin::qt {

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
class TSystemBoxes : public window::IBoxes {
public:
    void ShowNotice(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void Beep() override;
};

// Centres a top-level widget on the primary screen.
void CentreOnPrimaryScreen(QWidget& widget);

}  // namespace melvorin::qt
