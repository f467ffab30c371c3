
TEST_F(CLdifTest, ALargeFileKeptInBlocksReadsEditsAndWritesBackExactly) {
    // Large enough to be kept compressed in many blocks; every record has a
    // value after an empty line, so some records run over the end of a block.
    std::string text = "version: 1\r\n\r\n";
    for (int i = 0; text.size() < (3 << 20); ++i) {
        text += "dn: cn=e" + std::to_string(i) + ",o=x\r\nobjectclass: top\r\n# note\r\ncn: e" +
                std::to_string(i) + "\r\n\r\ndescription: after the empty line " + std::to_string(i) +
                "\r\n long and folded\r\n\r\n";
    }
    ASSERT_TRUE(OpenText(text));
    EXPECT_EQ(m_pSource->FormatContents(), text);
    std::vector<CLdifTriple> expected = LdifTriples(*m_pSource);
    ASSERT_GT(expected.size(), 100000u);
    EXPECT_EQ(std::count_if(expected.begin(), expected.end(),
                            [](const CLdifTriple& t) { return std::get<1>(t) == "description"; }),
              m_pSource->GetEntries().GetSize());
    // Edit records all over the file: each is written anew, the rest as read.
    for (int i = 0; i < m_pSource->GetEntries().GetSize(); i += 997) {
        CEntryNode* pEntry = m_pSource->GetEntries()[i];
        AddValue(pEntry, "mail", {"m" + std::to_string(i)});
        expected.emplace_back(pEntry->m_strDN.Str(), "mail", "m" + std::to_string(i));
    }
    std::sort(expected.begin(), expected.end());
    const std::string written = CloseAndRead();
    EXPECT_EQ(written.substr(0, 200), text.substr(0, 200));
    ASSERT_TRUE(OpenPath(Path()));
    EXPECT_EQ(LdifTriples(*m_pSource), expected);
    EXPECT_EQ(m_pSource->FormatContents(), written);
}
