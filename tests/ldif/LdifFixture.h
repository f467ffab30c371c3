#pragma once
// Shared by the LDIF tests: a file in a temporary folder, recording services,
// and recording windows standing in for the tree and attribute panes.

#include "RecordingListener.h"
#include "TestServices.h"
#include "ldif/LdifSource.h"
#include "source/ConnectionParams.h"
#include "source/EntryItemInserter.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// The tree pane: records the items the source asks it to insert.
class CRecordingTreePane : public CRecordingListener, public IEntryItemInserter {
public:
    HTREEITEM InsertEntryItem(CEntryNode* pEntry, HTREEITEM hParent) override {
        HTREEITEM hItem(++m_nNextItem);
        pEntry->SetTreeItem(hItem);
        m_inserted.push_back({pEntry, hParent});
        return hItem;
    }
    struct CInsert {
        CEntryNode* pEntry;
        HTREEITEM hParent;
    };
    std::vector<CInsert> m_inserted;

private:
    std::uint64_t m_nNextItem = 1000;
};

class CLdifTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name = "test.ldif") const { return m_dir.File(name); }

    // Writes the file and opens a source on it.
    BOOL OpenText(const std::string& text, const std::string& searchBase = "",
                  const std::string& name = "test.ldif") {
        WriteWholeFile(Path(name), text);
        return OpenPath(Path(name), searchBase);
    }
    BOOL OpenPath(const std::string& path, const std::string& searchBase = "") {
        m_pSource = std::make_unique<CLdifSource>();
        CConnectionParams params;
        params.m_strLdifFile = CString(path);
        params.m_strSearchBase = CString(searchBase);
        params.m_strFilter = "objectclass=*";
        const BOOL bOpened = m_pSource->Open(params);
        m_pRoot = params.m_pRoot;
        return bOpened;
    }
    // Closes (writes) and returns the file's bytes.
    std::string CloseAndRead(const std::string& name = "test.ldif") {
        m_pSource->Close();
        m_pSource.reset();
        return ReadWholeFile(Path(name));
    }

    // The child of an entry with this DN (through the tree the source built).
    static CEntryNode* Child(CEntryNode* pParent, const std::string& dn) {
        for (CEntryNode* pChild : pParent->GetChildren()) {
            if (pChild->m_strDN == CString(dn))
                return pChild;
        }
        return nullptr;
    }
    template <class TEntries> static std::vector<std::string> DNs(const TEntries& entries) {
        std::vector<std::string> dns;
        for (const CEntryNode* pEntry : entries)
            dns.push_back(pEntry->m_strDN.Str());
        return dns;
    }
    static std::vector<std::string> ChildDNs(CEntryNode* pParent) { return DNs(pParent->GetChildren()); }
    // Adds values of one attribute through the source, as the attribute pane does.
    void AddValue(CEntryNode* pEntry, const char* pszName, const std::vector<std::string>& values) {
        CAttributeArray toAdd;
        toAdd.Add(new CAttribute);
        toAdd[0]->m_strName = pszName;
        for (const std::string& value : values)
            toAdd[0]->Add(CString(value));
        pEntry->BeginOperation(OP_ADD_ATTRIBUTE);
        m_pSource->AddAttributes(pEntry, &toAdd, &m_list);
        DeleteAttributes(toAdd);
    }
    // The first entry read, changed once so that Close writes the file.
    void EditFirst() { AddValue(m_pSource->GetEntries()[0], "description", {"typed by the user"}); }
    // Expands an entry the way the tree pane does.
    int Expand(CEntryNode* pEntry) {
        pEntry->BeginOperation(OP_EXPAND);
        return m_pSource->Expand(pEntry, &m_tree, pEntry->GetTreeItem());
    }

    CTestServices m_services;
    CTempDir m_dir;
    CRecordingTreePane m_tree;
    CRecordingListener m_list;
    std::unique_ptr<CLdifSource> m_pSource;
    CEntryNode* m_pRoot = nullptr;
};
