#include "db_postgres.h"

#include <libpq-fe.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace velmora::server {

namespace {

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

// Whether a unique violation's detail, "Key (owner, name)=(1, x) already
// exists.", is about a name: the last column of the key is a name or an
// account id, as on SQLite.
bool OnName(const char* detail) {
    std::string text = detail ? detail : "";
    std::size_t open = text.find("Key (");
    std::size_t close = text.find(")=");
    if (open != 0 || close == std::string::npos)
        return false;
    std::string columns = text.substr(5, close - 5);
    std::size_t comma = columns.rfind(',');
    std::string last = comma == std::string::npos ? columns : columns.substr(comma + 1);
    while (!last.empty() && last.front() == ' ')
        last.erase(0, 1);
    return last == "name" || last == "accountid";
}

// Turns a failed command into the refusal it stands for.
[[noreturn]] void Fail(PGconn* conn, const PGresult* result) {
    if (PQstatus(conn) != CONNECTION_OK)
        throw StoreError(StoreError::Kind::Unavailable,
                         "The database is unavailable; try again later");
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    std::string code = state ? state : "";
    std::string message = result ? PQresultErrorMessage(result) : PQerrorMessage(conn);
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
        message.pop_back();
    if (code == "40001" || code == "40P01")
        throw TransientError("The database is busy; try again");
    if (code.rfind("08", 0) == 0 || code == "57P01" || code == "57P02" || code == "57P03")
        throw StoreError(StoreError::Kind::Unavailable,
                         "The database is unavailable; try again later");
    if (code == "23505" && OnName(PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL)))
        throw StoreError(StoreError::Kind::NameTaken, "An entry with this name already exists");
    if (code == "23505" || code == "23503")
        throw StoreError(StoreError::Kind::Conflict,
                         "The change conflicts with stored data (" + message + ")");
    if (code == "22021")
        throw StoreError(StoreError::Kind::InvalidInput, "The text is not valid UTF-8");
    throw StoreError(StoreError::Kind::Internal, "Database error: " + message);
}

Result Check(PGconn* conn, PGresult* raw) {
    Result result(raw, &PQclear);
    ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        Fail(conn, result.get());
    return result;
}

class PostgresStatement : public Statement {
public:
    PostgresStatement(PostgresConnection& connection, std::string name, int params)
        : connection_(connection), name_(std::move(name)), values_(params), bound_(params) {}
    ~PostgresStatement() override { PQclear(result_); }

    Statement& bind(int index, std::int64_t value) override {
        return set(index, std::to_string(value));
    }
    Statement& bind(int index, std::string_view value) override {
        // Text travels as a C string; PostgreSQL's text holds no zero byte.
        if (value.find('\0') != std::string_view::npos)
            throw StoreError(StoreError::Kind::InvalidInput, "The text holds a zero byte");
        return set(index, std::string(value));
    }
    Statement& bindNull(int index) override {
        slot(index);
        bound_[static_cast<std::size_t>(index - 1)] = false;
        return *this;
    }
    bool step() override {
        if (!result_) {
            std::vector<const char*> values(values_.size());
            for (std::size_t i = 0; i < values_.size(); ++i)
                values[i] = bound_[i] ? values_[i].c_str() : nullptr;
            result_ = connection_.run(name_, static_cast<int>(values.size()), values.data());
            row_ = -1;
        }
        return ++row_ < PQntuples(result_);
    }
    std::int64_t integer(int column) const override {
        return std::strtoll(PQgetvalue(result_, row_, column), nullptr, 10);
    }
    std::string text(int column) const override {
        return std::string(PQgetvalue(result_, row_, column),
                           static_cast<std::size_t>(PQgetlength(result_, row_, column)));
    }
    bool isNull(int column) const override { return PQgetisnull(result_, row_, column) != 0; }
    void reset() override {
        PQclear(result_);
        result_ = nullptr;
        for (std::size_t i = 0; i < values_.size(); ++i) {
            values_[i].clear();
            bound_[i] = false;
        }
    }

private:
    void slot(int index) {
        if (index < 1 || static_cast<std::size_t>(index) > values_.size())
            throw StoreError(StoreError::Kind::Internal,
                             "Database error: no parameter " + std::to_string(index));
    }
    Statement& set(int index, std::string value) {
        slot(index);
        values_[static_cast<std::size_t>(index - 1)] = std::move(value);
        bound_[static_cast<std::size_t>(index - 1)] = true;
        return *this;
    }

