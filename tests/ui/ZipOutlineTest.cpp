// The zip outline: trees by folders and flat, attribute lines against the listings printed by the DOS
// programs that made the fixtures, the wheel, dropped files, and the archive's events as the control's.

#include "archive/AbExcept.h"
#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "ui/AbZipOut.h"

#include <QDateTime>
#include <QLocale>
#include <QMimeData>
#include <QRegularExpression>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <map>

using namespace testutil;

namespace {

// Node texts depth first, each level indented by two spaces; attribute lines are left out unless asked for.
QStringList Texts(const QAbstractItemModel* M, bool WithLines = false, const QModelIndex& Parent = {},
                  const QString& Indent = "") {
    QStringList R;
    const auto* Outline = static_cast<const TAbZipOutlineModel*>(M);
    for (int I = 0; I < M->rowCount(Parent); ++I) {
        const QModelIndex Row = M->index(I, 0, Parent);
        if (!WithLines && Outline->Kind(Row) == TAbZipOutlineModel::nkAttribute)
            continue;
        R << Indent + Row.data().toString();
        R += Texts(M, WithLines, Row, Indent + "  ");
    }
    return R;
}

// Attribute lines of every entry, by entry name.
std::map<QString, QStringList> LinesByEntry(const QAbstractItemModel* M) {
    std::map<QString, QStringList> R;
    for (int I = 0; I < M->rowCount(); ++I) {
        const QModelIndex Entry = M->index(I, 0);
        for (int J = 0; J < M->rowCount(Entry); ++J)
            R[Entry.data().toString()] << M->index(J, 0, Entry).data().toString();
    }
    return R;
}

void MakePythonZip(const std::string& Path, const std::string& Body) {
    const std::string Script = "import zipfile\nz = zipfile.ZipFile(" + Quote(Path) +
                               ", 'w', zipfile.ZIP_DEFLATED)\n" + Body + "z.close()\n";
    QCOMPARE(Run("python3 -c " + Quote(Script)), 0);
}

// What the fixture listing says of each entry, as the outline words it.
std::map<QString, QStringList> ExpectedFromListing(const std::string& Path) {
    std::map<QString, QStringList> R;
    std::ifstream In(Path);
    std::string Raw;
    QString Name;
    std::map<QString, QString> F;
    const auto Version = [](const QString& V) {
        const QRegularExpressionMatch M = QRegularExpression(R"((\d+)\.(\d+))").match(V);
        return QString::number(M.captured(1).toInt() + M.captured(2).toInt() / 10.0, 'f', 2);
    };
    const auto Flush = [&] {
        if (Name.isEmpty())
            return;
        const QString Method = F["Compression Method"].left(4);
        const std::map<QString, QString> Methods = {{"Stor", "Stored"},
                                                    {"Shru", "Shrunk"},
                                                    {"Impl", "Imploded"},
                                                    {"Redu", "Reduced"},
                                                    {"Defl", "Deflated"}};
        const QDateTime When = QDateTime::fromString(F["Date and Time"].simplified(), "MMM d,yyyy hh:mm:ss");
        const double Compressed = F["Compressed Size"].toDouble(), Size = F["Uncompressed Size"].toDouble();
        R[Name] = QStringList{
            "Compressed Size: " + F["Compressed Size"],
            "Uncompressed Size: " + F["Uncompressed Size"],
            "Compression Method: " + Methods.at(Method),
            QString::asprintf("Compression Ratio: %2.0f%%", Size ? (1 - Compressed / Size) * 100 : 0.0),
            "CRC: " + F["32 bit CRC value"].toUpper(),
            // The listing shows a writable file; the DOS programs set the archive bit on every entry.
            QString("External File Attributes: ") + (F["Attributes"][2] == 'w' ? "a" : "ra"),
            QString("File Type: ") + (F["File type"] == "text" ? "Text" : "Binary"),
            "Encryption: Not Encrypted",
            "Time Stamp: " + QLocale().toString(When, QLocale::ShortFormat),
            "Made by Version: " + Version(F["Created by"]),
            "Version Needed to Extract: " + Version(F["Needed to extract"]),
            "Comment: ",
        };
        F.clear();
    };
    while (std::getline(In, Raw)) {
        const QString Line = QString::fromLatin1(Raw.c_str()).trimmed();
        const int Colon = Line.indexOf(':');
        if (Colon < 0)
            continue;
        const QString Key = Line.left(Colon), Value = Line.mid(Colon + 1).trimmed();
        if (Key == "Filename") {
            Flush();
            Name = Value;
        } else {
            F[Key] = Value;
        }
    }
    Flush();
    return R;
}

} // namespace

