#include "platform/qt/QtServices.h"

#include "platform/Dispatcher.h"
#include "platform/qt/PlainText.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString ToQString(const CString& text) {
    return QString::fromUtf8(text.Str().data(), static_cast<qsizetype>(text.Str().size()));
}

CString FromQString(const QString& text) {
    return CString(text.toUtf8().toStdString());
}

// ---------------------------------------------------------------------------
// Message boxes

int CQtMessageBoxes::ShowMessageBox(const CString& text, const CString& caption, UINT nType) {
    // Over a modal dialog (the login sheet) the box belongs to that dialog,
    // so it never hides behind it; otherwise to the main window.
    QWidget* pParent = QApplication::activeModalWidget();
    if (!pParent)
        pParent = m_pOwner ? m_pOwner.data() : QApplication::activeWindow();
    QMessageBox box(pParent);
    box.setWindowTitle(ToQString(caption));
    // The text carries DNs and server messages: never markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(ShownText(text));
    // A look-alike name in a question is pointed out before the answer.
    box.setInformativeText(LookAlikeWarning(ToQString(text)));
    switch (nType & MB_ICONMASK) {
    case MB_ICONSTOP:
        box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONEXCLAMATION:
        box.setIcon(QMessageBox::Warning);
        break;
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    switch (nType & MB_TYPEMASK) {
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(nType & MB_DEFBUTTON2 ? QMessageBox::Cancel : QMessageBox::Ok);
        break;
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(nType & MB_DEFBUTTON2 ? QMessageBox::No : QMessageBox::Yes);
        break;
    case MB_SKIPREPLACE: {
        box.addButton(QStringLiteral("Skip"), QMessageBox::AcceptRole);
        box.addButton(QStringLiteral("Replace"), QMessageBox::DestructiveRole);
        box.addButton(QStringLiteral("Skip All"), QMessageBox::AcceptRole);
        QAbstractButton* pCancel = box.addButton(QMessageBox::Cancel);
        box.setEscapeButton(pCancel);
        const QList<QAbstractButton*> buttons = box.buttons();
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons.value(0)));
        box.exec();
        // Added in this order: Skip, Replace, Skip All, Cancel.
        const int nIndex = static_cast<int>(buttons.indexOf(box.clickedButton()));
        constexpr int kAnswers[] = {IDSKIP, IDREPLACE, IDSKIPALL, IDCANCEL};
        return nIndex >= 0 && nIndex < 4 ? kAnswers[nIndex] : IDCANCEL;
    }
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Ok:
        return IDOK;
    default:
        // Closed with Escape or the close box.
        return (nType & MB_TYPEMASK) == MB_YESNO      ? IDNO
               : (nType & MB_TYPEMASK) == MB_OKCANCEL ? IDCANCEL
                                                      : IDOK;
    }
}

// ---------------------------------------------------------------------------
// Status bar

void CQtStatusBar::SetTarget(QObject* pGuard, std::function<void(int, const QString&)> fnSetPaneText) {
    m_pGuard = pGuard;
    m_fnSetPaneText = std::move(fnSetPaneText);
}

void CQtStatusBar::SetPaneText(int nPane, const CString& text) {
    if (m_pGuard && m_fnSetPaneText)
        m_fnSetPaneText(nPane, ToQString(text));
}

// ---------------------------------------------------------------------------
// Profile

CQtProfile::CQtProfile() = default;

CQtProfile::CQtProfile(const QString& iniPath) : m_iniPath(iniPath) {}

CQtProfile::~CQtProfile() = default;

namespace {
// The profile names servers, accounts and trusted keys: for its owner's
// eyes only. Created 0600 before Qt first writes it (Qt keeps the mode of
// a file it replaces), and put back to 0600 should anything widen it.
void KeepProfilePrivate(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
        return;
    }
    if (S_ISREG(st.st_mode) && (st.st_mode & 077) != 0)
        ::chmod(name.constData(), st.st_mode & 0700);
}
} // namespace

QSettings& CQtProfile::Settings() {
    if (!m_pSettings) {
        if (m_iniPath.isEmpty())
            m_pSettings = std::make_unique<QSettings>(QStringLiteral("Brennick"), QStringLiteral("Tarvo"));
        else
            m_pSettings = std::make_unique<QSettings>(m_iniPath, QSettings::IniFormat);
        KeepProfilePrivate(m_pSettings->fileName());
    }
    return *m_pSettings;
}

bool CQtProfile::Sync(QSettings& settings) {
    settings.sync();
    KeepProfilePrivate(settings.fileName());
    return settings.status() == QSettings::NoError;
}

QString CQtProfile::FileName() const {
    if (m_pSettings)
        return m_pSettings->fileName();
    return m_iniPath.isEmpty() ? QSettings(QStringLiteral("Brennick"), QStringLiteral("Tarvo")).fileName()
                               : m_iniPath;
}

namespace {
QString ProfileKey(const CString& section, const CString& key) {
    return ToQString(section) + QLatin1Char('/') + ToQString(key);
}
} // namespace

