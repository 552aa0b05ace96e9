// The zip outline: trees by folders and flat, attribute lines as tarnlet-cli words them, the wheel,
// dropped files, the archive's events as the control's, and files added through it.

#include "archive/AbExcept.h"
#include "common/QtTestUtil.h"
#include "common/TestUtil.h"
#include "ui/AbZipOut.h"

#include <QDateTime>
#include <QLocale>
#include <QMimeData>
#include <QTest>
#include <filesystem>
#include <map>

using namespace testutil;

namespace {

// Node texts depth first, each level indented by two spaces, without attribute lines.
QStringList Texts(const TAbZipOutlineModel* M, const QModelIndex& Parent = {}, const QString& Indent = "") {
    QStringList R;
    for (int I = 0; I < M->rowCount(Parent); ++I)
        if (const QModelIndex Row = M->index(I, 0, Parent); M->Kind(Row) != TAbZipOutlineModel::nkAttribute)
            R << Indent + Row.data().toString() << Texts(M, Row, Indent + "  ");
    return R;
}

// The attribute lines of a row.
QStringList Lines(const QAbstractItemModel* M, const QModelIndex& Row) {
    QStringList R;
    for (int J = 0; J < M->rowCount(Row); ++J)
        R << M->index(J, 0, Row).data().toString();
    return R;
}

// Rows shown, walked top to bottom as the keyboard does; each row's parent must lead back to it.
int Shown(const QTreeView* View) {
    int N = 0;
    for (QModelIndex Row = View->model()->index(0, 0); Row.isValid(); Row = View->indexBelow(Row), ++N)
        if (View->model()->index(Row.row(), 0, Row.parent()) != Row)
            return -1;
    return N;
}

} // namespace

class ZipOutlineTest : public QObject {
    Q_OBJECT

private slots:
    void TreesAndAttributeLines() {
        TScratchDir Dir;
        const std::string Zip = Dir / "t.zip";
        PythonZip(Zip, "for n in ['a.txt', 'docs/b.txt', 'docs/sub/c.txt', 'Docs/d.txt', 'docs/', 'e.txt']:\n"
                       "    z.writestr(n, '' if n.endswith('/') else n)");
        TAbZipOutline Outline;
        Outline.SetFileName(Zip);
        // Folders in order of first use, entries in directory order within them; case makes two folders.
        QCOMPARE(Texts(Outline.Model()), QStringList({"a.txt", "docs", "  b.txt", "  sub", "    c.txt", "  ",
                                                      "Docs", "  d.txt", "e.txt"}));
        // Opening expands every node: 9 nodes and 8 attribute lines under each of the 6 entries; a collapse
        // closes the top level only.
        const QModelIndex Docs = Outline.Model()->index(1, 0);
        QCOMPARE(Shown(Outline.Display()), 9 + 6 * 8);
        Outline.CollapseAll();
        QCOMPARE(Shown(Outline.Display()), 4);
        QVERIFY(Outline.Display()->isExpanded(Outline.Model()->index(1, 0, Docs)));
        Outline.ExpandAll();
        QCOMPARE(Shown(Outline.Display()), 9 + 6 * 8);

        Outline.SetHierarchy(false);
        QCOMPARE(Texts(Outline.Model()),
                 QStringList({"a.txt", "docs/b.txt", "docs/sub/c.txt", "Docs/d.txt", "docs/", "e.txt"}));
        const QModelIndex A = Outline.Model()->index(0, 0);
        QCOMPARE(Lines(Outline.Model(), A).size(), 8);
        Outline.SetAttributes({});
        QCOMPARE(Outline.Model()->rowCount(A), 0);
        // Every line as tarnlet-cli list --verbose words it (checked against Python there), in its order,
        // with the time in the locale's short form.
        Outline.SetAttributes(AbAllZipAttributes);
        std::string Listing;
        QCOMPARE(Cli("list --verbose " + Quote(Zip), &Listing), 0);
        QStringList Expected = QString::fromStdString(Listing).split('\n').mid(1, 12);
        for (QString& Line : Expected)
            Line = Line.mid(2);
        Expected[8] =
            "Time Stamp: " +
            QLocale().toString(QDateTime::fromString(Expected[8].mid(12), Qt::ISODate), QLocale::ShortFormat);
        QCOMPARE(Lines(Outline.Model(), Outline.Model()->index(0, 0)), Expected);
        Outline.CloseArchive();
        QCOMPARE(Outline.Model()->rowCount(), 0);
    }

