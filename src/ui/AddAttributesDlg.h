#pragma once
// "Add Attributes": values to add to the current entry.

// The moc cannot parse the standard headers these pull in.
#ifndef Q_MOC_RUN
#include "model/Attribute.h"
#endif

#include <QDialog>

class CAttributeListEditor;

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

    // OK: an empty list closes as Cancel.
    void OnOK();

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    CAttributeListEditor* m_pEditor;
    CAttributeArray m_attributes;
};
