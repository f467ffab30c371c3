#pragma once
// The part of Add Entry that the schema leads: the entry's object classes
// (a structural one, auxiliary ones added to it), its naming attribute, the
// required attributes shown as rows to fill in, the others offered as the
// names are typed, and the checks made before the entry is sent.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "source/Schema.h"
#endif

#include <QGroupBox>

#include <memory>
#include <vector>

class CAttributeListEditor;
class QComboBox;
class QCompleter;
class QLabel;
class QPushButton;
class QStringListModel;

class CEntryClassesPanel : public QGroupBox {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CEntryClassesPanel)

public:
    CEntryClassesPanel(std::shared_ptr<const CSchema> pSchema, CAttributeListEditor* pEditor,
                       QWidget* pParent);

    QComboBox* StructuralCombo() const { return m_pStructural; }
    QComboBox* AuxiliaryCombo() const { return m_pAuxiliary; }
    QPushButton* AddAuxiliaryButton() const { return m_pAddAuxiliary; }
    QComboBox* NamingCombo() const { return m_pNaming; }
    QCompleter* NameCompleter() const { return m_pCompleter; }
    QLabel* ClassesLabel() const { return m_pChosen; }

    // The structural class first, then the auxiliary ones in the order added.
    std::vector<CString> Classes() const;
    // What the chosen classes allow (MUST first in the completion).
    const CAllowedAttributes& Allowed() const { return m_allowed; }

    // OK's work: the relative name made from what was typed (with the naming
    // attribute when only a value was typed), its value put into the rows,
    // the rows still empty dropped, and the checks. false, with a box naming
    // every finding, when the entry may not be sent yet.
    bool Prepare(const CString& typed, CString& relativeName);

    // The text of the box; each finding follows on a line of its own.
    static const char* const kRefusedText;

private:
    void OnStructuralChosen();
    void OnAddAuxiliary();
    // The rows, completion and naming choices for the classes chosen now.
    void ApplyClasses();
    void OnRowClicked();

    std::shared_ptr<const CSchema> m_pSchema;
    CAttributeListEditor* m_pEditor;
    QComboBox* m_pStructural;
    QComboBox* m_pAuxiliary;
    QPushButton* m_pAddAuxiliary;
    QLabel* m_pChosen;
    QComboBox* m_pNaming;
    QCompleter* m_pCompleter;
    QStringListModel* m_pCompletions;
    std::vector<CString> m_auxiliary;
    CAllowedAttributes m_allowed;
};
