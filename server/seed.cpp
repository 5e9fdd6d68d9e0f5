#include "seed.h"

#include "blobs.h"
#include "media.h"
#include "wire/durable_file.h"
#include "wire/link.h"

#include <fcntl.h>
#include <unistd.h>

namespace velmora::server {

namespace fs = std::filesystem;

namespace {

std::int64_t EnsureUser(Store& store, PasswordHasher& hasher, const NewUser& user,
                        const std::string& password) {
    if (auto existing = store.userByAccountId(user.accountId))
        return existing->id;
    return store.addUser(user, hasher.hash(password));
}

std::int64_t EnsureFolder(Store& store, std::int64_t owner, std::int64_t parent,
                          const std::string& name) {
    for (const auto& folder : store.subfolders(owner, parent))
        if (folder.name == name)
            return folder.id;
    return store.createFolder(owner, parent, name).id;
}

void EnsureFile(Store& store, std::int64_t owner, std::int64_t folder, const std::string& name,
                const std::string& bytes) {
    for (const auto& file : store.filesIn(owner, folder))
        if (file.name == name)
            return;
    StoreBytes(store, owner, folder, name, bytes);
}

std::int64_t EnsureAcl(Store& store, std::int64_t owner, const std::string& name) {
    auto c = store.pool().acquire();
    auto q = c->query("SELECT id FROM acls WHERE owner = ?1 AND name = ?2");
    q->bind(1, owner).bind(2, name);
    if (q->step())
        return q->integer(0);
    return -1;
}

} // namespace

FileRow StoreBytes(Store& store, std::int64_t owner, std::int64_t folder, const std::string& name,
                   const std::string& bytes) {
    StagedBlob staged(store.tempDir());
    staged.write(bytes.data(), bytes.size());
    std::string blob = staged.place(store.blobDir());
    try {
        return store.commitFile(owner, folder, name, static_cast<std::int64_t>(bytes.size()), blob,
                                staged.path());
    } catch (...) {
        store.releaseBlob(blob);
        throw;
    }
}

void SeedDemo(Store& store, PasswordHasher& hasher, const std::string& publicUrl,
              std::ostream& out) {
    struct Account {
        NewUser user;
        const char* password;
    };
    const Account accounts[] = {
        {{"demo-free", "Frank", "Free", "frank@example.org", Tier::Free, false, true},
         "free-demo-1"},
        {{"demo-plus", "Petra", "Plus", "petra@example.org", Tier::Plus, false, true},
         "plus-demo-1"},
        {{"demo-gold", "Gustav", "Gold", "gustav@example.org", Tier::Gold, false, false},
         "gold-demo-1"},
        {{"dir-anna", "Anna", "Andersen", "anna@example.org", Tier::Free, false, true},
         "directory-1"},
        {{"dir-ben", "Ben", "Brook", "ben@example.org", Tier::Plus, false, true}, "directory-1"},
        {{"dir-carla", "Carla", "Costa", "carla@example.org", Tier::Free, false, true},
         "directory-1"},
    };
    std::int64_t ids[6] = {};
    for (int i = 0; i < 6; ++i)
        ids[i] = EnsureUser(store, hasher, accounts[i].user, accounts[i].password);

    // Each demo account: Music/Tones (.au), Music/Chords (.aiff), Samples.
    const double notes[] = {261.63, 329.63, 392.00, 440.00, 523.25};
    const char* noteNames[] = {"C4", "E4", "G4", "A4", "C5"};
    for (int i = 0; i < 3; ++i) {
        std::int64_t owner = ids[i];
        std::int64_t music = EnsureFolder(store, owner, 1, "Music");
        std::int64_t tones = EnsureFolder(store, owner, music, "Tones");
        std::int64_t chords = EnsureFolder(store, owner, music, "AIFF tones");
        std::int64_t samples = EnsureFolder(store, owner, 1, "Samples");
        for (int n = 0; n < 3; ++n) {
            int k = (n + i) % 5;
            EnsureFile(store, owner, tones, std::string("Tone ") + noteNames[k] + ".au",
                       MakeAuTone(notes[k], 1.5));
            EnsureFile(store, owner, chords, std::string("Tone ") + noteNames[k] + ".aiff",
                       MakeAiffTone(notes[k], 1.5));
        }
        EnsureFile(store, owner, samples, "Short beep.au", MakeAuTone(880.0, 0.3));
        // MP3 only where an encoder is installed; the rest of the demo does
        // without it.
        if (auto mp3 = MakeMp3Tone(notes[(i + 3) % 5], 1.5))
            EnsureFile(store, owner, samples,
                       std::string("Tone ") + noteNames[(i + 3) % 5] + ".mp3", *mp3);
        EnsureFile(store, owner, 1, "Welcome.aiff", MakeAiffTone(440.0, 1.0));
    }

    // demo-gold shares a folder with the list "Friends", which holds demo-free.
    std::int64_t gold = ids[2];
    std::int64_t shared = EnsureFolder(store, gold, 1, "Shared tones");
    EnsureFile(store, gold, shared, "Shared A4.au", MakeAuTone(440.0, 2.0));
    EnsureFile(store, gold, shared, "Shared E5.aiff", MakeAiffTone(659.25, 2.0));
    std::int64_t inner = EnsureFolder(store, gold, shared, "More");
    EnsureFile(store, gold, inner, "Low G3.au", MakeAuTone(196.0, 1.5));
    std::int64_t friends = EnsureAcl(store, gold, "Friends");
    if (friends < 0)
        friends = store.createAcl(gold, "Friends").id;
    auto c = store.pool().acquire();
    {
        auto q = c->query("SELECT 1 FROM acl_members WHERE acl = ?1 AND \"user\" = ?2");
        q->bind(1, friends).bind(2, ids[0]);
        bool member = q->step();
        if (!member) {
            auto add = c->query("INSERT INTO acl_members(acl, \"user\") VALUES(?1, ?2)");
            add->bind(1, friends).bind(2, ids[0]);
            add->run();
        }
    }
    {
        auto q = c->query("UPDATE folders SET acl = ?3 WHERE owner = ?1 AND id = ?2");
        q->bind(1, gold).bind(2, shared).bind(3, friends);
        q->run();
    }

    // Application messages with links to the demo items.
    std::string sharedLink =
        publicUrl + wire::link::kFolderPath +
        wire::link::Encode(std::to_string(gold) + "~" + std::to_string(shared)) +
        wire::link::kNameParameter + wire::link::BlanksToPlus("Shared tones");
    const std::pair<std::string, std::string> messages[] = {
        {"Welcome to Velmora: your media, everywhere.", publicUrl + "/health"},
        {"Listen to the shared demo tones.", sharedLink},
        {"Upgrade to plus for an ad-free player.",
         publicUrl + wire::link::kPlayerPagePath + "0~0~velmoraplayer~plus"},
    };
    auto existing = store.appMessages();
    for (const auto& [msg, url] : messages) {
        bool found = false;
        for (const auto& row : existing)
            found = found || row.msg == msg;
        if (!found)
            store.addAppMessage(msg, url);
    }

    out << "Demo accounts (account id / password / tier):\n";
    const char* tiers[] = {
        "free", "plus", "gold", "free (directory)", "plus (directory)", "free (directory)"};
    for (int i = 0; i < 6; ++i)
        out << "  " << accounts[i].user.accountId << " / " << accounts[i].password << " / "
            << tiers[i] << " (user id " << ids[i] << ")\n";
}

void SeedBench(Store& store, PasswordHasher& hasher, std::ostream& out) {
    std::int64_t bench = 0;
    if (auto existing = store.userByAccountId(kBenchAccount)) {
        bench = existing->id;
    } else {
        NewUser user{kBenchAccount,  "Bench", "Mark", "bench@example.org",
                     Tier::Platinum, false,   false};
        bench = store.addUser(user, hasher.hash(kBenchPassword));
    }
    auto c = store.pool().acquire();
    std::int64_t have = 0;
    {
        auto q = c->query("SELECT COUNT(*) FROM files WHERE owner = ?1");
        q->bind(1, bench);
        q->step();
        have = q->integer(0);
    }
    if (have >= kBenchFiles) {
        out << "Benchmark account: " << kBenchAccount << " / " << kBenchPassword << " (user id "
            << bench << ", already seeded)\n";
        return;
    }
    // All benchmark files share one small blob; a delete removes a blob only
    // when no file refers to it any more.
    const std::string blob = "bench-shared-tone";
    const std::string bytes = MakeAuTone(440.0, 0.05, 8000);
    if (!fs::exists(store.blobPath(blob)))
        wire::WriteFileDurably(store.blobPath(blob), bytes);
    const auto size = static_cast<std::int64_t>(bytes.size());

    std::string peerHash = hasher.hash("bench-peer-password");
    Transaction tx(*c, true);
    // Start from an empty library so that a half-made earlier run cannot leave
    // a mixed tree.
    for (const char* sql :
         {"DELETE FROM files WHERE owner = ?1", "DELETE FROM folders WHERE owner = ?1 AND id <> 1",
          "UPDATE users SET next_folder = 2, next_file = 1 WHERE id = ?1"}) {
        auto q = c->query(sql);
        q->bind(1, bench);
        q->run();
    }
    const int top = 50;
    const int perTop = kBenchFolders / top - 1; // subfolders below each top folder
    const int perFolder = kBenchFiles / kBenchFolders;
    std::int64_t nextFolder = 2;
    std::int64_t nextFile = 1;
    auto addFolder = [&](std::int64_t owner, std::int64_t id, std::int64_t parent,
                         const std::string& name, std::int64_t acl) {
        auto q = c->query("INSERT INTO folders(owner, id, parent, name, acl) "
                          "VALUES(?1, ?2, ?3, ?4, ?5)");
        q->bind(1, owner).bind(2, id).bind(3, parent).bind(4, name).bind(5, acl);
        q->run();
    };
    auto addFile = [&](std::int64_t owner, std::int64_t id, std::int64_t folder,
                       const std::string& name) {
        auto q = c->query("INSERT INTO files(owner, id, folder, name, size, blob) "
                          "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        q->bind(1, owner).bind(2, id).bind(3, folder).bind(4, name).bind(5, size).bind(6, blob);
        q->run();
    };
    auto fillFolder = [&](std::int64_t folder) {
        for (int k = 0; k < perFolder; ++k) {
            std::int64_t id = nextFile++;
            addFile(bench, id, folder, "Track " + std::to_string(id) + ".au");
        }
    };
    for (int t = 0; t < top; ++t) {
        std::int64_t topId = nextFolder++;
        addFolder(bench, topId, 1, "Collection " + std::to_string(t + 1), 0);
        fillFolder(topId);
        for (int s = 0; s < perTop; ++s) {
            std::int64_t id = nextFolder++;
            addFolder(bench, id, topId, "Album " + std::to_string(s + 1), 0);
            fillFolder(id);
        }
    }
    {
        auto q = c->query("UPDATE users SET next_folder = ?2, next_file = ?3 WHERE id = ?1");
        q->bind(1, bench).bind(2, nextFolder).bind(3, nextFile);
        q->run();
    }

    for (int p = 1; p <= kBenchPeers; ++p) {
        std::string accountId = "bench-peer-" + std::to_string(p);
        std::int64_t peer = 0;
        {
            auto q = c->query("SELECT id FROM users WHERE accountid = ?1");
            q->bind(1, accountId);
            if (q->step())
                peer = q->integer(0);
        }
        if (peer != 0)
            continue; // made by an earlier run, with its share
        {
            auto q = c->query("INSERT INTO users(accountid, pwhash, first_name, last_name, email, "
                              "tier, listed, next_folder, next_file) "
                              "VALUES(?1, ?2, 'Peer', ?3, ?4, 0, 1, 3, 6) RETURNING id");
            q->bind(1, accountId)
                .bind(2, peerHash)
                .bind(3, std::to_string(p))
                .bind(4, accountId + "@example.org");
            q->step();
            peer = q->integer(0);
        }
        std::int64_t acl = 0;
        {
            auto q = c->query("INSERT INTO acls(owner, name) VALUES(?1, 'Bench') RETURNING id");
            q->bind(1, peer);
            q->step();
            acl = q->integer(0);
        }
        {
            auto q = c->query("INSERT INTO acl_members(acl, \"user\") VALUES(?1, ?2)");
            q->bind(1, acl).bind(2, bench);
            q->run();
        }
        addFolder(peer, 1, 0, "My Media", 0);
        addFolder(peer, 2, 1, "For bench", acl);
        for (int k = 1; k <= 5; ++k)
            addFile(peer, k, 2, "Peer tone " + std::to_string(k) + ".au");
    }
    tx.commit();
    out << "Benchmark account: " << kBenchAccount << " / " << kBenchPassword << " (user id "
        << bench << ", " << kBenchFolders << " folders, " << kBenchFiles << " files, "
        << kBenchPeers << " sharing users bench-peer-N / bench-peer-password)\n";
}

} // namespace velmora::server
