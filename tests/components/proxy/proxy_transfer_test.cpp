// Downloads and uploads through the proxy against a real velmora-service:
// the done messages, the bytes, failures, a service that goes away in the
// middle, release while transfers run, and polling from a second thread.

#include "proxy_test_support.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <thread>

namespace velmora::test {
namespace {

class ProxyTransferTest : public ProxyFixture {
protected:
    void SetUp() override {
        ProxyFixture::SetUp();
        ASSERT_TRUE(files_.isValid());
        signIn("demo-free", "free-demo-1");
        proxy_->SetNotifyWindow(HandleOf(&window_));
    }

    std::string path(const QString& name) const {
        return (files_.path() + "/" + name).toStdString();
    }

    // A file of random bytes.
    std::string makeFile(const QString& name, qint64 size) {
        QFile file(files_.path() + "/" + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray chunk(64 * 1024, Qt::Uninitialized);
        for (qint64 left = size; left > 0;) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(chunk.data()),
                                                  chunk.size() / 4);
            qint64 n = std::min<qint64>(left, chunk.size());
            file.write(chunk.constData(), n);
            left -= n;
        }
        return file.fileName().toStdString();
    }

    // A large file made quickly: mostly a hole, with marks every mebibyte.
    std::string makeLargeFile(const QString& name, qint64 size) {
        std::string p = path(name);
        int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::ftruncate(fd, size), 0);
        for (qint64 at = 0; at < size; at += 1024 * 1024) {
            std::string mark = "mark " + std::to_string(at);
            EXPECT_EQ(::pwrite(fd, mark.data(), mark.size(), at),
                      static_cast<ssize_t>(mark.size()));
        }
        ::close(fd);
        return p;
    }

    // Uploads into folder 3 of demo-free and waits for the end; the new id.
    std::int32_t upload(const std::string& name, const std::string& local) {
        std::size_t before = window_.done.size();
        proxy_->UploadFile("1~3~" + name, local, "up " + name);
        EXPECT_TRUE(PumpUntil([&] { return window_.done.size() > before; }, 60000));
        if (window_.done.size() <= before)
            return 0;
        const auto& done = window_.done.back();
        EXPECT_EQ(done.message, UM_UPLOAD_DONE);
        EXPECT_EQ(done.error, "");
        std::string prefix = "up " + name + "^";
        EXPECT_EQ(done.context.rfind(prefix, 0), 0u) << done.context;
        return std::atoi(done.context.substr(prefix.size()).c_str());
    }

    QStringList leftovers(const QString& dir) const {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden).filter(".part");
    }

    // Waits for partial downloads beside their targets to hold some bytes.
    bool waitForPartialDownloads(int wanted) {
        return WaitUntil([&] {
            int partial = 0;
            for (const QFileInfo& info :
                 QDir(files_.path()).entryInfoList(QDir::Files | QDir::Hidden))
                if (info.fileName().contains(".part") && info.size() > 0)
                    ++partial;
            return partial >= wanted;
        });
    }

    // Waits for the service to be receiving an upload.
    bool waitForUploadInProgress() {
        return WaitUntil(
            [&] { return !QDir(service_.dataDir() + "/tmp").entryList(QDir::Files).isEmpty(); });
    }

    // What the service holds, read afresh: the account as a new sign-in
    // sees it, every stored blob with its size, and what is left in tmp/.
    std::string stored() {
        signIn("demo-free", "free-demo-1");
        std::string out = DumpAccount(account_);
        const QString data = service_.dataDir();
        for (const QFileInfo& blob :
             QDir(data + "/blobs").entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
            out +=
                "blob " + blob.fileName().toStdString() + " " + std::to_string(blob.size()) + "\n";
        for (const QString& temp : QDir(data + "/tmp").entryList(QDir::Files | QDir::Hidden))
            out += "tmp " + temp.toStdString() + "\n";
        return out;
    }

    QTemporaryDir files_;
    DoneWindow window_;
};

