// Two clients of a real service: A sends 200 messages one by one to B, who
// has A's user dialog open with the program's own poller (3 s period). The
// time from each send to its display in B's dialog, against the poll period.
// Sends are spaced so that they fall at every phase of the poll cycle.

#include "app_context.h"
#include "bench_service.h"
#include "left_view.h"
#include "message_poller.h"
#include "service_proxy.h"
#include "user_dialog.h"
#include "user_record.h"
#include "window_messages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace velmora;

namespace {

constexpr int kMessages = 200;
constexpr qint64 kSpacingMs = 370;
constexpr double kPeriodSeconds = 3.0;

double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))];
}

void PumpUntil(const std::function<bool()>& done, qint64 ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    bench::BenchService service;
    if (!service.start("--seed-demo")) {
        std::fprintf(stderr, "message_latency: the service did not start\n");
        return 1;
    }
    bench::BenchSettings settings(service.port());
    RegisterProxyComponent();
    AppContext::SetPollerMaker([](ServiceClient& client) {
        return MakeMessagePoller(client, [](const std::string& line) {
            std::fprintf(stderr, "poller: %s\n", line.c_str());
        });
    });

    // B: the program's own context, with A's dialog open.
    ServiceClient& receiver = AppContext::Instance().GetServiceClient();
    if (!receiver.Login("demo-free", "free-demo-1")) {
        std::fprintf(stderr, "message_latency: B could not sign in\n");
        return 1;
    }
    // A: a second client of the same service.
    ServiceClient sender;
    if (!sender.Login("demo-gold", "gold-demo-1")) {
        std::fprintf(stderr, "message_latency: A could not sign in\n");
        return 1;
    }
    const UserRecord a = UserRecord::FromReply(receiver.FindUserById("demo-gold"));
    auto view = std::make_unique<CLeftView>();
    const LRESULT answer = SendMessage(view.get(), UM_OPEN_USER_DIALOG, static_cast<WPARAM>(a.id),
                                       reinterpret_cast<LPARAM>(&a));
    auto* dialog = qobject_cast<CUserDialog*>(WindowFromHandle(static_cast<Handle>(answer)));
    if (!dialog) {
        std::fprintf(stderr, "message_latency: no user dialog\n");
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> sentAt(kMessages, -1);
    std::vector<qint64> shownAt(kMessages, -1);
    int shown = 0;
    qsizetype scanned = 0;
    const QRegularExpression token("m(\\d+);");
    QObject::connect(dialog->conversationEdit(), &QTextEdit::textChanged, [&] {
        const QString text = dialog->conversationEdit()->toPlainText();
        for (auto it = token.globalMatch(text, scanned); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            const int index = match.captured(1).toInt();
            if (index >= 0 && index < kMessages && shownAt[index] < 0) {
                shownAt[index] = clock.elapsed();
                ++shown;
            }
            scanned = match.capturedEnd();
        }
    });

    int failed = 0;
    for (int i = 0; i < kMessages; ++i) {
        PumpUntil([&] { return clock.elapsed() >= i * kSpacingMs; }, kSpacingMs * 2);
        sentAt[i] = clock.elapsed();
        std::string text = "m";
        text += std::to_string(i);
        text += ';';
        if (!sender.SendUserMessage(receiver.GetUserId(), -1, text))
            ++failed;
    }
    PumpUntil([&] { return shown + failed >= kMessages; }, 4 * 1000 * kPeriodSeconds);

    std::vector<double> latencies;
    for (int i = 0; i < kMessages; ++i)
        if (shownAt[i] >= 0)
            latencies.push_back(static_cast<double>(shownAt[i] - sentAt[i]) / 1000.0);
    if (latencies.empty()) {
        std::fprintf(stderr, "message_latency: no message arrived\n");
        return 1;
    }
    const double median = Quantile(latencies, 0.5);
    std::printf("messages: %d sent, %d failed, %d shown\n", kMessages, failed, shown);
    std::printf("latency: min %.3f s, p90 %.3f s, max %.3f s\n", Quantile(latencies, 0.0),
                Quantile(latencies, 0.9), Quantile(latencies, 1.0));
    std::printf("message_latency: %.3f s median ratio=%.2f (target 0.7)\n", median,
                median / kPeriodSeconds);
    view.reset();
    AppContext::Destroy();
    return 0;
}
