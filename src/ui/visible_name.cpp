#include "ui/visible_name.h"

#include <QCoreApplication>
#include <QByteArray>
#include <algorithm>

namespace melvorin::ui {

namespace {

bool Hides(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    case QChar::Separator_Space:
        return c != U' ';
    default:
        break;
    }
    // Blank letters and the joiner that a font draws as nothing.
    switch (c) {
    case 0x034F:
    case 0x115F:
    case 0x1160:
    case 0x2800:
    case 0x3164:
    case 0xFFA0:
        return true;
    default:
        return false;
    }
}

}  // namespace

VisibleName MakeVisible(const QString& name) {
    VisibleName out;
    for (char32_t c : name.toUcs4()) {
        if (Hides(c)) {
            out.Text += QStringLiteral("[U+%1]").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
            out.Marked = true;
        } else {
            out.Text += QString::fromUcs4(&c, 1);
        }
    }
    return out;
}

QString NameToolTip(const VisibleName& name, const TIdBytes& raw) {
    const auto pre = [](const QString& text) {
        return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
    };
    QString tip = pre(name.Text);
    const bool cut = std::find(raw.begin(), raw.end(), 0) != raw.end();
    if (name.Marked || cut || name.Text.contains(QChar::ReplacementCharacter)) {
        const QByteArray bytes(reinterpret_cast<const char*>(raw.data()), static_cast<qsizetype>(raw.size()));
        tip += pre(QCoreApplication::translate("melvorin::ui::TListView", "Bytes: %1")
                       .arg(QString::fromLatin1(bytes.toHex(' '))));
    }
    return tip;
}

}  // namespace melvorin::ui
