#include "ui/SearchPanel.h"

#include "ldif/LdifSyntax.h"
#include "ldif/LdifWriter.h"
#include "model/BinaryValue.h"
#include "model/DnHelper.h"
#include "model/SearchFilter.h"
#include "platform/Dispatcher.h"
#include "platform/Services.h"
#include "platform/qt/PlainText.h"
#include "session/TarvoDoc.h"
#include "source/DataSource.h"
#include "source/EntryCheck.h"
#include "ui/AttributeListEditor.h"
#include "ui/LdapTreeView.h"
#include "ui/ScreenFit.h"
#include "ui/SearchResultModel.h"
#include "ui/ShownTextDelegate.h"
#include "ui/WordCompleter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <map>

namespace {

const char* const kSearchBasesKey = "SearchPanelBases";
const char* const kSearchFiltersKey = "SearchFilters";
const char* const kCsvFilter = "CSV Files (*.csv) | *.csv|All Files (*.*) | *.*||";
const char* const kLdifFilter = "LDIF Files (*.ldif) | *.ldif|All Files (*.*) | *.*||";

// History entries are joined with ';', which filters may hold
// ("description;lang-de=x"): it is kept escaped in the profile.
CString EscapeHistory(const CString& text) {
    CString out = text;
    out.Replace("%", "%25");
    out.Replace(";", "%3B");
    return out;
}

CString UnescapeHistory(const CString& text) {
    CString out = text;
    out.Replace("%3B", ";");
    out.Replace("%25", "%");
    return out;
}

void FillCombo(QComboBox* pCombo, const CHistoryList& history, bool bEscaped) {
    pCombo->clear();
    for (const CString& entry : history.GetEntries())
        pCombo->addItem(BytesToText(bEscaped ? UnescapeHistory(entry) : entry));
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"')
            out += '"';
        out += ch;
    }
    return out + "\"";
}

// Ends a row on Enter: the table's own Enter would only move the current cell.
class CEnterFilter : public QObject {
public:
    CEnterFilter(QObject* pParent, std::function<void()> fnEnter)
        : QObject(pParent), m_fnEnter(std::move(fnEnter)) {}
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::KeyPress) {
            int nKey = static_cast<QKeyEvent*>(pEvent)->key();
            if (nKey == Qt::Key_Return || nKey == Qt::Key_Enter) {
                m_fnEnter();
                return true;
            }
        }
        return QObject::eventFilter(pWatched, pEvent);
    }

private:
    std::function<void()> m_fnEnter;
};

// Collects a search's results by DN, for a save that needs every attribute.
class CFullEntrySink : public CWnd, public ISourceEvents {
public:
    ~CFullEntrySink() override { DestroyWindowHandle(); }
    void SearchResults(std::vector<CSearchResult>& batch) override {
        for (CSearchResult& result : batch)
            m_byDN[result.strDN.Str()] = std::move(result);
    }
    void SearchFinished(const CSearchOutcome& outcome) override {
        m_outcome = outcome;
        m_bDone = true;
    }
    std::map<std::string, CSearchResult> m_byDN;
    CSearchOutcome m_outcome;
    bool m_bDone = false;
};

} // namespace

