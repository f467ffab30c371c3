// What a server or a file says is shown as it is: markup stays text in
// every box, label, tooltip, status pane and table; invisible and
// direction-changing characters are spelt out and look-alike words marked;
// the bytes themselves are kept and sent back unchanged.

#include "UiTestSupport.h"

#include "model/EntryNode.h"
#include "platform/qt/PlainText.h"
#include "platform/qt/QtServices.h"
#include "session/LoginPrompts.h"
#include "session/MainFrame.h"
#include "ui/AttributeRowModel.h"
#include "ui/CertificateDlg.h"
#include "ui/EntryTreeModel.h"
#include "ui/SearchPanel.h"
#include "ui/SearchResultModel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeView>

namespace {

const char* const kPayloads[] = {
    "<a href=\"https://attacker.invalid/\">click me</a>",
    "<img src=\"file:///etc/hostname\">",
    "<b>bold</b>",
    "<font size=7 color=red>big</font>",
};

std::string Base64(const std::string& text) {
    return QByteArray::fromStdString(text).toBase64().toStdString();
}

// One entry per text under o=Acme, its DN, cn and description all the text;
// base64 throughout, as the file must carry such values.
std::string FileWith(const std::vector<std::string>& texts) {
    std::string file = "dn: o=Acme\nobjectclass: organization\no: Acme\n\n";
    for (const std::string& text : texts)
        file += "dn:: " + Base64("cn=" + text + ",o=Acme") + "\nobjectclass: person\ncn:: " + Base64(text) +
                "\ndescription:: " + Base64(text) + "\n\n";
    return file;
}

// What a tooltip reads as; empty for none.
QString TipText(const QVariant& tip) {
    return tip.isValid() ? ToolTipPlainText(tip.toString()) : QString();
}

class PlainText : public ::testing::Test {
protected:
    void Open(const std::vector<std::string>& texts) {
        ASSERT_TRUE(m_panes.OpenLdif(m_dir.File("hostile.ldif"), FileWith(texts), "o=Acme"));
        m_pTree->ExpandItem(m_panes.Root());
    }
    HTREEITEM Item(const std::string& text) { return m_panes.Child(m_panes.Root(), "cn=" + text); }
    QModelIndex TreeIndex(HTREEITEM hItem) {
        CEntryTreeModel* pModel = m_pTree->GetModel();
        return pModel->IndexOf(pModel->Find(hItem));
    }
    // The description row's value as the attribute pane shows it.
    QModelIndex DescriptionCell() {
        for (int i = 0; i < m_pList->GetRowCount(); ++i)
            if (m_pList->GetRowName(i) == "description")
                return m_pList->GetModel()->index(i, 1);
        return {};
    }
    struct CShownBox {
        QString text, informative;
        Qt::TextFormat eFormat = Qt::AutoText;
    };
    // The message box that came up while fnAsk ran (answered No/OK), the
    // program's own Qt boxes standing in for the recorder meanwhile.
    CShownBox ShownBox(const std::function<void()>& fnAsk) {
        // Shared with the driver, which outlives this call when no box came.
        auto pShown = std::make_shared<CShownBox>();
        DriveNextModal([pShown](QWidget* pModal) {
            auto* pBox = qobject_cast<QMessageBox*>(pModal);
            ASSERT_NE(pBox, nullptr);
            *pShown = {pBox->text(), pBox->informativeText(), pBox->textFormat()};
            // What the label itself shows, not only what it was given.
            if (auto* pLabel = pBox->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
                EXPECT_EQ(pLabel->textFormat(), Qt::PlainText);
            }
            pBox->reject();
        });
        CQtMessageBoxes qtBoxes;
        CServices::SetMessageBoxes(&qtBoxes);
        fnAsk();
        CServices::SetMessageBoxes(&m_panes.m_services.m_boxes);
        return *pShown;
    }
    // The status pane's label as the main frame shows text: whole, or cut
    // with the whole in the tooltip.
    static void ExpectPaneShows(CMainFrame& frame, int nPane, const QString& text) {
        frame.SetPaneText(nPane, text);
        QLabel* pLabel = frame.GetPaneLabel(nPane);
        EXPECT_EQ(pLabel->textFormat(), Qt::PlainText);
        if (pLabel->text() != text) {
            EXPECT_EQ(ToolTipPlainText(pLabel->toolTip()), text) << text.toStdString();
        }
    }

    CTempDir m_dir;
    CPanes m_panes;
    CLdapTreeView* const m_pTree = m_panes.m_pTree;
    CLdapListView* const m_pList = m_panes.m_pList;
};

} // namespace

