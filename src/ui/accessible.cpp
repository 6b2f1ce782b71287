#include "ui/accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QString>

#include "ui/boxes.h"
#include "ui/status_line.h"

namespace melvorin::ui {

namespace {

// The status line: a status bar (not a label, whose name changes screen
// readers pass over when it has no focus) with a read-only text interface,
// so that its changes go out as text changes.
class StatusLineAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit StatusLineAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StatusBar) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name || t == QAccessible::Value) return Label()->text();
        // Not the tooltip, which repeats the line and is never announced as
        // changed: a client would keep reading the old one.
        if (t == QAccessible::Description) return {};
        return QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // QAccessibleTextInterface: the whole line, read-only, no selection.
    QString text(int startOffset, int endOffset) const override {
        return Label()->text().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(Label()->text().size()); }
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    QLabel* Label() const { return static_cast<QLabel*>(widget()); }
};

// The notice box: an alert, as the error box (a message box) is, whose
// description is its text.
class NoticeAccessible : public QAccessibleWidget {
public:
    explicit NoticeAccessible(TNoticeBox* box) : QAccessibleWidget(box, QAccessible::AlertMessage) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Description || t == QAccessible::Value) {
            return static_cast<TNoticeBox*>(widget())->Text();
        }
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* Factory(const QString& /*className*/, QObject* object) {
    if (auto* line = qobject_cast<TStatusLine*>(object)) return new StatusLineAccessible(line);
    if (auto* box = qobject_cast<TNoticeBox*>(object)) return new NoticeAccessible(box);
    return nullptr;
}

}  // namespace

void InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    static_cast<void>(installed);
}

void AnnounceTextChange(QObject* object, const QString& before, const QString& after) {
    if (!QAccessible::isActive()) return;
    QAccessibleTextUpdateEvent event(object, 0, before, after);
    QAccessible::updateAccessibility(&event);
}

}  // namespace melvorin::ui