CSearchPanel::CSearchPanel(CTarvoDoc* pDocument, CLdapTreeView* pTree, QWidget* pParent)
    : QDockWidget(QStringLiteral("Search"), pParent), m_pDocument(pDocument), m_pTree(pTree),
      m_baseHistory(kHistoryLength), m_filterHistory(kHistoryLength) {
    setObjectName(QStringLiteral("SearchPanel"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);
    m_baseHistory.Load(kSearchBasesKey, "");
    m_filterHistory.Load(kSearchFiltersKey, "");

    auto* pBody = new QWidget(this);
    m_pBase = new QComboBox(pBody);
    m_pBase->setEditable(true);
    m_pBase->setInsertPolicy(QComboBox::NoInsert);
    FillCombo(m_pBase, m_baseHistory, false);
    m_pScope = new QComboBox(pBody);
    m_pScope->addItems({QStringLiteral("Base"), QStringLiteral("One level"), QStringLiteral("Subtree")});
    m_pScope->setCurrentIndex(SEARCH_SCOPE_SUBTREE);
    m_pFilter = new QComboBox(pBody);
    m_pFilter->setEditable(true);
    m_pFilter->setInsertPolicy(QComboBox::NoInsert);
    FillCombo(m_pFilter, m_filterHistory, true);
    if (m_pFilter->count() == 0)
        m_pFilter->setEditText(QStringLiteral("(objectClass=*)"));
    m_pFilterError = new QLabel(pBody);
    m_pFilterError->setTextFormat(Qt::PlainText);
    m_pFilterError->setStyleSheet(QStringLiteral("color: #b00020"));
    m_pFilterError->setWordWrap(true);
    m_pAttributes = new QLineEdit(QStringLiteral("*"), pBody);
    // The schema may arrive after the panel was first shown.
    connect(m_pAttributes, &QLineEdit::textEdited, this, &CSearchPanel::UpdateNameCompletion);
    m_pOperational = new QCheckBox(QStringLiteral("&Operational attributes (+)"), pBody);
    m_pSizeLimit = new QSpinBox(pBody);
    m_pSizeLimit->setRange(0, 100000000);
    m_pSizeLimit->setValue(1000);
    m_pSizeLimit->setSpecialValueText(QStringLiteral("No limit"));
    m_pSizeLimit->setGroupSeparatorShown(true);
    m_pSearch = new QPushButton(QStringLiteral("&Search"), pBody);
    m_pStop = new QPushButton(QStringLiteral("S&top"), pBody);
    m_pStop->setEnabled(false);

    m_pNarrow = new QLineEdit(pBody);
    m_pNarrow->setPlaceholderText(QStringLiteral("Show only rows containing..."));
    m_pNarrow->setClearButtonEnabled(true);
    m_pResults = new CSearchResultModel(this);
    m_pShown = new QSortFilterProxyModel(this);
    m_pShown->setSourceModel(m_pResults);
    m_pShown->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_pShown->setFilterKeyColumn(-1);
    m_pShown->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_pTable = new QTableView(pBody);
    m_pTable->setModel(m_pShown);
    m_pTable->setSortingEnabled(true);
    m_pTable->sortByColumn(-1, Qt::AscendingOrder); // server order until a header is clicked
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->verticalHeader()->setVisible(false);
    m_pTable->verticalHeader()->setDefaultSectionSize(m_pTable->fontMetrics().height() + 6);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    // Column widths from a sample of the first rows: measuring every row's
    // text of a large first batch would hold up the window.
    m_pTable->horizontalHeader()->setResizeContentsPrecision(50);
    m_pTable->setWordWrap(false);
    // DNs read left to right, whatever letters they hold.
    m_pTable->setLayoutDirection(Qt::LeftToRight);
    m_pTable->setItemDelegate(new CShownTextDelegate(m_pTable));
    m_pStatus = new QLabel(pBody);
    // Both carry server messages: never markup.
    m_pStatus->setTextFormat(Qt::PlainText);
    m_pSeparator = new QComboBox(pBody);
    m_pSeparator->addItem(QStringLiteral("; "), QStringLiteral("; "));
    m_pSeparator->addItem(QStringLiteral("|"), QStringLiteral("|"));
    m_pSeparator->addItem(QStringLiteral(", "), QStringLiteral(", "));
    m_pSeparator->addItem(QStringLiteral("Line break"), QStringLiteral("\n"));
    m_pSaveCsv = new QPushButton(QStringLiteral("Save as &CSV..."), pBody);
    m_pSaveLdif = new QPushButton(QStringLiteral("Save as &LDIF..."), pBody);

    // Labels with buddies, so their mnemonics reach the fields.
    auto label = [pBody](const char* pszText, QWidget* pBuddy) {
        auto* pLabel = new QLabel(QString::fromUtf8(pszText), pBody);
        pLabel->setBuddy(pBuddy);
        return pLabel;
    };
    auto* pForm = new QFormLayout;
    pForm->addRow(label("&Base:", m_pBase), m_pBase);
    auto* pScopeRow = new QHBoxLayout;
    pScopeRow->addWidget(m_pScope);
    pScopeRow->addWidget(label("Size &limit:", m_pSizeLimit));
    pScopeRow->addWidget(m_pSizeLimit);
    pScopeRow->addStretch();
    pForm->addRow(label("Sc&ope:", m_pScope), pScopeRow);
    pForm->addRow(label("&Filter:", m_pFilter), m_pFilter);
    pForm->addRow(QString(), m_pFilterError);
    auto* pAttributesRow = new QHBoxLayout;
    pAttributesRow->addWidget(m_pAttributes, 1);
    pAttributesRow->addWidget(m_pOperational);
    pForm->addRow(label("&Attributes:", m_pAttributes), pAttributesRow);
    auto* pButtons = new QHBoxLayout;
    pButtons->addWidget(m_pSearch);
    pButtons->addWidget(m_pStop);
    pButtons->addStretch();
    pButtons->addWidget(label("Show &rows:", m_pNarrow));
    pButtons->addWidget(m_pNarrow, 1);
    auto* pSaveRow = new QHBoxLayout;
    pSaveRow->addWidget(m_pStatus, 1);
    pSaveRow->addWidget(label("Values &joined by:", m_pSeparator));
    pSaveRow->addWidget(m_pSeparator);
    pSaveRow->addWidget(m_pSaveCsv);
    pSaveRow->addWidget(m_pSaveLdif);
    auto* pLayout = new QVBoxLayout(pBody);
    pLayout->addLayout(pForm);
    pLayout->addLayout(pButtons);
    pLayout->addWidget(m_pTable, 1);
    pLayout->addLayout(pSaveRow);
    // Scrolls where the window has no room for the whole panel.
    setWidget(MakeScrollingPage(pBody));

    m_pShowTimer = new QTimer(this);
    m_pShowTimer->setSingleShot(true);
    m_pShowTimer->setInterval(50);
    connect(m_pShowTimer, &QTimer::timeout, this, &CSearchPanel::ShowPending);
    connect(m_pFilter, &QComboBox::editTextChanged, this, &CSearchPanel::CheckFilter);
    connect(m_pSearch, &QPushButton::clicked, this, &CSearchPanel::OnSearch);
    connect(m_pStop, &QPushButton::clicked, this, &CSearchPanel::OnStop);
    connect(m_pNarrow, &QLineEdit::textChanged, m_pShown, &QSortFilterProxyModel::setFilterFixedString);
    connect(m_pNarrow, &QLineEdit::textChanged, this, &CSearchPanel::ShowStatus);
    connect(m_pTable, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { OnGoToRow(index.row()); });
    connect(m_pSaveCsv, &QPushButton::clicked, this, &CSearchPanel::OnSaveCsv);
    connect(m_pSaveLdif, &QPushButton::clicked, this, &CSearchPanel::OnSaveLdif);
    // Enter in a field searches; Enter on a row goes to its entry.
    auto* pSearchOnEnter = new CEnterFilter(this, [this]() { OnSearch(); });
    for (QWidget* pField : {static_cast<QWidget*>(m_pBase), static_cast<QWidget*>(m_pFilter),
                            static_cast<QWidget*>(m_pAttributes), static_cast<QWidget*>(m_pSizeLimit)})
        pField->installEventFilter(pSearchOnEnter);
    m_pBase->lineEdit()->installEventFilter(pSearchOnEnter);
    m_pFilter->lineEdit()->installEventFilter(pSearchOnEnter);
    m_pTable->installEventFilter(new CEnterFilter(this, [this]() {
        QModelIndex current = m_pTable->currentIndex();
        if (current.isValid())
            OnGoToRow(current.row());
    }));
    CheckFilter();
    ShowStatus();
}

CSearchPanel::~CSearchPanel() {
    DestroyWindowHandle();
    if (m_bSearching)
        if (CDataSource* pSource = m_pDocument->GetDataSource())
            pSource->StopSearch();
}

void CSearchPanel::ShowForEntry(const CString& baseDN) {
    if (!baseDN.IsEmpty())
        m_pBase->setEditText(BytesToText(baseDN));
    UpdateNameCompletion();
    show();
    raise();
    m_pFilter->setFocus();
    m_pFilter->lineEdit()->selectAll();
}

void CSearchPanel::UpdateNameCompletion() {
    CDataSource* pSource = m_pDocument ? m_pDocument->GetDataSource() : nullptr;
    std::shared_ptr<const CSchema> pSchema = pSource ? pSource->GetSchema() : nullptr;
    if (!pSchema || pSchema == m_pCompletionSchema)
        return;
    QStringList names;
    for (const CString& name : CompletionNames(*pSchema, {}, true))
        names << BytesToText(name);
    delete m_pNameCompleter;
    m_pNameCompleter = new CWordCompleter(names, m_pAttributes);
    m_pCompletionSchema = std::move(pSchema);
}

const char* const CSearchPanel::kUnknownTypesText = "Not in the directory's schema: ";

void CSearchPanel::CheckFilter() {
    CString error;
    std::unique_ptr<CSearchFilter> pFilter =
        CSearchFilter::Parse(TextToBytes(m_pFilter->currentText()).View(), error);
    m_strFilterError = error;
    // Names the schema does not know are only a warning: the search may
    // still be what the user wants (a server with more than it publishes).
    m_strFilterWarning.Empty();
    CDataSource* pSource = m_pDocument ? m_pDocument->GetDataSource() : nullptr;
    std::shared_ptr<const CSchema> pSchema = pSource ? pSource->GetSchema() : nullptr;
    if (pFilter && pSchema) {
        std::vector<std::string> types;
        pFilter->CollectTypes(types);
        for (const std::string& type : types)
            if (!pSchema->FindAttributeType(CString(type)) && m_strFilterWarning.Find(CString(type)) < 0)
                m_strFilterWarning +=
                    (m_strFilterWarning.IsEmpty() ? CString(kUnknownTypesText) : CString(", ")) +
                    CString(type);
    }
    const CString shown = error.IsEmpty() ? m_strFilterWarning : error;
    m_pFilterError->setText(ShownText(shown));
    m_pFilterError->setVisible(!shown.IsEmpty());
    m_pSearch->setEnabled(error.IsEmpty() && !m_bSearching);
}

void CSearchPanel::SetSearching(bool bSearching) {
    m_bSearching = bSearching;
    m_pStop->setEnabled(bSearching);
    m_pSearch->setEnabled(!bSearching && m_strFilterError.IsEmpty());
    ShowStatus();
}

CString CSearchPanel::GetStatusText() const {
    CSearchOutcome outcome = m_outcome;
    outcome.nCount = m_pResults->GetResultCount();
    if (!m_bSearching && !m_bHaveOutcome)
        return CString();
    CString text = DescribeSearchOutcome(outcome, m_lastQuery.nSizeLimit);
    if (m_bSearching)
        text += "...";
    int nShown = m_pShown->rowCount();
    if (nShown != outcome.nCount) {
        CString shown;
        shown.Format(", %d shown", nShown);
        text += shown;
    }
    return text;
}

void CSearchPanel::ShowStatus() {
    m_pStatus->setText(ShownText(GetStatusText()));
    bool bRows = m_pResults->GetResultCount() > 0;
    m_pSaveCsv->setEnabled(bRows && !m_bSearching);
    m_pSaveLdif->setEnabled(bRows && !m_bSearching);
}

void CSearchPanel::OnSearch() {
    CDataSource* pSource = m_pDocument->GetDataSource();
    CheckFilter();
    if (!pSource || m_bSearching || !m_strFilterError.IsEmpty())
        return;
    CSearchQuery query;
    query.strBase = TextToBytes(m_pBase->currentText());
    // Checked before it is remembered, as on the login page.
    if (!DnIsValid(query.strBase.View())) {
        AfxMessageBox("Error - Invalid Search Base.", MB_OK | MB_ICONSTOP);
        m_pBase->setFocus(Qt::OtherFocusReason);
        return;
    }
    query.nScope = m_pScope->currentIndex();
    CString filter = TextToBytes(m_pFilter->currentText());
    filter.Trim();
    // The server takes a filter in parentheses; "cn=x" is typed often.
    query.strFilter = filter.GetLength() > 0 && filter[0] == '(' ? filter : "(" + filter + ")";
    for (const QString& name :
         m_pAttributes->text().split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts))
        query.attributes.Add(TextToBytes(name));
    if (m_pOperational->isChecked()) {
        if (query.attributes.IsEmpty())
            query.attributes.Add("*");
        query.attributes.Add("+");
    }
    query.nSizeLimit = m_pSizeLimit->value();

    m_baseHistory.Add(query.strBase);
    m_baseHistory.Store(kSearchBasesKey);
    m_filterHistory.Add(EscapeHistory(filter));
    m_filterHistory.Store(kSearchFiltersKey);
    QString base = m_pBase->currentText();
    QString typedFilter = m_pFilter->currentText();
    FillCombo(m_pBase, m_baseHistory, false);
    FillCombo(m_pFilter, m_filterHistory, true);
    m_pBase->setEditText(base);
    m_pFilter->setEditText(typedFilter);

    // The new rows come in the server's order: no arrow may claim another.
    m_pTable->sortByColumn(-1, Qt::AscendingOrder);
    m_pending.clear();
    m_pResults->Clear();
    m_bHaveOutcome = false;
    m_outcome = CSearchOutcome();
    m_pResultSource = pSource;
    m_lastQuery = query;
    SetSearching(true);
    pSource->Search(query, this);
}

