// The search panel on real widgets against the private server: typed filter
// checked, results streamed into the table, a row gone to five levels deep,
// the results saved as CSV and as LDIF that the tools read back.

#include "UiTestSupport.h"

#include "SlapdFixture.h"
#include "model/EntryNode.h"
#include "ui/SearchPanel.h"
#include "ui/SearchResultModel.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>

namespace {

const std::string kBase = "dc=example,dc=com";
const std::string kDeep = "cn=Deep\\2C One,ou=L4,ou=L3,ou=L2,ou=L1,dc=example,dc=com";

std::string DeepSeed() {
    std::string ldif = CSlapdServer::DefaultSeed();
    std::string parent = kBase;
    for (int nLevel = 1; nLevel <= 4; ++nLevel) {
        std::string dn = "ou=L" + std::to_string(nLevel) + "," + parent;
        ldif += "\ndn: " + dn + "\nobjectClass: organizationalUnit\nou: L" + std::to_string(nLevel) + "\n";
        parent = dn;
    }
    ldif +=
        "\ndn: " + kDeep + "\nobjectClass: person\ncn: Deep, One\nsn: One\ndescription: two\n lines folded\n";
    return ldif;
}

class SearchPanelTest : public ::testing::Test {
protected:
    SearchPanelTest() : m_server(DeepSeed()) {}
    void SetUp() override {
        ASSERT_TRUE(m_server.Start()) << m_server.LastError();
        m_pPanes = std::make_unique<CPanes>();
        ASSERT_TRUE(m_pPanes->OpenServer(m_server, kBase));
        m_pPanel = std::make_unique<CSearchPanel>(&m_pPanes->m_doc, m_pPanes->m_pTree);
        m_pPanel->show();
    }
    void TearDown() override {
        m_pPanel.reset();
        m_pPanes.reset();
    }
    bool Search(const QString& filter) {
        m_pPanel->FilterCombo()->setEditText(filter);
        QTest::keyClick(m_pPanel->FilterCombo()->lineEdit(), Qt::Key_Return);
        return WaitUntil([this]() { return !m_pPanel->IsSearching(); });
    }

    CSlapdServer m_server;
    std::unique_ptr<CPanes> m_pPanes;
    std::unique_ptr<CSearchPanel> m_pPanel;
};

} // namespace

TEST_F(SearchPanelTest, FindsGoesToAndSavesTheEntries) {
    m_pPanel->ShowForEntry(kBase.c_str());
    EXPECT_EQ(m_pPanel->BaseCombo()->currentText().toStdString(), kBase);

    // A fault is shown under the field and nothing is sent.
    m_pPanel->FilterCombo()->setEditText("(&(cn=x)");
    EXPECT_EQ(m_pPanel->FilterErrorLabel()->text(), "Unbalanced parenthesis: ')' missing at position 9.");
    m_pPanel->OnSearch();
    EXPECT_FALSE(m_pPanel->IsSearching());
    EXPECT_EQ(m_pPanel->Results()->GetResultCount(), 0);

    // Enter searches; the table fills, sorts by any column and narrows by text.
    ASSERT_TRUE(Search("(|(objectClass=person)(ou=L*))"));
    EXPECT_TRUE(m_pPanel->GetFilterError().IsEmpty());
    ASSERT_EQ(m_pPanel->Results()->GetResultCount(), 7);
    EXPECT_EQ(Str(m_pPanel->GetStatusText()), "7 entries");
    QTableView* pTable = m_pPanel->ResultTable();
    EXPECT_EQ(pTable->model()->headerData(0, Qt::Horizontal).toString(), "DN");
    pTable->sortByColumn(0, Qt::DescendingOrder);
    EXPECT_TRUE(pTable->model()->index(0, 0).data().toString().startsWith("ou=L4"));
    m_pPanel->NarrowEdit()->setText("deep");
    ASSERT_EQ(m_pPanel->ShownResults()->rowCount(), 1);
    EXPECT_EQ(pTable->model()->index(0, 0).data().toString().toStdString(),
              "cn=Deep\\, One,ou=L4,ou=L3,ou=L2,ou=L1,dc=example,dc=com");
    EXPECT_EQ(Str(m_pPanel->GetStatusText()), "7 entries, 1 shown");

    // Enter on the row: the tree opens level by level down to the entry,
    // selects it and shows its attributes.
    pTable->setCurrentIndex(pTable->model()->index(0, 0));
    QTest::keyClick(pTable, Qt::Key_Return);
    CLdapTreeView* pTree = m_pPanes->m_pTree;
    ASSERT_TRUE(WaitUntil([&]() {
        CEntryNode* pEntry = pTree->GetItemEntry(pTree->GetSelectedItem());
        return pEntry && pEntry->GetDN() == kDeep.c_str() && m_pPanes->Rows().size() == 4;
    })) << Str(m_pPanes->Status(1))
        << " rows " << m_pPanes->Rows().size();
    EXPECT_FALSE(pTree->IsGoingToEntry()) << Str(m_pPanes->Status(1));

    // Saved as shown: CSV with RFC 4180 quoting, LDIF that ldapadd reads.
    CTempDir dir;
    std::string csv = dir.File("r.csv"), ldif = dir.File("r.ldif");
    ASSERT_TRUE(m_pPanel->WriteCsv(csv.c_str()));
    std::string text = ReadWholeFile(csv);
    EXPECT_EQ(text.substr(0, 3), "DN,");
    EXPECT_NE(text.find("\r\n\"cn=Deep\\"), std::string::npos) << "a DN with commas is quoted";
    EXPECT_NE(text.find("\"Deep, One\""), std::string::npos);
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    ASSERT_TRUE(m_pPanel->WriteLdif(ldif.c_str()));
    EXPECT_NE(ReadWholeFile(ldif).find("description: twolines folded"), std::string::npos);
    int nExit = -1;
    std::string out = m_server.RunTool("ldapadd -n -x -f '" + ldif + "' 2>&1", &nExit);
    EXPECT_EQ(nExit, 0) << out;
    EXPECT_NE(out.find("adding new entry \"cn=Deep"), std::string::npos) << out;

    // A table of some attributes still saves whole entries as LDIF.
    m_pPanel->AttributesEdit()->setText("cn");
    ASSERT_TRUE(Search("(sn=One)"));
    ASSERT_EQ(m_pPanel->Results()->GetColumnCount(), 2) << "DN and cn";
    ASSERT_TRUE(m_pPanel->WriteLdif(ldif.c_str()));
    text = ReadWholeFile(ldif);
    EXPECT_NE(text.find("objectClass: person\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("sn: One\r\n"), std::string::npos) << text;
}
