#include "qt/boxes.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "qt/app_title.h"
#include "window/rules.h"

namespace melvorin::qt {

namespace {

int PrimaryScreenWidth() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry().width() : 1024;
}

// Width of the widest line of `text` in `metrics`.
int NaturalWidth(const QFontMetrics& metrics, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    return widest;
}

}  // namespace

void CentreOnPrimaryScreen(QWidget& widget) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->geometry();
    QRect frame = widget.frameGeometry();
    if (frame.size().isEmpty()) {
        frame = QRect(QPoint(0, 0), widget.size());
    }
    widget.move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

TNoticeBox::TNoticeBox(const QString& caption, const QString& text, QWidget* parent)
    : QDialog(parent), label_(new QLabel(this)), ok_(new QPushButton(QStringLiteral("OK"), this)) {
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    // Untrusted bytes may reach this text: never rich text.
    label_->setTextFormat(Qt::PlainText);
    label_->setText(text);
    label_->setWordWrap(true);
    label_->setTextInteractionFlags(Qt::NoTextInteraction);
    const int natural = NaturalWidth(label_->fontMetrics(), text) + 2;
    label_->setFixedWidth(std::max(1, std::min(natural, PrimaryScreenWidth() / 2)));

    ok_->setDefault(true);
    ok_->setAutoDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addStretch();
    ok_->setMinimumWidth(std::max(ok_->sizeHint().width(), 88));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(24, 20, 24, 14);
    layout->addWidget(label_);
    layout->addSpacing(16);
    layout->addLayout(buttons);
    ok_->setFocus();
}

QString TNoticeBox::Text() const { return label_->text(); }

QString TNoticeBox::ClipboardText() const {
    return QString::fromStdString(
        window::NoticeClipboardText(windowTitle().toStdString(), Text().toStdString(), ok_->text().toStdString()));
}

void TNoticeBox::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QApplication::beep();
        QGuiApplication::clipboard()->setText(ClipboardText());
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TNoticeBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnPrimaryScreen(*this);
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void TSystemBoxes::ShowNotice(const std::string& text) {
    TNoticeBox box(ApplicationTitle(), QString::fromStdString(text));
    box.exec();
}

void TSystemBoxes::ShowError(const std::string& text) {
    // A socket error's Windows line end ("\r\n") is one line break here.
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), shown, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}

void TSystemBoxes::Beep() { QApplication::beep(); }

}  // namespace melvorin::qt
