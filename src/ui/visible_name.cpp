#include "ui/visible_name.h"

#include <QCoreApplication>
#include <QByteArray>

#include "protocol/shown_name.h"

namespace melvorin::ui {

VisibleName MakeVisible(const QString& name) {
    const ShownName shown = ShowName(name.toStdString());
    return {QString::fromStdString(shown.text), shown.marked};
}

QString NameToolTip(const VisibleName& name, const TIdBytes& raw) {
    const auto pre = [](const QString& text) {
        return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
    };
    QString tip = pre(name.Text);
    if (NeedsBytes({name.Text.toStdString(), name.Marked}, raw)) {
        const QByteArray bytes(reinterpret_cast<const char*>(raw.data()), static_cast<qsizetype>(raw.size()));
        tip += pre(QCoreApplication::translate("melvorin::ui::TListView", "Bytes: %1")
                       .arg(QString::fromLatin1(bytes.toHex(' '))));
    }
    return tip;
}

}  // namespace melvorin::ui
