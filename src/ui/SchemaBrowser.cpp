#include "ui/SchemaBrowser.h"

#include "ui/AttributeListEditor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Link schemes of the details panes, one per page.
const char* const kSchemes[] = {"objectclass", "attributetype", "syntax", "matchingrule"};

// Server text goes into the details as text, never as markup.
QString Escaped(const CString& text) {
    return BytesToText(text).toHtmlEscaped();
}

QString Link(CSchemaBrowser::EPage ePage, const CString& name, const QString& label = {}) {
    return QStringLiteral("<a href=\"%1:%2\">%3</a>")
        .arg(kSchemes[ePage], QString::fromLatin1(QUrl::toPercentEncoding(BytesToText(name))),
             label.isEmpty() ? Escaped(name) : label);
}

QString Row(const QString& label, const QString& value) {
    return value.isEmpty()
               ? QString()
               : QStringLiteral("<tr><td valign=\"top\"><b>%1</b></td><td>%2</td></tr>").arg(label, value);
}

QString Names(const std::vector<CString>& names) {
    QStringList list;
    for (const CString& name : names)
        list << Escaped(name);
    return list.join(QStringLiteral(", "));
}

const char* KindName(EObjectClassKind eKind) {
    switch (eKind) {
    case EObjectClassKind::Abstract:
        return "abstract";
    case EObjectClassKind::Auxiliary:
        return "auxiliary";
    default:
        return "structural";
    }
}

const char* UsageName(EAttributeUsage eUsage) {
    switch (eUsage) {
    case EAttributeUsage::DirectoryOperation:
        return "directoryOperation";
    case EAttributeUsage::DistributedOperation:
        return "distributedOperation";
    case EAttributeUsage::DsaOperation:
        return "dSAOperation";
    default:
        return "userApplications";
    }
}

} // namespace

CSchemaBrowser::CSchemaBrowser(QWidget* pParent) : QWidget(pParent, Qt::Window) {
    setWindowTitle(QStringLiteral("Schema"));
    setObjectName(QStringLiteral("SchemaBrowser"));
    auto* pLayout = new QVBoxLayout(this);
    m_pNoSchema = new QLabel(QStringLiteral("This source publishes no schema."), this);
    m_pNoSchema->hide();
    pLayout->addWidget(m_pNoSchema);
    m_pTabs = new QTabWidget(this);
    pLayout->addWidget(m_pTabs);
    const QString titles[] = {QStringLiteral("Object Classes"), QStringLiteral("Attribute Types"),
                              QStringLiteral("Syntaxes"), QStringLiteral("Matching Rules")};
    for (int i = 0; i < kPageCount; ++i) {
        const auto ePage = static_cast<EPage>(i);
        CPage& page = m_pages[i];
        auto* pSplitter = new QSplitter(Qt::Horizontal, m_pTabs);
        auto* pLeft = new QWidget(pSplitter);
        auto* pLeftLayout = new QVBoxLayout(pLeft);
        pLeftLayout->setContentsMargins(0, 0, 0, 0);
        page.pFilter = new QLineEdit(pLeft);
        page.pFilter->setPlaceholderText(QStringLiteral("Filter"));
        page.pFilter->setClearButtonEnabled(true);
        page.pList = new QListWidget(pLeft);
        pLeftLayout->addWidget(page.pFilter);
        pLeftLayout->addWidget(page.pList);
        page.pDetails = new QTextBrowser(pSplitter);
        page.pDetails->setOpenLinks(false);
        pSplitter->addWidget(pLeft);
        pSplitter->addWidget(page.pDetails);
        pSplitter->setStretchFactor(1, 1);
        m_pTabs->addTab(pSplitter, titles[i]);
        connect(page.pFilter, &QLineEdit::textChanged, this, [this, ePage] { ApplyFilter(ePage); });
        connect(page.pList, &QListWidget::currentRowChanged, this, [this, ePage] { ShowDetails(ePage); });
        connect(page.pDetails, &QTextBrowser::anchorClicked, this, &CSchemaBrowser::OnLink);
    }
    resize(820, 520);
}

