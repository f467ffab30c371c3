#include "session/LoginPage.h"

#include "platform/qt/QtServices.h"
#include "session/HelpWindow.h"
#include "session/HistoryList.h"
#include "session/Icons.h"
#include "session/LoginSheet.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CLoginPage::CLoginPage(CLoginSheet* pSheet, const QString& caption, int nVersionControlId, int nHelpControlId)
    : QWidget(nullptr), m_pSheet(pSheet), m_caption(caption) {
    auto* pLayout = new QVBoxLayout(this);

    // Heading: picture, product title, version and maker lines.
    auto* pHeading = new QHBoxLayout;
    auto* pPicture = new QLabel(this);
    pPicture->setPixmap(MakeLoginPicture());
    pHeading->addWidget(pPicture, 0, Qt::AlignTop);
    auto* pLines = new QVBoxLayout;
    auto* pTitle = new QLabel(QStringLiteral("Tarvo"), this);
    QFont titleFont = pTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    pTitle->setFont(titleFont);
    m_pVersion = new QLabel(QStringLiteral("Version 1.03A"), this);
    m_pVersion->setObjectName(QStringLiteral("control%1").arg(nVersionControlId));
    pLines->addWidget(pTitle);
    pLines->addWidget(m_pVersion);
    pLines->addWidget(new QLabel(QStringLiteral("Brennick Software"), this));
    pLines->addWidget(new QLabel(QStringLiteral("A browser and editor for LDAP directories"), this));
    pHeading->addLayout(pLines, 1);
    pLayout->addLayout(pHeading);

    auto* pGroup = new QGroupBox(QStringLiteral("Login"), this);
    m_pFields = new QFormLayout(pGroup);
    pLayout->addWidget(pGroup, 1);

    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(1);
    m_pOK = new QPushButton(QStringLiteral("&OK"), this);
    m_pOK->setDefault(true);
    m_pCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_pHelp = new QPushButton(QStringLiteral("&Help"), this);
    m_pHelp->setObjectName(QStringLiteral("control%1").arg(nHelpControlId));
    pButtons->addWidget(m_pOK);
    pButtons->addWidget(m_pCancel);
    pButtons->addWidget(m_pHelp);
    pLayout->addLayout(pButtons);

    connect(m_pOK, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(m_pCancel, &QPushButton::clicked, this, [this] { OnCancel(); });
    connect(m_pHelp, &QPushButton::clicked, this, &CLoginPage::OnHelp);
}

CLoginPage::~CLoginPage() = default;

void CLoginPage::AddField(const QString& label, QWidget* pField, QWidget* pBuddy) {
    auto* pLabel = new QLabel(label, this);
    pLabel->setBuddy(pBuddy ? pBuddy : pField);
    m_pFields->addRow(pLabel, pField);
}

QList<QWidget*> CLoginPage::GetTabChain() const {
    QList<QWidget*> chain;
    for (int nRow = 0; nRow < m_pFields->rowCount(); ++nRow) {
        QLayoutItem* pItem = m_pFields->itemAt(nRow, QFormLayout::FieldRole);
        QWidget* pField = pItem ? pItem->widget() : nullptr;
        if (!pField)
            continue;
        if (pField->focusPolicy() & Qt::TabFocus)
            chain << pField;
        // A row of a field and its button, in the order its layout shows them.
        if (QLayout* pRow = pField->layout()) {
            for (int i = 0; i < pRow->count(); ++i)
                if (QWidget* pChild = pRow->itemAt(i)->widget();
                    pChild && (pChild->focusPolicy() & Qt::TabFocus))
                    chain << pChild;
        }
    }
    chain << m_pOK << m_pCancel << m_pHelp;
    return chain;
}

const char* const CLoginPage::kOptionalField = "optionalField";

QWidget* CLoginPage::GetFirstEmptyField() const {
    // The typed fields come first; the rows from the first choice list on
    // are settings that may stay empty.
    for (QWidget* pWidget : GetTabChain()) {
        auto* pCombo = qobject_cast<QComboBox*>(pWidget);
        auto* pEdit = qobject_cast<QLineEdit*>(pWidget);
        if (pCombo && !pCombo->isEditable())
            break;
        if (pWidget->property(kOptionalField).toBool())
            continue;
        const bool bEmpty = pCombo ? pCombo->currentText().isEmpty() : pEdit && pEdit->text().isEmpty();
        if (bEmpty && pWidget->isEnabled())
            return pWidget;
    }
    return m_pOK;
}

void CLoginPage::EnsureInitialized() {
    if (m_bInitialized)
        return;
    m_bInitialized = true;
    OnInitDialog();
    // The buttons were made before the fields: Tab goes through the fields
    // as they read, then OK, Cancel and Help.
    const QList<QWidget*> chain = GetTabChain();
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
    // Enter anywhere on the page is its OK.
    WatchKeys(this);
}

void CLoginPage::WatchKeys(QObject* pObject) {
    pObject->installEventFilter(this);
    for (QObject* pChild : pObject->children())
        if (pChild->isWidgetType())
            WatchKeys(pChild);
}

void CLoginPage::showEvent(QShowEvent* pEvent) {
    EnsureInitialized();
    QWidget::showEvent(pEvent);
}

bool CLoginPage::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::KeyPress) {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_Return || pKey->key() == Qt::Key_Enter) {
            // One OK per press: a held key's repeats are swallowed, and the
            // release never reaches here as a press.
            if (!pKey->isAutoRepeat())
                OnOK();
            return true;
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

bool CLoginPage::IsActivePage() const {
    return m_pSheet->GetPageIndex(this) == m_pSheet->GetActivePageIndex();
}

void CLoginPage::OnCancel() {
    m_pSheet->EndSheet(0);
}

void CLoginPage::OnHelp() {
    ShowHelpContents(this);
}

QComboBox* CLoginPage::NewCombo(QWidget* pParent) {
    auto* pCombo = new QComboBox(pParent);
    pCombo->setEditable(true);
    // The page decides what enters the list, not the Enter key.
    pCombo->setInsertPolicy(QComboBox::NoInsert);
    pCombo->setMinimumContentsLength(28);
    pCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return pCombo;
}

CString CLoginPage::ComboText(const QComboBox* pCombo) {
    return FromQString(pCombo->currentText());
}

int CLoginPage::AddComboString(QComboBox* pCombo, const QString& text, bool bSorted) {
    const QString typed = pCombo->currentText();
    int nIndex = pCombo->count();
    if (bSorted) {
        // The list's own order: case-insensitive, an equal text goes after
        // those already there.
        nIndex = 0;
        while (nIndex < pCombo->count() && pCombo->itemText(nIndex).compare(text, Qt::CaseInsensitive) <= 0)
            ++nIndex;
    }
    const QSignalBlocker blocker(pCombo);
    pCombo->insertItem(nIndex, text);
    if (pCombo->currentText() != typed)
        pCombo->setEditText(typed);
    return nIndex;
}

void CLoginPage::FillCombo(QComboBox* pCombo, const CHistoryList& history, bool bSorted) {
    for (const CString& entry : history.GetEntries())
        AddComboString(pCombo, ToQString(entry), bSorted);
    if (!history.GetEntries().IsEmpty())
        pCombo->setCurrentIndex(0);
}
