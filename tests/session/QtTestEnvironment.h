#pragma once
// One QApplication for the whole test program, on the offscreen platform,
// with the profile and Qt's runtime folder in temporary folders.

#include <QString>

class QWidget;

// The folder QSettings writes the user profile into during the tests.
QString TestProfileFolder();
// Processes pending events (queued calls, posted deletes) a few times.
void PumpEvents();

#include <functional>

class CLoginSheet;

// Once a login sheet is up as the modal window, runs fn on it (from inside
// the sheet's own event loop).
void DriveNextLoginSheet(std::function<void(CLoginSheet*)> fn);
// The same for any modal dialog.
void DriveNextModal(std::function<void(QWidget*)> fn);
