#pragma once
// What the two login pages share: the heading with picture, title and
// version, the "Login" group, the page's own OK, Cancel and Help buttons,
// Enter as OK, and filling combo boxes from history lists.

// moc need not parse the C++20 library headers behind these.
#ifndef Q_MOC_RUN
#include "platform/String.h"
#include "platform/Types.h"
#endif

#include <QWidget>

class CHistoryList;
class CLoginSheet;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QPushButton;

class CLoginPage : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLoginPage)

public:
    CLoginPage(CLoginSheet* pSheet, const QString& caption, int nVersionControlId, int nHelpControlId);
    ~CLoginPage() override;

    CLoginSheet* GetSheet() const { return m_pSheet; }
    QString GetCaption() const { return m_caption; }
    QPushButton* GetOKButton() const { return m_pOK; }
    QPushButton* GetCancelButton() const { return m_pCancel; }
    QPushButton* GetHelpButton() const { return m_pHelp; }
    // The version line ("Version 1.03A").
    QLabel* GetVersionLabel() const { return m_pVersion; }

    // The fields' controls in reading order, each row's browse button after
    // its field.
    QList<QWidget*> GetTabChain() const;
    // Where typing should start: the first empty field, else OK.
    QWidget* GetFirstEmptyField() const;
    // A field with this property set true may stay empty: typing does not
    // start there.
    static const char* const kOptionalField;

    // Page initialisation, run once when the page is first shown.
    void EnsureInitialized();
    bool IsInitialized() const { return m_bInitialized; }

    virtual BOOL ValidateInput() = 0;
    virtual void OnOK() = 0;
    virtual void OnCancel();
    void OnHelp();

    // Adds text as a new item of the combo's list (in sorted place for a
    // sorted combo), leaving what is typed in the edit field as it is.
    static int AddComboString(QComboBox* pCombo, const QString& text, bool bSorted);
    // Fills the list from a history and selects item 0 when there is one.
    static void FillCombo(QComboBox* pCombo, const CHistoryList& history, bool bSorted);
    static QComboBox* NewCombo(QWidget* pParent);
    static CString ComboText(const QComboBox* pCombo);

protected:
    virtual void OnInitDialog() = 0;
    // This page is the one the sheet shows.
    bool IsActivePage() const;
    // A labelled field in the "Login" group; the label's key goes to
    // pBuddy, or to the field itself.
    void AddField(const QString& label, QWidget* pField, QWidget* pBuddy = nullptr);
    QFormLayout* GetFieldLayout() const { return m_pFields; }

    void showEvent(QShowEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void WatchKeys(QObject* pObject);

    CLoginSheet* m_pSheet;
    QString m_caption;
    QLabel* m_pVersion = nullptr;
    QFormLayout* m_pFields = nullptr;
    QPushButton* m_pOK = nullptr;
    QPushButton* m_pCancel = nullptr;
    QPushButton* m_pHelp = nullptr;
    bool m_bInitialized = false;
};