TEST_F(PlainText, MarkupFromTheFileIsShownAsTypedEverywhere) {
    Open({std::begin(kPayloads), std::end(kPayloads)});
    CMainFrame frame(nullptr);
    CSearchPanel panel(&m_panes.m_doc, m_pTree);
    panel.show();
    panel.ShowForEntry("o=Acme");
    panel.FilterCombo()->setEditText(QStringLiteral("(objectClass=person)"));
    panel.OnSearch();
    ASSERT_TRUE(WaitUntil([&] { return !panel.IsSearching(); }));
    ASSERT_EQ(panel.Results()->GetResultCount(), static_cast<int>(std::size(kPayloads)));
    EXPECT_EQ(panel.FilterErrorLabel()->textFormat(), Qt::PlainText);

    for (const char* pszPayload : kPayloads) {
        const QString payload = QString::fromUtf8(pszPayload);
        const QString dn = QStringLiteral("cn=") + payload + QStringLiteral(",o=Acme");
        SCOPED_TRACE(pszPayload);

        // The tree's label and tooltip.
        const HTREEITEM hItem = Item(pszPayload);
        ASSERT_NE(hItem, HTREEITEM());
        const QModelIndex item = TreeIndex(hItem);
        const QString label = item.data(Qt::DisplayRole).toString();
        EXPECT_TRUE(label == dn || label == QStringLiteral("cn=") + payload) << label.toStdString();
        EXPECT_EQ(TipText(item.data(Qt::ToolTipRole)), QString());

        // The attribute pane's cell and tooltip, and the status panes it wrote.
        m_panes.m_services.m_status.Clear();
        ASSERT_TRUE(m_pTree->ClickItem(hItem));
        const QModelIndex cell = DescriptionCell();
        ASSERT_TRUE(cell.isValid());
        EXPECT_EQ(cell.data(Qt::DisplayRole).toString(), payload);
        EXPECT_EQ(TipText(cell.data(Qt::ToolTipRole)), QString());
        for (int nPane = 0; nPane < 3; ++nPane)
            ExpectPaneShows(frame, nPane, ToQString(m_panes.Status(nPane)));
        ExpectPaneShows(frame, 1, dn);
        ExpectPaneShows(frame, 2, QStringLiteral("Finding Attributes for - ") + dn);
        ExpectPaneShows(frame, 0, payload);

        // The search table: DN column, value columns and their tooltips.
        bool bRowFound = false;
        QAbstractItemModel* pTable = panel.ResultTable()->model();
        for (int nRow = 0; nRow < pTable->rowCount(); ++nRow) {
            if (pTable->index(nRow, 0).data().toString() != dn)
                continue;
            bRowFound = true;
            EXPECT_EQ(TipText(pTable->index(nRow, 0).data(Qt::ToolTipRole)), dn);
            int nValues = 0;
            for (int nColumn = 1; nColumn < pTable->columnCount(); ++nColumn) {
                const QModelIndex value = pTable->index(nRow, nColumn);
                if (value.data().toString() != payload)
                    continue;
                ++nValues;
                EXPECT_EQ(TipText(value.data(Qt::ToolTipRole)), payload);
            }
            EXPECT_EQ(nValues, 2); // cn and description
        }
        EXPECT_TRUE(bRowFound);

        // The Delete question, through the program's own message boxes.
        CShownBox box = ShownBox([&] {
            m_pTree->SelectItem(hItem);
            m_pTree->OnDeleteEntry();
        });
        EXPECT_EQ(box.text,
                  QStringLiteral("Delete the entry ") + dn + QStringLiteral(" from the directory?"));
        EXPECT_EQ(box.eFormat, Qt::PlainText);
        EXPECT_NE(Item(pszPayload), HTREEITEM()); // answered No

        // The plain-password question names the account and the host.
        CLoginPrompts prompts(&frame);
        box = ShownBox(
            [&] { EXPECT_FALSE(prompts.ConfirmPlainPassword(FromQString(dn), FromQString(payload), 389)); });
        EXPECT_EQ(
            box.text,
            QStringLiteral("The password for %1 will be sent unencrypted to %2. Continue?").arg(dn, payload));
        EXPECT_EQ(box.eFormat, Qt::PlainText);

        // The certificate dialog: the host and the library's message.
        CCertificateProblem problem;
        problem.m_strHost = FromQString(payload);
        problem.m_nPort = 636;
        problem.m_strDiagnostic = FromQString(payload);
        CCertificateDlg dialog(problem);
        EXPECT_EQ(dialog.HeadingLabel()->text(),
                  QStringLiteral("The certificate of %1:636 could not be verified.").arg(payload));
        EXPECT_EQ(dialog.HeadingLabel()->textFormat(), Qt::PlainText);
        ASSERT_NE(dialog.FieldLabel(QStringLiteral("Library message")), nullptr);
        EXPECT_EQ(dialog.FieldLabel(QStringLiteral("Library message"))->text(), payload);
        for (QLabel* pLabel : dialog.findChildren<QLabel*>())
            EXPECT_NE(pLabel->textFormat(), Qt::RichText) << pLabel->text().toStdString();
    }
    // The message boxes of the service itself, for any text at all.
    for (const char* pszPayload : kPayloads) {
        const CShownBox box = ShownBox([&] { AfxMessageBox(pszPayload, MB_OK | MB_ICONSTOP); });
        EXPECT_EQ(box.text, QString::fromUtf8(pszPayload));
        EXPECT_EQ(box.eFormat, Qt::PlainText);
    }
}

