// Times the parse of a public directory of 100,000 users into XmlNodes and
// compares it with xmllint reading the same file.
#include "cache_files.h"
#include "xml_node.h"
#include "xml_parser.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <string>

using namespace velmora;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kUsers = 100000;
constexpr int kRuns = 3;

std::string MakeDirectory() {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<directory>\n";
    xml.reserve(static_cast<std::size_t>(kUsers) * 160);
    for (int i = 0; i < kUsers; ++i) {
        const std::string n = std::to_string(i);
        xml += "\t<user id=\"" + n + "\" accountid=\"member" + n + "\" first_name=\"Firstname" + n +
               "\" last_name=\"Lastname&amp;" + n + "\" email=\"member." + n +
               "@mail.example.org\" isplus=\"" + std::to_string(i % 2) + "\" expired=\"" +
               std::to_string(i % 7 == 0) + "\"/>\n";
    }
    xml += "</directory>\n";
    return xml;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);

    QTemporaryFile file;
    file.setAutoRemove(true);
    if (!file.open()) {
        std::fprintf(stderr, "xml_parse: cannot create a temporary file\n");
        return 1;
    }
    const std::string xml = MakeDirectory();
    file.write(xml.data(), static_cast<qint64>(xml.size()));
    file.flush();
    const std::string path = file.fileName().toStdString();
    const double megabytes = static_cast<double>(xml.size()) / 1e6;
    std::printf("file: %s, %.1f MB, %d users\n", path.c_str(), megabytes, kUsers);

    double ours = std::numeric_limits<double>::max();
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        std::string error;
        XmlNode root = XmlParser::instance().Parse(ReadWholeFile(path), &error);
        const double seconds = Seconds(Clock::now() - start);
        if (!error.empty() || root.ChildCount() != kUsers ||
            root.Child(kUsers - 1).Attribute("last_name") !=
                "Lastname&" + std::to_string(kUsers - 1)) {
            std::fprintf(stderr, "xml_parse: wrong result (%s)\n", error.c_str());
            return 1;
        }
        ours = std::min(ours, seconds);
        std::printf("ours run %d: %.3f s\n", run + 1, seconds);
    }

    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty()) {
        std::fprintf(stderr, "xml_parse: xmllint not found\n");
        return 1;
    }
    double reference = std::numeric_limits<double>::max();
    for (int run = 0; run < kRuns; ++run) {
        QProcess process;
        const auto start = Clock::now();
        process.start(xmllint, {QStringLiteral("--noout"), file.fileName()});
        if (!process.waitForFinished(120000) || process.exitCode() != 0) {
            std::fprintf(stderr, "xml_parse: xmllint failed\n");
            return 1;
        }
        const double seconds = Seconds(Clock::now() - start);
        reference = std::min(reference, seconds);
        std::printf("xmllint run %d: %.3f s\n", run + 1, seconds);
    }

    std::printf("xml_parse: %.1f MB/s ratio=%.2f (target 4)\n", megabytes / ours, ours / reference);
    return 0;
}