void CSchemaBrowser::SetSchema(std::shared_ptr<const CSchema> pSchema) {
    m_pSchema = std::move(pSchema);
    m_pNoSchema->setVisible(!m_pSchema);
    m_pTabs->setEnabled(m_pSchema != nullptr);
    for (int i = 0; i < kPageCount; ++i)
        Fill(static_cast<EPage>(i));
}

void CSchemaBrowser::Fill(EPage ePage) {
    QListWidget* pList = m_pages[ePage].pList;
    pList->clear();
    m_pages[ePage].pDetails->clear();
    if (!m_pSchema)
        return;
    QStringList names;
    auto add = [&](const auto& definitions) {
        for (const auto& definition : definitions)
            names << BytesToText(definition.Name());
    };
    switch (ePage) {
    case kObjectClasses:
        add(m_pSchema->ObjectClasses());
        break;
    case kAttributeTypes:
        add(m_pSchema->AttributeTypes());
        break;
    case kSyntaxes:
        for (const CSchemaSyntax& syntax : m_pSchema->Syntaxes())
            names << BytesToText(syntax.m_strDesc.IsEmpty() ? syntax.m_strOid : syntax.m_strDesc);
        break;
    case kMatchingRules:
        add(m_pSchema->MatchingRules());
        break;
    default:
        break;
    }
    names.sort(Qt::CaseInsensitive);
    pList->addItems(names);
    ApplyFilter(ePage);
}

void CSchemaBrowser::ApplyFilter(EPage ePage) {
    const QString filter = m_pages[ePage].pFilter->text().trimmed();
    QListWidget* pList = m_pages[ePage].pList;
    for (int i = 0; i < pList->count(); ++i)
        pList->item(i)->setHidden(!filter.isEmpty() &&
                                  !pList->item(i)->text().contains(filter, Qt::CaseInsensitive));
}

bool CSchemaBrowser::ShowDefinition(EPage ePage, const QString& name) {
    if (!m_pSchema)
        return false;
    // The list shows names (descriptions for syntaxes): find the item for an
    // OID or another name through the definition.
    CString shown = TextToBytes(name);
    const CString key = TextToBytes(name);
    switch (ePage) {
    case kObjectClasses:
        if (const CSchemaObjectClass* p = m_pSchema->FindObjectClass(key))
            shown = p->Name();
        break;
    case kAttributeTypes:
        if (const CSchemaAttributeType* p = m_pSchema->FindAttributeType(key))
            shown = p->Name();
        break;
    case kSyntaxes:
        if (const CSchemaSyntax* p = m_pSchema->FindSyntax(key))
            shown = p->m_strDesc.IsEmpty() ? p->m_strOid : p->m_strDesc;
        break;
    case kMatchingRules:
        if (const CSchemaMatchingRule* p = m_pSchema->FindMatchingRule(key))
            shown = p->Name();
        break;
    default:
        return false;
    }
    QListWidget* pList = m_pages[ePage].pList;
    const QList<QListWidgetItem*> found = pList->findItems(BytesToText(shown), Qt::MatchFixedString);
    if (found.isEmpty())
        return false;
    m_pTabs->setCurrentIndex(ePage);
    m_pages[ePage].pFilter->clear();
    pList->setCurrentItem(found.front());
    pList->scrollToItem(found.front());
    return true;
}

void CSchemaBrowser::OnLink(const QUrl& url) {
    for (int i = 0; i < kPageCount; ++i)
        if (url.scheme() == QLatin1String(kSchemes[i]))
            ShowDefinition(static_cast<EPage>(i), QUrl::fromPercentEncoding(url.path().toLatin1()));
}

QString CSchemaBrowser::DetailsText(EPage ePage) const {
    return m_pages[ePage].pDetails->toPlainText();
}

