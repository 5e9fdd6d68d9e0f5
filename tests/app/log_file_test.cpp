#include "log_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ctime>
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

TEST(LogFile, StampIsLocalTimeWithoutTheZoneName) {
    // A zone with a name and five and a half hours off UTC: a stamp in UTC,
    // or one that names or numbers its zone, shows here.
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const QByteArray previousZone = qgetenv("TZ");
    qputenv("TZ", "VLM-5:30");
    tzset();
    std::string stamp;
    std::tm local{};
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t before = std::time(nullptr);
        stamp = LogFile::TimeStamp();
        localtime_r(&before, &local);
        if (std::time(nullptr) == before) // no second turned in between
            break;
    }
    if (hadZone)
        qputenv("TZ", previousZone);
    else
        qunsetenv("TZ");
    tzset();

    char clock[16];
    std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    EXPECT_EQ(local.tm_gmtoff, 5 * 3600 + 30 * 60); // the zone took effect
    EXPECT_NE(stamp.find(clock), std::string::npos) << stamp << " at " << clock;
    EXPECT_NE(stamp.find(std::to_string(local.tm_mday)), std::string::npos) << stamp;
    for (const char* zoneText : {"VLM", "UTC", "GMT", "+05", "+0530", "+5:30"})
        EXPECT_EQ(stamp.find(zoneText), std::string::npos) << stamp;
}
