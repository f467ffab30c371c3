#pragma once
// The desktop services on Qt: message boxes, the status bar, the profile
// (QSettings), the wait cursor, file dialogs, and the wakeup that lets the
// UI thread run the sends queued by workers.

// moc need not parse the C++20 library headers behind these.
#ifndef Q_MOC_RUN
#include "platform/Services.h"
#endif

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <mutex>

class QSettings;

QString ToQString(const CString& text);
CString FromQString(const QString& text);

class CQtMessageBoxes : public IMessageBoxService {
public:
    // Boxes belong to this window while it lives.
    void SetOwner(QWidget* pOwner) { m_pOwner = pOwner; }
    QWidget* Owner() const { return m_pOwner; }
    int ShowMessageBox(const CString& text, const CString& caption, UINT nType) override;

private:
    QPointer<QWidget> m_pOwner;
};

// Writes pane texts through a function the main frame installs; with no
// frame (or once it is gone) nothing happens.
class CQtStatusBar : public IStatusBarService {
public:
    void SetTarget(QObject* pGuard, std::function<void(int, const QString&)> fnSetPaneText);
    void SetPaneText(int nPane, const CString& text) override;

private:
    QPointer<QObject> m_pGuard;
    std::function<void(int, const QString&)> m_fnSetPaneText;
};

// The profile: QSettings with organisation "Brennick" and application
// "Tarvo", or an explicit INI file.
class CQtProfile : public IProfileService {
public:
    CQtProfile();
    explicit CQtProfile(const QString& iniPath);
    ~CQtProfile() override;

    CString GetProfileString(const CString& section, const CString& key,
                             const CString& defaultValue) override;
    BOOL WriteProfileString(const CString& section, const CString& key, const CString& value) override;
    int GetProfileInt(const CString& section, const CString& key, int nDefault) override;
    BOOL WriteProfileInt(const CString& section, const CString& key, int nValue) override;
    QString FileName() const;

private:
    QSettings& Settings();
    // Writes the settings out and keeps the file private; false on failure.
    static bool Sync(QSettings& settings);

    std::mutex m_mutex;
    QString m_iniPath;
    std::unique_ptr<QSettings> m_pSettings; // opened on first use
};

class CQtWaitCursor : public IWaitCursorService {
public:
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

private:
    int m_nDepth = 0;
};

class CQtFileDialogs : public IFileDialogService {
public:
    void SetOwner(QWidget* pOwner) { m_pOwner = pOwner; }
    BOOL ChooseFile(BOOL bOpen, const CString& title, const CString& initialPath, const CString& filter,
                    BOOL bMustExist, CString& chosenPath) override;

private:
    QPointer<QWidget> m_pOwner;
};

// "Text File (*.txt) | *.txt|All Files (*.*) | *.*||" -> Qt's
// "Text File (*.txt);;All Files (*.*)".
QString ConvertFileFilter(const CString& filter);

// Makes the UI thread run queued cross-thread sends: a sender's wakeup posts
// a queued call to this object, which drains the dispatcher. Create it on
// the UI thread; it unhooks itself when destroyed.
class CQtDispatcherWakeup : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CQtDispatcherWakeup)

public:
    explicit CQtDispatcherWakeup(QObject* pParent = nullptr);
    ~CQtDispatcherWakeup() override;

private:
    struct CShared {
        std::mutex mutex;
        CQtDispatcherWakeup* pTarget = nullptr;
    };
    void Drain();

    std::shared_ptr<CShared> m_pShared;
};

// Installs every Qt service for the life of the object (the program) and
// restores the defaults afterwards.
class CQtServices {
public:
    CQtServices();
    ~CQtServices();
    CQtServices(const CQtServices&) = delete;
    CQtServices& operator=(const CQtServices&) = delete;

    CQtMessageBoxes m_boxes;
    CQtStatusBar m_status;
    CQtProfile m_profile;
    CQtWaitCursor m_cursor;
    CQtFileDialogs m_dialogs;
    CQtDispatcherWakeup m_wakeup;
};
