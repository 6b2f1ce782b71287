#include "qt/accessible.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QLabel>
#include <QString>
#include <algorithm>

#include "qt/announcer.h"
#include "qt/boxes.h"
#include "qt/status_line.h"
#include "qt/widgets.h"

namespace melvorin::qt {

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
// value is its text. Not its description as well: a screen reader reads an
// alert's labels and then its description, and would say the verdict twice.
class NoticeAccessible : public QAccessibleWidget {
public:
    explicit NoticeAccessible(TNoticeBox* box) : QAccessibleWidget(box, QAccessible::AlertMessage) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return static_cast<TNoticeBox*>(widget())->Text();
        return QAccessibleWidget::text(t);
    }
};

// What the status line speaks: a notification, under the status bar, whose
// name is the line. Not one of the status bar's children, so that reading the
// window does not read the line twice.
class AnnouncementAccessible : public QAccessibleObject {
public:
    explicit AnnouncementAccessible(TAnnouncer* announcer) : QAccessibleObject(announcer) {}

    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(Owner()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? static_cast<TAnnouncer*>(object())->Spoken() : QString();
    }
    QRect rect() const override {
        const QAccessibleInterface* line = parent();
        return line != nullptr ? line->rect() : QRect();
    }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override { return {}; }

private:
    QWidget* Owner() const { return static_cast<TAnnouncer*>(object())->Owner(); }
};

// The edit boxes, as Qt's own line edit presents them but with one text
// attribute run that spans the whole text: Qt 6.4 reports an empty run at
// each offset, and a screen reader that builds the line from the runs (Orca)
// drops the last character.
class EditAccessible : public QAccessibleWidget,
                       public QAccessibleTextInterface,
                       public QAccessibleEditableTextInterface {
public:
    explicit EditAccessible(TEdit* edit) : QAccessibleWidget(edit, QAccessible::EditableText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return Edit()->text();
        return QAccessibleWidget::text(t);
    }
    void setText(QAccessible::Text t, const QString& text) override {
        if (t == QAccessible::Value) {
            Edit()->setText(text);
        } else {
            QAccessibleWidget::setText(t, text);
        }
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = !Edit()->isReadOnly();
        state.readOnly = Edit()->isReadOnly();
        state.selectableText = true;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        if (t == QAccessible::EditableTextInterface) return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // QAccessibleTextInterface
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        // No attributes, over the whole text.
        *startOffset = 0;
        *endOffset = std::max(characterCount(), offset);
        return {};
    }
    QString text(int startOffset, int endOffset) const override {
        return Edit()->text().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(Edit()->text().size()); }
    int cursorPosition() const override { return Edit()->cursorPosition(); }
    void setCursorPosition(int position) override { Edit()->setCursorPosition(position); }
    int selectionCount() const override { return Edit()->hasSelectedText() ? 1 : 0; }
    void selection(int index, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        if (index != 0 || !Edit()->hasSelectedText()) return;
        *startOffset = Edit()->selectionStart();
        *endOffset = Edit()->selectionEnd();
    }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int index) override {
        if (index == 0) Edit()->deselect();
    }
    void setSelection(int index, int startOffset, int endOffset) override {
        if (index == 0) Edit()->setSelection(startOffset, endOffset - startOffset);
    }
    QRect characterRect(int offset) const override {
        const QString all = Edit()->text();
        if (offset < 0 || offset >= all.size()) return {};
        // Measured from the caret, which is where the box has scrolled to.
        const QFontMetrics metrics(Edit()->font());
        const QRect caret = Edit()->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        const int x = caret.x() + metrics.horizontalAdvance(all.left(offset)) -
                      metrics.horizontalAdvance(all.left(Edit()->cursorPosition()));
        const QRect r(x, caret.y(), metrics.horizontalAdvance(all.at(offset)), caret.height());
        return r.translated(Edit()->mapToGlobal(QPoint(0, 0)));
    }
    int offsetAtPoint(const QPoint& point) const override {
        return Edit()->cursorPositionAt(Edit()->mapFromGlobal(point));
    }
    void scrollToSubstring(int startIndex, int endIndex) override {
        Edit()->setCursorPosition(endIndex);
        Edit()->setCursorPosition(startIndex);
    }

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override { replaceText(startOffset, endOffset, {}); }
    void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
    void replaceText(int startOffset, int endOffset, const QString& text) override {
        Edit()->setText(Edit()->text().replace(startOffset, endOffset - startOffset, text));
    }

private:
    TEdit* Edit() const { return static_cast<TEdit*>(widget()); }
};

QAccessibleInterface* Factory(const QString& /*className*/, QObject* object) {
    if (auto* line = qobject_cast<TStatusLine*>(object)) return new StatusLineAccessible(line);
    if (auto* box = qobject_cast<TNoticeBox*>(object)) return new NoticeAccessible(box);
    if (auto* announcer = qobject_cast<TAnnouncer*>(object)) return new AnnouncementAccessible(announcer);
    if (auto* edit = qobject_cast<TEdit*>(object)) return new EditAccessible(edit);
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

}  // namespace melvorin::qt
