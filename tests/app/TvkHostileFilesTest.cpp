// The window facing files that are not what they seem (folders, FIFOs, devices, vanished or
// unreadable files, overlong lines and paths) and writes that fail (no permission, a full disk):
// no crash, no blocking, a clear message where one is due and nothing lost.
#include "app/TvkFixture.h"
#include "io/SafeWriter.h"
#include "io/WaveReader.h"
#include "support/FileFaults.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>

#include <sys/stat.h>

namespace {

// Every result of the analysis and every stored channel is a finite number.
bool outputsFinite(const TAnalyzer& a) {
    const auto finite = [](const auto& values) {
        return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
    };
    bool ok = finite(a.filterIr) && finite(a.filterDb) && finite(a.micDb) && finite(a.pickupDb);
    for (const ChannelResult& c : a.channels)
        ok = ok && finite(c.filterIr) && finite(c.filterDb);
    return ok;
}

void writeBytes(const QString& path, const std::string& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

std::string readBytes(const QString& path) {
    std::ifstream file(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Names in a folder, hidden ones included (a temporary file would be hidden).
QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                               QDir::Name);
}

// A path of about 10 000 characters below `dir` whose folders do not exist.
QString overlongPath(const QString& dir, const char* suffix) {
    QString path = dir;
    while (path.size() < 10000)
        path += "/" + QString(99, QLatin1Char('d'));
    return path + "/01234 x." + QLatin1String(suffix);
}

class TvkHostileFiles : public TvkTest {
protected:
    void SetUp() override {
        TvkTest::SetUp();
        ASSERT_TRUE(dir.isValid());
    }
    QString path(const char* name) const { return dir.path() + "/" + name; }
    QString fifo(const char* name) const {
        const QString p = path(name);
        EXPECT_EQ(::mkfifo(p.toLocal8Bit().constData(), 0644), 0);
        return p;
    }
    // Runs the channel's Load button, its dialog answered with `file`.
    void loadThroughDialog(int channel, const QString& file) {
        QString title;
        answerNextModal(&title, file);
        QTest::mouseClick(channel == 0 ? window.LoadMic : window.LoadPickup, Qt::LeftButton);
        activate(); // the offscreen platform does not give it back after the dialog
    }
    // A good project file saved from the current responses.
    QString projectOf(const char* name) {
        const QString p = path(name);
        EXPECT_TRUE(window.saveProject(p));
        return p;
    }
    // Checks that a failed write reported `file` and `reason` as a "File error".
    void expectWriteError(const QString& file, const char* reason) {
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_EQ(warnings[0].caption, "File error");
        EXPECT_TRUE(warnings[0].text.contains(file)) << warnings[0].text.toStdString();
        EXPECT_TRUE(warnings[0].text.contains(QLatin1String(reason))) << warnings[0].text.toStdString();
        warnings.clear();
    }
    // Export to `smd` and Save project to `smp` both fail, each reporting its file and `reason`.
    void expectExportAndSaveFail(const QString& smd, const QString& smp, const char* reason) {
        EXPECT_FALSE(window.exportBodyData(smd));
        expectWriteError(smd, reason);
        EXPECT_FALSE(window.saveProject(smp));
        expectWriteError(smp, reason);
    }

    QTemporaryDir dir;
};

TEST_F(TvkHostileFiles, LoadedFileThatCannotBeOpenedIsReportedAndChangesNothing) {
    loadExamples();
    const auto before = a.irData;
    const QString folder = path("folder.wav");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString pipe = fifo("pipe.wav");
    const QString vanished = path("vanished.wav");

    // Qt's dialog offers none of these (it lists no FIFOs or devices and opens folders); they
    // arrive by the command line or a path typed elsewhere.
    // Each is reported in a box naming it and its reason; the field keeps the loaded file's name.
    const auto expectReported = [&](const QString& file, const char* reason) {
        ASSERT_EQ(warnings.size(), 1u) << file.left(200).toStdString();
        EXPECT_EQ(warnings[0].caption, "File error");
        EXPECT_TRUE(warnings[0].text.contains(file) && warnings[0].text.contains(QLatin1String(reason)))
            << warnings[0].text.left(300).toStdString();
        warnings.clear();
    };
    for (int channel : {0, 1}) {
        const std::pair<QString, const char*> files[] = {
            {pipe, "not a regular file"},
            {QStringLiteral("/dev/zero"), "not a regular file"},
            {folder, "folder"},
            {vanished, "No such file or directory"},
            {overlongPath(dir.path(), "wav"), "File name too long"}};
        for (const auto& [file, reason] : files) {
            window.loadWaveFile(channel, file);
            expectReported(file, reason);
            EXPECT_EQ((channel == 0 ? window.MicFName : window.PickupFName)->text(),
                      channel == 0 ? "mic.wav" : "pickup.wav");
        }
    }
    window.openArguments({pipe});
    expectReported(pipe, "not a regular file");
    EXPECT_EQ(window.MicFName->text(), "mic.wav");
    // The dialog still opens from there and takes a good file (the one loaded before).
    loadThroughDialog(0, examplePath("mic.wav"));
    EXPECT_EQ(window.MicFName->text(), "mic.wav");
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(a.irData == before);
    EXPECT_EQ(a.fs, 44100);
    EXPECT_TRUE(outputsFinite(a));
    EXPECT_FALSE(isBlank(window.ImageFreqDomain1));
}

TEST_F(TvkHostileFiles, LoadedFileWithoutReadPermissionChangesNothing) {
    loadExamples();
    const auto before = a.irData;
    const QString locked = path("locked.wav");
    ASSERT_TRUE(QFile::copy(examplePath("pickup.wav"), locked));
    ASSERT_EQ(::chmod(locked.toLocal8Bit().constData(), 0), 0);
    {
        TNoPermissionOverride noOverride;
        ASSERT_TRUE(noOverride.enforced());
        window.loadWaveFile(0, locked);
        window.loadWaveFile(1, locked);
    }
    EXPECT_EQ(window.MicFName->text(), "mic.wav");
    EXPECT_EQ(window.PickupFName->text(), "pickup.wav");
    ASSERT_EQ(warnings.size(), 2u);
    for (const TWarning& w : warnings)
        EXPECT_TRUE(w.text.contains(locked) && w.text.contains("Permission denied")) << w.text.toStdString();
    EXPECT_TRUE(a.irData == before);
    EXPECT_TRUE(outputsFinite(a));
}

TEST_F(TvkHostileFiles, EmptyFileIsRejectedAndChangesNothing) {
    loadExamples();
    const auto before = a.irData;
    const QString empty = path("empty.wav");
    writeBytes(empty, "");
    for (int channel : {0, 1}) {
        loadThroughDialog(channel, empty);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_EQ(warnings[0].caption, waveErrorCaption);
        EXPECT_EQ(warnings[0].text, "\"" + empty + "\": " + waveUnknownFormat);
        warnings.clear();
        EXPECT_TRUE(a.irData == before) << channel;
        EXPECT_TRUE(outputsFinite(a)) << channel;
    }

    // A file that looks regular but fails to read is rejected like one that is too short.
    window.loadWaveFile(0, QStringLiteral("/proc/self/mem"));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(warnings[0].text.endsWith(waveUnknownFormat));
    EXPECT_TRUE(a.irData == before);
    EXPECT_TRUE(outputsFinite(a));
}

TEST_F(TvkHostileFiles, StripsRefuseDroppedFilesThatAreNoFilesAndReportRejectedOnes) {
    loadExamples();
    const auto before = a.irData;
    const QString folder = path("folder.wav");
    ASSERT_TRUE(QDir().mkdir(folder));
    for (const QString& file : {folder, fifo("pipe.wav"), path("vanished.wav")}) {
        EXPECT_FALSE(dropFile(&window, centreIn(&window, window.ScrollBox1), file));
        EXPECT_FALSE(dropFile(&window, centreIn(&window, window.ScrollBox2), file));
    }
    EXPECT_TRUE(a.irData == before);
    EXPECT_EQ(window.OpenMicDialog.fileName, examplePath("mic.wav"));

    const QString empty = path("empty.wav");
    writeBytes(empty, "");
    EXPECT_TRUE(dropFile(&window, centreIn(&window, window.ScrollBox2), empty));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].text, "\"" + empty + "\": " + waveUnknownFormat);
    EXPECT_TRUE(a.irData == before);
    EXPECT_EQ(window.PickupFName->text(), "pickup.wav");
    EXPECT_TRUE(outputsFinite(a));
}