void CSearchPanel::OnStop() {
    if (!m_bSearching)
        return;
    if (CDataSource* pSource = m_pDocument->GetDataSource())
        pSource->StopSearch();
}

void CSearchPanel::SearchResults(std::vector<CSearchResult>& batch) {
    // Taken at once so the worker goes on reading; shown together with
    // what else arrives before the next turn of the table's refresh.
    for (CSearchResult& result : batch)
        m_pending.push_back(std::move(result));
    if (m_pResults->GetResultCount() == 0)
        ShowPending();
    else if (!m_pShowTimer->isActive())
        m_pShowTimer->start();
}

void CSearchPanel::SearchFinished(const CSearchOutcome& outcome) {
    ShowPending();
    m_outcome = outcome;
    m_bHaveOutcome = true;
    SetSearching(false);
}

void CSearchPanel::ShowPending() {
    m_pShowTimer->stop();
    if (m_pending.empty())
        return;
    bool bFirst = m_pResults->GetResultCount() == 0;
    m_pResults->Append(m_pending);
    m_pending.clear();
    if (bFirst)
        m_pTable->resizeColumnsToContents();
    ShowStatus();
}

void CSearchPanel::OnGoToRow(int nViewRow) {
    QModelIndex index = m_pShown->mapToSource(m_pShown->index(nViewRow, 0));
    if (!index.isValid())
        return;
    if (m_pResultSource != m_pDocument->GetDataSource() || !m_pTree) {
        m_pStatus->setText(QStringLiteral("These results belong to a session that is closed."));
        return;
    }
    m_pTree->GoToEntry(m_pResults->Result(index.row()).strDN);
}