void CSchemaBrowser::ShowDetails(EPage ePage) {
    QTextBrowser* pDetails = m_pages[ePage].pDetails;
    QListWidgetItem* pItem = m_pages[ePage].pList->currentItem();
    if (!m_pSchema || !pItem) {
        pDetails->clear();
        return;
    }
    const CString name = TextToBytes(pItem->text());
    QString html;
    switch (ePage) {
    case kObjectClasses:
        if (const CSchemaObjectClass* p = m_pSchema->FindObjectClass(name))
            html = ObjectClassDetails(*p);
        break;
    case kAttributeTypes:
        if (const CSchemaAttributeType* p = m_pSchema->FindAttributeType(name))
            html = AttributeTypeDetails(*p);
        break;
    case kSyntaxes:
        for (const CSchemaSyntax& syntax : m_pSchema->Syntaxes())
            if (syntax.m_strDesc == name || (syntax.m_strDesc.IsEmpty() && syntax.m_strOid == name))
                html = SyntaxDetails(syntax);
        break;
    case kMatchingRules:
        if (const CSchemaMatchingRule* p = m_pSchema->FindMatchingRule(name))
            html = MatchingRuleDetails(*p);
        break;
    default:
        break;
    }
    pDetails->setHtml(html);
}

QString CSchemaBrowser::ObjectClassDetails(const CSchemaObjectClass& objectClass) const {
    QStringList chain;
    for (const CSchemaObjectClass* p : m_pSchema->SuperiorChain(objectClass))
        chain << (p == &objectClass ? Escaped(p->Name()) : Link(kObjectClasses, p->Name()));
    const CAllowedAttributes allowed = m_pSchema->AttributesOf(objectClass.Name());
    auto list = [&](const std::vector<CAllowedAttribute>& attributes) {
        QStringList items;
        for (const CAllowedAttribute& a : attributes)
            items << Link(kAttributeTypes, a.m_strName) +
                         (a.m_bInherited ? QStringLiteral(" <i>(from %1)</i>").arg(Escaped(a.m_strFromClass))
                                         : QString());
        return items.join(QStringLiteral("<br>"));
    };
    return QStringLiteral("<h3>%1</h3><table cellspacing=\"4\">").arg(Escaped(objectClass.Name())) +
           Row(QStringLiteral("OID"), Escaped(objectClass.m_strOid)) +
           Row(QStringLiteral("Names"), Names(objectClass.m_names)) +
           Row(QStringLiteral("Description"), Escaped(objectClass.m_strDesc)) +
           Row(QStringLiteral("Kind"), QString::fromLatin1(KindName(objectClass.m_eKind))) +
           Row(QStringLiteral("Superiors"),
               chain.size() > 1 ? chain.join(QStringLiteral(" &larr; ")) : QString()) +
           Row(QStringLiteral("Obsolete"), objectClass.m_bObsolete ? QStringLiteral("yes") : QString()) +
           Row(QStringLiteral("Must"), list(allowed.m_must)) +
           Row(QStringLiteral("May"), list(allowed.m_may)) + QStringLiteral("</table>");
}