// While the pickup is enabled every change reads its file again; a file that has gone, lost its
// read permission or turned into a FIFO or folder since is passed over silently.
TEST_F(TvkHostileFiles, PickupFileThatBecameUnreadableKeepsTheLoadedResponse) {
    const QString file = path("pickup.wav");
    ASSERT_TRUE(QFile::copy(examplePath("pickup.wav"), file));
    window.loadWaveFile(0, examplePath("mic.wav"));
    window.loadWaveFile(1, file);
    const auto loaded = a.irData;
    ASSERT_NE(loaded[5].pickup, 0.0);
    window.pageCtrl->setCurrentWidget(window.TabSheet2);

    const auto changeEverything = [&] {
        const bool clean = a.useMinPhase;
        enter(window.eGain, "1.0");
        clickBox(window.cbUseMinPhase);
        ASSERT_NE(a.useMinPhase, clean);
        clickBox(window.cbRefMic);
        enter(window.splRange, "40");
        window.alphaTrackBar->setValue(window.alphaTrackBar->value() + 1);
        window.betaTrackBar->setValue(window.betaTrackBar->value() - 1);
    };
    const auto expectKept = [&](const char* what) {
        EXPECT_TRUE(warnings.empty()) << what;
        EXPECT_TRUE(a.irData == loaded) << what;
        EXPECT_EQ(window.PickupFName->text(), "pickup.wav") << what;
        EXPECT_TRUE(outputsFinite(a)) << what;
    };

    ASSERT_TRUE(QFile::remove(file));
    changeEverything();
    expectKept("removed");

    ASSERT_TRUE(QFile::copy(examplePath("mic.wav"), file)); // another response, unreadable
    ASSERT_EQ(::chmod(file.toLocal8Bit().constData(), 0), 0);
    {
        TNoPermissionOverride noOverride;
        ASSERT_TRUE(noOverride.enforced());
        changeEverything();
    }
    expectKept("no read permission");

    ASSERT_TRUE(QFile::remove(file));
    fifo("pickup.wav");
    changeEverything();
    expectKept("FIFO");

    ASSERT_TRUE(QFile::remove(file));
    ASSERT_TRUE(QDir().mkdir(file));
    changeEverything();
    expectKept("folder");

    // Off and on again: the file cannot restore the response, the one kept in memory comes back.
    window.pageCtrl->setCurrentWidget(window.TabSheet1);
    clickBox(window.EnablePickup);
    clickBox(window.EnablePickup);
    EXPECT_TRUE(a.enablePickup);
    EXPECT_TRUE(a.irData == loaded);
    EXPECT_EQ(window.PickupFName->text(), "pickup.wav");
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(outputsFinite(a));
}

