#pragma once

// The database's schema as an ordered list of steps. The database records
// how many it has taken; opening it takes the rest, in one transaction, so
// that an instance never sees half a step. A new step goes at the end, with
// its text for each backend; the steps already there never change.

#include "db.h"

#include <vector>

namespace velmora::server {

struct SchemaStep {
    const char* sqlite;
    const char* postgres; // null: the same text as for SQLite
};

const std::vector<SchemaStep>& SchemaSteps();

// Brings the database up to the last step; returns the version it had.
// Instances that start at once over one PostgreSQL database take turns.
int Migrate(Connection& connection, const std::vector<SchemaStep>& steps = SchemaSteps());

} // namespace velmora::server
