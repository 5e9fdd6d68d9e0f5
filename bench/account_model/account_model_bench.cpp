// Sign-in and model build through the proxy for the benchmark account
// (100,000 files in 5,000 folders, 50 sharing users) against curl fetching the
// same account document from the same service.

#include "bench_service.h"
#include "service_proxy.h"

#include <QCoreApplication>

#include <algorithm>
#include <vector>

using namespace velmora;

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Counts {
    long folders = 0;
    long files = 0;
};

void Walk(const std::shared_ptr<IFolder>& folder, Counts& counts) {
    ++counts.folders;
    counts.files += folder->FileCount();
    for (int i = 0; i < folder->SubfolderCount(); ++i)
        Walk(QueryInterface<IFolder>(folder->Subfolder(i)), counts);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int kRounds = 5;

    bench::BenchService service;
    if (!service.start("--seed-bench")) {
        std::fprintf(stderr, "account_model: the service did not start\n");
        return 1;
    }
    bench::BenchSettings settings(service.port());
    RegisterProxyComponent();
    auto proxy = CreateComponent<IServiceProxy>(CLSID_velmoraPrxy);

    std::string token = bench::CurlSignIn(service.base(), "bench", "bench-password-1");
    if (token.empty()) {
        std::fprintf(stderr, "account_model: curl could not sign in\n");
        return 1;
    }
    std::vector<double> curlTimes;
    std::vector<double> loginTimes;
    QByteArray document;
    for (int round = 0; round < kRounds; ++round) {
        double curl = bench::TimeCurl({"-H", QString::fromStdString("X-Velmora-Session: " + token),
                                       QString::fromStdString(service.base() + "/account")},
                                      &document);
        if (curl < 0) {
            std::fprintf(stderr, "account_model: curl could not fetch the account\n");
            return 1;
        }
        curlTimes.push_back(curl);

        QElapsedTimer timer;
        timer.start();
        proxy->Login("bench", "bench-password-1");
        loginTimes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (!IsTrue(proxy->SignedIn())) {
            std::fprintf(stderr, "account_model: sign-in failed: %s\n",
                         proxy->LoginFailureText().c_str());
            return 1;
        }
    }

    auto account = QueryInterface<IAccount>(proxy->Account());
    Counts own;
    QElapsedTimer walkTimer;
    walkTimer.start();
    Walk(QueryInterface<IFolder>(account->LibraryRoot()), own);
    double walk = static_cast<double>(walkTimer.nsecsElapsed()) / 1e9;

    // The share of the sign-in that is building the model from the document.
    std::vector<double> parseTimes;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        auto parsed = proxy::AccountObject::Parse(document, std::make_shared<proxy::ErrorStore>());
        parseTimes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }

    double login = Median(loginTimes);
    double curl = Median(curlTimes);
    std::printf("account document: %.1f MB\n", static_cast<double>(document.size()) / 1e6);
    std::printf("model: %ld folders, %ld files, %d sharing users, %d access lists\n", own.folders,
                own.files, account->SharingUserCount(), account->AccessListCount());
    std::printf("curl fetch (median of %d): %.3f s\n", kRounds, curl);
    std::printf("proxy sign-in with model (median of %d): %.3f s\n", kRounds, login);
    std::printf("model build from the document (median of %d): %.3f s\n", kRounds,
                Median(parseTimes));
    std::printf("walking the whole library: %.3f s\n", walk);
    std::printf("account_model: %.3f s ratio=%.2f (target 4)\n", login, login / curl);
    return 0;
}
