// "Export WAVE IR...": the refusal of a channel never stored and
// what a write says.
#include "TvkFixture.h"

#include "app/IrExportDialog.h"
#include "controls/StatusNote.h"

#include <QTemporaryDir>

namespace {

TEST_F(TvkTest, IrExportRefusesAChannelNeverStoredAndSaysWhatItWrote) {
    QTemporaryDir dir;
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
