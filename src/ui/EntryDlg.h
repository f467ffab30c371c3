#pragma once
// "Add Entry": the relative name of a new entry and its first attributes.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "model/Attribute.h"
#endif

#include <QDialog>

#include <memory>

class CAttributeListEditor;
class CEntryClassesPanel;
class CSchema;
class QLineEdit;

class CEntryDlg : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CEntryDlg)

public:
    explicit CEntryDlg(QWidget* pParent = nullptr);
    // Attributes not taken by the caller are deleted with the dialog.
    ~CEntryDlg() override;

    // IDOK or IDCANCEL.
    int DoModal();

    CString GetRelativeName() const { return m_strRelativeName; }
    // The DN the new entry goes under; a whole DN typed as the name must
    // name it.
    void SetParentDN(const CString& parentDN) { m_strParentDN = parentDN; }
    // Hands the collected attributes to the caller, who owns them from now on.
    void TakeAttributes(CAttributeArray& destination);
    const CAttributeArray& GetAttributes() const { return m_attributes; }

    // With a schema the dialog asks for the object classes first and checks
    // the entry before it closes; without one it is the plain editor.
    void SetSchema(std::shared_ptr<const CSchema> pSchema);
    CEntryClassesPanel* ClassesPanel() const { return m_pClasses; }

    QLineEdit* RelativeNameEdit() const { return m_pRelativeName; }
    CAttributeListEditor* Editor() const { return m_pEditor; }

    // OK: an empty relative name or an empty list closes as Cancel; with a
    // schema, the name is asked for and the entry checked instead.
    void OnOK();
    static const char* const kNameMissingText;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    QLineEdit* m_pRelativeName;
    CAttributeListEditor* m_pEditor;
    CEntryClassesPanel* m_pClasses = nullptr;
    CString m_strRelativeName;
    CString m_strParentDN;
    CAttributeArray m_attributes;
};