CString CSearchPanel::Separator() const {
    return TextToBytes(m_pSeparator->currentData().toString());
}

CResult CSearchPanel::WriteCsv(const CString& path) {
    // RFC 4180: CR LF between rows, quotes doubled; values that are not
    // text are written in base 64 with a "base64:" prefix, never cut.
    std::string out;
    int nColumns = m_pResults->GetColumnCount();
    for (int c = 0; c < nColumns; ++c)
        out += (c ? "," : "") + CsvField(m_pResults->GetColumnName(c).Str());
    out += "\r\n";
    std::string separator = Separator().Str();
    for (int nViewRow = 0; nViewRow < m_pShown->rowCount(); ++nViewRow) {
        int nRow = m_pShown->mapToSource(m_pShown->index(nViewRow, 0)).row();
        for (int c = 0; c < nColumns; ++c) {
            std::string field;
            CString name = m_pResults->GetColumnName(c);
            std::vector<CString> values = m_pResults->Values(nRow, c);
            for (size_t i = 0; i < values.size(); ++i) {
                if (i > 0)
                    field += separator;
                field += c > 0 && IsBinaryValue(name, values[i]) ? "base64:" + Base64Encode(values[i].View())
                                                                 : values[i].Str();
            }
            out += (c ? "," : "") + CsvField(field);
        }
        out += "\r\n";
    }
    return WriteFileReplacing(path, out);
}

