// SPDX-License-Identifier: GPL-3.0-or-later
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "UiTestSupport.h"
#include "core/ControlUpdates.h"
#include "dsp/GraphGeometry.h"
#include "ui/SongPreviewWindow.h"
#include "ui/picture/SongPicture.h"

namespace kalindor::ui::test {
namespace {

using kalindor::test::silenceU8;
using kalindor::test::toneU8;

// 3 s: a 1562.5 Hz burst (channel 5 at the start-up frequencies, index 4) over 0.5..1.0 s and
// a 3062.5 Hz one (channel 7, index 6) over 2.0..2.5 s, silence elsewhere.
QByteArray burstSong() {
    const std::string song = silenceU8(0.5) + toneU8(1562.5, 0.5, 20) + silenceU8(1.0) +
                             toneU8(3062.5, 0.5, 20) + silenceU8(0.5);
    return QByteArray::fromStdString(song);
}

class SongPreviewTest : public WindowTest {
  protected:
    SongPreviewWindow& openSong(const QString& path) {
        rig->dialogs.openPath = path;
        rig->trigger(QStringLiteral("mnuSongPreview"));
        SongPreviewWindow& preview = *rig->window.songPreview();
        QSignalSpy ended(&preview, &SongPreviewWindow::loadFailed);
        QSignalSpy drawn(&preview, &SongPreviewWindow::pictureChanged);
        EXPECT_TRUE(drawn.wait(5000) || !ended.isEmpty());
        return preview;
    }
    // The colour of channel ch's row at a time of the song, as the window paints it.
    static QRgb rowPixel(const SongPreviewWindow& window, int ch, double ms) {
        const QImage image = window.findChild<QWidget*>("picture")->grab().toImage();
        return image.pixel(songPictureX(*window.preview(), ms), songPictureRowY(ch));
    }
    QTemporaryDir dir;
};

TEST_F(SongPreviewTest, BurstsLightTheirChannelsAtTheirTimesAndFollowTheSettings) {
    SongPreviewWindow& window = openSong(writeFile(dir, "bursts.u8", burstSong()));
    ASSERT_TRUE(window.preview());
    const SongPreview& preview = *window.preview();
    EXPECT_EQ(preview.tickMs, 50);
    // Rows {channel, the stretches lit}; snapshot k starts at k * 50 ms. The level needs a
    // second buffer to pass the threshold and the decay holds it 0.3 s after the burst, as
    // `kalindor-cli analyze` prints for the same file.
    const std::pair<int, std::vector<LitStretch>> rows[] = {
        {4, {{11, 27}}}, {6, {{41, 57}}}, {0, {}}, {5, {}}};
    for (const auto& [ch, stretches] : rows) {
        EXPECT_EQ(preview.channels[ch].stretches, stretches) << "channel " << ch + 1;
    }
    EXPECT_NEAR(preview.channels[4].litShare, 16.0 / 60.0, 1e-9);
    EXPECT_NEAR(preview.channels[4].switchesPerMinute, 2 / (3.0 / 60.0), 1e-9);
    // Lit: the channel's colour (cyan, light blue) at some brightness; unlit: the row's grey.
    EXPECT_EQ(qRed(rowPixel(window, 4, 750)), 0);
    EXPECT_GT(qBlue(rowPixel(window, 4, 750)), 100);
    EXPECT_EQ(rowPixel(window, 4, 1500), qRgb(40, 40, 40));
    EXPECT_GT(qBlue(rowPixel(window, 6, 2250)), qRed(rowPixel(window, 6, 2250)));

    // A gain slider at its bottom (10 %) silences channel 5 in the next poll.
    QSignalSpy drawn(&window, &SongPreviewWindow::pictureChanged);
    rig->set({QStringLiteral("Slider4_4=40")});
    ASSERT_TRUE(drawn.wait(2 * SongPreviewWindow::kSettingsPollMs + 500));
    EXPECT_TRUE(window.preview()->channels[4].stretches.empty());
    EXPECT_EQ(window.preview()->channels[6].stretches.size(), 1u);
}

// The command line draws the very picture the window shows.
TEST_F(SongPreviewTest, AnalyzePictureWritesTheWindowsPicture) {
    const QString song = writeFile(dir, "bursts.u8", burstSong());
    const SongPreviewWindow& window = openSong(song);
    ASSERT_TRUE(window.preview());
    const kalindor::test::CliResult result = kalindor::test::runCli(
        {"analyze", "--picture", dir.filePath("cli.png").toStdString(), song.toStdString()},
        dir.path().toStdString());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out + result.err, "");
    const QImage written(dir.filePath("cli.png"));
    const QImage shown = window.findChild<QWidget*>("picture")->grab().toImage();
    EXPECT_EQ(written.convertToFormat(QImage::Format_RGB32),
              shown.convertToFormat(QImage::Format_RGB32));
}

// Each failure is one Russian message over the preview; the song shown before stays.
TEST_F(SongPreviewTest, BadFilesAndPathsAreToldAndChangeNothing) {
    SongPreviewWindow& window = openSong(writeFile(dir, "bursts.u8", burstSong()));
    ASSERT_TRUE(window.preview());
    const QString title = window.windowTitle();
    const std::pair<QString, QString> cases[] = {
        {writeFile(dir, "text.wav", "not a sound file at all"), "Невозможно прочитать звуковой"},
        {writeFile(dir, "short.u8", QByteArray(255, '\x80')), "короче одного снимка"},
    };
    for (const auto& [path, text] : cases) {
        QSignalSpy failed(&window, &SongPreviewWindow::loadFailed);
        window.open(path);
        ASSERT_TRUE(failed.wait(5000));
        ASSERT_FALSE(rig->dialogs.messages.empty());
        EXPECT_TRUE(rig->dialogs.messages.back().text.contains(text))
            << rig->dialogs.messages.back().text.toStdString();
        EXPECT_EQ(window.windowTitle(), title);
    }
    EXPECT_FALSE(window.savePicture(dir.filePath("no/such/folder/x.png")));
    EXPECT_TRUE(rig->dialogs.messages.back().text.startsWith("Невозможно сохранить картинку"));
    EXPECT_EQ(rig->dialogs.messages.size(), 3u);
    EXPECT_TRUE(window.savePicture(dir.filePath("x.svg")));
    EXPECT_TRUE(QFile(dir.filePath("x.svg")).size() > 1000);
}

}  // namespace
}  // namespace kalindor::ui::test