    void WheelAndDroppedFiles() {
        TScratchDir Dir;
        PythonZip(Dir / "w.zip", "for n in ['a', 'b', 'c']:\n    z.writestr(n, n)");
        TAbZipOutline Outline;
        Outline.SetFileName(Dir / "w.zip");
        TAbZipDisplayOutline* View = Outline.Display();
        const QModelIndex B = Outline.Model()->index(1, 0);
        View->setCurrentIndex(B);
        // Down two rows goes into b's own attribute lines, which the wheel opened; smaller steps add up; far
        // up stops at the first row.
        for (auto [Delta, Row] : {std::pair{-240, Outline.Model()->index(1, 0, B)},
                                  {60, Outline.Model()->index(1, 0, B)},
                                  {60, Outline.Model()->index(0, 0, B)},
                                  {120 * 50, Outline.Model()->index(0, 0)}}) {
            QWheelEvent Event(QPointF(5, 5), QPointF(5, 5), {}, QPoint(0, Delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(View->viewport(), &Event);
            QCOMPARE(View->currentIndex(), Row);
        }

        // Dropped files reach the handler whole, and only while one is set.
        QVERIFY(!View->viewport()->acceptDrops());
        std::vector<std::string> Dropped;
        Outline.SetOnWindowsDrop([&](void* Sender, const std::string& Name) {
            QCOMPARE(Sender, static_cast<void*>(&Outline));
            Dropped.push_back(Name);
        });
        const std::string Long = "/tmp/" + std::string(120, 'n') + "/archive one.zip";
        QMimeData Data;
        Data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Long)), QUrl::fromLocalFile("/tmp/b.zip")});
        QDragEnterEvent Enter(QPoint(5, 5), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(View->viewport(), &Enter);
        QVERIFY(Enter.isAccepted());
        QDropEvent Drop(QPointF(5, 5), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(View->viewport(), &Drop);
        QCOMPARE(Dropped, (std::vector<std::string>{Long, "/tmp/b.zip"}));
        Outline.SetOnWindowsDrop(nullptr);
        QVERIFY(!View->viewport()->acceptDrops());
    }

    void ArchiveEventsAndProperties() {
        TScratchDir Dir;
        PythonZip(Dir / "e.zip", "for n in ['one.txt', 'two.txt', 'three.txt']:\n    z.writestr(n, n * 100)");
        TAbZipOutline Outline;
        QVERIFY_THROWS_EXCEPTION(EAbNoArchive, Outline.ExtractMatching("*.*"));
        // A folder set while closed reaches the archive opened later; a missing one is refused.
        Outline.SetBaseDirectory(Dir.Path());
        Outline.SetFileName(Dir / "e.zip");
        QVERIFY_THROWS_EXCEPTION(EAbNoSuchDirectory, Outline.SetBaseDirectory(Dir / "missing"));

        // Without a question handler existing files are overwritten; progress comes with Abort cleared.
        WriteFile(Dir / "one.txt", "old");
        std::vector<int> Progress;
        Outline.OnArchiveProgress = [&](void* Sender, uint8_t P, bool& Abort) {
            QVERIFY(Sender == &Outline && !Abort);
            Progress.push_back(P);
        };
        Outline.ExtractMatching("*.*");
        QCOMPARE(ReadFile(Dir / "one.txt").size(), size_t(700));
        QCOMPARE(Progress, (std::vector<int>{33, 66, 100, 100}));
    }

    void OpeningAndAddingFiles() {
        TScratchDir Dir;
        PythonZip(Dir / "r.zip", "z.writestr('x.txt', 'x')");
        std::filesystem::permissions(Dir / "r.zip", std::filesystem::perms::owner_read);
        TAbZipOutline Outline;
        int Changes = 0;
        Outline.OnChange = [&](void*) { ++Changes; };
        // A file the user may not change still lists and extracts.
        Outline.SetFileName(Dir / "r.zip");
        QCOMPARE(Changes, 1);
        Outline.SetBaseDirectory(Dir.Path());
        Outline.ExtractMatching("*.*");
        QCOMPARE(ReadFile(Dir / "x.txt"), std::string("x"));

        // What cannot be read raises and leaves the control closed.
        WriteFile(Dir / "bad.zip", RandomBytes(3000, 4));
        QVERIFY_THROWS_EXCEPTION(std::exception, Outline.SetFileName(Dir / "bad.zip"));
        QCOMPARE(Outline.FileName(), std::string());
        QCOMPARE(Outline.Model()->rowCount(), 0);
        QVERIFY_THROWS_EXCEPTION(EAbNoArchive, Outline.AddFiles(Dir / "x.txt"));

        // A new name is a new archive; what is added shows at once and is written on closing, replacing an
        // entry of the same name, and unzip reads it.
        WriteFile(Dir / "in/a.txt", SampleText(30000, 7));
        WriteFile(Dir / "in/sub/b.bin", RandomBytes(5000, 8));
        Outline.SetStoreOptions({soStripDrive, soRemoveDots, soRecurse});
        Outline.SetFileName(Dir / "new.zip");
        QCOMPARE(Outline.EntryCount(), 0);
        const std::string In = Dir / "in", Stored = In.substr(1);
        Outline.AddFiles(In);
        Outline.AddFiles(In + "/a.txt");
        Outline.SetHierarchy(false);
        const QStringList Names = Texts(Outline.Model());
        QCOMPARE(Names.size(), 4);
        QCOMPARE(Names.last().toStdString(), Stored + "/a.txt");
        Outline.CloseArchive();
        QCOMPARE(Run("unzip -tq " + Quote(Dir / "new.zip") + " >/dev/null && unzip -p " +
                     Quote(Dir / "new.zip") + " " + Quote(Stored + "/sub/b.bin") + " | cmp -s - " +
                     Quote(In + "/sub/b.bin")),
                 0);
    }
};

QTEST_MAIN(ZipOutlineTest)
#include "ZipOutlineTest.moc"