CResult CSearchPanel::WriteLdif(const CString& path) {
    // The file holds whole entries even when the table shows only some of
    // their attributes: those are read again, with every user attribute.
    CFullEntrySink full;
    bool bWhole = m_lastQuery.attributes.IsEmpty() ||
                  (m_lastQuery.attributes.GetSize() <= 2 && m_lastQuery.attributes[0] == "*");
    if (!bWhole) {
        CDataSource* pSource = m_pDocument->GetDataSource();
        if (!pSource || pSource != m_pResultSource)
            return CResult::Failure("The source of these results is closed.");
        CSearchQuery query = m_lastQuery;
        query.attributes.RemoveAll();
        query.nSizeLimit = 0;
        QProgressDialog progress(QStringLiteral("Reading the entries' attributes..."),
                                 QStringLiteral("Cancel"), 0, 0, this);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        pSource->Search(query, &full);
        while (!full.m_bDone) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            CMessageDispatcher::Instance().DrainPendingSends();
            if (progress.wasCanceled())
                pSource->StopSearch();
        }
        if (full.m_outcome.bStopped)
            return CResult::Failure("The entries were not read again: the search was stopped.");
        if (full.m_outcome.bFailed)
            return CResult::Failure(full.m_outcome.strMessage);
    }
    std::string out = "version: 1\r\n\r\n";
    for (int nViewRow = 0; nViewRow < m_pShown->rowCount(); ++nViewRow) {
        const CSearchResult* pResult =
            &m_pResults->Result(m_pShown->mapToSource(m_pShown->index(nViewRow, 0)).row());
        if (!bWhole) {
            auto it = full.m_byDN.find(pResult->strDN.Str());
            if (it == full.m_byDN.end())
                continue; // gone from the directory since
            pResult = &it->second;
        }
        if (pResult->strDN.IsEmpty())
            continue; // the root DSE is no entry to import
        // Names that are no attribute descriptions are left out, as in every
        // LDIF the program writes.
        AppendRecordText(out, pResult->strDN, pResult->attributes, "\r\n");
    }
    return WriteFileReplacing(path, out);
}

void CSearchPanel::ShowWriteFailure(const CString& path, const CResult& written) {
    if (!written)
        AfxMessageBox("The results could not be written to " + path + "." +
                          (written.Reason().IsEmpty() ? CString() : "\n" + written.Reason()),
                      MB_OK | MB_ICONSTOP);
}

void CSearchPanel::OnSaveCsv() {
    CString path;
    if (!CServices::FileDialogs().ChooseFile(FALSE, "Save as CSV", "search-results.csv", kCsvFilter, FALSE,
                                             path))
        return;
    ShowWriteFailure(path, WriteCsv(path));
}

void CSearchPanel::OnSaveLdif() {
    CString path;
    if (!CServices::FileDialogs().ChooseFile(FALSE, "Save as LDIF", "search-results.ldif", kLdifFilter, FALSE,
                                             path))
        return;
    ShowWriteFailure(path, WriteLdif(path));
}
