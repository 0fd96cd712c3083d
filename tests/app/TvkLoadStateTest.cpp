// Where the window's responses come from: what a load changes and what it leaves, the sample
// rate, the file fields after projects and with the pickup off, names that are not UTF-8, the
// numeric fields showing what is used, warnings after the event, and the window's place.
#include "app/TvkFixture.h"
#include "cli/CliOptions.h"
#include "cli/CliRun.h"
#include "io/WaveBytes.h"
#include "io/WaveReader.h"

#include <QFile>
#include <QScreen>

#include <sstream>

namespace {

// A mono 16-bit WAVE file at `rate` whose response is a decaying tone of `period` samples.
std::string toneWave(std::uint32_t rate, int period) {
    std::vector<std::int16_t> samples(4000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(20000 * std::exp(-0.002 * double(i)) *
                                               std::sin(6.283185307179586 * double(i) / period));
    return riff(chunk("fmt ", fmtBody(rate)) + chunk("data", pcm(samples)));
}

class TvkLoadState : public TvkTest {
protected:
    void SetUp() override {
        TvkTest::SetUp();
        ASSERT_TRUE(dir.isValid());
    }
    // Writes `bytes` to the file `name` in the test's folder; returns its path.
    QString file(const char* name, const std::string& bytes) const {
        const QString p = dir.path() + "/" + name;
        std::ofstream(QFile::encodeName(p).toStdString(), std::ios::binary | std::ios::trunc) << bytes;
        return p;
    }
    std::string fileBytes(const QString& name) const { return QFile::encodeName(name).toStdString(); }
    std::array<double, blockLength> pickup() const {
        std::array<double, blockLength> p{};
        for (int i = 0; i < blockLength; ++i)
            p[i] = a.irData[i].pickup;
        return p;
    }
    QTemporaryDir dir;
};

TEST_F(TvkLoadState, SampleRateFollowsTheFileLoadedLastAndNotTheReread) {
    window.loadWaveFile(1, file("pickup48.wav", toneWave(48000, 30)));
    window.loadWaveFile(0, file("mic44.wav", toneWave(44100, 40)));
    EXPECT_EQ(a.fs, 44100);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].caption, "Sample rate");
    EXPECT_TRUE(warnings[0].text.contains("44100 Hz") && warnings[0].text.contains("48000 Hz"))
        << warnings[0].text.toStdString();

    // Enter in Gain without a change re-reads the pickup file: fs stays, nothing is said again.
    window.pageCtrl->setCurrentWidget(window.TabSheet2);
    enter(window.eGain, "0.0");
    clickBox(window.cbRefMic);
    EXPECT_EQ(a.fs, 44100);
    EXPECT_EQ(warnings.size(), 1u);
    const QString smd = dir.path() + "/01234 x.smd";
    ASSERT_TRUE(window.exportBodyData(smd));
    EXPECT_EQ(readLines(smd)[6], " fs=441000");

    // Loading a pickup of the mic's rate makes the pair agree: fs follows it, nothing to say.
    window.loadWaveFile(1, file("pickup44.wav", toneWave(44100, 30)));
    EXPECT_EQ(a.fs, 44100);
    EXPECT_EQ(warnings.size(), 1u);
}

// The batch tool applies project, mic and pickup in this order; the window given the same
// sequence by the user ends at the same rate and says the same.
TEST_F(TvkLoadState, WindowAndBatchToolAgreeOnTheRateOfTheSameSequence) {
    window.loadWaveFile(0, file("m.wav", toneWave(48000, 40)));
    window.loadWaveFile(1, file("p.wav", toneWave(48000, 30)));
    const QString project = dir.path() + "/p48.smp";
    ASSERT_TRUE(window.saveProject(project));
    const QString mic = file("mic44.wav", toneWave(44100, 40));
    const QString pickup = file("pickup32.wav", toneWave(32000, 30));

    const struct {
        bool mic, pickup;
        std::int32_t fs;
    } sequences[] = {{true, false, 44100}, {false, true, 32000}, {true, true, 32000}};
    for (const auto& sequence : sequences) {
        warnings.clear();
        ASSERT_TRUE(window.openProject(project));
        if (sequence.mic)
            window.loadWaveFile(0, mic);
        if (sequence.pickup)
            window.loadWaveFile(1, pickup);
        enter(window.splRange, "40");

        TCliOptions o;
        o.openProject = fileBytes(project);
        o.mic = sequence.mic ? fileBytes(mic) : "";
        o.pickup = sequence.pickup ? fileBytes(pickup) : "";
        o.exportSmd = fileBytes(dir.path() + "/01234 cli.smd");
        std::ostringstream err;
        ASSERT_EQ(runCli(o, err), 0) << err.str();
        const std::string fsLine = " fs=" + std::to_string(sequence.fs * 10);
        EXPECT_EQ(readLines(dir.path() + "/01234 cli.smd")[6], fsLine);
        EXPECT_EQ(a.fs, sequence.fs);

        // The window says it at each load that makes a new pair of rates, the batch tool once.
        ASSERT_FALSE(warnings.empty()) << sequence.mic << sequence.pickup;
        const std::string said = warnings[warnings.size() - 1].text.toStdString();
        const std::string line = err.str();
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
        for (const std::int32_t rate : {sequence.mic ? 44100 : 48000, sequence.pickup ? 32000 : 48000}) {
            const std::string hz = std::to_string(rate) + " Hz";
            EXPECT_NE(said.find(hz), std::string::npos) << said;
            EXPECT_NE(line.find(hz), std::string::npos) << line;
        }
    }
}

