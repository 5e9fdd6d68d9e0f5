#include "log_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <thread>

using velmora::LogFile;

namespace {
std::string readAll(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll().toStdString();
}
} // namespace

TEST(LogFile, EachStartReplacesTheLogAndWritesWholeLines) {
    QTemporaryDir dir;
    qputenv("TMPDIR", dir.path().toUtf8());
    {
        LogFile first;
        ASSERT_TRUE(first.Open("velmora_player.log"));
        first.Write("from the first run");
    }
    LogFile log;
    log.Write("dropped: not open yet");
    ASSERT_TRUE(log.Open("velmora_player.log"));
    EXPECT_TRUE(log.Open("velmora_player.log")); // already open: nothing happens
    log.Write("Velmora Media Player started");
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i)
            log.Write("worker line");
    });
    for (int i = 0; i < 200; ++i)
        log.Write("ui line");
    worker.join();
    log.Close();

    std::string text = readAll(dir.path() + "/velmora_player.log");
    EXPECT_EQ(text.find("first run"), std::string::npos);
    EXPECT_EQ(text.find("dropped"), std::string::npos);
    QStringList lines = QString::fromStdString(text).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 401);
    EXPECT_TRUE(lines[0].endsWith("> Velmora Media Player started"));
    EXPECT_TRUE(lines[0].startsWith(QString::fromStdString(LogFile::TimeStamp()).left(4)));
    for (const QString& line : lines)
        EXPECT_TRUE(line.endsWith("> worker line") || line.endsWith("> ui line") ||
                    line.endsWith("> Velmora Media Player started"))
            << line.toStdString();
    qunsetenv("TMPDIR");
}

TEST(LogFile, OpenFailureNamesTheFile) {
    QTemporaryDir dir;
    qputenv("TMPDIR", (dir.path() + "/missing/folder").toUtf8());
    LogFile log;
    EXPECT_FALSE(log.Open("velmora_player.log"));
    EXPECT_EQ(log.ErrorText(), "file could not be opened: velmora_player.log");
    EXPECT_FALSE(log.IsOpen());
    log.Write("nothing happens");
    qunsetenv("TMPDIR");
}

TEST(LogFile, TimeStampHasSecondsAndStaysShort) {
    std::string stamp = LogFile::TimeStamp();
    EXPECT_FALSE(stamp.empty());
    EXPECT_LE(stamp.size(), 255u);
    EXPECT_NE(stamp.find(':'), std::string::npos);
}
