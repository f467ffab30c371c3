// The remembered values of the login fields: order, bounds, the stored
// form, and their trip through the real profile file.

#include "QtTestEnvironment.h"

#include "session/HistoryList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

std::vector<std::string> Entries(const CHistoryList& list) {
    std::vector<std::string> out;
    for (const CString& s : list.GetEntries())
        out.push_back(s.Str());
    return out;
}

using Strings = std::vector<std::string>;

TEST(CHistoryList, AddPutsTextInFrontMovesAnEqualEntryAndKeepsTheTenMostRecent) {
    CHistoryList list(10);
    list.Add("a");
    list.Add("b");
    list.Add("A"); // letter case matters: a different entry
    list.Add("a");
    EXPECT_EQ(Entries(list), (Strings{"a", "A", "b"}));
    EXPECT_EQ(list.ToString(), "a;A;b");
    // Eleven different values: the ten most recent stay.
    for (int i = 0; i < 11; ++i)
        list.Add(CString(std::to_string(i)));
    ASSERT_EQ(list.GetEntries().GetSize(), 10);
    EXPECT_EQ(list.GetEntries()[0], "10");
    EXPECT_EQ(list.GetEntries()[9], "1");
}

TEST(CHistoryList, AnEmptyEntryTakesAPlaceButIsNeverStoredAndLoadingDropsEmptyPieces) {
    CHistoryList list(10);
    for (int i = 0; i < 10; ++i)
        list.Add(CString("dn" + std::to_string(i)));
    list.Add("");
    EXPECT_EQ(list.GetEntries().GetSize(), 10);
    EXPECT_EQ(list.GetEntries()[0], "");
    // The oldest entry went, and the stored value holds nine.
    EXPECT_EQ(list.ToString(), "dn9;dn8;dn7;dn6;dn5;dn4;dn3;dn2;dn1");
    CHistoryList empty(10);
    empty.Add("");
    EXPECT_EQ(empty.ToString(), "");

    // Loading drops empty pieces, keeps duplicates and trims to ten.
    list.SetFromString(";alpha;;beta;");
    EXPECT_EQ(Entries(list), (Strings{"alpha", "beta"}));
    list.SetFromString("x;x");
    EXPECT_EQ(Entries(list), (Strings{"x", "x"}));
    list.SetFromString("1;2;3;4;5;6;7;8;9;10;11;12");
    EXPECT_EQ(list.GetEntries().GetSize(), 10);
    EXPECT_EQ(list.GetEntries()[9], "10");
    list.SetFromString("");
    EXPECT_TRUE(list.GetEntries().IsEmpty());
}

TEST(CHistoryList, FirstRunDefaultsAndATypedValueWithSemicolonsComesBackSplit) {
    CTestServices services;
    CHistoryList servers(10), ports(10), bindDNs(10), bases(10), files(10);
    servers.Load("Servers", kDefaultServers);
    ports.Load("PortNumbers", "389");
    bindDNs.Load("BindDNs", "");
    bases.Load("SearchBases", "");
    files.Load("LDIFs", "");
    EXPECT_EQ(servers.GetEntries().GetSize(), 2);
    EXPECT_EQ(Entries(ports), (Strings{"389"}));
    EXPECT_TRUE(bindDNs.GetEntries().IsEmpty());
    EXPECT_TRUE(bases.GetEntries().IsEmpty());
    EXPECT_TRUE(files.GetEntries().IsEmpty());
    // Loading writes nothing.
    EXPECT_FALSE(services.m_profile.Has("History", "Servers"));

    CHistoryList list(10);
    list.Add("one;two");
    list.Store("Servers");
    CHistoryList again(10);
    again.Load("Servers", "");
    EXPECT_EQ(Entries(again), (Strings{"one", "two"}));
}

// The real profile file: DNs are full of commas, which an INI file would
// otherwise turn into lists, and the keys sit under "History".
TEST(CQtProfile, DistinguishedNamesSurviveTheProfileFileAndHandWrittenCommasReadAsOneString) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tarvo.conf"));
    {
        CQtProfile profile(path);
        CServices::SetProfile(&profile);
        CHistoryList bases(10);
        bases.Add("dc=example,dc=com");
        bases.Add("ou=People, dc=example,dc=com");
        bases.Store("SearchBases");
        profile.WriteProfileInt("UI", "EntryAsRDN", 0);
        CServices::SetProfile(nullptr);
    }
    {
        CQtProfile profile(path);
        CServices::SetProfile(&profile);
        CHistoryList bases(10);
        bases.Load("SearchBases", "");
        EXPECT_EQ(Entries(bases), (Strings{"ou=People, dc=example,dc=com", "dc=example,dc=com"}));
        EXPECT_EQ(profile.GetProfileInt("UI", "EntryAsRDN", 1), 0);
        EXPECT_EQ(profile.GetProfileInt("UI", "Missing", 7), 7);
        EXPECT_EQ(profile.GetProfileString("History", "Missing", "dflt"), "dflt");
        CServices::SetProfile(nullptr);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[History]")) << text.constData();
    EXPECT_TRUE(text.contains("SearchBases=")) << text.constData();
    file.close();

    // A hand-written value with unquoted commas reads as one string.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[History]\nSearchBases=dc=example,dc=com\nServers=127.0.0.1\n");
    file.close();
    CQtProfile profile(path);
    EXPECT_EQ(profile.GetProfileString("History", "SearchBases", ""), "dc=example,dc=com");
    EXPECT_EQ(profile.GetProfileString("History", "Servers", ""), "127.0.0.1");
    // The program's own profile is Brennick/Tarvo.
    EXPECT_EQ(CQtProfile().FileName(),
              QDir(TestProfileFolder()).filePath(QStringLiteral("Brennick/Tarvo.conf")));
}

} // namespace