// A file that fails the format check, loaded, dropped or found at the re-read, changes nothing.
TEST_F(TvkLoadState, RejectedFilesChangeNeitherResponseNorNameNorRate) {
    window.loadWaveFile(0, examplePath("mic.wav"));
    const auto before = a.irData;
    const QString stereo = testDataPath("sox-22k-stereo.wav");
    window.loadWaveFile(1, stereo);
    // A dropped stereo file is a take for learning; a mono file of 8 bits is rejected.
    const QString eightBit = testDataPath("sox-32k-8bit.wav");
    EXPECT_TRUE(
        dropFile(&window, centreIn(&window, window.ScrollBox1), QFileInfo(eightBit).absoluteFilePath()));
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_TRUE(warnings[0].caption == waveErrorCaption && warnings[0].text.contains("sox-22k-stereo.wav"))
        << warnings[0].text.toStdString();
    EXPECT_TRUE(warnings[1].caption == waveErrorCaption && warnings[1].text.contains("sox-32k-8bit.wav"))
        << warnings[1].text.toStdString();
    EXPECT_EQ(window.MicFName->text(), "mic.wav");
    EXPECT_EQ(window.PickupFName->text(), "--");

    // Unticking Pickup analyses the mic at its own rate.
    clickBox(window.EnablePickup);
    EXPECT_TRUE(a.irData[0].mic == before[0].mic && a.irData[100].mic == before[100].mic);
    EXPECT_EQ(a.fs, 44100);
    const QString smd = dir.path() + "/01234 x.smd";
    ASSERT_TRUE(window.exportBodyData(smd));
    EXPECT_EQ(readLines(smd)[6], " fs=441000");
    clickBox(window.EnablePickup);
    EXPECT_TRUE(a.irData == before);
    EXPECT_EQ(warnings.size(), 2u);
}

// The pickup file re-read at every notification shows a rejection once, when its outcome changes.
TEST_F(TvkLoadState, RereadWarnsOnlyWhenItsOutcomeChanges) {
    const std::string good = toneWave(44100, 30);
    const std::string stereo = riff(chunk("fmt ", fmtBody(22050, 2)) + chunk("data", pcm({1, 2, 3, 4})));
    const QString pickupFile = file("pickup.wav", good);
    window.loadWaveFile(1, pickupFile);
    const auto loaded = pickup();
    file("pickup.wav", stereo);
    enter(window.splRange, "40");
    enter(window.splRange, "41");
    clickBox(window.cbRefMic);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].caption, waveErrorCaption);
    EXPECT_TRUE(warnings[0].text.contains(pickupFile)) << warnings[0].text.toStdString();
    EXPECT_EQ(pickup(), loaded);
    EXPECT_EQ(a.fs, 44100);
    EXPECT_EQ(window.PickupFName->text(), "pickup.wav");

    file("pickup.wav", good);
    enter(window.splRange, "42");
    file("pickup.wav", stereo);
    enter(window.splRange, "43");
    EXPECT_EQ(warnings.size(), 2u);
    EXPECT_EQ(pickup(), loaded);
}

