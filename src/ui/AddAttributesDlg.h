#pragma once
// "Add Attributes": values to add to the current entry.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "model/Attribute.h"
#endif

#include <QDialog>

#include <memory>

class CAttributeListEditor;
class CSchema;

class CAddAttributesDlg : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CAddAttributesDlg)

public:
    explicit CAddAttributesDlg(QWidget* pParent = nullptr);
    // The collected attributes are the dialog's and go with it.
    ~CAddAttributesDlg() override;

    int DoModal();

    CAttributeArray& GetAttributes() { return m_attributes; }
    CAttributeListEditor* Editor() const { return m_pEditor; }

    // With a schema: names completed (the entry's classes' first) and the
    // rows checked at OK against the entry's attributes (copied here).
    void SetSchema(std::shared_ptr<const CSchema> pSchema, const CAttributeArray& existing);

    // OK: an empty list closes as Cancel; with a schema, rows it refuses
    // keep the dialog open with a box naming them.
    void OnOK();
    static const char* const kRefusedText;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    CAttributeListEditor* m_pEditor;
    CAttributeArray m_attributes;
    std::shared_ptr<const CSchema> m_pSchema;
    CAttributeArray m_existing; // owned copies
};
