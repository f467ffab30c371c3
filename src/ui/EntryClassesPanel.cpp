#include "ui/EntryClassesPanel.h"

#include "model/DnHelper.h"
#include "platform/Services.h"
#include "source/EntryCheck.h"
#include "ui/AttributeListEditor.h"

#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringListModel>
#include <QTreeWidget>

#include <algorithm>

const char* const CEntryClassesPanel::kRefusedText = "The entry cannot be added yet:";

namespace {

// Marks the rows the panel added for the required attributes.
constexpr int kRequiredRole = Qt::UserRole + 7;

QStringList SortedClasses(const CSchema& schema, EObjectClassKind eKind) {
    QStringList names;
    for (const CSchemaObjectClass& objectClass : schema.ObjectClasses())
        if (objectClass.m_eKind == eKind && !objectClass.m_bObsolete)
            names << BytesToText(objectClass.Name());
    names.sort(Qt::CaseInsensitive);
    return names;
}

bool IsObjectClass(const CString& name) {
    return name.CompareNoCase("objectClass") == 0;
}

} // namespace

CEntryClassesPanel::CEntryClassesPanel(std::shared_ptr<const CSchema> pSchema, CAttributeListEditor* pEditor,
                                       QWidget* pParent)
    : QGroupBox(QStringLiteral("Object Classes"), pParent), m_pSchema(std::move(pSchema)),
      m_pEditor(pEditor) {
    auto* pGrid = new QGridLayout(this);
    auto* pStructuralLabel = new QLabel(QStringLiteral("&Structural class:"), this);
    m_pStructural = new QComboBox(this);
    m_pStructural->addItem(QString());
    m_pStructural->addItems(SortedClasses(*m_pSchema, EObjectClassKind::Structural));
    pStructuralLabel->setBuddy(m_pStructural);
    auto* pAuxiliaryLabel = new QLabel(QStringLiteral("Au&xiliary class:"), this);
    m_pAuxiliary = new QComboBox(this);
    m_pAuxiliary->addItems(SortedClasses(*m_pSchema, EObjectClassKind::Auxiliary));
    pAuxiliaryLabel->setBuddy(m_pAuxiliary);
    m_pAddAuxiliary = new QPushButton(QStringLiteral("A&dd"), this);
    m_pAddAuxiliary->setAutoDefault(false);
    m_pChosen = new QLabel(this);
    m_pChosen->setTextFormat(Qt::PlainText);
    m_pChosen->setWordWrap(true);
    auto* pNamingLabel = new QLabel(QStringLiteral("Nami&ng attribute:"), this);
    m_pNaming = new QComboBox(this);
    pNamingLabel->setBuddy(m_pNaming);
    pGrid->addWidget(pStructuralLabel, 0, 0);
    pGrid->addWidget(m_pStructural, 0, 1, 1, 2);
    pGrid->addWidget(pAuxiliaryLabel, 1, 0);
    pGrid->addWidget(m_pAuxiliary, 1, 1);
    pGrid->addWidget(m_pAddAuxiliary, 1, 2);
    pGrid->addWidget(m_pChosen, 2, 0, 1, 3);
    pGrid->addWidget(pNamingLabel, 3, 0);
    pGrid->addWidget(m_pNaming, 3, 1, 1, 2);
    pGrid->setColumnStretch(1, 1);

    m_pCompletions = new QStringListModel(this);
    m_pCompleter = new QCompleter(m_pCompletions, this);
    m_pCompleter->setCaseSensitivity(Qt::CaseInsensitive);
    // MUST names first, as ApplyClasses lists them.
    m_pCompleter->setModelSorting(QCompleter::UnsortedModel);
    m_pEditor->NameEdit()->setCompleter(m_pCompleter);

    connect(m_pStructural, &QComboBox::currentIndexChanged, this, &CEntryClassesPanel::OnStructuralChosen);
    connect(m_pAddAuxiliary, &QPushButton::clicked, this, &CEntryClassesPanel::OnAddAuxiliary);
    connect(m_pEditor->List(), &QTreeWidget::itemClicked, this, &CEntryClassesPanel::OnRowClicked);
    ApplyClasses();
}

std::vector<CString> CEntryClassesPanel::Classes() const {
    std::vector<CString> classes;
    const CString structural = TextToBytes(m_pStructural->currentText());
    if (!structural.IsEmpty())
        classes.push_back(structural);
    classes.insert(classes.end(), m_auxiliary.begin(), m_auxiliary.end());
    return classes;
}

void CEntryClassesPanel::OnStructuralChosen() {
    ApplyClasses();
}

void CEntryClassesPanel::OnAddAuxiliary() {
    const CString name = TextToBytes(m_pAuxiliary->currentText());
    if (name.IsEmpty() || std::find(m_auxiliary.begin(), m_auxiliary.end(), name) != m_auxiliary.end())
        return;
    m_auxiliary.push_back(name);
    ApplyClasses();
}

