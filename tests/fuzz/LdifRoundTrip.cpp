#include "LdifRoundTrip.h"

#include "ldif/LdifSource.h"
#include "ldif/LdifWriter.h"
#include "platform/Recorders.h"
#include "source/ConnectionParams.h"

#include <cstdlib>
#include <deque>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

struct CModel {
    std::vector<std::string> records; // written order
    std::vector<std::string> otherLines;
    std::string contents;
    bool operator==(const CModel&) const = default;
};

// A private folder for the round trip's file, removed at exit.
class CWorkFolder {
public:
    CWorkFolder() {
        // Memory-backed when possible: every round trip syncs two writes.
        for (const char* pszBase : {"/dev/shm", "/tmp"}) {
            std::string pattern = std::string(pszBase) + "/tarvo-roundtrip-XXXXXX";
            if (::mkdtemp(pattern.data())) {
                m_path = pattern;
                return;
            }
        }
        std::abort();
    }
    ~CWorkFolder() { ::rmdir(m_path.c_str()); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

const std::string& WorkFolder() {
    static const CWorkFolder folder;
    return folder.Path();
}

CModel Capture(const CLdifSource& source) {
    CModel model;
    for (const auto* pArray : {&source.GetEntries(), &source.GetOtherEntries()}) {
        for (const CEntryNode* pEntry : *pArray)
            model.records.push_back(FormatEntry(pEntry).Str());
    }
    for (const CString& line : source.GetOtherLines())
        model.otherLines.push_back(line.Str());
    model.contents = source.FormatContents();
    return model;
}

// Shows every entry the way the panes would: expand from the top, read
// each entry's attributes. None of it may change what is written.
void Browse(CLdifSource& source, CEntryNode* pTop) {
    std::deque<CEntryNode*> pending{pTop};
    int nBudget = 2000;
    while (!pending.empty() && nBudget-- > 0) {
        CEntryNode* pEntry = pending.front();
        pending.pop_front();
        pEntry->BeginOperation(OP_EXPAND);
        source.Expand(pEntry, nullptr, HTREEITEM());
        pEntry->BeginOperation(OP_READ_ATTRIBUTES);
        source.ReadAttributes(pEntry, &pEntry->m_attributes, nullptr, TRUE);
        for (CEntryNode* pChild : pEntry->GetChildren())
            pending.push_back(pChild);
    }
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Describe(const char* pszWhat, const CModel& a, const CModel& b) {
    std::ostringstream out;
    out << pszWhat << ": records " << a.records.size() << " vs " << b.records.size() << ", other lines "
        << a.otherLines.size() << " vs " << b.otherLines.size() << ", contents " << a.contents.size()
        << " vs " << b.contents.size() << " bytes";
    return out.str();
}

} // namespace

std::string CheckLdifRoundTrip(const std::uint8_t* pData, std::size_t nSize) {
    static CRecordingMessageBoxes boxes;
    CServices::SetMessageBoxes(&boxes);
    boxes.Clear();

    std::string searchBase;
    const char* pText = reinterpret_cast<const char*>(pData);
    if (nSize > 0) {
        const std::size_t nBase = std::min<std::size_t>(pData[0] % 48, nSize - 1);
        searchBase.assign(pText + 1, nBase);
        pText += 1 + nBase;
        nSize -= 1 + nBase;
    }
    const std::string path = WorkFolder() + "/round.ldif";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(pText, static_cast<std::streamsize>(nSize));
    }

    CConnectionParams params;
    params.m_strLdifFile = CString(path);
    params.m_strSearchBase = CString(searchBase);

    std::string problem;
    CModel first;
    {
        CLdifSource source;
        if (source.Open(params))
            Browse(source, params.m_pRoot);
        first = Capture(source);
        source.Close();
    }
    if (ReadAll(path) != first.contents)
        problem = "the file written differs from the contents formatted";

    CModel second;
    if (problem.empty()) {
        CLdifSource source;
        CConnectionParams again = params;
        again.m_pRoot = nullptr;
        source.Open(again);
        second = Capture(source);
        if (!(second == first))
            problem = Describe("second reading differs", first, second);
        source.Close();
        if (problem.empty() && ReadAll(path) != first.contents)
            problem = "the second write differs from the first";
    }
    ::unlink(path.c_str());
    CServices::SetMessageBoxes(nullptr);
    return problem;
}
