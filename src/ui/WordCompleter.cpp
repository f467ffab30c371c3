#include "ui/WordCompleter.h"

#include <QAbstractItemView>
#include <QLineEdit>

#include <algorithm>

namespace {

bool IsSeparator(QChar c) {
    return c.isSpace() || c == QLatin1Char(',');
}

int WordStart(const QString& line, int nCursor) {
    int nStart = std::clamp(nCursor, 0, static_cast<int>(line.size()));
    while (nStart > 0 && !IsSeparator(line[nStart - 1]))
        --nStart;
    return nStart;
}

} // namespace

CWordCompleter::CWordCompleter(const QStringList& words, QLineEdit* pEdit)
    : QCompleter(words, pEdit), m_pEdit(pEdit) {
    setCaseSensitivity(Qt::CaseInsensitive);
    setModelSorting(QCompleter::UnsortedModel);
    setWidget(pEdit);
    // QLineEdit's own completer handling replaces the whole line; this one
    // puts the choice in place of the word being typed.
    connect(pEdit, &QLineEdit::textEdited, this, [this] {
        const QString prefix = WordBefore(m_pEdit->text(), m_pEdit->cursorPosition());
        if (prefix.isEmpty()) {
            popup()->hide();
            return;
        }
        setCompletionPrefix(prefix);
        if (completionCount() == 0)
            popup()->hide();
        else
            complete();
    });
    connect(this, qOverload<const QString&>(&QCompleter::activated), this, [this](const QString& word) {
        int nCursor = 0;
        m_pEdit->setText(ReplaceWord(m_pEdit->text(), m_pEdit->cursorPosition(), word, &nCursor));
        m_pEdit->setCursorPosition(nCursor);
    });
}

QString CWordCompleter::WordBefore(const QString& line, int nCursor) {
    const int nStart = WordStart(line, nCursor);
    return line.mid(nStart, nCursor - nStart);
}

QString CWordCompleter::ReplaceWord(const QString& line, int nCursor, const QString& word, int* pnNewCursor) {
    const int nStart = WordStart(line, nCursor);
    int nEnd = std::clamp(nCursor, 0, static_cast<int>(line.size()));
    while (nEnd < line.size() && !IsSeparator(line[nEnd]))
        ++nEnd;
    if (pnNewCursor)
        *pnNewCursor = nStart + static_cast<int>(word.size());
    return line.left(nStart) + word + line.mid(nEnd);
}