TEST_F(TvkHostileFiles, ProjectFilesThatCannotBeReadAreReportedAndChangeNothing) {
    loadExamples();
    const QString good = projectOf("good.smp");
    const std::string goodText = readBytes(good);
    const std::size_t dataStart = goodText.find("data=\r\n") + 7;

    const QString longFirstLine = path("long-first.smp");
    writeBytes(longFirstLine, std::string(10 << 20, 'x') + "\r\n" + goodText);
    const QString longDataLine = path("long-data.smp");
    writeBytes(longDataLine, goodText.substr(0, dataStart) + std::string(10 << 20, '1') + "\r\n" +
                                 goodText.substr(dataStart));
    const QString garbage = path("garbage.smp");
    std::string bytes(1 << 16, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    writeBytes(garbage, bytes);
    const QString folder = path("folder.smp");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString locked = path("locked.smp");
    ASSERT_TRUE(QFile::copy(good, locked));
    ASSERT_EQ(::chmod(locked.toLocal8Bit().constData(), 0), 0);

    a.release = {1, 2, 3, 4};
    a.setFs(48000);
    const auto before = a.irData;
    const auto filterIr = a.filterIr;
    const QString rejected[] = {longFirstLine,
                                longDataLine,
                                garbage,
                                fifo("pipe.smp"),
                                folder,
                                QStringLiteral("/dev/zero"),
                                QStringLiteral("/proc/self/mem"),
                                path("vanished.smp"),
                                locked,
                                overlongPath(dir.path(), "smp")};
    {
        TNoPermissionOverride noOverride;
        ASSERT_TRUE(noOverride.enforced());
        for (const QString& file : rejected)
            EXPECT_FALSE(window.openProject(file)) << file.left(200).toStdString();
    }
    ASSERT_EQ(warnings.size(), std::size(rejected));
    for (std::size_t i = 0; i < std::size(rejected); ++i) {
        EXPECT_EQ(warnings[i].caption, "Project file error");
        EXPECT_TRUE(warnings[i].text.contains(rejected[i]) ||
                    warnings[i].text.contains(QFileInfo(rejected[i]).fileName()))
            << warnings[i].text.left(300).toStdString();
    }
    EXPECT_TRUE(a.irData == before);
    EXPECT_EQ(a.filterIr, filterIr);
    EXPECT_EQ(a.release, (std::array<std::int32_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(a.fs, 48000);
    EXPECT_EQ(window.OpenPickupDialog.fileName, examplePath("pickup.wav"));
}

TEST_F(TvkHostileFiles, ProjectWithManyDataLinesKeepsTheFirstPairs) {
    std::string text = "Sonmira analyser impulse response\r\n{\r\n release=0 0 1 20040318\r\n fs=44100\r\n"
                       " N=8192\r\n data=\r\n";
    for (int i = 0; i < 100000; ++i)
        text += " " + std::to_string(i % 7 - 3) + "e-1  " + std::to_string(i % 5 - 2) + "e-1\r\n";
    text += " <##++--ENDOFDATA--++##> \r\n}\r\n";
    const QString file = path("many.smp");
    writeBytes(file, text);
    ASSERT_TRUE(window.openProject(file));
    for (int i : {0, 1, 4096, 8191}) {
        EXPECT_DOUBLE_EQ(a.irData[i].mic, (i % 7 - 3) * 0.1) << i;
        EXPECT_DOUBLE_EQ(a.irData[i].pickup, (i % 5 - 2) * 0.1) << i;
    }
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(outputsFinite(a));
}

// Values the reader takes but no measurement gives: huge, tiny, zero, text and binary bytes.
TEST_F(TvkHostileFiles, ProjectWithHostileValuesGivesFiniteOutputs) {
    const std::string header = "Sonmira analyser impulse response\r\n{\r\n data=\r\n";
    const std::string bodies[] = {
        "",                                                       // all zero
        " 1e6 -1e6\r\n 1e6 -1e6\r\n",                             // the largest magnitudes taken
        " 1e-300 1e-300\r\n 5e-324 -5e-324\r\n",                  // underflow
        " 1e309 nan inf -inf 0x1p9999 1e400\r\n",                 // read as 0.0
        std::string("\x01\x02 7\xff\x80\0 -3 \x7f", 12) + "\r\n", // binary bytes between numbers
    };
    for (const std::string& body : bodies) {
        const QString file = path("values.smp");
        writeBytes(file, header + body);
        ASSERT_TRUE(window.openProject(file)) << body;
        EXPECT_TRUE(outputsFinite(a)) << body;
        window.pageCtrl->setCurrentWidget(window.TabSheet2);
        for (QPushButton* button : {window.cbSetAsLeft, window.cbSetAsRight})
            QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(outputsFinite(a)) << body;
        enter(window.eGain, "20");
        ASSERT_EQ(a.gainDb, 20);
        window.betaTrackBar->setValue(0);
        EXPECT_TRUE(outputsFinite(a)) << body;
    }
    EXPECT_TRUE(warnings.empty());
}

TEST_F(TvkHostileFiles, WritesIntoAProtectedFolderFailAndKeepTheOldFiles) {
    loadExamples();
    QTest::mouseClick(window.cbSetAsLeft, Qt::LeftButton);
    const QString smd = path("01234 Old.smd");
    const QString smp = path("old.smp");
    writeBytes(smd, "old body data\r\n");
    writeBytes(smp, "old project\r\n");
    ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0555), 0);
    const QStringList listed = entries(dir.path());
    {
        TNoPermissionOverride noOverride;
        ASSERT_TRUE(noOverride.enforced());
        expectExportAndSaveFail(smd, smp, "Permission denied");
        EXPECT_FALSE(window.exportBodyData(path("01234 New.smd")));
        expectWriteError(path("01234 New.smd"), "Permission denied");
    }
    ::chmod(dir.path().toLocal8Bit().constData(), 0755);
    EXPECT_EQ(readBytes(smd), "old body data\r\n");
    EXPECT_EQ(readBytes(smp), "old project\r\n");
    EXPECT_EQ(entries(dir.path()), listed);
}

TEST_F(TvkHostileFiles, WritesOntoAFullDiskFailAndKeepTheOldFiles) {
    loadExamples();
    QTest::mouseClick(window.cbSetAsLeft, Qt::LeftButton);
    const QString smd = path("01234 Old.smd");
    const QString smp = path("old.smp");
    writeBytes(smd, "old body data\r\n");
    writeBytes(smp, "old project\r\n");
    const QStringList listed = entries(dir.path());
    {
        TFileSizeLimit fullAfter(64 * 1024); // both files are over 200 kB
        ASSERT_TRUE(fullAfter.enforced());
        expectExportAndSaveFail(smd, smp, "File too large");
    }
    EXPECT_EQ(readBytes(smd), "old body data\r\n");
    EXPECT_EQ(readBytes(smp), "old project\r\n");
    EXPECT_EQ(entries(dir.path()), listed);

    // A device that is full.
    expectExportAndSaveFail(QStringLiteral("/dev/full"), QStringLiteral("/dev/full"),
                            "No space left on device");

    // With room again both are written whole.
    EXPECT_TRUE(window.exportBodyData(smd));
    EXPECT_TRUE(window.saveProject(smp));
    EXPECT_EQ(readLines(smd).size(), 8205u);
    EXPECT_EQ(readLines(smp).size(), 8200u);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(TvkHostileFiles, WriteProtectedFileIsNotReplaced) {
    const QString smd = path("01234 Kept.smd");
    const QString smp = path("kept.smp");
    writeBytes(smd, "kept body data\r\n");
    writeBytes(smp, "kept project\r\n");
    for (const QString& file : {smd, smp})
        ASSERT_EQ(::chmod(file.toLocal8Bit().constData(), 0444), 0);
    {
        TNoPermissionOverride noOverride;
        ASSERT_TRUE(noOverride.enforced());
        expectExportAndSaveFail(smd, smp, "Permission denied");
    }
    EXPECT_EQ(readBytes(smd), "kept body data\r\n");
    EXPECT_EQ(readBytes(smp), "kept project\r\n");
}

TEST_F(TvkHostileFiles, FolderInPlaceOfTheFileIsRefused) {
    const QString smd = path("01234 Folder.smd");
    const QString smp = path("folder.smp");
    ASSERT_TRUE(QDir().mkdir(smd));
    ASSERT_TRUE(QDir().mkdir(smp));
    expectExportAndSaveFail(smd, smp, "it is a folder");
    EXPECT_TRUE(QFileInfo(smd).isDir() && QFileInfo(smp).isDir());
    EXPECT_TRUE(entries(smd).isEmpty() && entries(smp).isEmpty());
    EXPECT_EQ(entries(dir.path()).size(), 2);
}

// Written, but the folder could not be flushed: the user must not believe the file is safe.
TEST_F(TvkHostileFiles, FolderThatCannotBeFlushedIsAWarning) {
    int (*const savedSync)(int) = safeWriterSyncFolder;
    safeWriterSyncFolder = [](int) { return EIO; };
    const QString smd = path("01234 Unsynced.smd");
    const QString smp = path("unsynced.smp");
    expectExportAndSaveFail(smd, smp, "may not survive a crash");
    safeWriterSyncFolder = savedSync;
    EXPECT_TRUE(QFileInfo(smd).isFile() && QFileInfo(smp).isFile());
}

// A FIFO nobody reads from would take a writer's open forever; the window must not wait for it.
TEST_F(TvkHostileFiles, FifoWithoutReaderIsRefusedAtOnce) {
    const QString smd = path("01234 Pipe.smd");
    const QString smp = path("pipe.smp");
    for (const QString& file : {smd, smp})
        ASSERT_EQ(::mkfifo(file.toLocal8Bit().constData(), 0600), 0);
    expectExportAndSaveFail(smd, smp, "no program is reading from it");
    EXPECT_TRUE(QFileInfo(smd).exists() && !QFileInfo(smd).isFile());
    EXPECT_EQ(entries(dir.path()).size(), 2);
}

// The name is line 5 of the export whatever was typed or pasted into its field.
TEST_F(TvkHostileFiles, ExportedNameStaysOneLineOfLatin1) {
    const QString file = path("01234 Name.smd");
    const auto exportedName = [&] {
        EXPECT_TRUE(window.exportBodyData(file));
        const std::vector<std::string> lines = readLines(file);
        EXPECT_EQ(lines.size(), 8205u);
        EXPECT_EQ(lines[3], " name=");
        EXPECT_EQ(lines[5], " <##++--ENDOFSTRING--++##> ");
        EXPECT_EQ(lines[6], " fs=441000");
        return lines.size() > 4 ? lines[4] : std::string();
    };

    window.guitarName->setText(QString(10000, QLatin1Char('n')));
    EXPECT_EQ(exportedName(), std::string(10000, 'n'));

    window.guitarName->setText(QStringLiteral("First\nSecond\r\nThird\rFourth"));
    EXPECT_EQ(exportedName().find_first_of("\r\n"), std::string::npos);

    // Pasted text with line breaks, as from another program.
    window.pageCtrl->setCurrentWidget(window.TabSheet4);
    window.guitarName->clear();
    window.guitarName->setFocus();
    QGuiApplication::clipboard()->setText(QStringLiteral("Pasted\r\nname\nhere"));
    QTest::keyClick(window.guitarName, Qt::Key_V, Qt::ControlModifier);
    ASSERT_FALSE(window.guitarName->text().isEmpty());
    const std::string pasted = exportedName();
    EXPECT_EQ(pasted.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(pasted.substr(0, 6), "Pasted");

    // Latin-1 letters as one byte each; anything beyond as '?'.
    window.guitarName->setText(QString::fromUtf8("Gitarre \u00fc\u00e9 \u20ac \u65e5\u672c \U0001F3B8"));
    EXPECT_EQ(exportedName(), "Gitarre \xfc\xe9 ? ?? ?");
    EXPECT_TRUE(warnings.empty());
}

TEST_F(TvkHostileFiles, OverlongPathsAreReportedClearly) {
    loadExamples();
    const auto before = a.irData;
    const QString smd = overlongPath(dir.path(), "smd");
    const QString smp = overlongPath(dir.path(), "smp");
    EXPECT_FALSE(window.exportBodyData(smd));
    EXPECT_FALSE(window.saveProject(smp));
    EXPECT_FALSE(window.openProject(smp));
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_EQ(warnings[0].caption, "File error");
    EXPECT_EQ(warnings[1].caption, "File error");
    EXPECT_EQ(warnings[2].caption, "Project file error");
    for (const TWarning& w : warnings)
        EXPECT_TRUE(w.text.contains("File name too long")) << w.text.left(300).toStdString();
    EXPECT_TRUE(a.irData == before);
    EXPECT_TRUE(entries(dir.path()).isEmpty());

    // The dialogs still open after such a name and take a good one.
    warnings.clear();
    const QString good = path("good.smp");
    window.SaveDialog.fileName = smp;
    QString title;
    answerNextModal(&title, good);
    QTest::mouseClick(window.SaveProject, Qt::LeftButton);
    activate();
    EXPECT_EQ(readLines(good).size(), 8200u);
    answerNextModal(&title, good);
    QTest::mouseClick(window.OpenProject, Qt::LeftButton);
    activate();
    EXPECT_EQ(window.OpenDialog.fileName, good);
    EXPECT_TRUE(warnings.empty());
}

} // namespace

namespace {

// A mono 16-bit PCM WAVE file with `samples` at `rate`.
std::string waveBytes(std::uint32_t rate, const std::vector<std::int16_t>& samples) {
    std::string b;
    const auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b += static_cast<char>(v >> (8 * i) & 0xFF);
    };
    const auto u16 = [&](unsigned v) {
        b += static_cast<char>(v & 0xFF);
        b += static_cast<char>(v >> 8 & 0xFF);
    };
    const auto dataSize = static_cast<std::uint32_t>(2 * samples.size());
    b += "RIFF";
    u32(36 + dataSize);
    b += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(2 * rate);
    u16(2);
    u16(16);
    b += "data";
    u32(dataSize);
    for (std::int16_t s : samples)
        u16(static_cast<std::uint16_t>(s));
    return b;
}

TEST_F(TvkHostileFiles, WaveInputsAtTheirLimitsGiveFiniteOutputs) {
    const std::vector<std::int16_t> silence(8192, 0);
    const std::vector<std::int16_t> one{-32768};
    std::vector<std::int16_t> nyquist(8192), dc(8192, 32767), tail(8192, 0);
    for (std::size_t i = 0; i < nyquist.size(); ++i)
        nyquist[i] = i % 2 ? 32767 : -32768;
    tail.back() = 1;
    const std::pair<std::uint32_t, std::vector<std::int16_t>> inputs[] = {
        {44100, silence}, {1000, one}, {768000, nyquist}, {44100, dc}, {8000, tail}};
    const QString mic = path("mic.wav");
    const QString pickup = path("pickup.wav");
    for (const auto& [micRate, micSamples] : inputs)
        for (const auto& [pickupRate, pickupSamples] : inputs) {
            writeBytes(mic, waveBytes(micRate, micSamples));
            writeBytes(pickup, waveBytes(pickupRate, pickupSamples));
            window.loadWaveFile(0, mic);
            window.loadWaveFile(1, pickup);
            // Only the note on two different rates.
            for (const TWarning& w : warnings)
                ASSERT_EQ(w.caption, "Sample rate") << w.text.toStdString();
            warnings.clear();
            EXPECT_TRUE(outputsFinite(a)) << micRate << " " << pickupRate;
            window.pageCtrl->setCurrentWidget(window.TabSheet1);
            enter(window.dCompMic, "1000");
            enter(window.dCompPickup, "1000");
            ASSERT_EQ(a.delayMic + a.delayPickup, 2000);
            window.pageCtrl->setCurrentWidget(window.TabSheet2);
            clickBox(window.cbUseMinPhase);
            QTest::mouseClick(window.cbSetAsLeft, Qt::LeftButton);
            ASSERT_TRUE(a.useMinPhase);
            EXPECT_TRUE(outputsFinite(a)) << micRate << " " << pickupRate << " delayed, clean";
            clickBox(window.cbUseMinPhase);
            window.pageCtrl->setCurrentWidget(window.TabSheet1);
            enter(window.dCompMic, "0");
            clickBox(window.EnablePickup);
            ASSERT_FALSE(a.enablePickup);
            window.pageCtrl->setCurrentWidget(window.TabSheet2);
            QTest::mouseClick(window.cbSetAsRight, Qt::LeftButton);
            EXPECT_TRUE(outputsFinite(a)) << micRate << " " << pickupRate << " pickup off";
            window.pageCtrl->setCurrentWidget(window.TabSheet1);
            clickBox(window.EnablePickup);
            ASSERT_TRUE(a.enablePickup);
        }
}

} // namespace

namespace {

struct TShownBox {
    QString text;
    bool fits = false; // the box lies on the screen and its text needs no more room than it has
};

// Records the next message box and closes it.
void inspectNextBox(TShownBox* shown) {
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            inspectNextBox(shown);
            return;
        }
        shown->text = box->text();
        const QRect screen = box->screen()->availableGeometry();
        shown->fits = box->width() <= screen.width() && box->height() <= screen.height();
        for (const QLabel* label : box->findChildren<QLabel*>())
            if (label->text() == box->text())
                shown->fits = shown->fits && label->minimumSizeHint().width() <= label->width() &&
                              label->heightForWidth(label->width()) <= label->height();
        box->close();
    });
}