CString CQtProfile::GetProfileString(const CString& section, const CString& key,
                                     const CString& defaultValue) {
    std::lock_guard<std::mutex> lock(m_mutex);
    QVariant value = Settings().value(ProfileKey(section, key));
    if (!value.isValid())
        return defaultValue;
    // An INI value with an unquoted comma reads back as a list; a DN is
    // full of commas, so put the pieces back together.
    if (value.typeId() == QMetaType::QStringList)
        return FromQString(value.toStringList().join(QLatin1Char(',')));
    return FromQString(value.toString());
}

BOOL CQtProfile::WriteProfileString(const CString& section, const CString& key, const CString& value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    QSettings& settings = Settings();
    settings.setValue(ProfileKey(section, key), ToQString(value));
    return Sync(settings);
}

int CQtProfile::GetProfileInt(const CString& section, const CString& key, int nDefault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    QVariant value = Settings().value(ProfileKey(section, key));
    if (!value.isValid())
        return nDefault;
    bool bOk = false;
    int n = value.toString().trimmed().toInt(&bOk);
    return bOk ? n : nDefault;
}

BOOL CQtProfile::WriteProfileInt(const CString& section, const CString& key, int nValue) {
    std::lock_guard<std::mutex> lock(m_mutex);
    QSettings& settings = Settings();
    settings.setValue(ProfileKey(section, key), nValue);
    return Sync(settings);
}

// ---------------------------------------------------------------------------
// Wait cursor

void CQtWaitCursor::BeginWaitCursor() {
    if (!qApp)
        return;
    ++m_nDepth;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CQtWaitCursor::EndWaitCursor() {
    if (!qApp || m_nDepth == 0)
        return;
    --m_nDepth;
    QApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------------------
// File dialogs

QString ConvertFileFilter(const CString& filter) {
    // Pairs of "description|pattern", ended by "||".
    const QStringList parts = ToQString(filter).split(QLatin1Char('|'));
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString pattern = parts[i + 1].trimmed();
        if (description.isEmpty())
            break;
        // Qt takes the patterns from the parenthesis of the description.
        if (description.contains(QLatin1Char('(')))
            result << description;
        else
            result << description + QStringLiteral(" (") +
                          QString(pattern).replace(QLatin1Char(';'), QLatin1Char(' ')) + QLatin1Char(')');
    }
    return result.join(QStringLiteral(";;"));
}

BOOL CQtFileDialogs::ChooseFile(BOOL bOpen, const CString& title, const CString& initialPath,
                                const CString& filter, BOOL bMustExist, CString& chosenPath) {
    QFileDialog dialog(m_pOwner ? m_pOwner.data() : QApplication::activeWindow(), ToQString(title));
    dialog.setAcceptMode(bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(bMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QString nameFilters = ConvertFileFilter(filter);
    if (!nameFilters.isEmpty())
        dialog.setNameFilters(nameFilters.split(QStringLiteral(";;")));
    if (!initialPath.IsEmpty())
        dialog.selectFile(ToQString(initialPath));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return FALSE;
    const QString path = dialog.selectedFiles().constFirst();
    if (bMustExist && !QFileInfo(path).isFile())
        return FALSE;
    chosenPath = FromQString(QFileInfo(path).absoluteFilePath());
    return TRUE;
}

// ---------------------------------------------------------------------------
// Dispatcher wakeup

CQtDispatcherWakeup::CQtDispatcherWakeup(QObject* pParent)
    : QObject(pParent), m_pShared(std::make_shared<CShared>()) {
    m_pShared->pTarget = this;
    std::weak_ptr<CShared> weak = m_pShared;
    CMessageDispatcher::Instance().SetUIThread();
    CMessageDispatcher::Instance().SetWakeup([weak] {
        // Runs on the sending thread; the lock keeps the target alive while
        // the call is posted.
        std::shared_ptr<CShared> pShared = weak.lock();
        if (!pShared)
            return;
        std::lock_guard<std::mutex> lock(pShared->mutex);
        if (pShared->pTarget)
            QMetaObject::invokeMethod(pShared->pTarget, &CQtDispatcherWakeup::Drain, Qt::QueuedConnection);
    });
}

CQtDispatcherWakeup::~CQtDispatcherWakeup() {
    {
        std::lock_guard<std::mutex> lock(m_pShared->mutex);
        m_pShared->pTarget = nullptr;
    }
    CMessageDispatcher::Instance().SetWakeup(nullptr);
    // Whatever a worker queued meanwhile still runs, so no sender stays blocked.
    CMessageDispatcher::Instance().DrainPendingSends();
}

void CQtDispatcherWakeup::Drain() {
    CMessageDispatcher::Instance().DrainPendingSends();
}

// ---------------------------------------------------------------------------

CQtServices::CQtServices() {
    CServices::SetMessageBoxes(&m_boxes);
    CServices::SetStatusBar(&m_status);
    CServices::SetProfile(&m_profile);
    CServices::SetWaitCursor(&m_cursor);
    CServices::SetFileDialogs(&m_dialogs);
}

CQtServices::~CQtServices() {
    CServices::SetMessageBoxes(nullptr);
    CServices::SetStatusBar(nullptr);
    CServices::SetProfile(nullptr);
    CServices::SetWaitCursor(nullptr);
    CServices::SetFileDialogs(nullptr);
}
