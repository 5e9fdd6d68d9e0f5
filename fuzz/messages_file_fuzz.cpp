// The messages file the proxy leaves on the disk, read the way the message
// poller reads it, and each message's text the way the user dialog shows it.

#include "cache_files.h"
#include "fuzz_check.h"
#include "text_utils.h"
#include "wire/percent.h"
#include "wire/xml_names.h"
#include "xml_node.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace names = velmora::wire::xml;

namespace {

// The file of this process, in memory where there is such a folder.
struct ScratchFile {
    ScratchFile() {
        const std::filesystem::path shm("/dev/shm");
        path =
            ((std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path()) /
             ("velmora-fuzz-messages-" + std::to_string(::getpid())))
                .string();
    }
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    std::string path;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFile file;
    {
        std::ofstream out(file.path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::string read = velmora::ReadWholeFile(file.path);
    FUZZ_CHECK(read == velmora::fuzz::Text(data, size));

    const velmora::XmlNode root(read);
    for (const velmora::XmlNode& child : root.children()) {
        if (child.name() != names::element::kMessage)
            continue;
        (void)velmora::TextToNumber(child.Attribute(names::attribute::kFromUserId));
        (void)velmora::TextToNumber(child.Attribute(names::attribute::kTime));
        (void)velmora::wire::PercentDecode(child.Attribute(names::attribute::kText));
    }
    return 0;
}
