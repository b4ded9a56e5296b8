// The display-line field splitter and padding over arbitrary settings values.
#include <cstdlib>

#include "FuzzInput.h"
#include "PrinterDisplay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const int key = 1 + input.Byte() % 4;
    const std::string alignment = input.Piece();
    const std::string value = input.Rest();

    const std::vector<std::string> fields = SplitDisplayFields(value);
    const DisplayLineWrite line = DescribeDisplayLine(key, value);
    if (line.slot != '0' + key - 1) std::abort();
    if (line.call != DisplayLineWrite::Call::None && (fields.empty() || fields[0].size() != 1)) std::abort();
    for (const std::string& field : fields) {
        const std::string aligned = AlignDisplayText(field, alignment);
        if (field.size() >= kDisplayWidth ? aligned != field : aligned.size() != kDisplayWidth) std::abort();
        if (aligned.find(field) == std::string::npos) std::abort();
    }
    return 0;
}