class ZipOutlineTest : public QObject {
    Q_OBJECT

private slots:
    void TreesByFoldersAndFlat() {
        TScratchDir Dir;
        const std::string Zip = Dir / "t.zip";
        MakePythonZip(Zip,
                      "for n in ['a.txt', 'docs/b.txt', 'docs/sub/c.txt', 'Docs/d.txt', 'docs/', 'e.txt']:\n"
                      "    z.writestr(n, '' if n.endswith('/') else n)\n");
        TAbZipOutline Outline;
        Outline.SetFileName(Zip);
        QCOMPARE(Outline.FileName(), Zip);
        // Folders in order of first use, entries in directory order within them; case makes two folders.
        QCOMPARE(Texts(Outline.Model()), QStringList({"a.txt", "docs", "  b.txt", "  sub", "    c.txt", "  ",
                                                      "Docs", "  d.txt", "e.txt"}));
        QVERIFY(Outline.Display()->isExpanded(Outline.Model()->index(1, 0)));
        Outline.SetHierarchy(false);
        QCOMPARE(Texts(Outline.Model()),
                 QStringList({"a.txt", "docs/b.txt", "docs/sub/c.txt", "Docs/d.txt", "docs/", "e.txt"}));
        // Default lines: eight per entry, in the fixed order.
        const QStringList First = LinesByEntry(Outline.Model())["a.txt"];
        QCOMPARE(First.size(), 8);
        QVERIFY(First[0].startsWith("Compressed Size: "));
        QVERIFY(First[7].startsWith("Time Stamp: "));
        Outline.SetAttributes({});
        QCOMPARE(Outline.Model()->rowCount(Outline.Model()->index(0, 0)), 0);
        Outline.SetAttributes({zaCRC, zaCompressedSize});
        QCOMPARE(
            LinesByEntry(Outline.Model())["a.txt"],
            QStringList({"Compressed Size: 7", QString("CRC: %1").arg(Crc32("a.txt"), 0, 16).toUpper()}));

        // A collapse keeps the folders below the top level open.
        Outline.SetHierarchy(true);
        Outline.CollapseAll();
        const QModelIndex Docs = Outline.Model()->index(1, 0);
        QVERIFY(!Outline.Display()->isExpanded(Docs));
        QVERIFY(Outline.Display()->isExpanded(Outline.Model()->index(1, 0, Docs)));
        Outline.ExpandAll();
        QVERIFY(Outline.Display()->isExpanded(Docs));

        Outline.CloseArchive();
        QCOMPARE(Outline.Model()->rowCount(), 0);
        QCOMPARE(Outline.EntryCount(), 0);
    }

    void AttributeLinesMatchTheFixtureListings() {
        for (const auto& E : std::filesystem::directory_iterator(FixturesDir() + "/pkzip")) {
            if (E.path().extension() != ".ZIP")
                continue;
            TAbZipOutline Outline;
            Outline.SetAttributes(AbAllZipAttributes);
            Outline.SetFileName(E.path());
            const auto Expected =
                ExpectedFromListing(E.path().string().substr(0, E.path().string().size() - 4) + ".TXT");
            const auto Got = LinesByEntry(Outline.Model());
            QCOMPARE(Got.size(), size_t(15));
            for (const auto& [Name, Lines] : Expected) {
                QVERIFY2(Got.count(Name), qPrintable(Name));
                QCOMPARE(Got.at(Name), Lines);
            }
        }
    }