// A box raised while a field commits on losing the focus to a button waits until the press has
// been handled: the button is not left down and the channel is stored.
TEST_F(TvkLoadState, WarningDuringAFocusOutLetsTheClickComplete) {
    loadExamples();
    const QString pickupFile = file("pickup.wav", toneWave(44100, 30));
    window.loadWaveFile(1, pickupFile);
    file("pickup.wav", "not a WAVE file"); // the next re-read warns
    bool channelStoredWhenShown = false;
    int shown = 0;
    window.showWarning = [&](const QString&, const QString&) {
        ++shown;
        channelStoredWhenShown = a.channels[0].filterIr == a.filterIr;
        QMessageBox box(&window); // modal, as the real box is
        QTimer::singleShot(0, &box, &QMessageBox::close);
        box.exec();
    };
    window.pageCtrl->setCurrentWidget(window.TabSheet2);
    window.eGain->setFocus();
    window.eGain->selectAll();
    QTest::keyClicks(window.eGain, "3.0");
    QTest::mouseClick(window.cbSetAsLeft, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(a.gainDb, 3.0);
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(channelStoredWhenShown);
    EXPECT_EQ(a.channels[0].filterIr, a.filterIr);
    EXPECT_FALSE(window.cbSetAsLeft->isDown());
}

TEST_F(TvkLoadState, NumericFieldsShowWhatTheAnalysisUses) {
    window.pageCtrl->setCurrentWidget(window.TabSheet1);
    enter(window.dCompMic, "10.6");
    EXPECT_EQ(a.delayMic, 10);
    EXPECT_EQ(window.dCompMic->text().trimmed(), "10");
    window.dCompPickup->setFocus();
    window.dCompPickup->selectAll();
    QTest::keyClicks(window.dCompPickup, "20.9");
    window.dCompMic->setFocus(); // the focus-out commits
    EXPECT_EQ(a.delayPickup, 20);
    EXPECT_EQ(window.dCompPickup->text().trimmed(), "20");

    window.pageCtrl->setCurrentWidget(window.TabSheet2);
    for (const char* typed : {"1.25", "-3.14", "0.04"}) {
        enter(window.eGain, typed);
        EXPECT_EQ(window.eGain->text().toDouble(), a.gainDb) << typed;
        EXPECT_EQ(QString::asprintf("%.1f", a.gainDb), window.eGain->text()) << typed;
    }
}

// Blend typed in the window travels in the project; the batch tool's export equals the window's.
TEST_F(TvkLoadState, BlendInTheWindowEqualsTheBatchToolsAndTravelsInTheProject) {
    const QString project = dir.path() + "/b.smp";
    const auto sameExports = [&](std::vector<std::string> args) {
        window.cbSetAsLeft->click();
        window.cbSetAsRight->click();
        std::string error;
        args.insert(args.end(),
                    {"--open-project", fileBytes(project), "--export", fileBytes(dir.path() + "/c.smd")});
        EXPECT_TRUE(window.exportBodyData(dir.path() + "/g.smd") &&
                    runCli(*parseCliOptions(args, error), std::cerr) == 0);
        return readLines(dir.path() + "/g.smd") == readLines(dir.path() + "/c.smd");
    };
    loadExamples();
    enter(window.eBlend, "49.6"); // used as shown
    ASSERT_TRUE(window.saveProject(project) && readLines(project)[5] == " blend=50");
    enter(window.eBlend, "100");
    ASSERT_TRUE(window.openProject(project) && a.blend == 50);
    EXPECT_TRUE(sameExports({}));
    enter(window.eBlend, "30");
    EXPECT_TRUE(sameExports({"--blend", "30"}));
}

// Names that are not valid UTF-8 open from the command line, byte for byte; from a Qt string
// (the dialog) they are reported as such and change nothing.
TEST_F(TvkLoadState, NamesThatAreNotUtf8) {
    const std::string folder = fileBytes(dir.path());
    const std::string wave = folder + "/caf\xE9.wav";
    const std::string project = folder + "/caf\xE9.smp";
    std::ofstream(wave, std::ios::binary) << toneWave(44100, 25);
    window.openCommandLine({wave});
    EXPECT_EQ(window.MicFName->text(), QFile::decodeName("caf\xE9.wav"));
    EXPECT_NE(a.irData[0].mic, 1.0);
    const auto micLoaded = a.irData;
    ASSERT_TRUE(window.saveProject(dir.path() + "/x.smp")); // then moved to the odd name
    ASSERT_EQ(std::rename((folder + "/x.smp").c_str(), project.c_str()), 0);
    a.setUnitImpulse(0);
    window.openCommandLine({project, "extra"});
    EXPECT_EQ(window.MicFName->text(), QFile::decodeName("caf\xE9.smp"));
    EXPECT_NEAR(a.irData[100].mic, micLoaded[100].mic, 1e-3);
    EXPECT_TRUE(warnings.empty());

    const auto before = a.irData;
    window.loadWaveFile(0, QFile::decodeName(QByteArray::fromStdString(wave)));
    window.loadWaveFile(1, QFile::decodeName(QByteArray::fromStdString(wave)));
    EXPECT_FALSE(window.openProject(QFile::decodeName(QByteArray::fromStdString(project))));
    ASSERT_EQ(warnings.size(), 3u);
    for (const TWarning& w : warnings) {
        EXPECT_TRUE(w.text.contains("not valid UTF-8")) << w.text.toStdString();
        EXPECT_FALSE(w.text.contains("No such file")) << w.text.toStdString();
    }
    EXPECT_TRUE(a.irData == before);
    EXPECT_EQ(window.MicFName->text(), QFile::decodeName("caf\xE9.smp"));
    EXPECT_EQ(window.PickupFName->text(), QFile::decodeName("caf\xE9.smp"));
}

// A file manager offers a name that is not UTF-8 percent-encoded in its URL: the drop reads that
// very file.
TEST_F(TvkLoadState, DroppedNameThatIsNotUtf8LoadsThatFile) {
    const std::string wave = fileBytes(dir.path()) + "/caf\xE9.wav";
    std::ofstream(wave, std::ios::binary) << toneWave(44100, 25);
    QMimeData mime;
    mime.setData("text/uri-list",
                 "file://" + QByteArray::fromStdString(wave).toPercentEncoding("/") + "\r\n");
    const QPoint pos = centreIn(&window, window.ScrollBox2);
    QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.PickupFName->text(), QFile::decodeName("caf\xE9.wav"));
    EXPECT_EQ(window.pickupFile, wave);
    EXPECT_NE(a.irData[1].pickup, 0.0);
    EXPECT_TRUE(warnings.empty());
}

