#include "cache_files.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

std::string LocalFileName(const std::string& name) {
    // Bytes that are no UTF-8 become U+FFFD here as they do in the tree, so
    // the length is checked on what is written.
    std::string out = QString::fromStdString(name).toStdString();
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7f)
            c = '_';
    }
    if (out.empty() || out == "." || out == "..")
        out.insert(0, 1, '_');
    if (out.size() <= kMaxLocalNameBytes)
        return out;
    constexpr std::size_t kMaxExtension = 16;
    const std::size_t dot = out.rfind('.');
    std::string extension;
    if (dot != std::string::npos && dot > 0 && out.size() - dot <= kMaxExtension)
        extension = out.substr(dot);
    std::size_t keep = kMaxLocalNameBytes - extension.size();
    // Never cut a character in two.
    while (keep > 0 && (static_cast<unsigned char>(out[keep]) & 0xc0u) == 0x80u)
        --keep;
    return out.substr(0, keep) + extension;
}

std::string LocalFilePath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return {};
    const QString base = QDir::cleanPath(QString::fromStdString(folder));
    const std::string file = LocalFileName(name);
    const QString path = QDir(base).filePath(QString::fromStdString(file));
    // Whatever the name, the result names an entry of the folder itself.
    const QString clean = QDir::cleanPath(path);
    const QString prefix = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
    if (clean != path || !clean.startsWith(prefix) ||
        clean.indexOf(QLatin1Char('/'), prefix.size()) >= 0)
        return {};
    return clean.toStdString();
}

std::string TempFolder() {
    QString temp = QDir::tempPath();
    if (temp.isEmpty())
        temp = qEnvironmentVariable("TMPDIR");
    if (temp.isEmpty())
        temp = QStringLiteral("/tmp");
    if (!temp.endsWith(QLatin1Char('/')))
        temp += QLatin1Char('/');
    return temp.toStdString();
}

namespace {

constexpr char kCacheFolderName[] = "v_player";
constexpr char kBrowserProbeFile[] = "temphtm.HTM";
constexpr char kBrowserProbeContent[] = "<HTML> <\\HTML>";
constexpr int kProcessTimeoutMs = 5000;
// Each level keeps one directory open; a tree deeper than this is not ours.
constexpr int kMaxTreeDepth = 256;

std::string CacheFolderWithoutSlash() {
    return TempFolder() + kCacheFolderName;
}

// A folder we may not list or write into is opened up first, the way a
// read-only file is made writable; the call never follows a link.
void MakeOwnerAccessible(int parentFd, const char* name, mode_t mode, mode_t needed) {
    if ((mode & needed) != needed)
        fchmodat(parentFd, name, (mode & 07777) | needed, AT_SYMLINK_NOFOLLOW);
}

bool DeleteContents(int dirFd, int depth);

bool DeleteSubfolder(int parentFd, const char* name, mode_t mode, int depth) {
    if (depth > kMaxTreeDepth)
        return false;
    MakeOwnerAccessible(parentFd, name, mode, S_IRWXU);
    // O_NOFOLLOW: should the entry have been swapped for a link since it was
    // examined, the open fails instead of walking into the link's target.
    int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (!DeleteContents(fd, depth))
        return false;
    return unlinkat(parentFd, name, AT_REMOVEDIR) == 0;
}

// Deletes everything inside the folder open on dirFd, and closes it.
bool DeleteContents(int dirFd, int depth) {
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return false;
    }
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            ok = errno == 0;
            break;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st {};
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            break;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!DeleteSubfolder(dirFd, name, st.st_mode, depth + 1)) {
                ok = false;
                break;
            }
            continue;
        }
        // Files, links and anything else go as directory entries: a link is
        // removed itself and its target is never touched.
        if (S_ISREG(st.st_mode))
            MakeOwnerAccessible(dirFd, name, st.st_mode, S_IWUSR);
        if (unlinkat(dirFd, name, 0) != 0) {
            ok = false;
            break;
        }
    }
    closedir(dir);
    return ok;
}

QString DesktopEntryPath(const QString& desktopId) {
    // Only a plain file name: the id comes from another program's output and
    // must not lead the lookup out of the applications folders.
    if (!desktopId.endsWith(QLatin1String(".desktop")) || desktopId.contains(QLatin1Char('/')) ||
        desktopId.startsWith(QLatin1Char('.')))
        return {};
    QStringList dataDirs;
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QLatin1String("/.local/share");
    dataDirs << dataHome;
    QString systemDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (systemDirs.isEmpty())
        systemDirs = QStringLiteral("/usr/local/share:/usr/share");
    dataDirs << systemDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& dir : dataDirs) {
        QString candidate = dir + QLatin1String("/applications/") + desktopId;
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

QString ExecLine(const QString& desktopFile) {
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inEntry && eq > 0 && line.left(eq).trimmed() == QLatin1String("Exec"))
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

// The program of an Exec line: its first word, which may be quoted.
QString ExecProgram(const QString& exec) {
    QString program;
    qsizetype i = 0;
    const qsizetype n = exec.size();
    if (n > 0 && exec[0] == QLatin1Char('"')) {
        for (i = 1; i < n && exec[i] != QLatin1Char('"'); ++i) {
            if (exec[i] == QLatin1Char('\\') && i + 1 < n)
                ++i;
            program += exec[i];
        }
    } else {
        for (; i < n && !exec[i].isSpace(); ++i)
            program += exec[i];
    }
    return program;
}

QString ResolveProgram(const QString& program) {
    if (program.isEmpty())
        return {};
    if (program.contains(QLatin1Char('/'))) {
        QFileInfo info(program);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(program);
}

QString DefaultHtmlDesktopId() {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return {};
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(
        xdgMime, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!process.waitForStarted(kProcessTimeoutMs))
        return {};
    process.closeWriteChannel();
    if (!process.waitForFinished(kProcessTimeoutMs)) {
        process.kill();
        process.waitForFinished(kProcessTimeoutMs);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    return output.section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace

std::string CacheFolder() {
    const std::string folder = CacheFolderWithoutSlash();
    // Owner only: the temporary folder is usually shared by every user.
    if (mkdir(folder.c_str(), S_IRWXU) != 0 && errno == EEXIST) {
        // One of ours left readable by others (as earlier versions made it)
        // is closed; a link or someone else's folder is left alone.
        int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && fstat(fd, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 077) != 0)
            fchmod(fd, st.st_mode & 0700);
        if (fd >= 0)
            close(fd);
    }
    return folder + '/';
}

void CleanUpCache() {
    DeleteTree(CacheFolderWithoutSlash());
}

bool DeleteTree(const std::string& folder) {
    std::string path = folder;
    // A trailing "/" would make the open follow a link named by the path.
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        return false;
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (fstat(fd, &st) == 0 && (st.st_mode & (S_IWUSR | S_IXUSR)) != (S_IWUSR | S_IXUSR))
        fchmod(fd, (st.st_mode & 07777) | S_IRWXU);
    if (!DeleteContents(fd, 0))
        return false;
    return rmdir(path.c_str()) == 0;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string FindBrowser() {
    const QString probe = QString::fromStdString(CacheFolder()) + QLatin1String(kBrowserProbeFile);
    {
        QFile file(probe);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(kBrowserProbeContent);
    }

    QString browser;
    const QString desktopFile = DesktopEntryPath(DefaultHtmlDesktopId());
    if (!desktopFile.isEmpty())
        browser = ResolveProgram(ExecProgram(ExecLine(desktopFile)));
    if (browser.isEmpty())
        browser = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));

    QFile::remove(probe);
    return browser.toStdString();
}

} // namespace velmora
