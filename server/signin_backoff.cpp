// Sign-in back-off rows of the store, shared by every instance of the
// service over one database.

#include "store.h"

namespace velmora::server {

std::optional<Store::BackOffRow> Store::signInBackOff(const std::string& accountId) {
    auto c = pool_.acquire();
    auto q = c->query("SELECT failures, until_ms, last_ms FROM sign_in_backoff WHERE "
                      "account_id = ?1");
    q->bind(1, accountId);
    if (!q->step())
        return std::nullopt;
    return BackOffRow{static_cast<int>(q->integer(0)), q->integer(1), q->integer(2)};
}

Store::BackOffRow Store::addSignInFailure(const std::string& accountId, std::int64_t nowMs,
                                          int (*delaySeconds)(int)) {
    return pool_.write([&](Connection& c) {
        // One statement counts the failure, so failures on two instances at
        // once are both counted; the row stays locked for the rest of the
        // transaction.
        BackOffRow row;
        {
            auto q = c.query(
                "INSERT INTO sign_in_backoff(account_id, failures, until_ms, last_ms) "
                "VALUES(?1, 1, 0, ?2) ON CONFLICT(account_id) DO UPDATE SET failures = CASE WHEN "
                "sign_in_backoff.failures < 1000 THEN sign_in_backoff.failures + 1 ELSE 1000 END, "
                "last_ms = ?2 RETURNING failures, until_ms");
            q->bind(1, accountId).bind(2, nowMs);
            if (q->step())
                row = BackOffRow{static_cast<int>(q->integer(0)), q->integer(1), nowMs};
            q->run();
        }
        std::int64_t until = nowMs + 1000LL * delaySeconds(row.failures);
        if (until > row.untilMs && until > nowMs) {
            auto q = c.query("UPDATE sign_in_backoff SET until_ms = ?2 WHERE account_id = ?1");
            q->bind(1, accountId).bind(2, until);
            q->run();
            row.untilMs = until;
        }
        return row;
    });
}

void Store::clearSignInBackOff(const std::string& accountId) {
    auto c = pool_.acquire();
    auto q = c->query("DELETE FROM sign_in_backoff WHERE account_id = ?1");
    q->bind(1, accountId);
    q->run();
}

void Store::forgetSignInBackOffs(std::int64_t nowMs, std::int64_t quietSinceMs) {
    auto c = pool_.acquire();
    auto q = c->query("DELETE FROM sign_in_backoff WHERE until_ms <= ?1 AND last_ms < ?2");
    q->bind(1, nowMs).bind(2, quietSinceMs);
    q->run();
}

std::size_t Store::signInBackOffCount() {
    auto c = pool_.acquire();
    auto q = c->query("SELECT COUNT(*) FROM sign_in_backoff");
    return q->step() ? static_cast<std::size_t>(q->integer(0)) : 0;
}

} // namespace velmora::server
