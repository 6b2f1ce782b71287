#include "qt/status_line.h"

#include "qt/accessible.h"

namespace melvorin::qt {

TStatusLine::TStatusLine(QWidget* parent) : QLabel(parent), announcer_(new TAnnouncer(this)) {
    setObjectName(QStringLiteral("lblStatus"));
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
}

void TStatusLine::Show(const QString& line) {
    const QString before = text();
    setText(line);
    // Qt takes a tooltip that looks like markup as rich text: the line
    // carries names from the network, so it goes in escaped.
    setToolTip(QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(line.toHtmlEscaped()));
    if (line != before) AnnounceTextChange(this, before, line);
}

}  // namespace melvorin::qt
