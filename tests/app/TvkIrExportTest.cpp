// "Export WAVE IR...": the dialog's choices (remembered), the refusal of a channel never stored and
// what a write says.
#include "TvkFixture.h"

#include "app/IrExportDialog.h"
#include "controls/StatusNote.h"

#include <QComboBox>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>

namespace {

class TvkIrExport : public TvkTest {
protected:
    QTemporaryDir dir;
    void SetUp() override {
        TvkTest::SetUp();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    }
};

TEST_F(TvkIrExport, DialogGivesItsChoicesAndRemembersThem) {
    TIrExportDialog first;
    first.channel->setCurrentIndex(2);
    first.length->setCurrentIndex(4);
    first.milliseconds->setValue(50);
    first.rate->setCurrentIndex(0);
    first.format->setCurrentIndex(2);
    first.phase->setCurrentIndex(1);
    first.normalisation->setCurrentIndex(1);
    first.remember();
    TIrExportDialog second;
    second.restore();
    const TIrExportSettings s = second.settings(44100);
    EXPECT_EQ(s.channels, TIrChannels::both);
    EXPECT_EQ(s.shape.length, 2205); // 50 ms at the filter's own 44.1 kHz
    EXPECT_EQ(s.shape.rate, 0);
    EXPECT_EQ(s.format, TIrFormat::float32);
    EXPECT_EQ(s.shape.phase, TIrPhase::designed);
    EXPECT_FALSE(s.normalise);
    EXPECT_TRUE(second.milliseconds->isEnabled());
}

TEST_F(TvkIrExport, RefusesAChannelNeverStoredAndSaysWhatItWrote) {
    loadExamples();
    window.guitarName->setText(QStringLiteral("body"));
    TIrExportSettings asked;
    asked.shape.rate = 48000;
    QString suggested;
    window.ExportIr->askSettings = [&](TIrExportSettings& s) {
        s = asked;
        return true;
    };
    window.ExportIr->askFile = [&](const QString& name) {
        suggested = name;
        return dir.filePath(name);
    };
    window.ExportIr->click();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].text,
              "The Left channel holds no filter: it was never stored. Store one with \"Left\" "
              "on the Analysis page first.");
    EXPECT_TRUE(suggested.isEmpty());

    window.cbSetAsLeftClick();
    window.ExportIr->click();
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_EQ(suggested, "body-left-48k-2048.wav");
    EXPECT_EQ(window.statusNote->text(),
              "Wrote body-left-48k-2048.wav: 2048 samples, 48 kHz, 24-bit, minimum phase");
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(suggested)));
}

} // namespace