// After a project the fields name it, stay so, and the pickup off and on gives its pickup back.
TEST_F(TvkLoadState, ProjectNamesBothFieldsAndKeepsItsPickupWhilePickupIsOff) {
    loadExamples();
    const QString project = dir.path() + "/guitar.smp";
    ASSERT_TRUE(window.saveProject(project));
    window.loadWaveFile(1, testDataPath("sox-44k-3000.wav"));
    ASSERT_TRUE(window.openProject(project));
    const auto opened = a.irData;
    EXPECT_EQ(window.MicFName->text(), "guitar.smp");
    EXPECT_EQ(window.PickupFName->text(), "guitar.smp");
    enter(window.splRange, "40");
    EXPECT_EQ(window.PickupFName->text(), "guitar.smp");
    EXPECT_TRUE(a.irData == opened);

    clickBox(window.EnablePickup);
    EXPECT_EQ(window.PickupFName->text(), "--");
    EXPECT_EQ(a.irData[0].pickup, 1.0);
    EXPECT_EQ(a.irData[5].pickup, 0.0);
    clickBox(window.EnablePickup);
    EXPECT_TRUE(a.irData == opened);
    EXPECT_EQ(window.PickupFName->text(), "guitar.smp");

    // Opened while Pickup is off: the page shows what the analysis uses, ticking gives it back.
    clickBox(window.EnablePickup);
    a.setUnitImpulse(0);
    ASSERT_TRUE(window.openProject(project));
    EXPECT_EQ(window.MicFName->text(), "guitar.smp");
    EXPECT_EQ(window.PickupFName->text(), "--");
    EXPECT_EQ(a.irData[0].pickup, 1.0);
    EXPECT_EQ(a.irData[5].pickup, 0.0);
    EXPECT_FALSE(window.LoadPickup->isEnabled());
    const QImage strip = pixels(window.ImageTimeDomainR);
    clickBox(window.EnablePickup);
    EXPECT_TRUE(a.irData == opened);
    EXPECT_EQ(window.PickupFName->text(), "guitar.smp");
    EXPECT_NE(pixels(window.ImageTimeDomainR), strip);
    EXPECT_TRUE(warnings.empty());
}

TEST_F(TvkLoadState, WindowLiesInsideTheScreenWhereItFits) {
    const QRect area = window.screen()->availableGeometry();
    const QRect frame = window.frameGeometry();
    EXPECT_GE(frame.left(), area.left());
    EXPECT_GE(frame.top(), area.top());
    // Where the screen is smaller than the window, its top left stays on the screen.
    EXPECT_LE(frame.right(), std::max(area.right(), area.left() + frame.width() - 1));
    EXPECT_LE(frame.bottom(), std::max(area.bottom(), area.top() + frame.height() - 1));
}

} // namespace
