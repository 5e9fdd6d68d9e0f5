// The proxy against a service that speaks HTTPS with a self-signed
// certificate: trusted through the settings' CA file it signs in and moves
// files both ways; otherwise sign-in fails with a text that says why.

#include "proxy_test_support.h"

#include <QRandomGenerator>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace velmora::test {
namespace {

class ProxyTlsTest : public ProxyFixture {
protected:
    // A certificate for 127.0.0.1 and its key, made for this test. Started
    // with posix_spawn, as QProcess's start misleads ThreadSanitizer.
    bool makeCertificate() {
        std::vector<std::string> args = {"openssl"};
        for (const QString& a :
             QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                            "-days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1")
                 .split(' '))
            args.push_back(a.toStdString());
        args.insert(args.end(), {"-keyout", key_.toStdString(), "-out", cert_.toStdString()});
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        const int started = posix_spawnp(&pid, "openssl", &quiet, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&quiet);
        int status = 0;
        return started == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    }

    QTemporaryDir keys_;
    QString cert_ = keys_.path() + "/cert.pem";
    QString key_ = keys_.path() + "/key.pem";
};

TEST_F(ProxyTlsTest, SignsInAndTransfersOnlyWithTheCertificateTrusted) {
    ASSERT_TRUE(makeCertificate());
    // The same data folder, now served over HTTPS.
    service_.stop();
    ASSERT_TRUE(service_.launch({"--hash-cost", "test", "--quiet", "--serve", "--port", "0",
                                 "--tls-cert", cert_, "--tls-key", key_}));
    const int port = service_.waitForPort();
    ASSERT_GT(port, 0);
    settings_.point("https://127.0.0.1", port);
    // Loading the system's certificate store is slow under the sanitizers.
    proxy::Timeouts patient;
    patient.connect = std::chrono::seconds(30);
    real().setTimeouts(patient, patient);
    const std::string where = "the Velmora service at 127.0.0.1:" + std::to_string(port);

    struct Case {
        const char* what;
        QString caFile;
        std::string failure; // the start of the sign-in failure; empty: signed in
    };
    const std::string missing = (keys_.path() + "/missing.pem").toStdString();
    const Case cases[] = {
        {"the system's store does not know it",
         {},
         "The certificate of " + where + " is not trusted: "},
        {"a CA file that is not there", QString::fromStdString(missing),
         "The certificate file " + missing + " cannot be used"},
        {"the CA file holds it", cert_, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        settings_.setValue("CaFile", c.caFile.toStdString());
        proxy_->Login("demo-free", "free-demo-1");
        if (!c.failure.empty()) {
            EXPECT_EQ(proxy_->SignedIn(), VARIANT_FALSE);
            EXPECT_EQ(proxy_->LoginFailureText().rfind(c.failure, 0), 0u)
                << proxy_->LoginFailureText();
            continue;
        }
        ASSERT_EQ(proxy_->SignedIn(), VARIANT_TRUE) << proxy_->LoginFailureText();
    }

    DoneWindow window;
    proxy_->SetNotifyWindow(HandleOf(&window));
    QByteArray bytes(3 * 1024 * 1024 + 5, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                          bytes.size() / 4);
    const QString local = keys_.path() + "/source.bin";
    QFile file(local);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    proxy_->UploadFile("1~3~secure.mp3", local.toStdString(), "up");
    ASSERT_TRUE(PumpUntil([&] { return window.done.size() == 1; }));
    ASSERT_EQ(window.done[0].error, "");
    const std::string id = window.done[0].context.substr(3);
    const std::string target = (keys_.path() + "/copy.mp3").toStdString();
    proxy_->DownloadFile("1~3~" + id, target, "down");
    ASSERT_TRUE(PumpUntil([&] { return window.done.size() == 2; }));
    EXPECT_EQ(window.done[1].error, "");
    EXPECT_TRUE(readFile(target) == bytes.toStdString()) << "the bytes differ";
}

} // namespace
} // namespace velmora::test
