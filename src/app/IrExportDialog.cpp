#include "app/IrExportDialog.h"

#include "app/FileDialog.h"
#include "dsp/Analyzer.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QSettings>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

namespace {

constexpr int lengths[] = {1024, 2048, 4096, 8192};
constexpr int rates[] = {0, 44100, 48000, 96000};

QComboBox* choice(QWidget* parent, const QStringList& items, int current) {
    auto* box = new QComboBox(parent);
    box->addItems(items);
    box->setCurrentIndex(current);
    return box;
}

// A file name part without what a file system or a shell would take badly.
QString safeStem(QString stem) {
    stem = stem.trimmed();
    for (QChar& c : stem)
        if (!c.isLetterOrNumber() && c != '-' && c != '_' && c != '.')
            c = '-';
    return stem.isEmpty() || stem.startsWith('.') ? QStringLiteral("body") : stem;
}

} // namespace

TIrExportDialog::TIrExportDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Export WAVE IR"));
    channel = choice(this, {"Left", "Right", "Both (stereo file)"}, 0);
    length =
        choice(this, {"1024 samples", "2048 samples", "4096 samples", "8192 samples", "Milliseconds:"}, 1);
    milliseconds = new QSpinBox(this);
    milliseconds->setRange(1, 500);
    milliseconds->setValue(100);
    milliseconds->setSuffix(QStringLiteral(" ms"));
    rate = choice(this, {"The filter's own", "44.1 kHz", "48 kHz", "96 kHz"}, 0);
    format = choice(this, {"16-bit", "24-bit", "32-bit float"}, 1);
    phase = choice(this, {"Minimum phase, shortest", "As designed"}, 0);
    normalisation = choice(this, {"Peak at -1 dBFS", "None: the filter's own level"}, 0);

    auto* lengthRow = new QHBoxLayout;
    lengthRow->addWidget(length);
    lengthRow->addWidget(milliseconds);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Channel"), channel);
    form->addRow(QStringLiteral("Length"), lengthRow);
    form->addRow(QStringLiteral("Rate"), rate);
    form->addRow(QStringLiteral("Format"), format);
    form->addRow(QStringLiteral("Phase"), phase);
    form->addRow(QStringLiteral("Normalisation"), normalisation);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    const auto follow = [this] { milliseconds->setEnabled(length->currentIndex() == 4); };
    connect(length, &QComboBox::currentIndexChanged, this, follow);
    follow();
}

TIrExportSettings TIrExportDialog::settings(int filterRate) const {
    TIrExportSettings s;
    s.channels = static_cast<TIrChannels>(channel->currentIndex());
    s.shape.rate = rates[std::clamp(rate->currentIndex(), 0, 3)];
    const int samplesRate = s.shape.rate > 0 ? s.shape.rate : filterRate;
    s.shape.length =
        length->currentIndex() < 4
            ? lengths[std::max(length->currentIndex(), 0)]
            : std::clamp(static_cast<int>(std::lround(milliseconds->value() * 0.001 * samplesRate)), 16,
                         maxIrLength);
    s.format = static_cast<TIrFormat>(format->currentIndex());
    s.shape.phase = phase->currentIndex() == 0 ? TIrPhase::minimum : TIrPhase::designed;
    s.normalise = normalisation->currentIndex() == 0;
    return s;
}

void TIrExportDialog::restore() {
    QSettings store;
    store.beginGroup(QStringLiteral("irExport"));
    for (auto [box, key] : {std::pair(channel, "channel"), std::pair(length, "length"),
                            std::pair(rate, "rate"), std::pair(format, "format"), std::pair(phase, "phase"),
                            std::pair(normalisation, "normalisation")}) {
        const int i = store.value(QString::fromLatin1(key), box->currentIndex()).toInt();
        if (i >= 0 && i < box->count())
            box->setCurrentIndex(i);
    }
    milliseconds->setValue(store.value(QStringLiteral("milliseconds"), milliseconds->value()).toInt());
}

void TIrExportDialog::remember() const {
    QSettings store;
    store.beginGroup(QStringLiteral("irExport"));
    for (auto [box, key] :
         {std::pair(channel, "channel"), std::pair(length, "length"), std::pair(rate, "rate"),
          std::pair(format, "format"), std::pair(phase, "phase"), std::pair(normalisation, "normalisation")})
        store.setValue(QString::fromLatin1(key), box->currentIndex());
    store.setValue(QStringLiteral("milliseconds"), milliseconds->value());
}

TIrExportButton::TIrExportButton(QWidget* parent, std::function<const TAnalyzer&()> analyzer,
                                 std::function<QString()> stem, std::function<void(const QString&)> note,
                                 std::function<void(const QString&, const QString&)> warn)
    : QPushButton(QStringLiteral("Export WAVE IR..."), parent), analyzer(std::move(analyzer)),
      stem(std::move(stem)), note(std::move(note)), warn(std::move(warn)) {
    setToolTip(QStringLiteral("Export the filter as a WAVE impulse response for an IR loader"));
    askSettings = [this](TIrExportSettings& s) {
        TIrExportDialog dialog(window());
        dialog.restore();
        if (dialog.exec() != QDialog::Accepted)
            return false;
        dialog.remember();
        s = dialog.settings(this->analyzer().channelFs[dialog.channel->currentIndex() == 1 ? 1 : 0]);
        return true;
    };
    askFile = [this](const QString& suggested) {
        QSettings store;
        const QString folder = store.value(QStringLiteral("irExport/folder"), QDir::homePath()).toString();
        const QString path =
            QFileDialog::getSaveFileName(window(), QStringLiteral("Export WAVE IR"), folder + '/' + suggested,
                                         QStringLiteral("WAVE file (*.wav);;All files (*)"));
        if (!path.isEmpty())
            store.setValue(QStringLiteral("irExport/folder"), QFileInfo(path).absolutePath());
        return path;
    };
    connect(this, &QPushButton::clicked, this, &TIrExportButton::exportIr);
}

void TIrExportButton::exportIr() {
    TIrExportSettings s;
    if (!askSettings(s))
        return;
    const TAnalyzer& a = analyzer();
    const char* names[channelCount] = {"Left", "Right"};
    for (int c = 0; c < channelCount; ++c) {
        const bool wanted = s.channels == TIrChannels::both || static_cast<int>(s.channels) == c;
        if (wanted && a.channelFs[c] <= 0) {
            warn(QStringLiteral("Export WAVE IR"),
                 QStringLiteral(
                     "The %1 channel holds no filter: it was never stored. Store one with \"%1\" on "
                     "the Analysis page first.")
                     .arg(QString::fromLatin1(names[c])));
            return;
        }
    }
    const int rate = s.shape.rate > 0 ? s.shape.rate : a.channelFs[s.channels == TIrChannels::right];
    const QString path = askFile(QString::fromStdString(irFileName(safeStem(stem()).toStdString(), s, rate)));
    if (path.isEmpty())
        return;
    const TIrExportResult r = exportImpulseResponse(a, s, localPath(path));
    if (!r.file.ok) {
        warn(QStringLiteral("File error"), QString::fromLocal8Bit(r.file.message));
        return;
    }
    note(QString::fromLocal8Bit(r.summary));
}