TEST_F(ProxyTransferTest, UploadThenDownloadGivesTheSameBytes) {
    std::string local = makeFile("source.bin", 3 * 1024 * 1024 + 17);
    std::int32_t id = upload("My Upload~1.mp3", local);
    ASSERT_GT(id, 0);
    EXPECT_EQ(window_.done.back().context, "up My Upload~1.mp3^" + std::to_string(id));

    // The program records it on the root; it belongs in folder 3.
    root_->AddFile(id, "My Upload~1.mp3");
    EXPECT_EQ(folder(3)->NameInUse("My Upload~1.mp3"), VARIANT_TRUE);
    EXPECT_EQ(root_->NameInUse("My Upload~1.mp3"), VARIANT_FALSE);

    std::string target = path("copy.mp3");
    proxy_->DownloadFile("1~3~" + std::to_string(id), target,
                         "42^copy.mp3^" + target + "^4^noplay");
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == 2; }));
    EXPECT_EQ(window_.done[1].message, UM_DOWNLOAD_DONE);
    EXPECT_EQ(window_.done[1].error, "");
    EXPECT_EQ(window_.done[1].context, "42^copy.mp3^" + target + "^4^noplay");
    EXPECT_EQ(readFile(target), readFile(local));
    EXPECT_TRUE(leftovers(files_.path()).isEmpty());

    // Downloading again over the existing file replaces it whole.
    QFile(QString::fromStdString(target)).open(QIODevice::Append);
    proxy_->DownloadFile("1~3~1", target, "again");
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == 3; }));
    EXPECT_EQ(window_.done[2].error, "");
    EXPECT_EQ(QFileInfo(QString::fromStdString(target)).size(), 66174);
}

TEST_F(ProxyTransferTest, ManyTransfersQueueAndAllEnd) {
    std::vector<std::string> locals;
    for (int i = 0; i < 10; ++i) {
        locals.push_back(makeFile(QString("s%1.bin").arg(i), 200000 + i));
        proxy_->UploadFile("1~2~many " + std::to_string(i) + ".au", locals.back(),
                           "u" + std::to_string(i));
    }
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == 10; }, 60000));
    std::map<std::string, std::int32_t> ids;
    for (const auto& done : window_.done) {
        EXPECT_EQ(done.error, "");
        auto caret = done.context.find('^');
        ids[done.context.substr(0, caret)] = std::atoi(done.context.substr(caret + 1).c_str());
    }
    ASSERT_EQ(ids.size(), 10u);
    for (int i = 0; i < 10; ++i)
        proxy_->DownloadFile("1~2~" + std::to_string(ids["u" + std::to_string(i)]),
                             path(QString("d%1.au").arg(i)), "d" + std::to_string(i));
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == 20; }, 60000));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(readFile(path(QString("d%1.au").arg(i))),
                  readFile(locals[static_cast<std::size_t>(i)]));
    EXPECT_EQ(real().pendingTransfers(), 0u);
}

TEST_F(ProxyTransferTest, FailuresEndWithAReadableTextAndNoFile) {
    std::string missingTarget = path("never.au");
    proxy_->DownloadFile("1~3~999", missingTarget, "c1");
    // Folder 6 of demo-gold is shared with demo-free; folder 2 is not.
    proxy_->DownloadFile("3~2~1", path("theirs.au"), "c2");
    proxy_->DownloadFile("1~3~1", path("no such dir/x.au"), "c3");
    proxy_->UploadFile("1~3~a.mp3", path("not there.mp3"), "c4");
    proxy_->UploadFile("1~3~notes.txt", makeFile("notes.txt", 10), "c5");
    proxy_->UploadFile("1~77~a.mp3", makeFile("a.mp3", 10), "c6");
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == 6; }));
    std::map<std::string, std::string> errors;
    for (const auto& done : window_.done)
        errors[done.context] = done.error;
    EXPECT_EQ(errors["c1"], "Download failed: File not found");
    EXPECT_EQ(errors["c2"], "Download failed: File not found");
    EXPECT_EQ(errors["c3"], "Download failed: Cannot write " + path("no such dir/x.au") +
                                ": No such file or directory");
    EXPECT_EQ(errors["c4"], "Upload failed: Cannot open " + path("not there.mp3") +
                                ": No such file or directory");
    EXPECT_EQ(errors["c5"], "Upload failed: Invalid file type");
    EXPECT_EQ(errors["c6"], "Upload failed: Folder not found");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(missingTarget)));
    EXPECT_TRUE(leftovers(files_.path()).isEmpty());

    // A shared file of another user downloads.
    auto gold = As<IUserProfile>(account_->UserById(3));
    auto shared = As<IMediaFile>(As<IFolder>(gold->SharedFolder(0))->File(0));
    proxy_->DownloadFile("3~6~" + std::to_string(shared->FileId()), path("shared.au"), "c7");
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == 7; }));
    EXPECT_EQ(window_.done.back().error, "");
    EXPECT_EQ(QFileInfo(QString::fromStdString(path("shared.au"))).size(), 88224);
}

