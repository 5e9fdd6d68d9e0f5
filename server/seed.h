#pragma once

// Demo and benchmark data, made idempotently: running a seed again adds only
// what is missing.

#include "auth.h"
#include "store.h"

#include <ostream>
#include <string>

namespace velmora::server {

// Stores bytes as a new file of the user's folder, the way an upload does.
FileRow StoreBytes(Store& store, std::int64_t owner, std::int64_t folder, const std::string& name,
                   const std::string& bytes);

void SeedDemo(Store& store, PasswordHasher& hasher, const std::string& publicUrl,
              std::ostream& out);
void SeedBench(Store& store, PasswordHasher& hasher, std::ostream& out);

inline constexpr const char* kBenchAccount = "bench";
inline constexpr const char* kBenchPassword = "bench-password-1";
inline constexpr int kBenchFolders = 5000;
inline constexpr int kBenchFiles = 100000;
inline constexpr int kBenchPeers = 50;

} // namespace velmora::server
