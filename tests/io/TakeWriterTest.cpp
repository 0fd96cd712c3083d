// The take writer: a take read back equals what was written (to 24 bits), the ".part" file is a
// readable take while recording, existing files are never replaced unasked, and a disk that fills
// up (a file size limit, a tiny tmpfs) ends the take keeping every whole frame written.
#include "io/TakeWriter.h"
#include "io/IoTestSupport.h"
#include "io/RecordingReader.h"
#include "support/FileFaults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int rate = 8000;
constexpr int channels = 3;

// Frame n, channel c of a test take: a different tone per channel, on the 24-bit grid.
float sampleAt(std::int64_t n, int c) {
    const double v = 0.8 * std::sin(0.01 * (c + 1) * static_cast<double>(n));
    return static_cast<float>(std::round(v * 8388608.0) / 8388608.0);
}

// Writes blocks of 500 frames until `frames` are written or a write fails; the first failure.
TFileResult writeTake(TTakeWriter& w, std::int64_t frames) {
    std::vector<float> block(500 * channels);
    for (std::int64_t pos = 0; pos < frames; pos += 500) {
        for (int i = 0; i < 500 * channels; ++i)
            block[i] = sampleAt(pos + i / channels, i % channels);
        if (TFileResult r = w.write(block.data(), std::min<std::int64_t>(500, frames - pos)); !r.ok)
            return r;
    }
    return {};
}

// Frames in the file at `path`, checked against the test take frame by frame.
std::int64_t checkedFrames(const std::string& path) {
    TRecordingReader r;
    EXPECT_TRUE(r.open(path).ok) << path;
    EXPECT_EQ(r.info().channels, channels);
    EXPECT_EQ(r.info().rate, rate);
    std::vector<float> x(static_cast<size_t>(channels) * 1000);
    std::int64_t pos = 0;
    for (std::int64_t n; (n = r.read(x.data(), 1000)) > 0; pos += n)
        for (std::int64_t i = 0; i < n * channels; ++i)
            if (x[i] != sampleAt(pos + i / channels, static_cast<int>(i % channels))) {
                ADD_FAILURE() << "frame " << pos + i / channels;
                return -1;
            }
    return pos;
}

} // namespace

class TakeWriterTest : public TScratchDir {};

TEST_F(TakeWriterTest, TheTakeReadsBackAndThePartFileIsCurrentWhileRecording) {
    TTakeWriter w;
    const std::string target = path("take.wav");
    ASSERT_TRUE(w.start(target, rate, channels, false).ok);
    ASSERT_TRUE(writeTake(w, 5 * rate / 2).ok);
    EXPECT_EQ(folderContents(), std::vector<std::string>{"take.wav.part"});
    // The header was last brought up to date after two seconds.
    EXPECT_EQ(checkedFrames(w.partPath()), 2 * rate);
    ASSERT_TRUE(w.stop().ok);
    EXPECT_EQ(folderContents(), std::vector<std::string>{"take.wav"});
    EXPECT_EQ(checkedFrames(target), 5 * rate / 2);
}

TEST_F(TakeWriterTest, ExistingFilesAreNeverReplacedUnasked) {
    writeFile(path("old.wav"), "a take");
    writeFile(path("crashed.wav.part"), "an interrupted take");
    TTakeWriter w;
    const TFileResult exists = w.start(path("old.wav"), rate, channels, false);
    EXPECT_NE(exists.message.find("the file exists"), std::string::npos) << exists.message;
    const TFileResult part = w.start(path("crashed.wav"), rate, channels, true);
    EXPECT_NE(part.message.find("interrupted take"), std::string::npos) << part.message;
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"crashed.wav.part", "old.wav"}));
    // Appearing while recording, the target still wins; the take stays in its ".part".
    ASSERT_TRUE(w.start(path("new.wav"), rate, channels, false).ok);
    writeFile(path("new.wav"), "made meanwhile");
    EXPECT_FALSE(w.stop().ok);
    EXPECT_EQ(readFile(path("new.wav")), "made meanwhile");
    ASSERT_TRUE(w.start(path("old.wav"), rate, channels, true).ok);
    ASSERT_TRUE(writeTake(w, 100).ok);
    ASSERT_TRUE(w.stop().ok);
    EXPECT_EQ(checkedFrames(path("old.wav")), 100);
}

class TakeWriterFullDisk : public TakeWriterTest, public testing::WithParamInterface<bool> {};

TEST_P(TakeWriterFullDisk, StopsTheTakeKeepingEveryWholeFrame) {
    const bool tinyDisk = GetParam();
    std::unique_ptr<TTinyDisk> disk;
    std::unique_ptr<TFileSizeLimit> limit;
    if (tinyDisk) {
        disk = std::make_unique<TTinyDisk>(dir.string(), 64 * 1024);
        if (!disk->mounted())
            GTEST_SKIP() << "cannot mount a tmpfs here";
    } else {
        limit = std::make_unique<TFileSizeLimit>(50001);
        ASSERT_TRUE(limit->enforced());
    }
    TTakeWriter w;
    ASSERT_TRUE(w.start(path("take.wav"), rate, channels, false).ok);
    const TFileResult r = writeTake(w, 10 * rate);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("what was recorded is kept"), std::string::npos) << r.message;
    EXPECT_FALSE(w.recording());
    EXPECT_GT(w.framesWritten(), 1000);
    limit.reset();
    EXPECT_EQ(checkedFrames(path("take.wav")), w.framesWritten());
}

INSTANTIATE_TEST_SUITE_P(SizeLimitAndTinyDisk, TakeWriterFullDisk, testing::Bool());