// Names as any client may send them: refused with the service's reason, or
// stored and brought back byte for byte, the longest one included.
TEST_F(ProxyTransferTest, HostileNamesAreRefusedWithTheReasonOrRoundTrip) {
    struct Name {
        std::string name;
        std::string error; // empty: stored
    };
    const std::vector<Name> names = {
        {"../up.mp3", "Upload failed: Invalid character in the name"},
        {std::string("nul\0.mp3", 8), "Upload failed: Invalid character in the name"},
        {"bad\xff.mp3", "Upload failed: The name is not valid UTF-8 text"},
        {std::string(10000, 'x') + ".mp3", "Upload failed: The name is longer than 255 bytes"},
        {"a^b|c~0~d.mp3", ""},
        {"\"it's\"; DROP TABLE files;--.mp3", ""},
        {std::string(251, 'n') + ".mp3", ""}};
    const int filesBefore = folder(3)->FileCount();
    const std::string local = makeFile("source.bin", 3000);
    for (std::size_t i = 0; i < names.size(); ++i)
        proxy_->UploadFile("1~3~" + names[i].name, local, "u" + std::to_string(i));
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == names.size(); }));
    std::map<std::string, std::string> ids;
    for (const auto& done : window_.done) {
        const std::size_t i = std::stoul(done.context.substr(1));
        EXPECT_EQ(done.error, names[i].error) << i;
        if (done.error.empty())
            ids[names[i].name] = done.context.substr(done.context.find('^') + 1);
    }
    ASSERT_EQ(ids.size(), 3u);
    for (const auto& [name, id] : ids)
        proxy_->DownloadFile("1~3~" + id, path(QString::fromStdString(name)), name);
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == names.size() + ids.size(); }));
    for (std::size_t i = names.size(); i < window_.done.size(); ++i) {
        EXPECT_EQ(window_.done[i].error, "") << window_.done[i].context;
        EXPECT_TRUE(readFile(path(QString::fromStdString(window_.done[i].context))) ==
                    readFile(local));
    }
    EXPECT_TRUE(leftovers(files_.path()).isEmpty());
    signIn("demo-free", "free-demo-1");
    EXPECT_EQ(folder(3)->FileCount(), filesBefore + 3);
    for (const Name& n : names)
        EXPECT_EQ(folder(3)->NameInUse(n.name), n.error.empty() ? VARIANT_TRUE : VARIANT_FALSE);
}

TEST_F(ProxyTransferTest, MalformedKeysAreRefusedAtOnce) {
    for (const char* key : {"", "1~3", "1~3~x", "a~3~1", "1~3~1~2"}) {
        HRESULT hr = 0;
        EXPECT_NE(FailureText(
                      proxy_, [&] { proxy_->DownloadFile(key, path("k.au"), "k"); }, &hr),
                  "<no error>")
            << key;
        EXPECT_EQ(hr, E_INVALIDARG) << key;
    }
    for (const char* key : {"", "1~3~", "1~song.mp3", "x~3~song.mp3", "3~6~not mine.mp3"})
        EXPECT_NE(FailureText(proxy_, [&] { proxy_->UploadFile(key, path("k.au"), "k"); }),
                  "<no error>")
            << key;
    EXPECT_EQ(real().pendingTransfers(), 0u);
    PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(window_.done.empty());
}

