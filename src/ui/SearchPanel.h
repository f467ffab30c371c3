#pragma once
// Tools > Search: a panel docked below the panes that searches the open
// source with a filter, streams the entries found into a table that can be
// sorted and narrowed, goes to an entry in the tree, and saves the results.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "platform/Result.h"
#include "platform/Window.h"
#include "session/HistoryList.h"
#include "source/Search.h"
#include "source/SourceEvents.h"
#endif

#include <QDockWidget>
#include <memory>

class CDataSource;
class CLdapTreeView;
class CSearchResultModel;
class CSchema;
class CTarvoDoc;
class CWordCompleter;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QSpinBox;
class QTableView;
class QTimer;

class CSearchPanel : public QDockWidget, public CWnd, public ISourceEvents {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSearchPanel)

public:
    CSearchPanel(CTarvoDoc* pDocument, CLdapTreeView* pTree, QWidget* pParent = nullptr);
    ~CSearchPanel() override;

    // Shows the panel with the base taken from the selected entry and the
    // focus in the filter.
    void ShowForEntry(const CString& baseDN);

    void OnSearch();
    void OnStop();
    // Goes to the entry of a row of the (sorted, narrowed) table.
    void OnGoToRow(int nViewRow);
    // Save as CSV / LDIF to a path chosen in the file dialog. The LDIF file
    // holds whole entries: when the search asked for some attributes only,
    // the entries are read again first. FALSE when nothing was written.
    void OnSaveCsv();
    void OnSaveLdif();
    CResult WriteCsv(const CString& path);
    CResult WriteLdif(const CString& path);

    // Why the filter text cannot be sent, or empty.
    CString GetFilterError() const { return m_strFilterError; }
    // The attribute names of a valid filter that the schema does not know,
    // after kUnknownTypesText; shown, but the search may still run.
    CString GetFilterWarning() const { return m_strFilterWarning; }
    static const char* const kUnknownTypesText;
    bool IsSearching() const { return m_bSearching; }
    CString GetStatusText() const;

    // The running search's results and its end.
    void SearchResults(std::vector<CSearchResult>& batch) override;
    void SearchFinished(const CSearchOutcome& outcome) override;

    QComboBox* BaseCombo() const { return m_pBase; }
    QComboBox* ScopeCombo() const { return m_pScope; }
    QComboBox* FilterCombo() const { return m_pFilter; }
    QLabel* FilterErrorLabel() const { return m_pFilterError; }
    QLineEdit* AttributesEdit() const { return m_pAttributes; }
    QCheckBox* OperationalCheck() const { return m_pOperational; }
    QSpinBox* SizeLimitSpin() const { return m_pSizeLimit; }
    QLineEdit* NarrowEdit() const { return m_pNarrow; }
    QComboBox* SeparatorCombo() const { return m_pSeparator; }
    QTableView* ResultTable() const { return m_pTable; }
    CSearchResultModel* Results() const { return m_pResults; }
    QSortFilterProxyModel* ShownResults() const { return m_pShown; }

private:
    void ShowWriteFailure(const CString& path, const CResult& written);
    void CheckFilter();
    // Completes attribute names from the source's schema, once it has one.
    void UpdateNameCompletion();
    // Puts the results received so far into the table.
    void ShowPending();
    void SetSearching(bool bSearching);
    void ShowStatus();
    CString Separator() const;

    CTarvoDoc* m_pDocument;
    CLdapTreeView* m_pTree;
    CHistoryList m_baseHistory;
    CHistoryList m_filterHistory;
    QComboBox* m_pBase;
    QComboBox* m_pScope;
    QComboBox* m_pFilter;
    QLabel* m_pFilterError;
    QLineEdit* m_pAttributes;
    CWordCompleter* m_pNameCompleter = nullptr;
    std::shared_ptr<const CSchema> m_pCompletionSchema;
    QCheckBox* m_pOperational;
    QSpinBox* m_pSizeLimit;
    QPushButton* m_pSearch;
    QPushButton* m_pStop;
    QLineEdit* m_pNarrow;
    QTableView* m_pTable;
    QLabel* m_pStatus;
    QComboBox* m_pSeparator;
    QPushButton* m_pSaveCsv;
    QPushButton* m_pSaveLdif;
    CSearchResultModel* m_pResults;
    // Results received and not yet in the table (shown every 50 ms).
    std::vector<CSearchResult> m_pending;
    QTimer* m_pShowTimer;
    QSortFilterProxyModel* m_pShown;
    CString m_strFilterError;
    CString m_strFilterWarning;
    bool m_bSearching = false;
    // The source the shown results came from: rows of a closed session
    // cannot be gone to.
    CDataSource* m_pResultSource = nullptr;
    CSearchOutcome m_outcome;
    bool m_bHaveOutcome = false;
    // What the shown results were searched with.
    CSearchQuery m_lastQuery;
};
