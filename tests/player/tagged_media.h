#pragma once

// Media files made with the build machine's tools: an MP3 (sox, lame) with
// optional ID3v2 tags and cover, and a short video clip (gst-launch-1.0).

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace velmora::test {

inline bool RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A cover is 64 x 48, red on the left and blue on the right.
inline bool MakeMp3(const QString& path, double seconds, const QStringList& titleArtistAlbum = {},
                    bool cover = false) {
    QStringList lame{"--quiet", "--id3v2-only"};
    for (int i = 0; i < titleArtistAlbum.size(); ++i)
        lame << QStringList{"--tt", "--ta", "--tl"}.value(i) << titleArtistAlbum[i];
    if (cover) {
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        QPainter(&picture).fillRect(0, 0, 32, 48, Qt::red);
        if (!picture.save(path + ".jpg", "JPEG", 95))
            return false;
        lame << "--ti" << path + ".jpg";
    }
    const QString wav = path + ".wav";
    return RunTool("sox", {"-n", "-r", "44100", "-c", "1", wav, "synth", QString::number(seconds),
                           "sine", "440"}) &&
           RunTool("lame", lame << wav << path);
}

inline bool MakeVideoClip(const QString& path) {
    return RunTool("gst-launch-1.0",
                   QString("-q videotestsrc num-buffers=25 ! video/x-raw,width=64,"
                           "height=48 ! avenc_mpeg4 ! avimux ! filesink")
                           .split(' ')
                       << "location=" + path);
}

} // namespace velmora::test
