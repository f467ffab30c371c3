#pragma once
// Text from servers and files in widgets: always plain text, never markup,
// and with every invisible or direction-changing character spelt out
// ("⟨U+202E⟩"), so that what the user reads is what the bytes say. Only
// what is shown changes: the bytes kept and sent back stay the server's.

// moc need not parse the C++20 library headers behind these.
#ifndef Q_MOC_RUN
#include "platform/String.h"
#endif

#include <QString>

class QLabel;
class QWidget;

// The text to show for bytes (UTF-8) or for a text already decoded.
QString ShownText(const CString& bytes);
QString ShownText(const QString& text);

// A tooltip that shows text exactly as it is: escaped inside markup of our
// own, so that the tooltip can never guess the text to be markup; the
// spelt-out marks in a colour of their own.
QString PlainToolTip(const QString& text);

// The look-alike warning for a text that mixes Latin letters with Cyrillic
// or Greek ones in one word; empty otherwise.
QString LookAlikeWarning(const QString& text);

// Puts server text into a label: plain text format, hidden characters spelt
// out, left-to-right as a DN reads, and the look-alike warning as its
// tooltip.
void SetPlainLabel(QLabel* pLabel, const QString& text);
QLabel* NewPlainLabel(const QString& text, QWidget* pParent);

// What a tooltip made by PlainToolTip reads as, in plain text.
QString ToolTipPlainText(const QString& toolTip);
