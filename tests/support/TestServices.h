#pragma once
// Installs recording services for one test and removes them afterwards;
// the test fails if a thread other than the UI thread asked for a box
// meanwhile (workers report, the UI shows).

#include "platform/Recorders.h"

#include <filesystem>
#include <string>

class CTestServices {
public:
    CTestServices();
    ~CTestServices();
    CTestServices(const CTestServices&) = delete;
    CTestServices& operator=(const CTestServices&) = delete;

    CRecordingMessageBoxes m_boxes;
    CRecordingStatusBar m_status;
    CMemoryProfile m_profile;
    CScriptedFileDialogs m_dialogs;

private:
    int m_nOffThreadBoxesAtStart;
};

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the scope.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& contents);
