#pragma once
// Tools > Schema: the object classes, attribute types, syntaxes and matching
// rules of the open source's schema, each a filterable list beside the
// details of the chosen one, with links from one definition to another.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "source/Schema.h"
#endif

#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;
class QUrl;

class CSchemaBrowser : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSchemaBrowser)

public:
    enum EPage { kObjectClasses, kAttributeTypes, kSyntaxes, kMatchingRules, kPageCount };

    explicit CSchemaBrowser(QWidget* pParent = nullptr);

    // Shows this schema (NULL: the source has none).
    void SetSchema(std::shared_ptr<const CSchema> pSchema);
    // Goes to the page and selects the definition with this name or OID;
    // false when the page has none.
    bool ShowDefinition(EPage ePage, const QString& name);

    QTabWidget* Tabs() const { return m_pTabs; }
    QLineEdit* FilterEdit(EPage ePage) const { return m_pages[ePage].pFilter; }
    QListWidget* List(EPage ePage) const { return m_pages[ePage].pList; }
    QTextBrowser* Details(EPage ePage) const { return m_pages[ePage].pDetails; }
    // What the details pane shows, as plain text.
    QString DetailsText(EPage ePage) const;
    // A link in a details pane (tests follow them like a click).
    void OnLink(const QUrl& url);

private:
    struct CPage {
        QLineEdit* pFilter = nullptr;
        QListWidget* pList = nullptr;
        QTextBrowser* pDetails = nullptr;
    };
    void Fill(EPage ePage);
    void ApplyFilter(EPage ePage);
    void ShowDetails(EPage ePage);
    QString ObjectClassDetails(const CSchemaObjectClass& objectClass) const;
    QString AttributeTypeDetails(const CSchemaAttributeType& type) const;
    QString SyntaxDetails(const CSchemaSyntax& syntax) const;
    QString MatchingRuleDetails(const CSchemaMatchingRule& rule) const;

    std::shared_ptr<const CSchema> m_pSchema;
    QTabWidget* m_pTabs;
    QLabel* m_pNoSchema;
    CPage m_pages[kPageCount];
};