    void WheelExpandsAndMovesTheSelection() {
        TScratchDir Dir;
        MakePythonZip(Dir / "w.zip", "for n in ['a', 'b', 'c']:\n    z.writestr(n, n)\n");
        TAbZipOutline Outline;
        Outline.SetFileName(Dir / "w.zip");
        TAbZipDisplayOutline* View = Outline.Display();
        View->collapseAll();
        const QModelIndex B = Outline.Model()->index(1, 0);
        View->setCurrentIndex(B);
        const auto Wheel = [View](int Delta) {
            QWheelEvent Event(QPointF(5, 5), QPointF(5, 5), {}, QPoint(0, Delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(View->viewport(), &Event);
        };
        // Down two rows: into b's own attribute lines, which the wheel opened.
        Wheel(-240);
        QVERIFY(View->isExpanded(B));
        QCOMPARE(View->currentIndex(), Outline.Model()->index(1, 0, B));
        // Smaller steps add up; far up stops at the first row.
        Wheel(60);
        QCOMPARE(View->currentIndex(), Outline.Model()->index(1, 0, B));
        Wheel(60);
        QCOMPARE(View->currentIndex(), Outline.Model()->index(0, 0, B));
        Wheel(120 * 50);
        QCOMPARE(View->currentIndex(), Outline.Model()->index(0, 0));
    }

    void DroppedFilesGoToTheHandlerWithTheirWholeNames() {
        TAbZipOutline Outline;
        QVERIFY(!Outline.Display()->viewport()->acceptDrops());
        std::vector<std::string> Dropped;
        Outline.SetOnWindowsDrop([&](void* Sender, const std::string& Name) {
            QCOMPARE(Sender, static_cast<void*>(&Outline));
            Dropped.push_back(Name);
        });
        QVERIFY(Outline.Display()->viewport()->acceptDrops());
        const std::string Long = "/tmp/" + std::string(120, 'n') + "/archive one.zip";
        QMimeData Data;
        Data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Long)), QUrl::fromLocalFile("/tmp/b.zip")});
        QDragEnterEvent Enter(QPoint(5, 5), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Outline.Display()->viewport(), &Enter);
        QVERIFY(Enter.isAccepted());
        QDropEvent Drop(QPointF(5, 5), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Outline.Display()->viewport(), &Drop);
        QCOMPARE(Dropped, (std::vector<std::string>{Long, "/tmp/b.zip"}));
        Outline.SetOnWindowsDrop(nullptr);
        QVERIFY(!Outline.Display()->viewport()->acceptDrops());
    }

    void ArchiveEventsAndProperties() {
        TScratchDir Dir;
        const std::string Zip = Dir / "e.zip";
        MakePythonZip(Zip, "for n in ['one.txt', 'two.txt', 'three.txt']:\n    z.writestr(n, n * 100)\n");
        TAbZipOutline Outline;
        QVERIFY_THROWS_EXCEPTION(EAbNoArchive, Outline.ExtractMatching("*.*"));
        // Values set while closed reach the archive opened later.
        Outline.SetBaseDirectory(Dir.Path());
        Outline.SetFileName(Zip);
        QCOMPARE(Outline.BaseDirectory(), Dir.Path());
        QVERIFY_THROWS_EXCEPTION(EAbNoSuchDirectory, Outline.SetBaseDirectory(Dir / "missing"));
        QCOMPARE(Outline.BaseDirectory(), Dir.Path());
        Outline.SetBaseDirectory(Dir.Path() + "/");
        QCOMPARE(Outline.BaseDirectory(), Dir.Path());

        // Without a question handler existing files are overwritten.
        WriteFile(Dir / "one.txt", "old");
        std::vector<int> Progress;
        Outline.OnArchiveProgress = [&](void* Sender, uint8_t P, bool& Abort) {
            QCOMPARE(Sender, static_cast<void*>(&Outline));
            QVERIFY(!Abort);
            Progress.push_back(P);
        };
        Outline.ExtractMatching("*.*");
        std::string One;
        for (int I = 0; I < 100; ++I)
            One += "one.txt";
        QCOMPARE(ReadFile(Dir / "one.txt"), One);
        QCOMPARE(Progress, (std::vector<int>{33, 66, 100, 100}));

        // A handler's answer holds, and an abort from the progress stops the run.
        int Asked = 0;
        Outline.OnConfirmOverwrite = [&](std::string&, bool& Confirm) {
            QVERIFY(Confirm);
            ++Asked;
            Confirm = false;
        };
        WriteFile(Dir / "two.txt", "kept");
        Outline.OnArchiveProgress = [](void*, uint8_t, bool& Abort) { Abort = true; };
        QVERIFY_THROWS_EXCEPTION(EAbUserAbort, Outline.ExtractMatching("*.*"));
        QCOMPARE(Asked, 1);
        Outline.OnArchiveProgress = nullptr;

        // The password the handler returns becomes the control's.
        QCOMPARE(Run("cd " + Quote(Dir.Path()) + " && rm -f c.zip && zip -q -P right c.zip one.txt"), 0);
        Outline.SetFileName(Dir / "c.zip");
        Outline.OnNeedPassword = [](void*, std::string& NewPassword) { NewPassword = "right"; };
        Outline.OnConfirmOverwrite = nullptr;
        std::filesystem::remove(Dir / "one.txt");
        Outline.ExtractMatching("*.*");
        QCOMPARE(Outline.Password(), std::string("right"));
        QVERIFY(std::filesystem::exists(Dir / "one.txt"));
    }

    void OpeningReadOnlyMissingAndDamagedFiles() {
        TScratchDir Dir;
        const std::string Zip = Dir / "r.zip";
        MakePythonZip(Zip, "z.writestr('x.txt', 'x')\n");
        std::filesystem::permissions(Zip, std::filesystem::perms::owner_read);
        TAbZipOutline Outline;
        int Changes = 0;
        Outline.OnChange = [&](void*) { ++Changes; };
        // A file the user may not change still lists and extracts.
        Outline.SetFileName(Zip);
        QCOMPARE(Outline.EntryCount(), 1);
        QCOMPARE(Changes, 1);
        Outline.SetBaseDirectory(Dir.Path());
        Outline.ExtractMatching("*.*");
        QCOMPARE(ReadFile(Dir / "x.txt"), std::string("x"));

        // What cannot be read raises and leaves the control closed.
        WriteFile(Dir / "bad.zip", RandomBytes(3000, 4));
        QVERIFY_THROWS_EXCEPTION(std::exception, Outline.SetFileName(Dir / "bad.zip"));
        QCOMPARE(Outline.FileName(), std::string());
        QCOMPARE(Outline.Model()->rowCount(), 0);
        QVERIFY_THROWS_EXCEPTION(EAbNoArchive, Outline.ExtractMatching("*.*"));

        // A name that does not exist yet is a new, empty archive.
        Outline.SetFileName(Dir / "new.zip");
        QCOMPARE(Outline.EntryCount(), 0);
        QVERIFY(std::filesystem::exists(Dir / "new.zip"));
    }
};

QTEST_MAIN(ZipOutlineTest)
#include "ZipOutlineTest.moc"