TEST_F(ProxyTransferTest, AWindowThatIsGoneGetsNothingAndNothingBreaks) {
    auto gone = std::make_unique<DoneWindow>();
    proxy_->SetNotifyWindow(HandleOf(gone.get()));
    proxy_->DownloadFile("1~3~1", path("g1.au"), "g1");
    proxy_->UploadFile("1~3~g2.au", makeFile("g2.bin", 5000), "g2");
    gone.reset();
    ASSERT_TRUE(PumpUntil([&] { return real().pendingTransfers() == 0; }));
    PumpUntil([] { return false; }, 200);
    // The download itself completed; only its message had nowhere to go.
    EXPECT_EQ(QFileInfo(QString::fromStdString(path("g1.au"))).size(), 66174);
    proxy_->SetNotifyWindow(HandleOf(&window_));
    proxy_->DownloadFile("1~3~1", path("g3.au"), "g3");
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == 1; }));
    EXPECT_EQ(window_.done[0].context, "g3");
}

TEST_F(ProxyTransferTest, ServiceStoppedDuringADownload) {
    std::int32_t id = upload("big.mp3", makeLargeFile("big.bin", 64ll * 1024 * 1024));
    ASSERT_GT(id, 0);
    const std::string before = stored();
    std::string target = path("big copy.mp3");
    proxy_->DownloadFile("1~3~" + std::to_string(id), target, "big");
    ASSERT_TRUE(waitForPartialDownloads(1)) << "the download was not caught under way";
    service_.freeze();
    int port = service_.port();
    service_.stop(true);
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == 2; }));
    const auto& done = window_.done.back();
    EXPECT_EQ(done.message, UM_DOWNLOAD_DONE);
    EXPECT_EQ(done.context, "big");
    EXPECT_EQ(
        done.error.rfind("Download failed: The connection to the Velmora service at 127.0.0.1:" +
                             std::to_string(port) + " was lost",
                         0),
        0u)
        << done.error;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(target))) << "no half file";
    EXPECT_TRUE(leftovers(files_.path()).isEmpty());

    // Once the service is back, signing in works again, to all it held.
    ASSERT_TRUE(service_.start(port));
    EXPECT_EQ(stored(), before);
}

TEST_F(ProxyTransferTest, ServiceStoppedDuringAnUpload) {
    std::string local = makeLargeFile("big.bin", 64ll * 1024 * 1024);
    const std::string before = stored();
    proxy_->UploadFile("1~3~cut.mp3", local, "cut");
    ASSERT_TRUE(waitForUploadInProgress()) << "the upload was not caught under way";
    service_.freeze();
    int port = service_.port();
    service_.stop(true);
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == 1; }));
    const auto& done = window_.done.back();
    EXPECT_EQ(done.message, UM_UPLOAD_DONE);
    EXPECT_EQ(done.context, "cut") << "no file id for a failed upload";
    EXPECT_EQ(
        done.error.rfind("Upload failed: The connection to the Velmora service at 127.0.0.1:" +
                             std::to_string(port) + " was lost",
                         0),
        0u)
        << done.error;

    ASSERT_TRUE(service_.start(port));
    EXPECT_EQ(stored(), before) << "the cut upload left nothing";
}

TEST_F(ProxyTransferTest, ALocalFileThatShrinksDuringItsUploadFailsIt) {
    std::string local = makeLargeFile("shrinks.bin", 64ll * 1024 * 1024);
    proxy_->UploadFile("1~3~shrinks.mp3", local, "s");
    ASSERT_TRUE(waitForUploadInProgress());
    service_.freeze();
    ASSERT_EQ(::truncate(local.c_str(), 0), 0);
    service_.thaw();
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == 1; }));
    EXPECT_EQ(window_.done[0].error,
              "Upload failed: Cannot read " + local + ": the file got shorter while it was sent");
    EXPECT_EQ(window_.done[0].context, "s");
}