TEST_F(PlainText, HiddenAndReversingCharactersAreSpeltOutAndLookAlikesMarkedButTheBytesStay) {
    const std::string rlo = "\xE2\x80\xAE";   // right-to-left override
    const std::string zwj = "\xE2\x80\x8D";   // zero-width joiner
    const std::string zwsp = "\xE2\x80\x8B";  // zero-width space
    const std::string cyrillicA = "\xD0\x90"; // looks like "A"
    const std::vector<std::string> names = {"Alice", "Al" + zwj + "ice", "Al" + zwsp + "ice",
                                            cyrillicA + "lice", rlo + "live"};
    Open(names);
    const QString mark202E = QString::fromUtf8("\xE2\x9F\xA8U+202E\xE2\x9F\xA9");
    const QStringList shown = {
        QStringLiteral("cn=Alice"),
        QString::fromUtf8("cn=Al\xE2\x9F\xA8U+200D\xE2\x9F\xA9ice"),
        QString::fromUtf8("cn=Al\xE2\x9F\xA8U+200B\xE2\x9F\xA9ice"),
        QString::fromUtf8("cn=\xD0\x90lice"),
        QStringLiteral("cn=") + mark202E + QStringLiteral("live"),
    };
    CMainFrame frame(nullptr);
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(i);
        const HTREEITEM hItem = Item(names[i]);
        ASSERT_NE(hItem, HTREEITEM());
        const QModelIndex item = TreeIndex(hItem);
        // Five entries, five different labels.
        EXPECT_TRUE(item.data().toString().startsWith(shown[static_cast<int>(i)]))
            << item.data().toString().toStdString();
        const QString warning = TipText(item.data(Qt::ToolTipRole));
        const QString expected =
            i == 3 ? QString::fromUtf8("Look-alike letters: the word \xE2\x80\x9C\xD0\x90lice\xE2\x80\x9D "
                                       "mixes Latin with Cyrillic letters.")
                   : QString();
        EXPECT_EQ(warning, expected);

        ASSERT_TRUE(m_pTree->ClickItem(hItem));
        const QString value = DescriptionCell().data().toString();
        EXPECT_EQ(QStringLiteral("cn=") + value, shown[static_cast<int>(i)]);
        EXPECT_EQ(!TipText(DescriptionCell().data(Qt::ToolTipRole)).isEmpty(), i == 3);
        // The status pane, left to right.
        frame.SetPaneText(1, ToQString(m_panes.Status(1)));
        EXPECT_EQ(frame.GetPaneLabel(1)->layoutDirection(), Qt::LeftToRight);
        EXPECT_FALSE(frame.GetPaneLabel(1)->text().contains(QString::fromUtf8(rlo.c_str())));

        // The bytes are the file's: copied as they are, never as shown.
        m_pTree->SelectItem(hItem);
        m_pTree->OnCopy(false);
        EXPECT_EQ(FromQString(QApplication::clipboard()->text()).Str(), "cn=" + names[i] + ",o=Acme");
    }
    // The panes draw the marks in a colour of their own, and only the marks.
    auto markPixels = [this](const HTREEITEM hItem) {
        QTreeView* pView = m_pTree->GetTreeControl();
        QStyleOptionViewItem option;
        option.initFrom(pView);
        option.widget = pView;
        option.rect = QRect(0, 0, 400, pView->fontMetrics().height() + 6);
        option.state |= QStyle::State_Enabled | QStyle::State_Active;
        QImage image(option.rect.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        pView->itemDelegate()->paint(&painter, option, TreeIndex(hItem));
        painter.end();
        int nCount = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                nCount += pixel.red() > 150 && pixel.green() < 90 && pixel.blue() < 90;
            }
        return nCount;
    };
    EXPECT_GT(markPixels(Item(rlo + "live")), 0);
    EXPECT_EQ(markPixels(Item("Alice")), 0);

    // A reversed DN in a box reads as stored, left to right, marks included.
    const auto askDelete = [this](const std::string& rdn) {
        return ShownBox([&] {
            AfxMessageBox(("Delete the entry " + rdn + ",o=Acme from the directory?").c_str(), MB_YESNO);
        });
    };
    EXPECT_EQ(askDelete("cn=" + rlo + "live").text, QStringLiteral("Delete the entry cn=") + mark202E +
                                                        QStringLiteral("live,o=Acme from the directory?"));

    // A look-alike name in a question is pointed out in the box itself.
    EXPECT_EQ(askDelete("cn=" + cyrillicA + "lice").informative,
              QString::fromUtf8("Look-alike letters: the word \xE2\x80\x9C\xD0\x90lice\xE2\x80\x9D "
                                "mixes Latin with Cyrillic letters."));

    // The entry keeps the file's bytes; only what is shown changed.
    ASSERT_TRUE(m_pTree->ClickItem(Item(rlo + "live")));
    CEntryNode* pEntry = m_pList->GetCurrentEntry();
    ASSERT_NE(pEntry, nullptr);
    EXPECT_EQ(pEntry->GetDN().Str(), "cn=" + rlo + "live,o=Acme");
}
