#include "session/HelpWindow.h"

#include <QFile>
#include <QPointer>
#include <QTextBrowser>
#include <QVBoxLayout>

static void InitHelpResource() {
    Q_INIT_RESOURCE(Help);
}

QString LoadHelpPage() {
    InitHelpResource();
    QFile file(QStringLiteral(":/help/tarvo-help.html"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

CHelpWindow::CHelpWindow(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Tarvo Help"));
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    m_pBrowser = new QTextBrowser(this);
    m_pBrowser->setOpenExternalLinks(false);
    m_pBrowser->setHtml(LoadHelpPage());
    pLayout->addWidget(m_pBrowser);
    resize(620, 560);
}

CHelpWindow::~CHelpWindow() = default;

CHelpWindow* ShowHelpContents(QWidget* pOwner) {
    // One help window per owning window.
    QWidget* pWindow = pOwner ? pOwner->window() : nullptr;
    CHelpWindow* pHelp =
        pWindow ? pWindow->findChild<CHelpWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!pHelp) {
        pHelp = new CHelpWindow(pWindow);
        pHelp->setModal(false);
    }
    pHelp->show();
    pHelp->raise();
    pHelp->activateWindow();
    return pHelp;
}
