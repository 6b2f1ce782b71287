#include "qt/widgets.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeySequence>
#include <QMenu>
#include <algorithm>
#include <iterator>
#include <QFocusEvent>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>


namespace melvorin::qt {

// ---- TEdit ----------------------------------------------------------------

TEdit::TEdit(QWidget* parent) : QLineEdit(parent) {
    // Dropped text would pass by the character filters.
    setAcceptDrops(false);
}

void TEdit::SetColor(TColor color) {
    QPalette p = palette();
    p.setColor(QPalette::Base, QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                                      static_cast<int>((color >> 16) & 0xFF)));
    setPalette(p);
}

void TEdit::SetWindowColor() {
    QPalette p = palette();
    p.setColor(QPalette::Base, QApplication::palette(this).color(QPalette::Base));
    setPalette(p);
}

void TEdit::KeepTextInside() {
    keepInside_ = true;
    setInputMethodHints(inputMethodHints() | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText |
                        Qt::ImhNoAutoUppercase);
}

QString TEdit::DeliveredCharacters(const QKeyEvent& event) {
    const int key = event.key();
    const Qt::KeyboardModifiers mods = event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (mods == Qt::ControlModifier && key >= Qt::Key_A && key <= Qt::Key_Z) {
        // Ctrl+letter types the control character of that letter (Ctrl+C is 3,
        // Ctrl+V is 22), whatever text the platform attached to the event.
        return QString(QChar(static_cast<char16_t>(key - Qt::Key_A + 1)));
    }
    // The other shortcuts that edit (Ctrl+Backspace, Ctrl+Delete,
    // Alt+Backspace, Shift+Delete...) deliver DEL, as Ctrl+Backspace does in a
    // system edit box, so that a filter can refuse them. Shift+Insert still
    // pastes.
    static constexpr QKeySequence::StandardKey kEdits[] = {
        QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfWord, QKeySequence::DeleteEndOfLine,
        QKeySequence::DeleteCompleteLine, QKeySequence::Undo, QKeySequence::Redo, QKeySequence::Cut};
    if (std::any_of(std::begin(kEdits), std::end(kEdits), [&](auto edit) { return event.matches(edit); })) {
        return QString(QChar(0x7F));
    }
    if (key == Qt::Key_Delete) {
        return {};
    }
    return event.text();
}

QString TEdit::Filter(const QString& characters) {
    QString kept;
    for (QChar c : characters) {
        char16_t key = c.unicode();
        if (OnKeyPress) {
            OnKeyPress(key);
        }
        if (key != 0) {
            kept.append(QChar(key));
        }
    }
    return kept;
}

namespace {

// Runs `delivered` through `filter`: when every character survives, the event
// goes on as it came (`asIs`); otherwise `rest` gets the survivors.
template <typename Filter, typename AsIs, typename Rest>
void Deliver(const QString& delivered, bool filtering, Filter&& filter, AsIs&& asIs, Rest&& rest) {
    if (delivered.isEmpty() || !filtering) {
        asIs();
        return;
    }
    const QString kept = filter(delivered);
    if (kept == delivered) {
        asIs();
        return;
    }
    rest(kept);
}

}  // namespace

void TEdit::keyPressEvent(QKeyEvent* event) {
    if (keepInside_ && (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut))) {
        event->accept();
        return;
    }
    Deliver(
        DeliveredCharacters(*event), bool(OnKeyPress), [this](const QString& c) { return Filter(c); },
        [&] { QLineEdit::keyPressEvent(event); },
        [&](const QString& kept) {
            event->accept();
            if (kept.isEmpty()) {
                return;
            }
            // Part of the text survived: handle what is left as its own key press.
            QKeyEvent rest(event->type(), 0, event->modifiers() & ~Qt::ControlModifier, kept);
            QLineEdit::keyPressEvent(&rest);
        });
}

void TEdit::inputMethodEvent(QInputMethodEvent* event) {
    Deliver(
        event->commitString(), bool(OnKeyPress), [this](const QString& c) { return Filter(c); },
        [&] { QLineEdit::inputMethodEvent(event); },
        [&](const QString& kept) {
            QInputMethodEvent filtered(event->preeditString(), event->attributes());
            filtered.setCommitString(kept, event->replacementStart(), event->replacementLength());
            QLineEdit::inputMethodEvent(&filtered);
            event->accept();
        });
}

namespace {
bool WithinWindow(Qt::FocusReason reason) {
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}
}  // namespace

void TEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (WithinWindow(event->reason()) && OnEnter) {
        OnEnter();
    }
}

void TEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (WithinWindow(event->reason()) && OnExit) {
        OnExit();
    }
}

namespace {

// The standard menu's Cut or Copy, known by Qt's own text for it (in the
// user's language), before the shortcut.
bool CopiesText(const QAction& action) {
    const QString text = action.text().section(QLatin1Char('\t'), 0, 0);
    const auto qtText = [](const char* source) { return QCoreApplication::translate("QLineEdit", source); };
    return text == qtText("Cu&t") || text == qtText("&Copy");
}

}  // namespace

void TEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    if (keepInside_) {
        for (QAction* action : menu->actions()) {
            if (CopiesText(*action)) action->setEnabled(false);
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TEdit::mouseReleaseEvent(QMouseEvent* event) {
    // Where the system has a primary selection, the line edit puts what the
    // mouse selected there on the left button's release.
    if (keepInside_ && event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

// ---- TListView ------------------------------------------------------------

TListView::TListView(QWidget* parent) : QTableWidget(0, 2, parent) {
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setDragEnabled(false);
    setAcceptDrops(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* header = horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
}

void TListView::AddRow(const window::TShownRow& shown) {
    const int row = rowCount();
    insertRow(row);
    const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    // Untrusted text in rich text: escaped, each paragraph kept as it is.
    QString tip;
    QStringList lines;
    for (const std::string& line : shown.tip) {
        const QString text = QString::fromStdString(line);
        tip += QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
        lines << text;
    }
    auto* first = new QTableWidgetItem(QString::fromStdString(shown.name));
    first->setToolTip(tip);
    first->setData(Qt::AccessibleDescriptionRole, lines.join(QLatin1Char('\n')));
    first->setFlags(flags);
    auto* second = new QTableWidgetItem(QString::fromStdString(shown.strength));
    second->setFlags(flags);
    setItem(row, 0, first);
    setItem(row, 1, second);
}

int TListView::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TListView::FitRowHeight() {
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

void TListView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const int row = window::RowToJoinOnEnter(SelectedRow(), currentIndex().isValid() ? currentIndex().row() : -1);
    if (enter && row >= 0 && OnDblClick) {
        if (SelectedRow() != row) selectRow(row);
        event->accept();
        OnDblClick();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void TListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && OnDblClick) {
        OnDblClick();
    }
}

}  // namespace melvorin::qt
