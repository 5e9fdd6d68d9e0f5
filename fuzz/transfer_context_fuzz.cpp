// The texts that travel with a transfer and through the play queue come back
// from the proxy: reading never fails, and whatever is read is written back
// to a text that reads the same.

#include "fuzz_check.h"
#include "play_queue.h"
#include "transfer_context.h"

using velmora::TransferContext;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = velmora::fuzz::Text(data, size);

    if (auto context = TransferContext::Parse(text)) {
        (void)context->IsNoPlay();
        (void)context->NewFileId();
        auto again = TransferContext::Parse(context->Text());
        FUZZ_CHECK(again && again->item == context->item && again->name == context->name &&
                   again->localPath == context->localPath && again->image == context->image &&
                   again->extra == context->extra);
    }

    const velmora::EntryFields fields = velmora::ParseEntry(text);
    // Any path, whatever it holds, comes back from its entry as it went in.
    const velmora::EntryFields made = velmora::ParseEntry(velmora::MakeEntry(text, "12|34"));
    FUZZ_CHECK(made.path == text && made.notifyWindow == 12 && made.itemId == 34);
    FUZZ_CHECK(velmora::ParseEntry(velmora::MakeEntry(fields.path, "0~0")).path == fields.path);
    return 0;
}