QString CSchemaBrowser::AttributeTypeDetails(const CSchemaAttributeType& type) const {
    QStringList chain;
    for (const CSchemaAttributeType* p : m_pSchema->SuperiorChain(type))
        chain << (p == &type ? Escaped(p->Name()) : Link(kAttributeTypes, p->Name()));
    auto rule = [&](const CString& name) { return name.IsEmpty() ? QString() : Link(kMatchingRules, name); };
    QString syntax;
    if (!type.m_strResolvedSyntax.IsEmpty()) {
        syntax = Link(kSyntaxes, type.m_strResolvedSyntax,
                      Escaped(m_pSchema->SyntaxName(type.m_strResolvedSyntax)));
        if (type.m_nSyntaxLength > 0)
            syntax += QStringLiteral(" (up to %1)").arg(type.m_nSyntaxLength);
    }
    QStringList usedBy;
    for (const CSchemaObjectClass& objectClass : m_pSchema->ObjectClasses())
        for (const auto* pList : {&objectClass.m_must, &objectClass.m_may})
            for (const CString& name : *pList)
                if (m_pSchema->FindAttributeType(name) == &type)
                    usedBy << Link(kObjectClasses, objectClass.Name());
    return QStringLiteral("<h3>%1</h3><table cellspacing=\"4\">").arg(Escaped(type.Name())) +
           Row(QStringLiteral("OID"), Escaped(type.m_strOid)) +
           Row(QStringLiteral("Names"), Names(type.m_names)) +
           Row(QStringLiteral("Description"), Escaped(type.m_strDesc)) +
           Row(QStringLiteral("Superiors"),
               chain.size() > 1 ? chain.join(QStringLiteral(" &larr; ")) : QString()) +
           Row(QStringLiteral("Syntax"), syntax) +
           Row(QStringLiteral("Equality"), rule(type.m_strResolvedEquality)) +
           Row(QStringLiteral("Ordering"), rule(type.m_strOrdering)) +
           Row(QStringLiteral("Substrings"), rule(type.m_strSubstr)) +
           Row(QStringLiteral("Single value"),
               type.m_bResolvedSingleValue ? QStringLiteral("yes") : QStringLiteral("no")) +
           Row(QStringLiteral("No user modification"),
               type.m_bResolvedNoUserModification ? QStringLiteral("yes") : QString()) +
           Row(QStringLiteral("Usage"), QString::fromLatin1(UsageName(type.m_eResolvedUsage))) +
           Row(QStringLiteral("Obsolete"), type.m_bObsolete ? QStringLiteral("yes") : QString()) +
           Row(QStringLiteral("Used by"), usedBy.join(QStringLiteral(", "))) + QStringLiteral("</table>");
}

QString CSchemaBrowser::SyntaxDetails(const CSchemaSyntax& syntax) const {
    QStringList types;
    for (const CSchemaAttributeType& type : m_pSchema->AttributeTypes())
        if (type.m_strResolvedSyntax.Left(syntax.m_strOid.GetLength()) == syntax.m_strOid &&
            (type.m_strResolvedSyntax.GetLength() == syntax.m_strOid.GetLength() ||
             type.m_strResolvedSyntax[syntax.m_strOid.GetLength()] == '{'))
            types << Link(kAttributeTypes, type.Name());
    return QStringLiteral("<h3>%1</h3><table cellspacing=\"4\">")
               .arg(Escaped(m_pSchema->SyntaxName(syntax.m_strOid))) +
           Row(QStringLiteral("OID"), Escaped(syntax.m_strOid)) +
           Row(QStringLiteral("Description"), Escaped(syntax.m_strDesc)) +
           Row(QStringLiteral("Attribute types"), types.join(QStringLiteral(", "))) +
           QStringLiteral("</table>");
}

QString CSchemaBrowser::MatchingRuleDetails(const CSchemaMatchingRule& rule) const {
    return QStringLiteral("<h3>%1</h3><table cellspacing=\"4\">").arg(Escaped(rule.Name())) +
           Row(QStringLiteral("OID"), Escaped(rule.m_strOid)) +
           Row(QStringLiteral("Names"), Names(rule.m_names)) +
           Row(QStringLiteral("Description"), Escaped(rule.m_strDesc)) +
           Row(QStringLiteral("Syntax"), rule.m_strSyntaxOid.IsEmpty()
                                             ? QString()
                                             : Link(kSyntaxes, rule.m_strSyntaxOid,
                                                    Escaped(m_pSchema->SyntaxName(rule.m_strSyntaxOid)))) +
           Row(QStringLiteral("Obsolete"), rule.m_bObsolete ? QStringLiteral("yes") : QString()) +
           QStringLiteral("</table>");
}
