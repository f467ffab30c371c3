#include "platform/qt/PlainText.h"

#include "model/ShownText.h"
#include "platform/qt/QtServices.h"

#include <QLabel>
#include <QTextDocumentFragment>

QString ShownText(const CString& bytes) {
    return ToQString(CString(MakeHiddenVisible(bytes.Str())));
}

QString ShownText(const QString& text) {
    return ShownText(FromQString(text));
}

QString PlainToolTip(const QString& text) {
    const QString shown = ShownText(text);
    QString escaped = shown.toHtmlEscaped();
    // The marks are our own text: colour them where markup allows it.
    static const QString kOpen = QString::fromUtf8("\xE2\x9F\xA8");
    static const QString kClose = QString::fromUtf8("\xE2\x9F\xA9");
    if (escaped.contains(kOpen)) {
        escaped.replace(kOpen, QStringLiteral("<span style='color:#c00000'>") + kOpen);
        escaped.replace(kClose, kClose + QStringLiteral("</span>"));
    }
    return QStringLiteral("<p style='white-space:pre-wrap' dir='ltr'>") + escaped + QStringLiteral("</p>");
}

QString LookAlikeWarning(const QString& text) {
    return ToQString(CString(MixedScriptWarning(FromQString(text).Str())));
}

void SetPlainLabel(QLabel* pLabel, const QString& text) {
    pLabel->setTextFormat(Qt::PlainText);
    pLabel->setLayoutDirection(Qt::LeftToRight);
    pLabel->setText(ShownText(text));
    const QString warning = LookAlikeWarning(text);
    pLabel->setToolTip(warning.isEmpty() ? QString() : PlainToolTip(warning));
}

QLabel* NewPlainLabel(const QString& text, QWidget* pParent) {
    auto* pLabel = new QLabel(pParent);
    SetPlainLabel(pLabel, text);
    return pLabel;
}

QString ToolTipPlainText(const QString& toolTip) {
    if (!Qt::mightBeRichText(toolTip))
        return toolTip;
    return QTextDocumentFragment::fromHtml(toolTip).toPlainText();
}
