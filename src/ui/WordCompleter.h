#pragma once
// Completes the word under the cursor of a line that holds a list of names
// ("cn, mail sn"), not the whole line as a plain QCompleter would.

#include <QCompleter>

class QLineEdit;

class CWordCompleter : public QCompleter {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CWordCompleter)

public:
    CWordCompleter(const QStringList& words, QLineEdit* pEdit);
    ~CWordCompleter() override = default;

    // The line with the word before the cursor replaced by the chosen one.
    static QString ReplaceWord(const QString& line, int nCursor, const QString& word, int* pnNewCursor);
    // The part of the word that ends at the cursor.
    static QString WordBefore(const QString& line, int nCursor);

private:
    QLineEdit* m_pEdit;
};