// The window's own warning box, not the fixture's capture.
TEST(TvkWarningBox, OverlongPathsKeepTheBoxOnTheScreen) {
    QTemporaryDir dir;
    TTvkMain window;
    window.show();
    const QString manyFolders = overlongPath(dir.path(), "smd");
    const QString oneLongName = dir.path() + "/" + QString(10000, QLatin1Char('x')) + ".smd";
    for (const QString& file : {manyFolders, oneLongName}) {
        TShownBox shown;
        inspectNextBox(&shown);
        EXPECT_FALSE(window.exportBodyData(file));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !shown.text.isEmpty(); })); // the box is queued
        EXPECT_TRUE(shown.fits) << shown.text.size();
        EXPECT_LT(shown.text.size(), 400);
        EXPECT_TRUE(shown.text.startsWith("Cannot write \"" + dir.path().left(20)));
        EXPECT_TRUE(shown.text.remove(QChar(0x200B)).endsWith(file.right(40) + "\": File name too long"))
            << shown.text.toStdString();
    }

    // A message of ordinary length is shown as it is, a path of ordinary names too.
    const QString missing = dir.path() + "/no/such/folder/of/measurements/01234 x.smd";
    TShownBox shown;
    inspectNextBox(&shown);
    EXPECT_FALSE(window.exportBodyData(missing));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shown.text.isEmpty(); }));
    EXPECT_EQ(shown.text, "Cannot write \"" + missing + "\": No such file or directory");
    EXPECT_TRUE(shown.fits);
}

} // namespace
