#include "session/AboutDlg.h"

#include "session/Icons.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("About Tarvo"));
    setObjectName(QStringLiteral("AboutDlg"));
    auto* pLayout = new QVBoxLayout(this);

    auto* pFrame = new QFrame(this);
    pFrame->setFrameShape(QFrame::Box);
    pFrame->setFrameShadow(QFrame::Sunken);
    auto* pRow = new QHBoxLayout(pFrame);
    auto* pIcon = new QLabel(pFrame);
    pIcon->setPixmap(MakeProgramIcon().pixmap(32, 32));
    pRow->addWidget(pIcon, 0, Qt::AlignTop);
    auto* pLines = new QVBoxLayout;
    pLines->addWidget(new QLabel(QStringLiteral("Tarvo"), pFrame));
    auto* pVersion = new QLabel(QStringLiteral("Version 1.03A"), pFrame);
    pVersion->setObjectName(QStringLiteral("control1063"));
    pLines->addWidget(pVersion);
    pLines->addWidget(new QLabel(QStringLiteral("Brennick Software"), pFrame));
    pLines->addWidget(new QLabel(QStringLiteral("A browser and editor for LDAP directories"), pFrame));
    pRow->addLayout(pLines, 1);
    pLayout->addWidget(pFrame);

    auto* pOK = new QPushButton(QStringLiteral("&OK"), this);
    pOK->setDefault(true);
    connect(pOK, &QPushButton::clicked, this, &QDialog::accept);
    pLayout->addWidget(pOK, 0, Qt::AlignHCenter);
}

CAboutDlg::~CAboutDlg() = default;
