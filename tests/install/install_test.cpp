// The build tree installed into a fresh prefix as a user installs it, and
// every installed file checked by a tool that reads it as the desktop does.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kAppId = QStringLiteral(VELMORA_APP_ID);

struct Outcome {
    bool started = false;
    int exitCode = -1;
    QString output;
};

Outcome
RunProgram(const QString& program, const QStringList& arguments,
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Outcome outcome;
    outcome.started = process.waitForStarted(10000);
    if (!outcome.started) {
        outcome.output = program + ": " + process.errorString();
        return outcome;
    }
    process.waitForFinished(120000);
    outcome.output = QString::fromUtf8(process.readAll());
    if (process.exitStatus() == QProcess::NormalExit)
        outcome.exitCode = process.exitCode();
    return outcome;
}

// The value of the first "key=" line of a key file.
QString KeyValue(const QString& path, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.startsWith(key + "="))
            return line.mid(key.size() + 1);
    }
    return {};
}

class Install : public ::testing::Test {
public:
    // A prefix with a blank, "%" and "$" in it: every path the installed
    // files name must survive their readers' quoting.
    static void SetUpTestSuite() {
        prefixDir_ =
            std::make_unique<QTemporaryDir>(QDir::tempPath() + "/velmora install %1$ XXXXXX");
        ASSERT_TRUE(prefixDir_->isValid());
        installed_ = RunProgram(VELMORA_CMAKE_COMMAND,
                                {"--install", VELMORA_BUILD_TREE, "--prefix", prefixDir_->path()});
    }
    static void TearDownTestSuite() { prefixDir_.reset(); }

    void SetUp() override { ASSERT_EQ(installed_.exitCode, 0) << installed_.output.toStdString(); }

    static QString Path(const QString& relative) { return prefixDir_->path() + "/" + relative; }
    static QString DesktopEntry() { return Path("share/applications/" + kAppId + ".desktop"); }
    static QString Metainfo() { return Path("share/metainfo/" + kAppId + ".metainfo.xml"); }
    static QString Unit() { return Path("share/systemd/user/velmora-service.service"); }
    static QString Icon(const QString& size, const QString& suffix) {
        return Path("share/icons/hicolor/" + size + "/apps/" + kAppId + suffix);
    }

    static std::unique_ptr<QTemporaryDir> prefixDir_;
    static Outcome installed_;
};

std::unique_ptr<QTemporaryDir> Install::prefixDir_;
Outcome Install::installed_;

TEST_F(Install, PutsEveryFileUnderThePrefix) {
    const struct {
        QString path;
        bool executable;
    } files[] = {
        {Path("bin/velmora-player"), true},
        {Path("bin/velmora-service"), true},
        {DesktopEntry(), false},
        {Metainfo(), false},
        {Unit(), false},
        {Icon("scalable", ".svg"), false},
        {Icon("48x48", ".png"), false},
        {Icon("128x128", ".png"), false},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.path.toStdString());
        const QFileInfo info(file.path);
        EXPECT_TRUE(info.isFile());
        EXPECT_EQ(info.isExecutable(), file.executable);
    }
}

struct Validation {
    const char* name;
    QString program;
    QStringList arguments;
    QString (*file)();
};

void PrintTo(const Validation& v, std::ostream* os) {
    *os << v.name;
}

class InstallValidation : public Install, public ::testing::WithParamInterface<Validation> {};

// Each validator fails on errors; appstreamcli's pedantic remarks pass.
TEST_P(InstallValidation, ValidatorAcceptsTheFile) {
    const Validation& v = GetParam();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // systemd's user manager needs a runtime folder of the user's, which a
    // headless run may not have.
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    const Outcome outcome = RunProgram(v.program, v.arguments + QStringList{v.file()}, environment);
    ASSERT_TRUE(outcome.started) << outcome.output.toStdString();
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Files, InstallValidation,
    ::testing::Values(
        Validation{"DesktopEntry", "desktop-file-validate", {}, &Install::DesktopEntry},
        Validation{"Metainfo", "appstreamcli", {"validate", "--no-net"}, &Install::Metainfo},
        // Also fails when ExecStart does not name an executable file.
        Validation{"UserUnit", "systemd-analyze", {"--user", "verify"}, &Install::Unit}),
    [](const ::testing::TestParamInfo<Validation>& info) { return info.param.name; });

TEST_F(Install, IconsHaveTheirSizes) {
    for (const int size : {48, 128}) {
        const QString n = QString::number(size);
        QImageReader reader(Icon(n + "x" + n, ".png"));
        EXPECT_EQ(reader.format(), "png") << size;
        EXPECT_EQ(reader.size(), QSize(size, size)) << size;
    }
    EXPECT_TRUE(QSvgRenderer(Icon("scalable", ".svg")).isValid());
}

// The entry names the icon as installed and the player by its installed path
// ("%" doubled and "$" escaped in the entry's quoting); the unit's path is
// checked by systemd-analyze above.
TEST_F(Install, DesktopEntryNamesTheInstalledIconAndPlayer) {
    EXPECT_EQ(KeyValue(DesktopEntry(), "Icon"), kAppId);
    QString escaped = prefixDir_->path();
    escaped.replace("%", "%%").replace("$", "\\\\$");
    EXPECT_EQ(KeyValue(DesktopEntry(), "Exec"), "\"" + escaped + "/bin/velmora-player\"");
}

// The installed programs run from the prefix alone: no library of ours is
// needed from the build tree. The embedding switch ends the player at once.
TEST_F(Install, InstalledProgramsRun) {
    for (const QStringList& run :
         {QStringList{"velmora-service", "--help"}, QStringList{"velmora-player", "-Embedding"}}) {
        const Outcome outcome = RunProgram(Path("bin/" + run[0]), run.mid(1));
        EXPECT_EQ(outcome.exitCode, 0) << outcome.output.toStdString();
    }
}

} // namespace
