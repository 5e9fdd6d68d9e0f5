// Hostile input through the player against a real velmora-service: local
// files with awkward names are dropped, uploaded, played and saved; names no
// file can bear are typed as new labels and refused with the service's
// reason; the service killed under a transfer. Nothing stored before is
// lost, nothing lands outside its folder and no partial file stays behind.

#include "app_context.h"
#include "cache_files.h"
#include "event_pump.h"
#include "folder_browser.h"
#include "left_view.h"
#include "library_test_support.h"
#include "object_ranges.h"
#include "proxied_service.h"
#include "scripted_message_boxes.h"
#include "service_client.h"
#include "window_messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <set>

using namespace velmora;
using namespace velmora::test;

namespace {

class TransferEnds : public QObject {
public:
    int done = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == eventType(UM_DOWNLOAD_DONE) || e->type() == eventType(UM_UPLOAD_DONE))
            ++done;
        return false;
    }
};

class HostileE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        ASSERT_TRUE(scratch.isValid());
        ASSERT_TRUE(saveTo.isValid());
        qputenv("TMPDIR", temp.path().toUtf8());
        ASSERT_TRUE(test::ServeThroughProxy(service, settings)) << "velmora-service did not start";
        AppContext::Destroy();
        ASSERT_TRUE(client().Login("demo-free", "free-demo-1")) << client().GetLastError();
        view.resize(400, 600);
        view.show();
        view.SetPlayerView(&player);
        view.installEventFilter(&ends);
        SendMessage(&view, UM_POPULATE_LIBRARY, 0, 0);
        ASSERT_NE(samples(), nullptr);
    }
    void TearDown() override {
        AppContext::Destroy();
        qunsetenv("TMPDIR");
    }

    static ServiceClient& client() { return AppContext::Instance().GetServiceClient(); }
    QTreeWidgetItem* samples() { return Child(view.RootItem(), "Samples"); }
    bool waitForEnds(int wanted) {
        return PumpUntil(
            [&] { return ends.done >= wanted && view.Play().HandOver().Pending() == 0; },
            std::chrono::seconds(20));
    }
    // What the service holds on its disk: every blob with its size, and
    // what is left in its upload folder.
    QStringList disk() const {
        QStringList out;
        for (const QFileInfo& blob : QDir(service.dataDir() + "/blobs")
                                         .entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
            out << blob.fileName() + " " + QString::number(blob.size());
        for (const QString& temp : QDir(service.dataDir() + "/tmp").entryList(QDir::Files))
            out << "tmp " + temp;
        return out;
    }
    // A large file made quickly: a hole with a few bytes at its start.
    QString largeFile(const QString& name) {
        const QString path = scratch.filePath(name);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::pwrite(fd, "large", 5, 0), 5);
        EXPECT_EQ(::ftruncate(fd, 64 * 1024 * 1024), 0);
        ::close(fd);
        return path;
    }
    static bool holdsFiles(const QString& folder, const QString& filter, qint64 minSize) {
        for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
            if (info.fileName().contains(filter) && info.size() >= minSize)
                return true;
        return false;
    }
    // Kills the service once the transfer is seen under way, waits for its
    // end and brings the service back on its port.
    void killDuring(const std::function<bool()>& underWay, int endsBefore) {
        ASSERT_TRUE(PumpUntil(underWay, std::chrono::seconds(20))) << "not caught under way";
        service.freeze();
        const int port = service.port();
        service.stop(true);
        ASSERT_TRUE(waitForEnds(endsBefore + 1));
        ASSERT_TRUE(service.start(port));
    }

    // The names the service holds in Samples, read by a sign-in of its own.
    static std::set<std::string> stored() {
        ServiceClient fresh;
        EXPECT_TRUE(fresh.Login("demo-free", "free-demo-1")) << fresh.GetLastError();
        std::set<std::string> names;
        for (const auto& folder : Subfolders(*fresh.GetLibrary()))
            if (folder->Name() == "Samples")
                for (const auto& file : Files(*folder))
                    names.insert(file->Name());
        return names;
    }
    void rename(QTreeWidgetItem* item, const std::string& text) {
        view.SetHitItem(item);
        view.OnRename();
        QLineEdit* line = nullptr;
        for (QLineEdit* edit : view.viewport()->findChildren<QLineEdit*>())
            line = edit->isVisible() ? edit : line;
        ASSERT_NE(line, nullptr);
        line->setText(QString::fromStdString(text));
        QTest::keyClick(line, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

    QTemporaryDir temp, scratch, saveTo;
    ServiceProcess service;
    TempSettings settings;
    ScopedScriptedBoxes boxes;
    FakePlayer player;
    TransferEnds ends;
    CLeftView view;
};

TEST_F(HostileE2E, DroppedPlayedSavedOrRefusedAndNothingStoredIsLost) {
    const std::set<std::string> before = stored();
    const std::vector<std::string> names = {"a^b|c~0~d^noplay.mp3",
                                            "\"it's\"; DROP TABLE files;--.mp3", "..dots.mp3",
                                            std::string(251, 'n') + ".mp3"};
    QList<QUrl> urls;
    for (const std::string& name : names)
        urls.push_back(QUrl::fromLocalFile(WriteFile(scratch.filePath(QString::fromStdString(name)),
                                                     QByteArray::fromStdString(name))));
    view.Transfers().Drop(samples(), urls);
    ASSERT_TRUE(waitForEnds(4));
    EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();

    CFolderBrowser::ScopedFolderChooser chooser([&] { return saveTo.path().toStdString(); });
    for (const std::string& name : names) {
        QTreeWidgetItem* item = Child(samples(), name);
        ASSERT_NE(item, nullptr) << name;
        EXPECT_EQ(wire::ClassifyNodeKey(CLeftView::GetNodeKey(item)), wire::NodeKind::File);
        view.SetHitItem(item);
        view.OnPlay();
        view.SetHitItem(item);
        view.OnCommand(CLeftView::ID_FILE_SAVE);
    }
    ASSERT_TRUE(waitForEnds(4 + 2 * static_cast<int>(names.size())));
    EXPECT_TRUE(boxes->texts().empty()) << boxes->texts().front();
    ASSERT_EQ(player.files.size(), names.size());
    for (const std::string& name : names) {
        const QString file = QString::fromStdString(name);
        EXPECT_EQ(ReadFile(QDir(QString::fromStdString(CacheFolder())).filePath(file)),
                  QByteArray::fromStdString(name));
        EXPECT_EQ(ReadFile(saveTo.filePath(file)), QByteArray::fromStdString(name));
    }
    // Played and saved files, and nothing else, not even a partial one.
    EXPECT_EQ(QDir(saveTo.path()).entryList(QDir::Files | QDir::Hidden).size(),
              static_cast<int>(names.size()));

    // Names no file can bear, typed as a new label: the service's reason.
    for (const auto& [typed, reason] :
         {std::pair<std::string, std::string>{"../escape.mp3", "Invalid character in the name"},
          {"a/b.mp3", "Invalid character in the name"},
          {std::string(10000, 'x') + ".mp3", "The name is longer than 255 bytes"}}) {
        boxes->clear();
        QTreeWidgetItem* item = samples();
        ASSERT_NE(item, nullptr);
        rename(item, typed);
        // The last error keeps earlier failures before this one's reason.
        ASSERT_EQ(boxes->texts().size(), 1u);
        EXPECT_TRUE(
            QString::fromStdString(boxes->texts().front()).endsWith(QString::fromStdString(reason)))
            << boxes->texts().front();
        EXPECT_EQ(CLeftView::ItemText(item), "Samples");
    }
    std::set<std::string> expected = before;
    expected.insert(names.begin(), names.end());
    EXPECT_EQ(stored(), expected);
    EXPECT_FALSE(QFileInfo::exists(QDir(temp.path()).filePath("escape.mp3")));
}

TEST_F(HostileE2E, ServiceKilledDuringADownloadAndAnUploadLosesAndLeavesNothing) {
    const std::string kConnectionLost = "The connection to the Velmora service at 127.0.0.1:";
    view.Transfers().Drop(samples(), {QUrl::fromLocalFile(largeFile("large.mp3"))});
    ASSERT_TRUE(waitForEnds(1));
    const std::set<std::string> names = stored();
    const QStringList onDisk = disk();
    ASSERT_TRUE(names.count("large.mp3"));

    // Played: the download is cut, the player says why, the cache keeps nothing.
    view.SetHitItem(Child(samples(), "large.mp3"));
    view.OnPlay();
    const QString cache = QString::fromStdString(CacheFolder());
    killDuring([&] { return holdsFiles(cache, ".part", 1); }, 1);
    ASSERT_EQ(boxes->texts().size(), 1u);
    EXPECT_EQ(boxes->texts()[0].rfind("Download failed: " + kConnectionLost, 0), 0u)
        << boxes->texts()[0];
    EXPECT_TRUE(player.files.empty());
    EXPECT_FALSE(holdsFiles(cache, "large", 0));
    EXPECT_EQ(stored(), names);
    EXPECT_EQ(disk(), onDisk);

    // Dropped: the upload is cut, its item goes, the service keeps nothing of it.
    boxes->clear();
    view.Transfers().Drop(samples(), {QUrl::fromLocalFile(largeFile("cut.mp3"))});
    killDuring([&] { return !QDir(service.dataDir() + "/tmp").isEmpty(QDir::Files); }, 2);
    ASSERT_EQ(boxes->texts().size(), 1u);
    EXPECT_EQ(boxes->texts()[0].rfind("Upload failed: " + kConnectionLost, 0), 0u)
        << boxes->texts()[0];
    EXPECT_EQ(Child(samples(), "cut.mp3"), nullptr);
    EXPECT_EQ(stored(), names);
    EXPECT_EQ(disk(), onDisk);
}

} // namespace