    PostgresConnection& connection_;
    std::string name_;
    std::vector<std::string> values_;
    std::vector<bool> bound_;
    PGresult* result_ = nullptr;
    int row_ = -1;
};

void IgnoreNotice(void*, const char*) {}

} // namespace

std::string DollarPlaceholders(std::string_view sql) {
    std::string out;
    out.reserve(sql.size());
    char quote = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        char c = sql[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?' && i + 1 < sql.size() &&
                   std::isdigit(static_cast<unsigned char>(sql[i + 1]))) {
            c = '$';
        }
        out.push_back(c);
    }
    return out;
}

PostgresConnection::PostgresConnection(const std::string& uri) {
    // A database host that does not answer must not hold a request for
    // ever: 5 s to connect unless the URI says otherwise.
    const char* const keys[] = {"connect_timeout", "dbname", nullptr};
    const char* const values[] = {"5", uri.c_str(), nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
        std::string message = conn_ ? PQerrorMessage(conn_) : "out of memory";
        while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
            message.pop_back();
        PQfinish(conn_);
        conn_ = nullptr;
        throw StoreError(StoreError::Kind::Unavailable, "Cannot reach the database: " + message);
    }
    PQsetNoticeProcessor(conn_, IgnoreNotice, nullptr);
    // Names are checked as UTF-8 and must come back as they went in.
    const char* encoding = PQparameterStatus(conn_, "server_encoding");
    if (PQsetClientEncoding(conn_, "UTF8") != 0 || !encoding ||
        std::strcmp(encoding, "UTF8") != 0) {
        PQfinish(conn_);
        conn_ = nullptr;
        throw StoreError(StoreError::Kind::Internal,
                         "The database must use the UTF8 encoding (CREATE DATABASE ... "
                         "ENCODING 'UTF8')");
    }
}

PostgresConnection::~PostgresConnection() {
    forgetStatements();
    PQfinish(conn_);
}

void PostgresConnection::exec(const std::string& sql) {
    Result result = Check(conn_, PQexec(conn_, sql.c_str()));
    changes_ = std::strtoll(PQcmdTuples(result.get()), nullptr, 10);
}

std::unique_ptr<Statement> PostgresConnection::prepare(const std::string& sql) {
    std::string name = "s" + std::to_string(++prepared_);
    Check(conn_, PQprepare(conn_, name.c_str(), DollarPlaceholders(sql).c_str(), 0, nullptr));
    Result described = Check(conn_, PQdescribePrepared(conn_, name.c_str()));
    return std::make_unique<PostgresStatement>(*this, name, PQnparams(described.get()));
}

pg_result* PostgresConnection::run(const std::string& name, int count, const char* const* values) {
    Result result =
        Check(conn_, PQexecPrepared(conn_, name.c_str(), count, values, nullptr, nullptr, 0));
    changes_ = std::strtoll(PQcmdTuples(result.get()), nullptr, 10);
    return result.release();
}

void PostgresConnection::begin(bool write) {
    try {
        exec(write ? "BEGIN ISOLATION LEVEL SERIALIZABLE"
                   : "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    } catch (const StoreError& e) {
        // Nothing has happened yet: a connection found lost here is worth a
        // new attempt on another.
        if (e.kind() == StoreError::Kind::Unavailable)
            throw TransientError(e.what());
        throw;
    }
}

void PostgresConnection::commit() {
    Result result = Check(conn_, PQexec(conn_, "COMMIT"));
    // COMMIT of a transaction that failed earlier answers ROLLBACK.
    if (std::strcmp(PQcmdStatus(result.get()), "COMMIT") != 0)
        throw StoreError(StoreError::Kind::Internal, "Database error: the change was rolled back");
}

void PostgresConnection::rollback() {
    exec("ROLLBACK");
}

bool PostgresConnection::usable() {
    if (PQstatus(conn_) != CONNECTION_OK)
        return false;
    // A server that went away has sent its farewell and closed the socket:
    // reading what is there, without waiting, notices. The second read
    // meets the end of the stream.
    for (int i = 0; i < 2 && PQtransactionStatus(conn_) == PQTRANS_IDLE; ++i)
        PQconsumeInput(conn_);
    return PQstatus(conn_) == CONNECTION_OK;
}

int PostgresConnection::backendPid() const {
    return PQbackendPID(conn_);
}

} // namespace velmora::server
