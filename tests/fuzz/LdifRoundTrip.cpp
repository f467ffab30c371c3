#include "LdifRoundTrip.h"

#include "ldif/LdifSource.h"
#include "ldif/LdifWriter.h"
#include "platform/Recorders.h"
#include "source/ConnectionParams.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace {

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

} // namespace

std::vector<CLdifTriple> LdifTriples(CLdifSource& source) {
    std::vector<CLdifTriple> triples;
    for (const auto* pArray : {&source.GetEntries(), &source.GetOtherEntries()}) {
        for (CEntryNode* pEntry : *pArray) {
            source.ReadAttributes(pEntry, &pEntry->m_attributes, nullptr, FALSE);
            for (const CAttribute* pAttribute : pEntry->m_attributes) {
                for (const CString& value : *pAttribute)
                    triples.emplace_back(pEntry->m_strDN.Str(), pAttribute->m_strName.Str(), value.Str());
            }
        }
    }
    std::sort(triples.begin(), triples.end());
    return triples;
}

namespace {

const char* const kMarkerName = "x-tarvo-touched";
const char* const kMarkerValue = "1";

} // namespace

void TouchEveryEntry(CLdifSource& source, bool bAdd) {
    std::vector<CEntryNode*> entries = source.GetEntries().Data();
    entries.insert(entries.end(), source.GetOtherEntries().begin(), source.GetOtherEntries().end());
    for (CEntryNode* pEntry : entries) {
        CAttributeArray marker;
        marker.Add(new CAttribute);
        marker[0]->m_strName = kMarkerName;
        marker[0]->Add(kMarkerValue);
        if (bAdd)
            source.AddAttributes(pEntry, &marker, nullptr);
        else
            source.DeleteAttributes(pEntry, &marker, nullptr, nullptr);
        DeleteAttributes(marker);
    }
}

namespace {

enum class ETouch { None, AddMarker, RemoveMarker };

// One open of the file: the problem found, if any.
std::string OpenEditClose(const std::string& path, const std::string& searchBase, ETouch eTouch,
                          std::vector<CLdifTriple>& triples) {
    const std::string before = ReadAll(path);
    CConnectionParams params;
    params.m_strLdifFile = CString(path);
    params.m_strSearchBase = CString(searchBase);
    CLdifSource source;
    const bool bOpened = source.Open(params);
    if (source.FormatContents() != before)
        return "the contents of an unchanged file differ from the file";
    if (bOpened) {
        Browse(source, params.m_pRoot);
        if (source.FormatContents() != before)
            return "browsing changed the contents";
        triples = LdifTriples(source);
        if (eTouch != ETouch::None)
            TouchEveryEntry(source, eTouch == ETouch::AddMarker);
    }
    source.Close();
    if ((!bOpened || eTouch == ETouch::None) && ReadAll(path) != before)
        return "a file not changed was written";
    return bOpened ? "" : "-";
}

// The triples with one marker more for every entry.
std::vector<CLdifTriple> WithMarkers(std::vector<CLdifTriple> triples, const std::vector<std::string>& dns) {
    for (const std::string& dn : dns)
        triples.emplace_back(dn, kMarkerName, kMarkerValue);
    std::sort(triples.begin(), triples.end());
    return triples;
}

// The DN of every entry, once per entry.
std::vector<std::string> EntryDns(const std::string& path, const std::string& searchBase) {
    CConnectionParams params;
    params.m_strLdifFile = CString(path);
    params.m_strSearchBase = CString(searchBase);
    CLdifSource source;
    std::vector<std::string> dns;
    if (source.Open(params)) {
        for (const auto* pArray : {&source.GetEntries(), &source.GetOtherEntries()}) {
            for (const CEntryNode* pEntry : *pArray)
                dns.push_back(pEntry->m_strDN.Str());
        }
    }
    source.Close();
    return dns;
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

    const std::vector<std::string> dns = EntryDns(path, searchBase);
    std::vector<CLdifTriple> first, second, third, unused;
    std::string problem = OpenEditClose(path, searchBase, ETouch::AddMarker, first);
    std::string written;
    if (problem.empty()) {
        written = ReadAll(path);
        problem = OpenEditClose(path, searchBase, ETouch::RemoveMarker, second);
        if (problem == "-")
            problem = "the written file no longer opens";
        if (problem.empty() && second != WithMarkers(first, dns))
            problem = "the triples read back differ from those written";
    }
    if (problem.empty()) {
        problem = OpenEditClose(path, searchBase, ETouch::AddMarker, third);
        if (problem == "-")
            problem = "the file without the markers no longer opens";
        if (problem.empty() && third != first)
            problem = "the triples differ once the markers are gone";
    }
    if (problem.empty() && ReadAll(path) != written)
        problem = "writing the written file again changed it";
    if (problem.empty())
        problem = OpenEditClose(path, searchBase, ETouch::None, unused);
    if (problem == "-")
        problem.clear();
    ::unlink(path.c_str());
    CServices::SetMessageBoxes(nullptr);
    return problem;
}