void CEntryClassesPanel::ApplyClasses() {
    const std::vector<CString> classes = Classes();
    m_allowed = m_pSchema->AttributesOf(classes);

    // The objectClass rows and the empty required rows follow the classes;
    // what the user typed stays.
    for (int nRow = m_pEditor->GetRowCount() - 1; nRow >= 0; --nRow) {
        const QTreeWidgetItem* pItem = m_pEditor->List()->topLevelItem(nRow);
        if (pItem->data(0, kRequiredRole).toBool() &&
            (IsObjectClass(m_pEditor->GetRowName(nRow)) || m_pEditor->GetRowValue(nRow).IsEmpty()))
            m_pEditor->RemoveRowAt(nRow);
    }
    auto markRequired = [](QTreeWidgetItem* pItem, const CString& from) {
        pItem->setData(0, kRequiredRole, true);
        QFont font = pItem->font(0);
        font.setBold(true);
        pItem->setFont(0, font);
        pItem->setToolTip(0, QStringLiteral("Required by %1").arg(BytesToText(from)));
    };
    for (const CString& name : classes)
        markRequired(m_pEditor->AppendRow("objectClass", name), name);
    for (const CAllowedAttribute& required : m_allowed.m_must) {
        if (IsObjectClass(required.m_strName))
            continue;
        bool bPresent = false;
        for (int nRow = 0; nRow < m_pEditor->GetRowCount(); ++nRow)
            bPresent = bPresent || m_pSchema->SameAttribute(m_pEditor->GetRowName(nRow), required.m_strName);
        if (!bPresent) {
            QTreeWidgetItem* pRow = m_pEditor->AppendRow(required.m_strName, CString());
            markRequired(pRow, required.m_strFromClass);
            CAttributeListEditor::SetValueEditable(pRow);
        }
    }

    QStringList chosen;
    for (const CString& name : classes)
        chosen << BytesToText(name);
    m_pChosen->setText(chosen.isEmpty() ? QStringLiteral("No class chosen yet.")
                                        : QStringLiteral("Classes: ") + chosen.join(QStringLiteral(", ")));

    // Completion and naming: the required attributes first, then the others.
    QStringList names;
    for (const CString& name : CompletionNames(*m_pSchema, classes, false))
        names << BytesToText(name);
    m_pCompletions->setStringList(names);
    const QString naming = m_pNaming->currentText();
    m_pNaming->clear();
    m_pNaming->addItems(names);
    if (names.contains(naming))
        m_pNaming->setCurrentText(naming);
}

void CEntryClassesPanel::OnRowClicked() {
    // A required row still empty: its name goes into the name edit and the
    // value is typed next.
    const QList<QTreeWidgetItem*> selected = m_pEditor->List()->selectedItems();
    if (selected.isEmpty())
        return;
    const int nRow = m_pEditor->List()->indexOfTopLevelItem(selected.front());
    if (nRow < 0 || !m_pEditor->GetRowValue(nRow).IsEmpty())
        return;
    m_pEditor->NameEdit()->setText(BytesToText(m_pEditor->GetRowName(nRow)));
    m_pEditor->ValueEdit()->setFocus();
}

bool CEntryClassesPanel::Prepare(const CString& typed, CString& relativeName) {
    // "cn=Ada" as typed, or "Ada" named by the naming attribute.
    CString attribute, value;
    const int nEquals = typed.Find('=');
    if (nEquals > 0 && !DnRdnFromTyped(typed.View()).IsEmpty()) {
        relativeName = DnRdnFromTyped(typed.View());
        attribute = typed.Left(nEquals).Trim();
        value = typed.Mid(nEquals + 1).TrimLeft();
        // A value with escapes or a second naming attribute is the user's to add.
        if (value.Find('\\') >= 0 || value.Find('+') >= 0)
            value.Empty();
    } else {
        attribute = TextToBytes(m_pNaming->currentText());
        value = typed;
        relativeName = attribute.IsEmpty() ? CString() : attribute + "=" + DnEscapeValue(typed.View());
    }
    if (relativeName.IsEmpty()) {
        AfxMessageBox(RelativeNameMessage("Name (Relative DN Only)", typed), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (!value.IsEmpty()) {
        bool bPresent = false;
        for (int nRow = 0; nRow < m_pEditor->GetRowCount(); ++nRow)
            bPresent = bPresent || (m_pSchema->SameAttribute(m_pEditor->GetRowName(nRow), attribute) &&
                                    m_pEditor->GetRowValue(nRow) == value);
        if (!bPresent)
            m_pEditor->AppendRow(attribute, value);
    }
    // An empty row of an attribute that now has a value is done with.
    auto hasValue = [&](const CString& name) {
        for (int nRow = 0; nRow < m_pEditor->GetRowCount(); ++nRow)
            if (m_pSchema->SameAttribute(m_pEditor->GetRowName(nRow), name) &&
                !m_pEditor->GetRowValue(nRow).IsEmpty())
                return true;
        return false;
    };
    for (int nRow = m_pEditor->GetRowCount() - 1; nRow >= 0; --nRow)
        if (m_pEditor->GetRowValue(nRow).IsEmpty() && hasValue(m_pEditor->GetRowName(nRow)))
            m_pEditor->RemoveRowAt(nRow);

    std::vector<CEntryRow> rows;
    for (int nRow = 0; nRow < m_pEditor->GetRowCount(); ++nRow)
        rows.push_back({m_pEditor->GetRowName(nRow), m_pEditor->GetRowValue(nRow)});
    const std::vector<CString> findings = CheckEntryRows(*m_pSchema, rows);
    if (findings.empty())
        return true;
    CString text = kRefusedText;
    for (const CString& finding : findings)
        text += "\n" + finding;
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
    return false;
}