TEST_F(ProxyTransferTest, ReleaseCancelsRunningTransfersAndRemovesTheirFiles) {
    std::int32_t id = upload("big.mp3", makeLargeFile("big.bin", 64ll * 1024 * 1024));
    ASSERT_GT(id, 0);
    // One download is caught in the middle, then the service stops
    // answering; three more hang waiting for their first byte and six wait
    // behind them in the pool.
    proxy_->DownloadFile("1~3~" + std::to_string(id), path("t0.mp3"), "r");
    ASSERT_TRUE(waitForPartialDownloads(1));
    service_.freeze();
    for (int i = 1; i < 4; ++i)
        proxy_->DownloadFile("1~3~" + std::to_string(id), path(QString("t%1.mp3").arg(i)), "r");
    for (int i = 0; i < 6; ++i)
        proxy_->DownloadFile("1~3~1", path(QString("w%1.au").arg(i)), "w");
    ASSERT_TRUE(PumpUntil([&] { return leftovers(files_.path()).size() == 4; }, 5000));
    QElapsedTimer timer;
    timer.start();
    proxy_.reset();
    EXPECT_LT(timer.elapsed(), 3000) << "release waited for the transfers";
    service_.thaw();
    QStringList landed = QDir(files_.path()).entryList({"t*.mp3", "w*.au"}, QDir::Files);
    EXPECT_TRUE(landed.isEmpty()) << landed.join(' ').toStdString();
    EXPECT_TRUE(leftovers(files_.path()).isEmpty());
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(window_.done.size(), 1u) << "only the upload's message; cancelled ones post none";
}

TEST_F(ProxyTransferTest, MessagesPolledOnASecondThreadDuringTransfersAndChanges) {
    auto sender = NewProxy();
    sender->Login("demo-gold", "gold-demo-1");
    ASSERT_EQ(sender->SignedIn(), VARIANT_TRUE);

    constexpr int kMessages = 30;
    std::atomic<bool> stop{false};
    std::atomic<int> received{0};
    std::atomic<int> failures{0};
    std::string lastFailure;
    std::thread poller([&] {
        while (!stop || received < kMessages) {
            try {
                std::string file = proxy_->MessagesFile();
                if (!file.empty()) {
                    std::string text = readFile(file);
                    for (std::size_t at = text.find("<message "); at != std::string::npos;
                         at = text.find("<message ", at + 1))
                        ++received;
                }
            } catch (const ComError&) {
                lastFailure = proxy_->LastErrorText();
                ++failures;
            }
            if (stop && received < kMessages)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (stop && failures > 100)
                break;
        }
    });

    std::string local = makeFile("p.bin", 300000);
    for (int i = 0; i < kMessages; ++i) {
        sender->SendUserMessage(1, -1, "message " + std::to_string(i));
        if (i % 3 == 0)
            proxy_->UploadFile("1~2~poll " + std::to_string(i) + ".au", local, "p");
        if (i % 5 == 0)
            proxy_->DownloadFile("1~3~1", path(QString("pd%1.au").arg(i)), "pd");
        proxy_->CreateFolder(2, "during " + std::to_string(i));
        proxy_->RenameFolder(account_->NewFolderId(), "renamed " + std::to_string(i));
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(PumpUntil([&] { return window_.done.size() == 16; }, 60000));
    stop = true;
    poller.join();
    EXPECT_EQ(received.load(), kMessages);
    EXPECT_EQ(failures.load(), 0) << lastFailure;
    for (const auto& done : window_.done)
        EXPECT_EQ(done.error, "");
    EXPECT_EQ(folder(2)->SubfolderCount(), 2 + kMessages);
}

} // namespace
} // namespace velmora::test
