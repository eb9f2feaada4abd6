// Every reader of poll bytes from outside: the received poll text, a submit
// against an open poll, and both files.
#include "extras/PollRecord.h"
#include "extras/PollTally.h"
#include "extras/PollTree.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    PollTree received(PollTree::Mode::Answering);
    received.ParseOpenText(bytes);
    received.BuildSubmitText("s", "n");

    PollTree loaded(PollTree::Mode::Editing);
    loaded.LoadPollFile(bytes);
    PollRecord record;
    loaded.BuildOpenText(true, &record);

    PollTally tally;
    tally.Open(record, {{"s", "n"}});
    tally.OnSubmit(bytes);

    PollResults results;
    ReadResultFile(bytes, results);
    return 0;
}
