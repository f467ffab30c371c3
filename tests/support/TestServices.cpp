#include "TestServices.h"

#include "platform/Services.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

CTestServices::CTestServices() : m_nOffThreadBoxesAtStart(OffThreadMessageBoxCount()) {
    CServices::SetMessageBoxes(&m_boxes);
    CServices::SetStatusBar(&m_status);
    CServices::SetProfile(&m_profile);
    CServices::SetFileDialogs(&m_dialogs);
}

CTestServices::~CTestServices() {
    EXPECT_EQ(OffThreadMessageBoxCount(), m_nOffThreadBoxesAtStart)
        << "a worker thread asked for a message box";
    CServices::SetMessageBoxes(nullptr);
    CServices::SetStatusBar(nullptr);
    CServices::SetProfile(nullptr);
    CServices::SetFileDialogs(nullptr);
}

CTempDir::CTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

CTempDir::~CTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteWholeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}
