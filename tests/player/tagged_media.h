#pragma once

// Media files made with the command-line tools of the build machine: an MP3
// with or without tags and a cover picture, and a short video clip.

#include <QColor>
#include <QImage>
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

// Red on the left, blue on the right: told apart from the program's artwork
// and from a picture shown the wrong way round.
inline QImage TwoColourCover() {
    QImage cover(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < cover.height(); ++y)
        for (int x = 0; x < cover.width(); ++x)
            cover.setPixelColor(x, y, x < cover.width() / 2 ? Qt::red : Qt::blue);
    return cover;
}

struct Mp3Tags {
    QString title, artist, album;
    bool cover = false;
};

// A sine tone as MP3 at path; the tags are written as ID3v2 with the cover
// as an attached picture.
inline bool MakeMp3(const QString& path, double seconds, const Mp3Tags& tags) {
    const QString wav = path + QStringLiteral(".wav");
    if (!RunTool(QStringLiteral("sox"),
                 {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                  QStringLiteral("-c"), QStringLiteral("1"), wav, QStringLiteral("synth"),
                  QString::number(seconds), QStringLiteral("sine"), QStringLiteral("440")}))
        return false;
    QStringList arguments{QStringLiteral("--quiet"), QStringLiteral("--id3v2-only")};
    const std::pair<const char*, QString> texts[] = {
        {"--tt", tags.title}, {"--ta", tags.artist}, {"--tl", tags.album}};
    for (const auto& [option, text] : texts)
        if (!text.isEmpty())
            arguments << QString::fromLatin1(option) << text;
    if (tags.cover) {
        const QString jpeg = path + QStringLiteral(".jpg");
        if (!TwoColourCover().save(jpeg, "JPEG", 95))
            return false;
        arguments << QStringLiteral("--ti") << jpeg;
    }
    arguments << wav << path;
    return RunTool(QStringLiteral("lame"), arguments);
}

inline bool MakeVideoClip(const QString& path) {
    return RunTool(QStringLiteral("gst-launch-1.0"),
                   QStringLiteral("-q videotestsrc num-buffers=25 ! "
                                  "video/x-raw,width=64,height=48,framerate=25/1 ! avenc_mpeg4 "
                                  "! avimux ! filesink")
                           .split(' ')
                       << QStringLiteral("location=") + path);
}

} // namespace velmora::test
